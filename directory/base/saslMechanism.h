/*
 * saslMechanism.h --
 *
 *	Which SASL mechanism a negotiate bind (Kerberos, the account's own
 *	credentials) asks for, from those a server lists in its root DSE.
 */

#ifndef HOSTKIT_DIRECTORY_BASE_SASL_MECHANISM_H
#define HOSTKIT_DIRECTORY_BASE_SASL_MECHANISM_H

#include <string>
#include <vector>

namespace hkdir {

/* The mechanism asked for when the server does not say which it offers. */
constexpr char HK_NEGOTIATE_DEFAULT_MECHANISM[] = "GSSAPI";

/*
 * The mechanism of a negotiate bind among those offered (the values of
 * supportedSASLMechanisms, compared case-blind): GSSAPI, else
 * GSS-SPNEGO; empty when neither is offered.
 */
std::string negotiateMechanism(const std::vector<std::string> &offered);

/*
 * Why a server that offers neither cannot take a negotiate bind, naming
 * what it offers: "the server offers no GSSAPI or GSS-SPNEGO mechanism
 * (it offers PLAIN DIGEST-MD5)", or "... (it offers no SASL mechanism)".
 */
std::string noNegotiateMechanismText(const std::vector<std::string> &offered);

} // namespace hkdir

#endif /* HOSTKIT_DIRECTORY_BASE_SASL_MECHANISM_H */
