/*
 * unixLdap.h --
 *
 *	What the parts of the Linux LDAP client (unixLdap.cpp, unixNegotiate.cpp)
 *	share: libldap's codes in the common numbering of ldapPlatform.h, the
 *	diagnostic message of a connection, and a bounded wait for the answer
 *	to one request.
 */

#ifndef HOSTKIT_DIRECTORY_UNIX_LDAP_H
#define HOSTKIT_DIRECTORY_UNIX_LDAP_H

#include "directory/ldapPlatform.h"

#include <ldap.h>

#include <string>

namespace hkldap {

/*
 * libldap's client-side codes (LDAP_SERVER_DOWN, -1, to LDAP_CLIENT_LOOP,
 * -17) in the numbering of the Windows library (0x51 on); others as they are.
 */
int commonCode(int rc);

/* The diagnostic message the library keeps for the connection; empty when none. */
std::string diagnosticOf(LDAP *conn);

/*
 * Waits for the final answer of one operation within milliseconds (-1:
 * no bound): 0 with the message, RC_TIMEOUT (the operation is abandoned),
 * or the code of the failure.
 */
int waitAnswer(LDAP *conn, int messageId, long long milliseconds, LDAPMessage **answer);

} // namespace hkldap

#endif /* HOSTKIT_DIRECTORY_UNIX_LDAP_H */
