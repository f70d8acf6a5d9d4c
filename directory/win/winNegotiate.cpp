/*
 * winNegotiate.cpp --
 *
 *	The negotiate bind of the Windows LDAP client: WLDAP32's
 *	LDAP_AUTH_NEGOTIATE without credentials, so the logged-on user's
 *	(Kerberos, through SSPI's Negotiate package; the library chooses the
 *	mechanism, GSS-SPNEGO). On a clear connection the library signs and
 *	seals what follows (LDAP_OPT_SIGN, LDAP_OPT_ENCRYPT); over TLS
 *	neither, which a domain controller refuses inside TLS.
 *
 *	The library offers this bind only synchronously (its asynchronous
 *	bind takes simple binds alone). What bounds it is what the library's
 *	options offer, both set from the connection's time-out for the bind
 *	and reset after it: LDAP_OPT_TIMELIMIT, the time the server may take
 *	over the bind, and LDAP_OPT_SEND_TIMEOUT, the time a request may take
 *	to go out. Neither bounds the wait for an answer that never comes, nor
 *	the exchange with the KDC that precedes the request.
 */

#include "directory/ldapPlatform.h"

#include <windows.h>
#include <winldap.h>

namespace hkldap {

int
Connection::negotiateBind(const std::string &, Failure &failure)
{
    failure = Failure();
    LDAP *conn = reinterpret_cast<LDAP *>(handle_);
    /* Documented as the constants LDAP_OPT_ON / LDAP_OPT_OFF themselves. */
    ldap_set_option(conn, LDAP_OPT_SIGN, tls_ ? LDAP_OPT_OFF : LDAP_OPT_ON);
    ldap_set_option(conn, LDAP_OPT_ENCRYPT, tls_ ? LDAP_OPT_OFF : LDAP_OPT_ON);

    long long limit = waitLimit();
    ULONG seconds = 0;
    if (limit >= 0) {
	seconds = static_cast<ULONG>(limit <= 0 ? 1 : (limit + 999) / 1000);
	struct l_timeval send;
	send.tv_sec = static_cast<LONG>(seconds);
	send.tv_usec = 0;
	ldap_set_option(conn, LDAP_OPT_TIMELIMIT, &seconds);
	ldap_set_option(conn, LDAP_OPT_SEND_TIMEOUT, &send);
    }
    ULONG rc = ldap_bind_sW(conn, nullptr, nullptr, LDAP_AUTH_NEGOTIATE);
    if (limit >= 0) {
	/* Searches carry their own limits; the connection's go back to none. */
	ULONG none = 0;
	ldap_set_option(conn, LDAP_OPT_TIMELIMIT, &none);
    }
    if (rc != LDAP_SUCCESS) {
	failure = failureOf(rc);
	return static_cast<int>(rc);
    }
    return 0;
}

} // namespace hkldap
