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
    OPT_TIMEOUT, OPT_ALL_VALUES, OPT_BINARY_ATTRIBUTES, OPT_QUIET, OPT_STRICT, OPT_SCOPE,
    OPT_SIZE_LIMIT, OPT_TIME_LIMIT, OPT_DN, OPT_REFERRALS, OPT_SORT_BY, OPT_AUTHENTICATION,
    OPT_DOMAIN, OPT_COUNT
};

const char *const OPTION_NAMES[OPT_COUNT] = {
    "server", "port", "searchBase", "searchFilter", "username", "password",
    "encryptedpassword", "searchPAB", "desiredAttributes", "secure", "cacertfile", "timeout",
    "allvalues", "binaryattributes", "quiet", "strict", "scope", "sizelimit", "timelimit", "dn",
    "referrals", "sortby", "authentication", "domain"
};

/* The words of the secure option, in the order of Security. */
const struct {
    const char *word;
    Security value;
} SECURE_WORDS[] = {
    {"none", Security::NONE}, {"ldaps", Security::LDAPS}, {"starttls", Security::STARTTLS}
};

/* The words of the authentication option. */
const struct {
    const char *word;
    Authentication value;
} AUTHENTICATION_WORDS[] = {
    {"simple", Authentication::SIMPLE}, {"negotiate", Authentication::NEGOTIATE}
};

/* The words of the scope option. */
const struct {
    const char *word;
    Scope value;
} SCOPE_WORDS[] = {
    {"base", Scope::BASE}, {"one", Scope::ONE_LEVEL}, {"sub", Scope::SUBTREE}
};

/* The longest time-out and time limit taken, in seconds (a day). */
const unsigned long MAX_SECONDS = 86400;

/* The largest size limit taken. */
const unsigned long MAX_SIZE_LIMIT = 0x7FFFFFFF;

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

/* The value a word names in a table of words, case-blind; false for none. */
template <typename Table, typename Value>
bool
wordOf(const char *word, const Table &table, Value &out)
{
    for (const auto &w : table) {
	if (equalsCaseBlind(word, w.word)) {
	    out = w.value;
	    return true;
	}
    }
    return false;
}

/*
 * A count word: decimal digits only, surrounded by blanks at most; more
 * than max is max. False for anything else (a sign, a fraction, a letter,
 * nothing).
 */
bool
countOf(const char *word, unsigned long max, unsigned &out)
{
    const char *p = word;
    while (*p == ' ' || *p == '\t') {
	p++;
    }
    unsigned long value = 0;
    bool digits = false;
    for (; *p >= '0' && *p <= '9'; p++) {
	digits = true;
	value = value * 10 + static_cast<unsigned long>(*p - '0');
	if (value > max) {
	    value = max + 1;
	}
    }
    while (*p == ' ' || *p == '\t') {
	p++;
    }
    if (!digits || *p != '\0') {
	return false;
    }
    out = static_cast<unsigned>(value > max ? max : value);
    return true;
}

/*
 * The sortby word: an attribute name, "-" before it for descending order;
 * empty for no sorting. False for a word that names no attribute.
 */
bool
sortOf(const char *word, SearchParameters &parameters)
{
    bool descending = word[0] == '-';
    std::string name(descending ? word + 1 : word);
    if (name.empty()) {
	return !descending;
    }
    if (name.find_first_of(" \t") != std::string::npos) {
	return false;
    }
    parameters.sortAttribute = name;
    parameters.sortDescending = descending;
    return true;
}

} // namespace

SearchParameters
readSearchOptions(int count, const char *const words[])
{
    const char *values[OPT_COUNT] = {
	"", DEFAULT_PORT_WORD, "", "", "", "", "", "", DEFAULT_ATTRIBUTES, "none", "", nullptr,
	"false", HK_DEFAULT_BINARY_ATTRIBUTES, "false", "false", "sub", "0", "0", "false", "true",
	"", "simple", ""
    };
    SearchParameters parameters;
    for (int i = 0; i + 1 < count; i += 2) {
	int o = 0;
	while (o < OPT_COUNT && !equalsCaseBlind(words[i], OPTION_NAMES[o])) {
	    o++;
	}
	if (o < OPT_COUNT) {
	    values[o] = words[i + 1];
	} else {
	    parameters.unknownOptions.push_back(words[i]);
	}
    }

    /* A value that cannot be used: the search is refused, naming the option. */
    auto refuse = [&](OptionIndex o) {
	parameters.badOption = OPTION_NAMES[o];
	parameters.badValue = values[o];
    };
    if (!wordOf(values[OPT_SECURE], SECURE_WORDS, parameters.security)) {
	refuse(OPT_SECURE);
    }
    if (values[OPT_TIMEOUT] != nullptr
	    && !countOf(values[OPT_TIMEOUT], MAX_SECONDS, parameters.timeoutSeconds)) {
	refuse(OPT_TIMEOUT);
    }
    if (!wordOf(values[OPT_SCOPE], SCOPE_WORDS, parameters.scope)) {
	refuse(OPT_SCOPE);
    }
    if (!countOf(values[OPT_SIZE_LIMIT], MAX_SIZE_LIMIT, parameters.sizeLimit)) {
	refuse(OPT_SIZE_LIMIT);
    }
    if (!countOf(values[OPT_TIME_LIMIT], MAX_SECONDS, parameters.timeLimit)) {
	refuse(OPT_TIME_LIMIT);
    }
    if (!sortOf(values[OPT_SORT_BY], parameters)) {
	refuse(OPT_SORT_BY);
    }
    if (!wordOf(values[OPT_AUTHENTICATION], AUTHENTICATION_WORDS, parameters.authentication)) {
	refuse(OPT_AUTHENTICATION);
    }
    const struct {
	OptionIndex option;
	bool *flag;
    } booleans[] = {
	{OPT_ALL_VALUES, &parameters.allValues}, {OPT_QUIET, &parameters.quiet},
	{OPT_STRICT, &parameters.strict}, {OPT_DN, &parameters.withDn},
	{OPT_REFERRALS, &parameters.followReferrals}
    };
    for (const auto &b : booleans) {
	if (!parseBooleanWord(values[b.option], *b.flag)) {
	    refuse(b.option);
	}
    }
    /* searchPAB is true for a true word only; any other word is false, as it always was. */
    bool includePrivate = false;
    parameters.includePrivate = parseBooleanWord(values[OPT_SEARCH_PAB], includePrivate)
	    && includePrivate;

    /* A negotiate bind takes no credentials: any given is refused, naming it. */
    if (parameters.authentication == Authentication::NEGOTIATE && parameters.badOption.empty()) {
	for (OptionIndex o : {OPT_USERNAME, OPT_PASSWORD, OPT_ENCRYPTED_PASSWORD}) {
	    if (values[o][0] != '\0') {
		refuse(o);
		parameters.badValue.clear();	/* a password is never repeated */
		parameters.badWithNegotiate = true;
		break;
	    }
	}
    }

    parameters.caCertFile = values[OPT_CACERTFILE];
    parameters.server = values[OPT_SERVER];
    parameters.domain = values[OPT_DOMAIN];
    parameters.portOption = portOf(values[OPT_PORT], 0);
    parameters.port = portOf(values[OPT_PORT], parameters.security == Security::LDAPS
	    ? HK_LDAPS_PORT : HK_LDAP_DEFAULT_PORT);
    parameters.username = values[OPT_USERNAME];
    parameters.password = values[OPT_PASSWORD];
    parameters.searchBase = values[OPT_SEARCH_BASE];
    parameters.searchFilter = values[OPT_SEARCH_FILTER];
    parameters.attributes.assign(values[OPT_DESIRED_ATTRIBUTES],
	    strnlen(values[OPT_DESIRED_ATTRIBUTES], HK_ATTRIBUTES_MAX));
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
