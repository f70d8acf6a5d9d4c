/*
 * unixTls.h --
 *
 *	TLS of the Linux LDAP client, run by the client itself with GnuTLS
 *	rather than by libldap: libldap's check of the server's certificate
 *	can be turned off by a file in the working folder (ldaprc,
 *	TLS_REQCERT never) or by the environment, its host-name check follows
 *	rules of its own (localhost is checked as the machine's own name, the
 *	CN counts beside a subjectAltName), and it tells why it refused a
 *	certificate only in its process-wide log. Here the trusted CAs are
 *	loaded for each connection, the handshake is bounded by the
 *	connection's time-out, the chain, its dates, its purpose and the host
 *	name (directory/base/certificateNames.h) are always checked, and
 *	libldap then reads and writes through the session as an I/O layer of
 *	its own kind (lber's Sockbuf_IO). No libldap setting is changed.
 */

#ifndef HOSTKIT_DIRECTORY_UNIX_TLS_H
#define HOSTKIT_DIRECTORY_UNIX_TLS_H

#include "directory/ldapPlatform.h"

#include <ldap.h>

#include <string>

namespace hkldap {

/* The trusted CAs of one connection, loaded before anything is sent. */
class TlsTrust {
public:
    TlsTrust() = default;
    ~TlsTrust();
    TlsTrust(const TlsTrust &) = delete;
    TlsTrust &operator=(const TlsTrust &) = delete;

    /*
     * Loads the CAs of caCertFile; when it is empty, those of ldap.conf
     * and the LDAPTLS_* environment (TLS_CACERT, TLS_CACERTDIR), or the
     * system's when they name none; and ldap.conf's TLS_CRLFILE. A file is
     * taken only as directory/base/caFile.h says. STEP_OK, or
     * STEP_TLS_FAILED with the reason in failure.
     */
    StepResult load(const std::string &caCertFile, Failure &failure);

    /* The loaded credentials, handed over to a session; nullptr after. */
    void *release();

private:
    void *credentials_ = nullptr;
};

/*
 * The TLS handshake on conn's socket within seconds (0: no bound), then the
 * check of the server's certificate against the trust and host (the name
 * the search was given); on success every later read and write of conn
 * goes through the session. STEP_OK, STEP_TIMED_OUT, or STEP_TLS_FAILED
 * with the reason in failure (the connection is not to be used then).
 */
StepResult startTlsSession(LDAP *conn, const std::string &host, TlsTrust &trust,
	unsigned seconds, Failure &failure);

/*
 * After a request on conn failed: why the server ended its TLS session
 * (a fatal alert, or a close after it asked for a client certificate,
 * which none is offered), or empty when it was no such refusal.
 */
std::string tlsRefusal(LDAP *conn);

} // namespace hkldap

#endif /* HOSTKIT_DIRECTORY_UNIX_TLS_H */
