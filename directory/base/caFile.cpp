/*
 * caFile.cpp --
 *
 *	The texts and the PEM test of caFile.h.
 */

#include "directory/base/caFile.h"

namespace hkdir {

std::string
caFileFaultText(const std::string &path, CaFileFault fault, const std::string &detail)
{
    std::string reason;
    switch (fault) {
    case CaFileFault::CANNOT_OPEN:
	reason = "it cannot be opened";
	break;
    case CaFileFault::NOT_REGULAR:
	reason = "not a regular file";
	break;
    case CaFileFault::TOO_LARGE:
	reason = "larger than " + std::to_string(HK_CA_FILE_LIMIT / (1024 * 1024)) + " MB";
	break;
    case CaFileFault::CANNOT_READ:
	reason = "it cannot be read";
	break;
    case CaFileFault::NO_CERTIFICATE:
	reason = "no PEM certificate in it";
	break;
    case CaFileFault::UNUSABLE:
    default:
	reason = "its certificates cannot be used";
	break;
    }
    if (!detail.empty()) {
	reason += " (" + detail + ")";
    }
    return "cannot use CA file " + path + ": " + reason;
}

bool
pemHoldsCertificate(const std::string &text)
{
    for (const char *kind : {"CERTIFICATE-----", "X509 CERTIFICATE-----"}) {
	size_t begin = text.find(std::string("-----BEGIN ") + kind);
	if (begin != std::string::npos
		&& text.find(std::string("-----END ") + kind, begin) != std::string::npos) {
	    return true;
	}
    }
    return false;
}

void
readLdapConfTls(const std::string &text, TlsSources &sources)
{
    static const struct {
	const char *keyword;
	std::string TlsSources::*field;
    } KEYWORDS[] = {
	{"tls_cacert", &TlsSources::caCertFile},
	{"tls_cacertdir", &TlsSources::caCertDir},
	{"tls_crlfile", &TlsSources::crlFile},
    };
    const char *blanks = " \t\r";
    size_t start = 0;
    while (start < text.size()) {
	size_t end = text.find('\n', start);
	std::string line = text.substr(start, end == std::string::npos ? std::string::npos
		: end - start);
	start = end == std::string::npos ? text.size() : end + 1;
	size_t k = line.find_first_not_of(blanks);
	if (k == std::string::npos || line[k] == '#') {
	    continue;
	}
	size_t kEnd = line.find_first_of(blanks, k);
	if (kEnd == std::string::npos) {
	    continue;
	}
	std::string keyword = line.substr(k, kEnd - k);
	for (char &c : keyword) {
	    c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
	}
	size_t v = line.find_first_not_of(blanks, kEnd);
	size_t vEnd = line.find_last_not_of(blanks);
	if (v == std::string::npos) {
	    continue;
	}
	for (const auto &kw : KEYWORDS) {
	    if (keyword == kw.keyword) {
		sources.*kw.field = line.substr(v, vEnd - v + 1);
	    }
	}
    }
}

} // namespace hkdir
