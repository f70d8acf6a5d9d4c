/*
 * fuzz_certnames.cpp --
 *
 *	Fuzzes the host-name rule of server certificates with arbitrary
 *	bytes: the first line is the host, each further line a name of the
 *	certificate whose first byte says where it stands (D a dNSName, I an
 *	iPAddress, C a common name, S a subjectAltName without entries).
 *	Checks what the rule promises: a name never matches itself only by
 *	accident of case or a final dot, the text of a refusal is one line of
 *	bounded length, addresses are 4 or 16 bytes. The CA file's PEM test
 *	runs on the whole input.
 */

#include "directory/base/caFile.h"
#include "directory/base/certificateNames.h"

#include <cstdint>
#include <cstdlib>
#include <string>

using namespace hkdir;

extern "C" int
LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string text(reinterpret_cast<const char *>(data), size);
    (void) pemHoldsCertificate(text);

    size_t end = text.find('\n');
    std::string host = text.substr(0, end);
    CertificateNames names;
    while (end != std::string::npos) {
	size_t start = end + 1;
	end = text.find('\n', start);
	std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
	if (line.empty()) {
	    continue;
	}
	std::string name = line.substr(1);
	switch (line[0]) {
	case 'D': names.hasSubjectAltName = true; names.dnsNames.push_back(name); break;
	case 'I': names.hasSubjectAltName = true; names.ipAddresses.push_back(name); break;
	case 'S': names.hasSubjectAltName = true; break;
	default: names.commonNames.push_back(name); break;
	}
    }

    std::string address;
    if (parseAddress(host, address) && address.size() != 4 && address.size() != 16) {
	abort();
    }
    bool fits = certificateFitsHost(names, host);

    /* A certificate naming exactly the host (a name, or an address) fits it. */
    if (host.find('\0') == std::string::npos && !host.empty()) {
	CertificateNames own;
	own.hasSubjectAltName = true;
	if (parseAddress(host, address)) {
	    own.ipAddresses.push_back(address);
	} else if (host.find('*') == std::string::npos) {
	    own.dnsNames.push_back(host);
	}
	if ((!own.ipAddresses.empty() || !own.dnsNames.empty()) && !certificateFitsHost(own, host)) {
	    abort();
	}
    }
    /* Without any name nothing fits. */
    if (certificateFitsHost(CertificateNames(), host)) {
	abort();
    }

    std::string refusal = certificateMismatchText(names, host);
    for (char c : refusal) {
	if (static_cast<unsigned char>(c) < 0x20) {
	    abort();
	}
    }
    if (refusal.size() > 17 * 300 + 200) {
	abort();
    }
    (void) fits;
    return 0;
}
