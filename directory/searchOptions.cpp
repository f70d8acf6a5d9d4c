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
    OPT_ENCRYPTED_PASSWORD, OPT_SEARCH_PAB, OPT_DESIRED_ATTRIBUTES, OPT_COUNT
};

const char *const OPTION_NAMES[OPT_COUNT] = {
    "server", "port", "searchBase", "searchFilter", "username", "password",
    "encryptedpassword", "searchPAB", "desiredAttributes"
};

const char DEFAULT_PORT_WORD[] = "389";
const char DEFAULT_ATTRIBUTES[] = "cn givenname middleinitial sn telephonenumber mail mobile";

/* Port numbers keep their low 16 bits; 0 stands for the default port. */
const unsigned long long PORT_MASK = 0xFFFF;

uint16_t
portOf(const char *word)
{
    uint16_t low = static_cast<uint16_t>(static_cast<unsigned long long>(parsePortWord(word))
	    & PORT_MASK);
    return low == 0 ? HK_LDAP_DEFAULT_PORT : low;
}

} // namespace

SearchParameters
readSearchOptions(int count, const char *const words[])
{
    const char *values[OPT_COUNT] = {
	"", DEFAULT_PORT_WORD, "", "", "", "", "", "", DEFAULT_ATTRIBUTES
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
    parameters.server = values[OPT_SERVER];
    parameters.port = portOf(values[OPT_PORT]);
    parameters.username = values[OPT_USERNAME];
    parameters.password = values[OPT_PASSWORD];
    parameters.searchBase = values[OPT_SEARCH_BASE];
    parameters.searchFilter = values[OPT_SEARCH_FILTER];
    parameters.attributes.assign(values[OPT_DESIRED_ATTRIBUTES],
	    strnlen(values[OPT_DESIRED_ATTRIBUTES], HK_ATTRIBUTES_MAX));
    parameters.includePrivate = parseFlagWord(values[OPT_SEARCH_PAB]);
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
