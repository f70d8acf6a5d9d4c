/*
 * caFile.h --
 *
 *	The rule for a file of trusted CAs (the cacertfile option, or the one
 *	that ldap.conf names): what is taken, and how a file that cannot be
 *	used is reported. The same text on every system.
 */

#ifndef HOSTKIT_DIRECTORY_BASE_CA_FILE_H
#define HOSTKIT_DIRECTORY_BASE_CA_FILE_H

#include <cstddef>
#include <string>

namespace hkdir {

/* The largest CA file taken, in bytes. */
constexpr size_t HK_CA_FILE_LIMIT = 1024 * 1024;

/* Why a CA file is not used. */
enum class CaFileFault {
    CANNOT_OPEN,	/* no such file, no permission, ... (detail: the error) */
    NOT_REGULAR,	/* a folder, a FIFO, a device, a socket */
    TOO_LARGE,		/* more than HK_CA_FILE_LIMIT bytes */
    CANNOT_READ,	/* reading it failed (detail: the error) */
    NO_CERTIFICATE,	/* it holds no PEM certificate */
    UNUSABLE		/* the TLS library refuses its certificates (detail: why) */
};

/* "cannot use CA file PATH: REASON". */
std::string caFileFaultText(const std::string &path, CaFileFault fault,
	const std::string &detail = std::string());

/*
 * Whether text holds a PEM certificate: a "-----BEGIN CERTIFICATE-----"
 * (or "X509 CERTIFICATE") line with its END line after it.
 */
bool pemHoldsCertificate(const std::string &text);

/*
 * Where the trusted CAs and revocation lists come from when the script
 * names no CA file: the system's ldap.conf and the LDAPTLS_* environment,
 * never a user's ldaprc files (a file in the folder a script happens to
 * run in must not decide whom it trusts).
 */
struct TlsSources {
    std::string caCertFile;	/* TLS_CACERT */
    std::string caCertDir;	/* TLS_CACERTDIR */
    std::string crlFile;	/* TLS_CRLFILE */
};

/*
 * Reads the TLS_CACERT, TLS_CACERTDIR and TLS_CRLFILE lines of ldap.conf
 * text into sources (keywords in any letter case; a later line wins; the
 * value is the rest of the line without the blanks around it; lines
 * starting with '#' and other keywords are skipped).
 */
void readLdapConfTls(const std::string &text, TlsSources &sources);

} // namespace hkdir

#endif /* HOSTKIT_DIRECTORY_BASE_CA_FILE_H */
