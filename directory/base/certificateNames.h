/*
 * certificateNames.h --
 *
 *	Whether a server's certificate names the server that a search asked
 *	for, by the usual rules of TLS clients: the host name given (the
 *	server option, or the host of a referral URL) against the
 *	certificate's subjectAltName DNS and IP entries, and against its
 *	subject's common names only when it has no subjectAltName at all.
 *	The names come from the peer's certificate, so they are untrusted
 *	bytes of any content and length.
 */

#ifndef HOSTKIT_DIRECTORY_BASE_CERTIFICATE_NAMES_H
#define HOSTKIT_DIRECTORY_BASE_CERTIFICATE_NAMES_H

#include <string>
#include <vector>

namespace hkdir {

/* The names a server certificate holds. */
struct CertificateNames {
    bool hasSubjectAltName = false;	/* the extension is there, whatever it holds */
    std::vector<std::string> dnsNames;	/* its dNSName entries, as written */
    std::vector<std::string> ipAddresses;	/* its iPAddress entries: 4 or 16 bytes */
    std::vector<std::string> commonNames;	/* the subject's CN values (UTF-8) */
};

/*
 * An address in figures: an IPv4 dotted quad (four decimal numbers of at
 * most 255, no leading zeros) gives 4 bytes, IPv6 text (RFC 4291, a
 * trailing dotted quad allowed, in brackets or not, a "%zone" ignored)
 * gives 16. False for anything else, which counts as a host name.
 */
bool parseAddress(const std::string &text, std::string &bytes);

/*
 * Whether the certificate is one for host:
 *  - an address in figures matches an iPAddress entry of the same bytes
 *    only; without any subjectAltName, a common name that is the same
 *    address;
 *  - a host name (one final dot ignored, letters compared case-blind)
 *    matches a dNSName entry; without any subjectAltName, a common name.
 *    A presented name may start with the label "*", which matches one
 *    whole, non-empty label, when at least two labels follow it
 *    ("*.x.test" matches a.x.test, neither x.test nor a.b.x.test); a
 *    '*' anywhere else matches nothing.
 * "localhost" is a host name like any other. Names holding a NUL byte
 * match nothing.
 */
bool certificateFitsHost(const CertificateNames &names, const std::string &host);

/*
 * The reason of a refusal, naming the host and what the certificate
 * holds: "hostname (H) does not match subjectAltName in certificate
 * (DNS:a, IP:127.0.0.1)", or with "common name" and the CNs when it has no
 * subjectAltName. Control characters are shown as '?', and a long list is
 * cut.
 */
std::string certificateMismatchText(const CertificateNames &names, const std::string &host);

} // namespace hkdir

#endif /* HOSTKIT_DIRECTORY_BASE_CERTIFICATE_NAMES_H */
