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

} // namespace hkdir
