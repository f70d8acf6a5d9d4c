/*
 * searchOptions.cpp --
 *
 *	The options of ldapsearch: their names, their defaults, and how each
 *	value is read.
 */

#include "directory/searchOptions.h"

#include "directory/base/scramble.h"
#include "directory/directoryState.h"

#include <cstring>
#include <new>

namespace hkdir {

namespace {

/* The options, in the order in which a word is compared with them. */
enum OptionIndex {
    OPT_SERVER, OPT_PORT, OPT_SEARCH_BASE, OPT_SEARCH_FILTER, OPT_USERNAME, OPT_PASSWORD,
    OPT_ENCRYPTED_PASSWORD, OPT_SEARCH_PAB, OPT_DESIRED_ATTRIBUTES, OPT_SECURE, OPT_CACERTFILE,
    OPT_TIMEOUT, OPT_ALL_VALUES, OPT_BINARY_ATTRIBUTES, OPT_COUNT
};

const char *const OPTION_NAMES[OPT_COUNT] = {
    "server", "port", "searchBase", "searchFilter", "username", "password",
    "encryptedpassword", "searchPAB", "desiredAttributes", "secure", "cacertfile", "timeout",
    "allvalues", "binaryattributes"
};

/* The words of the secure option, in the order of Security. */
const struct {
    const char *word;
    Security security;
} SECURE_WORDS[] = {
    {"none", Security::NONE}, {"ldaps", Security::LDAPS}, {"starttls", Security::STARTTLS}
};

/* The longest time-out taken, in seconds (a day). */
const unsigned long MAX_TIMEOUT = 86400;

/* Port 0 stands for the default port of the security chosen. */
const char DEFAULT_PORT_WORD[] = "0";
const char DEFAULT_ATTRIBUTES[] = "cn givenname middleinitial sn telephonenumber mail mobile";

/* Port numbers keep their low 16 bits; 0 stands for the default port. */
const unsigned long long PORT_MASK = 0xFFFF;

uint16_t
portOf(const char *word, uint16_t defaultPort)
{
    uint16_t low = static_cast<uint16_t>(static_cast<unsigned long long>(parsePortWord(word))
	    & PORT_MASK);
    return low == 0 ? defaultPort : low;
}

/* The security a word names; false for a word that names none. */
bool
securityOf(const char *word, Security &out)
{
    for (const auto &w : SECURE_WORDS) {
	if (equalsCaseBlind(word, w.word)) {
	    out = w.security;
	    return true;
	}
    }
    return false;
}

/*
 * A time-out word: decimal digits only, surrounded by blanks at most; more
 * than a day is a day. False for anything else (a sign, a fraction, a
 * letter, nothing).
 */
bool
timeoutOf(const char *word, unsigned &out)
{
    const char *p = word;
    while (*p == ' ' || *p == '\t') {
	p++;
    }
    unsigned long seconds = 0;
    bool digits = false;
    for (; *p >= '0' && *p <= '9'; p++) {
	digits = true;
	seconds = seconds * 10 + static_cast<unsigned long>(*p - '0');
	if (seconds > MAX_TIMEOUT) {
	    seconds = MAX_TIMEOUT + 1;
	}
    }
    while (*p == ' ' || *p == '\t') {
	p++;
    }
    if (!digits || *p != '\0') {
	return false;
    }
    out = static_cast<unsigned>(seconds > MAX_TIMEOUT ? MAX_TIMEOUT : seconds);
    return true;
}

} // namespace

SearchParameters
readSearchOptions(int count, const char *const words[])
{
    const char *values[OPT_COUNT] = {
	"", DEFAULT_PORT_WORD, "", "", "", "", "", "", DEFAULT_ATTRIBUTES, "none", "", nullptr,
	"false", HK_DEFAULT_BINARY_ATTRIBUTES
    };
    for (int i = 0; i + 1 < count; i += 2) {
	for (int o = 0; o < OPT_COUNT; o++) {
	    if (equalsCaseBlind(words[i], OPTION_NAMES[o])) {
		values[o] = words[i + 1];
		break;
	    }
	}
    }

    SearchParameters parameters;
    if (!securityOf(values[OPT_SECURE], parameters.security)) {
	parameters.badOption = OPTION_NAMES[OPT_SECURE];
	parameters.badValue = values[OPT_SECURE];
    }
    if (values[OPT_TIMEOUT] != nullptr && !timeoutOf(values[OPT_TIMEOUT],
	    parameters.timeoutSeconds)) {
	parameters.badOption = OPTION_NAMES[OPT_TIMEOUT];
	parameters.badValue = values[OPT_TIMEOUT];
    }
    parameters.caCertFile = values[OPT_CACERTFILE];
    parameters.server = values[OPT_SERVER];
    parameters.port = portOf(values[OPT_PORT], parameters.security == Security::LDAPS
	    ? HK_LDAPS_PORT : HK_LDAP_DEFAULT_PORT);
    parameters.username = values[OPT_USERNAME];
    parameters.password = values[OPT_PASSWORD];
    parameters.searchBase = values[OPT_SEARCH_BASE];
    parameters.searchFilter = values[OPT_SEARCH_FILTER];
    parameters.attributes.assign(values[OPT_DESIRED_ATTRIBUTES],
	    strnlen(values[OPT_DESIRED_ATTRIBUTES], HK_ATTRIBUTES_MAX));
    parameters.includePrivate = parseFlagWord(values[OPT_SEARCH_PAB]);
    parameters.allValues = parseFlagWord(values[OPT_ALL_VALUES]);
    parameters.binaryAttributes = splitAttributes(values[OPT_BINARY_ATTRIBUTES]);
    /* A scrambled password wins over one in clear unless it is empty. */
    if (values[OPT_ENCRYPTED_PASSWORD][0] != '\0') {
	std::unique_ptr<char[]> plain = unscramblePassword(values[OPT_ENCRYPTED_PASSWORD],
		scrambleKey());
	if (!plain) {
	    throw std::bad_alloc();
	}
	parameters.password = plain.get();
    }
    return parameters;
}

} // namespace hkdir
