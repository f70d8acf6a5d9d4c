/*
 * saslMechanism.cpp --
 *
 *	The SASL mechanism of a negotiate bind (see saslMechanism.h).
 */

#include "directory/base/saslMechanism.h"

#include "directory/base/searchText.h"

namespace hkdir {

namespace {

/* What a Kerberos bind can use, in the order of preference. */
const char *const KERBEROS_MECHANISMS[] = {"GSSAPI", "GSS-SPNEGO"};

/* The most names of a server's list that the text repeats. */
const size_t NAMES_SHOWN = 16;

} // namespace

std::string
negotiateMechanism(const std::vector<std::string> &offered)
{
    for (const char *mechanism : KERBEROS_MECHANISMS) {
	for (const std::string &name : offered) {
	    if (equalsCaseBlind(name.c_str(), mechanism)) {
		return mechanism;
	    }
	}
    }
    return std::string();
}

std::string
noNegotiateMechanismText(const std::vector<std::string> &offered)
{
    std::string text = "the server offers no GSSAPI or GSS-SPNEGO mechanism (it offers ";
    if (offered.empty()) {
	return text + "no SASL mechanism)";
    }
    for (size_t i = 0; i < offered.size() && i < NAMES_SHOWN; i++) {
	text += (i > 0 ? " " : "") + offered[i];
    }
    return text + (offered.size() > NAMES_SHOWN ? " ...)" : ")");
}

} // namespace hkdir
