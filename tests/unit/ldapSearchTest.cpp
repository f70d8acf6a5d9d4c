/*
 * ldapSearchTest.cpp --
 *
 *	Units for the pieces of the directory search that need no server:
 *	referral URLs, the filter sent, the attribute list, option words, the
 *	result text of an entry, and ldapsearch when memory runs out.
 */

#include "directory/base/resultRecord.h"
#include "directory/base/scramble.h"
#include "directory/base/searchText.h"
#include "directory/directoryState.h"
#include "directory/entryObj.h"
#include "core/base/tclUtf8.h"
#include "directory/searchOptions.h"
#include "tests/unit/unitSupport.h"

#include <gtest/gtest.h>

#include <tcl.h>

#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/hostkit.h"

using namespace hkdir;

struct UrlCase {
    const char *url;
    bool ok;
    const char *host;
    unsigned port;
    const char *baseDn;
};

class ReferralUrlTest : public ::testing::TestWithParam<UrlCase> {};

TEST_P(ReferralUrlTest, Parses)
{
    const UrlCase &c = GetParam();
    ReferralUrl out;
    ASSERT_EQ(parseReferralUrl(c.url, out), c.ok) << c.url;
    if (c.ok) {
	EXPECT_EQ(out.host, c.host) << c.url;
	EXPECT_EQ(out.port, c.port) << c.url;
	EXPECT_EQ(out.baseDn, c.baseDn) << c.url;
	EXPECT_EQ(out.tls, strncmp(c.url, "ldaps:", 6) == 0 || strncmp(c.url, "LDAPS:", 6) == 0)
		<< c.url;
    }
}

INSTANTIATE_TEST_SUITE_P(Urls, ReferralUrlTest, ::testing::Values(
    /* The query part that servers append is not part of the DN. */
    UrlCase{"ldap://h:1389/dc=other,dc=org??sub", true, "h", 1389, "dc=other,dc=org"},
    UrlCase{"ldap://h:1389/dc=other,dc=org", true, "h", 1389, "dc=other,dc=org"},
    UrlCase{"ldap://h/ou=a%20b,dc=x?cn?one?(cn=*)", true, "h", 389, "ou=a b,dc=x"},
    UrlCase{"ldap://h/cn=a%2Cb%3f,dc=x", true, "h", 389, "cn=a,b?,dc=x"},
    UrlCase{"ldap://h/cn=100%,dc=x", true, "h", 389, "cn=100%,dc=x"},
    UrlCase{"ldap://h/cn=%zz%4", true, "h", 389, "cn=%zz%4"},
    UrlCase{"ldap://h:0/dc=x", true, "h", 389, "dc=x"},
    UrlCase{"ldap://h:abc/dc=x", true, "h", 389, "dc=x"},
    UrlCase{"ldap://h:65536/dc=x", true, "h", 389, "dc=x"},
    UrlCase{"ldap://h:636x/dc=x", true, "h", 636, "dc=x"},
    UrlCase{"ldap://[::1]:1389/dc=x", true, "::1", 1389, "dc=x"},
    UrlCase{"ldap://h:1389/", true, "h", 1389, ""},
    /* ldaps: TLS from the first byte, 636 unless a port is given. */
    UrlCase{"ldaps://h/dc=x/y", true, "h", 636, "dc=x/y"},
    UrlCase{"LDAPS://h:0/dc=x", true, "h", 636, "dc=x"},
    UrlCase{"ldaps://h:1636/dc=x", true, "h", 1636, "dc=x"},
    /* Nothing after host and port, or no "//": not followed. */
    UrlCase{"ldap://h:1389", false, "", 0, ""},
    UrlCase{"ldap://h:1389?base", false, "", 0, ""},
    UrlCase{"ldap:/h/dc=x", false, "", 0, ""},
    UrlCase{"h:1389/dc=x", false, "", 0, ""},
    UrlCase{"", false, "", 0, ""},
    UrlCase{"ldap://[::1/dc=x", false, "", 0, ""}));

TEST(SearchFilter, ExclusionWrapsOrInsertsTheCallersFilter)
{
    const struct {
	const char *filter;
	bool exclude;
	const char *sent;
    } cases[] = {
	{"", false, ""},
	{"(cn=a)", false, "(cn=a)"},
	{"", true, "(!(description=OmbriPrivateUser))"},
	{"cn=a", true, "(&(cn=a)(!(description=OmbriPrivateUser)))"},
	{"(cn=a)", true, "(&(cn=a)(!(description=OmbriPrivateUser)))"},
	{"(|(cn=a)(cn=b))", true, "(&(|(cn=a)(cn=b))(!(description=OmbriPrivateUser)))"},
	{"(cn=a", true, "(&((cn=a)(!(description=OmbriPrivateUser)))"},
    };
    for (const auto &c : cases) {
	EXPECT_EQ(buildSearchFilter(c.filter, c.exclude), c.sent) << c.filter;
    }
}

TEST(SearchAttributes, SplitAtRunsOfBlanks)
{
    typedef std::vector<std::string> V;
    EXPECT_EQ(splitAttributes(""), V());
    EXPECT_EQ(splitAttributes(" \t \t"), V());
    EXPECT_EQ(splitAttributes("cn"), V({"cn"}));
    EXPECT_EQ(splitAttributes("\tcn  sn\t\tmail "), V({"cn", "sn", "mail"}));
    EXPECT_EQ(splitAttributes("a,b\nc"), V({"a,b\nc"}));
}

TEST(SearchOptions, PortWordKeepsItsLow16Bits)
{
    const struct {
	const char *word;
	unsigned low16;
    } cases[] = {
	{"389", 389}, {"0", 0}, {"abc", 0}, {"", 0}, {"65536", 0}, {"65537", 1},
	{"131071", 65535}, {"-1", 65535}, {" \t+636x", 636}, {"1389 2", 1389},
	{"4294967296", 0}, {"4295032833", 1}, {"99999999999999999999999", 0xFFFF & 2701131775u},
    };
    for (const auto &c : cases) {
	EXPECT_EQ(static_cast<unsigned>(parsePortWord(c.word)) & 0xFFFFu, c.low16) << c.word;
    }
}

TEST(SearchOptions, CaseBlindNamesAndFlags)
{
    EXPECT_TRUE(equalsCaseBlind("SearchBase", "searchBASE"));
    EXPECT_FALSE(equalsCaseBlind("searchBase", "searchBas"));
    EXPECT_FALSE(equalsCaseBlind("server ", "server"));
    EXPECT_FALSE(equalsCaseBlind("s\xC9rver", "s\xE9rver"));	/* only A to Z fold */
    for (const char *w : {"true", "TRUE", "Yes", "yEs", "1", "on", "ON"}) {
	bool value = false;
	EXPECT_TRUE(parseBooleanWord(w, value) && value) << w;
    }
    for (const char *w : {"false", "No", "0", "oFF"}) {
	bool value = true;
	EXPECT_TRUE(parseBooleanWord(w, value) && !value) << w;
    }
    for (const char *w : {"y", "truee", "", "2", "o", " true", "01"}) {
	bool value = true;
	EXPECT_FALSE(parseBooleanWord(w, value)) << w;
	EXPECT_TRUE(value) << w;
    }
}

namespace {

/* The parameters as one line of text, so that a case compares them all at once. */
std::string
describe(const SearchParameters &p)
{
    return "server=" + p.server + " domain=" + p.domain + " port=" + std::to_string(p.port)
	    + " portOption=" + std::to_string(p.portOption)
	    + " authentication=" + std::to_string(static_cast<int>(p.authentication))
	    + " user=" + p.username
	    + " password=" + p.password + " base=" + p.searchBase + " filter=" + p.searchFilter
	    + " attributes=" + p.attributes + " private=" + (p.includePrivate ? "yes" : "no")
	    + " path=" + p.resultsPath + " security=" + std::to_string(static_cast<int>(p.security))
	    + " ca=" + p.caCertFile + " timeout=" + std::to_string(p.timeoutSeconds)
	    + " scope=" + std::to_string(static_cast<int>(p.scope))
	    + " sizelimit=" + std::to_string(p.sizeLimit) + " timelimit=" + std::to_string(p.timeLimit)
	    + " flags=" + (p.quiet ? "q" : "") + (p.strict ? "s" : "") + (p.withDn ? "d" : "")
	    + (p.followReferrals ? "r" : "") + (p.allValues ? "a" : "")
	    + " sort=" + (p.sortDescending ? "-" : "") + p.sortAttribute
	    + " unknown=" + [&] {
		std::string names;
		for (const std::string &n : p.unknownOptions) {
		    names += n + ",";
		}
		return names;
	    }()
	    + " bad=" + p.badOption + ":" + p.badValue + (p.badWithNegotiate ? " with negotiate" : "");
}

SearchParameters
optionsOf(const std::vector<std::string> &words)
{
    std::vector<const char *> pointers;
    for (const std::string &w : words) {
	pointers.push_back(w.c_str());
    }
    return readSearchOptions(static_cast<int>(pointers.size()), pointers.data());
}

} // namespace

TEST(SearchOptions, WordsBecomeTheParametersOfOneSearch)
{
    const std::string defaultAttributes =
	"cn givenname middleinitial sn telephonenumber mail mobile";
    std::string longAttributes(1500, 'a');
    longAttributes[1023] = 'z';
    const std::string scrambledSecret = scramblePassword("secret", scrambleKey()).get();

    struct Case {
	const char *what;
	std::vector<std::string> words;
	SearchParameters expected;
    };
    auto with = [&](void (*change)(SearchParameters &)) {
	SearchParameters p;
	p.attributes = defaultAttributes;
	change(p);
	return p;
    };
    const std::vector<Case> cases = {
	{"defaults", {"server", "h", "colour", "red"},
	    with([](SearchParameters &p) { p.server = "h"; p.unknownOptions = {"colour"}; })},
	{"names case-blind, the last one wins, unknown ones skipped and listed",
	    {"SERVER", "a", "colour", "red", "Server", "b", "SEARCHfilter", "sn=x",
		"searchbase", "o=y", "USERNAME", "cn=u", "PassWord", "pw", "Colour", "blue"},
	    with([](SearchParameters &p) {
		p.server = "b"; p.searchFilter = "sn=x"; p.searchBase = "o=y"; p.username = "cn=u";
		p.password = "pw"; p.unknownOptions = {"colour", "Colour"};
	    })},
	{"port 65537 keeps its low 16 bits", {"server", "h", "port", "65537"},
	    with([](SearchParameters &p) { p.server = "h"; p.port = 1; p.portOption = 1; })},
	{"port -1", {"server", "h", "port", "-1"},
	    with([](SearchParameters &p) { p.server = "h"; p.port = 65535; p.portOption = 65535; })},
	{"port 65536 is 0, the default", {"server", "h", "port", "65536"},
	    with([](SearchParameters &p) { p.server = "h"; })},
	{"port read like atoi", {"server", "h", "port", " +636x"},
	    with([](SearchParameters &p) { p.server = "h"; p.port = 636; p.portOption = 636; })},
	{"attributes cut at 1024 characters", {"desiredAttributes", longAttributes, "server", "h"},
	    with([](SearchParameters &p) {
		p.server = "h"; p.attributes = std::string(1023, 'a') + "z";
	    })},
	{"blank attributes stay blank: all of them", {"desiredattributes", " \t", "server", "h"},
	    with([](SearchParameters &p) { p.server = "h"; p.attributes = " \t"; })},
	{"a scrambled password wins over one in clear, in either order",
	    {"encryptedpassword", scrambledSecret, "password", "plain"},
	    with([](SearchParameters &p) { p.password = "secret"; })},
	{"an empty scrambled password leaves the one in clear",
	    {"password", "plain", "encryptedpassword", ""},
	    with([](SearchParameters &p) { p.password = "plain"; })},
	{"searchPAB yes", {"searchPAB", "YES", "server", "h"},
	    with([](SearchParameters &p) { p.server = "h"; p.includePrivate = true; })},
	{"searchPAB takes Tcl's true words", {"searchpab", "1", "server", "h"},
	    with([](SearchParameters &p) { p.server = "h"; p.includePrivate = true; })},
	{"searchPAB of any other word is false, not refused", {"searchpab", "maybe", "server", "h"},
	    with([](SearchParameters &p) { p.server = "h"; })},
	/* The flags added since: Tcl's boolean words, anything else refused. */
	{"flags on", {"quiet", "ON", "strict", "1", "dn", "yes", "referrals", "False", "server", "h"},
	    with([](SearchParameters &p) {
		p.server = "h"; p.quiet = true; p.strict = true; p.withDn = true;
		p.followReferrals = false;
	    })},
	{"a flag word that is not Tcl's", {"strict", "2", "server", "h"},
	    with([](SearchParameters &p) {
		p.server = "h"; p.badOption = "strict"; p.badValue = "2";
	    })},
	{"an empty flag word", {"dn", "", "server", "h"},
	    with([](SearchParameters &p) { p.server = "h"; p.badOption = "dn"; })},
	/* Scope, limits and sorting. */
	{"scope one, case-blind", {"Scope", "ONE", "server", "h"},
	    with([](SearchParameters &p) { p.server = "h"; p.scope = Scope::ONE_LEVEL; })},
	{"scope base", {"scope", "base", "server", "h"},
	    with([](SearchParameters &p) { p.server = "h"; p.scope = Scope::BASE; })},
	{"scope subtree is not a word of it", {"scope", "subtree", "server", "h"},
	    with([](SearchParameters &p) {
		p.server = "h"; p.badOption = "scope"; p.badValue = "subtree";
	    })},
	{"limits", {"sizelimit", " 100 ", "TimeLimit", "30", "server", "h"},
	    with([](SearchParameters &p) { p.server = "h"; p.sizeLimit = 100; p.timeLimit = 30; })},
	{"a size limit beyond 31 bits is the largest", {"sizelimit", "99999999999", "server", "h"},
	    with([](SearchParameters &p) { p.server = "h"; p.sizeLimit = 0x7FFFFFFF; })},
	{"a negative size limit", {"sizelimit", "-1", "server", "h"},
	    with([](SearchParameters &p) {
		p.server = "h"; p.badOption = "sizelimit"; p.badValue = "-1";
	    })},
	{"a time limit that is not a number", {"timelimit", "soon", "server", "h"},
	    with([](SearchParameters &p) {
		p.server = "h"; p.badOption = "timelimit"; p.badValue = "soon";
	    })},
	{"sortby ascending", {"sortby", "sn", "server", "h"},
	    with([](SearchParameters &p) { p.server = "h"; p.sortAttribute = "sn"; })},
	{"sortby descending", {"SORTBY", "-cn", "server", "h"},
	    with([](SearchParameters &p) {
		p.server = "h"; p.sortAttribute = "cn"; p.sortDescending = true;
	    })},
	{"sortby empty: no sorting", {"sortby", "", "server", "h"},
	    with([](SearchParameters &p) { p.server = "h"; })},
	{"sortby a minus alone", {"sortby", "-", "server", "h"},
	    with([](SearchParameters &p) {
		p.server = "h"; p.badOption = "sortby"; p.badValue = "-";
	    })},
	{"sortby two names", {"sortby", "sn cn", "server", "h"},
	    with([](SearchParameters &p) {
		p.server = "h"; p.badOption = "sortby"; p.badValue = "sn cn";
	    })},
	/* The secure option: its words case-blind, ldaps moves the default port only. */
	{"secure ldaps: port 636 when unset", {"SECURE", "LDAPS", "server", "h"},
	    with([](SearchParameters &p) {
		p.server = "h"; p.security = Security::LDAPS; p.port = 636;
	    })},
	{"secure ldaps: port 0 is 636", {"secure", "ldaps", "port", "0"},
	    with([](SearchParameters &p) { p.security = Security::LDAPS; p.port = 636; })},
	{"secure ldaps: a given port stays", {"secure", "ldaps", "port", "1636"},
	    with([](SearchParameters &p) {
		p.security = Security::LDAPS; p.port = 1636; p.portOption = 1636;
	    })},
	{"secure starttls keeps 389", {"Secure", "StartTLS", "server", "h"},
	    with([](SearchParameters &p) { p.server = "h"; p.security = Security::STARTTLS; })},
	{"secure none", {"secure", "none", "server", "h"},
	    with([](SearchParameters &p) { p.server = "h"; })},
	{"an unknown secure word is refused, never clear text", {"secure", "tls", "server", "h"},
	    with([](SearchParameters &p) {
		p.server = "h"; p.badOption = "secure"; p.badValue = "tls";
	    })},
	{"an empty secure word is refused", {"secure", "", "server", "h"},
	    with([](SearchParameters &p) { p.server = "h"; p.badOption = "secure"; })},
	{"cacertfile", {"CACertFile", "/etc/ca.pem", "server", "h"},
	    with([](SearchParameters &p) { p.server = "h"; p.caCertFile = "/etc/ca.pem"; })},
	/* Time-outs: whole seconds, 0 means none, at most a day. */
	{"timeout 5", {"TimeOut", " 5 ", "server", "h"},
	    with([](SearchParameters &p) { p.server = "h"; p.timeoutSeconds = 5; })},
	{"timeout 0: wait for ever", {"timeout", "0", "server", "h"},
	    with([](SearchParameters &p) { p.server = "h"; p.timeoutSeconds = 0; })},
	{"timeout beyond a day is a day", {"timeout", "99999999999999999999", "server", "h"},
	    with([](SearchParameters &p) { p.server = "h"; p.timeoutSeconds = 86400; })},
	{"timeout negative", {"timeout", "-1", "server", "h"},
	    with([](SearchParameters &p) {
		p.server = "h"; p.badOption = "timeout"; p.badValue = "-1";
	    })},
	{"timeout with a fraction", {"timeout", "1.5", "server", "h"},
	    with([](SearchParameters &p) {
		p.server = "h"; p.badOption = "timeout"; p.badValue = "1.5";
	    })},
	{"timeout empty", {"timeout", "", "server", "h"},
	    with([](SearchParameters &p) { p.server = "h"; p.badOption = "timeout"; })},
	/* Negotiate: case-blind words; it takes no credentials, and repeats no password. */
	{"authentication negotiate, a server list, a domain", {"Authentication", "NEGOTIATE",
		"server", "dc1 dc2", "DOMAIN", "example.org"},
	    with([](SearchParameters &p) {
		p.server = "dc1 dc2"; p.domain = "example.org";
		p.authentication = Authentication::NEGOTIATE;
	    })},
	{"authentication simple", {"authentication", "Simple", "server", "h"},
	    with([](SearchParameters &p) { p.server = "h"; })},
	{"authentication kerberos is no word of it", {"authentication", "kerberos", "server", "h"},
	    with([](SearchParameters &p) {
		p.server = "h"; p.badOption = "authentication"; p.badValue = "kerberos";
	    })},
	{"negotiate with a username", {"authentication", "negotiate", "username", "cn=u"},
	    with([](SearchParameters &p) {
		p.authentication = Authentication::NEGOTIATE; p.username = "cn=u";
		p.badOption = "username"; p.badWithNegotiate = true;
	    })},
	{"negotiate with a password, its value not kept as the bad one",
	    {"password", "secret", "authentication", "negotiate"},
	    with([](SearchParameters &p) {
		p.authentication = Authentication::NEGOTIATE; p.password = "secret";
		p.badOption = "password"; p.badWithNegotiate = true;
	    })},
	{"negotiate with a scrambled password",
	    {"authentication", "negotiate", "encryptedpassword", scrambledSecret},
	    with([](SearchParameters &p) {
		p.authentication = Authentication::NEGOTIATE; p.password = "secret";
		p.badOption = "encryptedpassword"; p.badWithNegotiate = true;
	    })},
	{"negotiate with empty credentials", {"authentication", "negotiate", "username", "",
		"password", "", "encryptedpassword", ""},
	    with([](SearchParameters &p) { p.authentication = Authentication::NEGOTIATE; })},
	{"a bad word says so before a negotiate conflict",
	    {"authentication", "negotiate", "username", "cn=u", "scope", "all"},
	    with([](SearchParameters &p) {
		p.authentication = Authentication::NEGOTIATE; p.username = "cn=u";
		p.badOption = "scope"; p.badValue = "all";
	    })},
    };
    for (const Case &c : cases) {
	EXPECT_EQ(describe(optionsOf(c.words)), describe(c.expected)) << c.what;
    }
}

/* Parses the text as a Tcl list into name/value pairs. */
static bool
SplitPairs(const std::string &text, std::vector<std::string> &out)
{
    Tcl_Size count = 0;
    const char **elements = nullptr;
    if (Tcl_SplitList(unitTestInterp(), text.c_str(), &count, &elements) != TCL_OK) {
	return false;
    }
    out.assign(elements, elements + count);
    Tcl_Free(reinterpret_cast<char *>(elements));
    return true;
}

/* Appends the string form of the entry's result object, as a script sees it. */
void
entryText(const ResultRecord &record, bool allValues, std::string &out)
{
    Tcl_Obj *entry = newEntryObj(record, allValues);
    Tcl_IncrRefCount(entry);
    Tcl_Size length = 0;
    const char *bytes = Tcl_GetStringFromObj(entry, &length);
    out.append(bytes, static_cast<size_t>(length));
    Tcl_DecrRefCount(entry);
}

TEST(EntryText, BraceSafeValuesStayByteForByte)
{
    ResultRecord record;
    record.set("sn", std::make_unique<AttributeValue>("Lee", 3));
    record.set("cn", std::make_unique<AttributeValue>("Ann Lee", 7));
    record.set("givenName", std::make_unique<AttributeValue>("", 0));
    record.set("mail", std::make_unique<AttributeValue>("a{b}c \\{ x", 10));
    std::string text;
    entryText(record, false, text);
    EXPECT_EQ(text, "cn {Ann Lee} givenName {} mail {a{b}c \\{ x} sn {Lee} ");
}

TEST(EntryText, EveryValueParsesBackExactly)
{
    const std::vector<std::string> values = {
	"", " ", "  two  ", "plain", "Brace {open", "close} brace", "}{", "{}", "{{}",
	"ends\\", "ends\\\\", "back\\slash", "line one\nline two", "tab\there", "\\\n",
	"$x [y] ;z", "\"quoted\"", "#hash", "{a} b", "a\\{", "M\xC3\xBCller", "\\}",
	"{ends with}\\", "cr\r\n",
    };
    for (const std::string &v : values) {
	ResultRecord record;
	record.set("v",
		std::make_unique<AttributeValue>(v.data(), static_cast<uint32_t>(v.size())));
	record.set("a", std::make_unique<AttributeValue>("x", 1));
	std::string text;
	entryText(record, false, text);
	std::vector<std::string> pairs;
	ASSERT_TRUE(SplitPairs(text, pairs)) << text;
	ASSERT_EQ(pairs.size(), 4u) << text;
	EXPECT_EQ(pairs[0], "a");
	EXPECT_EQ(pairs[2], "v");
	EXPECT_EQ(pairs[3], v) << text;
	EXPECT_EQ(text.back(), ' ');
	if (bracesQuoteSafely(v.data(), v.size())) {
	    EXPECT_EQ(text, "a {x} v {" + v + "} ");
	}
    }
}

TEST(EntryText, ZeroBytesAndOddNames)
{
    ResultRecord record;
    record.set("cn", std::make_unique<AttributeValue>("a\0b", 3));
    record.set("x{y", std::make_unique<AttributeValue>("1", 1));
    record.set("#n", std::make_unique<AttributeValue>("2", 1));
    std::string text;
    entryText(record, false, text);
    std::vector<std::string> pairs;
    ASSERT_TRUE(SplitPairs(text, pairs)) << text;
    EXPECT_EQ(pairs, std::vector<std::string>({"#n", "2", "x{y", "1"}));

    /* Names with options, as servers return them, stay as they are. */
    ResultRecord options;
    options.set("userCertificate;binary", std::make_unique<AttributeValue>("c", 1));
    options.set("cn;lang-en", std::make_unique<AttributeValue>("Ann", 3));
    options.set("{odd", std::make_unique<AttributeValue>("1", 1));
    text.clear();
    entryText(options, false, text);
    EXPECT_EQ(text, "cn;lang-en {Ann} userCertificate;binary {c} \\{odd {1} ");

    ResultRecord onlyZero;
    onlyZero.set("cn", std::make_unique<AttributeValue>("\0", 1));
    text.clear();
    entryText(onlyZero, false, text);
    EXPECT_EQ(text, "");
}

namespace {

/*
 * Runs in a child process: holds a 64 MB filter, caps the address space at
 * what is in use plus 32 MB, and calls ldapsearch, whose own copy of the
 * filter then cannot fit. Returns 0 when the command failed with -700 and
 * its message.
 */
int
searchWithCappedMemory()
{
    std::string filter(64 << 20, 'x');
    unsigned long long inUse = unitAddressSpace();
    if (inUse == 0) {
	return 9;
    }
    struct rlimit limit;
    limit.rlim_cur = limit.rlim_max = inUse + (32 << 20);
    if (setrlimit(RLIMIT_AS, &limit) != 0) {
	return 8;
    }
    const char *words[] = {"ldapsearch", "server", "127.0.0.1", "port", "1", "searchFilter",
	filter.c_str()};
    Tcl_Interp *interp = unitTestInterp();
    Tcl_SetErrno(0);
    if (HkLdapSearchCmd(nullptr, interp, 7, words) != TCL_ERROR) {
	return 1;
    }
    if (Tcl_GetErrno() != -700) {
	return 2;
    }
    return strcmp(Tcl_GetStringResult(interp), "Not enough memory") == 0 ? 0 : 3;
}

} // namespace

TEST(LdapSearchCmdDeathTest, MemoryRunningOutIsNotEnoughMemory)
{
    char dir[] = "/tmp/hkmemXXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const char *old = getenv("XDG_DATA_HOME");
    std::string saved = old ? old : "";
    setenv("XDG_DATA_HOME", dir, 1);
    EXPECT_EXIT(_exit(searchWithCappedMemory()), ::testing::ExitedWithCode(0), "");
    if (old) {
	setenv("XDG_DATA_HOME", saved.c_str(), 1);
    } else {
	unsetenv("XDG_DATA_HOME");
    }
    std::string cmd = std::string("rm -rf '") + dir + "'";
    ASSERT_EQ(system(cmd.c_str()), 0);
}

namespace {

/* The characters of Tcl text, as Tcl reads them. */
std::vector<unsigned> charactersOf(const std::string &text)
{
    Tcl_Obj *obj = Tcl_NewStringObj(text.data(), static_cast<int>(text.size()));
    Tcl_IncrRefCount(obj);
    Tcl_Size length = 0;
    Tcl_UniChar *chars = Tcl_GetUnicodeFromObj(obj, &length);
    std::vector<unsigned> out(chars, chars + length);
    Tcl_DecrRefCount(obj);
    return out;
}

/* What Tcl's own "encoding convertfrom utf-8" makes of the bytes, as Tcl text. */
std::string
tclDecodes(const std::string &bytes)
{
    Tcl_Interp *interp = unitTestInterp();
    Tcl_Obj *data = Tcl_NewByteArrayObj(reinterpret_cast<const unsigned char *>(bytes.data()),
	    static_cast<int>(bytes.size()));
    Tcl_SetVar2Ex(interp, "hkBytes", nullptr, data, 0);
    /* Tcl 9 refuses such bytes unless asked to decode them as Tcl 8 did. */
    const char *script = TCL_MAJOR_VERSION >= 9 ? "encoding convertfrom -profile tcl8 utf-8 $hkBytes"
	    : "encoding convertfrom utf-8 $hkBytes";
    EXPECT_EQ(Tcl_Eval(interp, script), TCL_OK);
    return Tcl_GetStringResult(interp);
}

} // namespace

TEST(EntryText, BytesThatAreNotUtf8BecomeTheTextTclWouldMake)
{
    /*
     * Names and values as a directory may send them: Latin-1, binary,
     * cut and overlong sequences, surrogates, 4-byte characters, and then
     * random bytes. Each comes back as the text that Tcl's own decoding
     * makes of it; well-formed UTF-8 stays byte for byte.
     */
    std::vector<std::string> values = {
	"plain", "M\xC3\xBCller \xE6\x97\xA5\xE6\x9C\xAC", "\xF0\x9F\x98\x80 4 bytes",
	"M\xFCller", "\xFF\xFE\x80", "cut \xC3", "cut \xE2\x82", "\xC0\x80", "\xC0\xAF",
	"\xE0\x80\x80", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xF8\x88\x80\x80\x80",
	"\x80\xBF lone", "{\xFF}", "\xC3\xA9\xE9",
    };
    srand(7);
    for (int i = 0; i < 300; i++) {
	std::string random;
	for (int n = rand() % 12; n >= 0; n--) {
	    random += static_cast<char>(1 + rand() % 255);
	}
	values.push_back(random);
    }
    for (size_t i = 0; i < values.size(); i++) {
	const std::string &v = values[i];
	SCOPED_TRACE(::testing::PrintToString(v));
	ResultRecord record;
	record.set(v, std::make_unique<AttributeValue>(v.data(), static_cast<uint32_t>(v.size())));
	std::string text;
	entryText(record, false, text);
	std::vector<std::string> elements;
	ASSERT_TRUE(SplitPairs(text, elements));
	ASSERT_EQ(elements.size(), 2u);
	/* Tcl 9 decodes stray bytes otherwise (see tclUtf8Test.cpp): Tcl 8 is the reference. */
	if (TCL_MAJOR_VERSION < 9) {
	    std::vector<unsigned> want = charactersOf(tclDecodes(v));
	    EXPECT_EQ(charactersOf(elements[0]), want);
	    EXPECT_EQ(charactersOf(elements[1]), want);
	}
	/*
	 * Well-formed UTF-8 stays byte for byte; a character beyond U+FFFF
	 * only where Tcl holds it whole (Tcl 9), Tcl 8 holds two halves.
	 */
	if (i < 2 || (i == 2 && HK_TCL_KEEPS_FOUR_BYTES)) {
	    EXPECT_EQ(elements[1], v);
	}
    }
}

TEST(SearchOptions, AllValuesAndBinaryAttributes)
{
    SearchParameters plain = optionsOf({"server", "h", "port", "1"});
    EXPECT_FALSE(plain.allValues);
    EXPECT_EQ(plain.binaryAttributes, std::vector<std::string>({"objectGUID", "objectSid",
	    "jpegPhoto", "thumbnailPhoto", "userCertificate"}));

    SearchParameters all = optionsOf({"AllValues", "YES", "BINARYattributes", " cn\tmail  "});
    EXPECT_TRUE(all.allValues);
    EXPECT_EQ(all.binaryAttributes, std::vector<std::string>({"cn", "mail"}));
    EXPECT_TRUE(optionsOf({"allvalues", "1", "server", "h"}).allValues);
    EXPECT_FALSE(optionsOf({"allvalues", "Off", "server", "h"}).allValues);
    EXPECT_TRUE(optionsOf({"allvalues", "yes", "binaryattributes", ""}).binaryAttributes.empty());
}

TEST(SearchText, BinaryAttributesByTypeOrBinaryOption)
{
    std::vector<std::string> list = splitAttributes(HK_DEFAULT_BINARY_ATTRIBUTES);
    for (const char *name : {"objectGUID", "OBJECTSID", "thumbnailphoto", "jpegPhoto;range=0-*",
	    "userCertificate", "cACertificate;binary", "x;lang-en;BINARY"}) {
	EXPECT_TRUE(isBinaryAttribute(name, list)) << name;
    }
    for (const char *name : {"cn", "objectGUIDs", "objectGUI", "member;binaryish", "",
	    "binary", "cn;lang-binary"}) {
	EXPECT_FALSE(isBinaryAttribute(name, list)) << name;
    }
    EXPECT_FALSE(isBinaryAttribute("objectGUID", {}));
    EXPECT_TRUE(isBinaryAttribute("userCertificate;binary", {}));
}

TEST(SearchText, RangedNames)
{
    AttributeRange r;
    ASSERT_TRUE(parseRangedName("member;range=0-1499", r));
    EXPECT_EQ(r.plainName, "member");
    EXPECT_EQ(r.low, 0u);
    EXPECT_EQ(r.high, 1499u);
    EXPECT_FALSE(r.last);

    ASSERT_TRUE(parseRangedName("member;Range=1500-*", r));
    EXPECT_EQ(r.plainName, "member");
    EXPECT_EQ(r.low, 1500u);
    EXPECT_TRUE(r.last);

    /* Other options stay where they stood. */
    ASSERT_TRUE(parseRangedName("member;x-a;range=5-9;x-b", r));
    EXPECT_EQ(r.plainName, "member;x-a;x-b");

    for (const char *name : {"member", "member;range=", "member;range=5", "member;range=9-5",
	    "member;range=-5", "member;range=a-b", "member;range=1-*x", "member;range=1--2",
	    "member;range=1-99999999999999999999", "member;ranges=0-1"}) {
	EXPECT_FALSE(parseRangedName(name, r)) << name;
    }
}

TEST(EntryText, AllValuesAreListsThatParseBackExactly)
{
    const std::vector<std::string> values = {
	"CN=A,DC=x", "", "two words", "Brace {open", "}{", "ends\\", "#hash", "line\nbreak",
	std::string("zero\0byte", 9),
    };
    ResultRecord record;
    for (const std::string &v : values) {
	record.add("memberOf",
		std::make_unique<AttributeValue>(v.data(), static_cast<uint32_t>(v.size())));
    }
    record.add("CN", std::make_unique<AttributeValue>("Ann Lee", 7));
    std::string text;
    entryText(record, true, text);
    std::vector<std::string> pairs;
    ASSERT_TRUE(SplitPairs(text, pairs)) << text;
    ASSERT_EQ(pairs.size(), 4u) << text;
    EXPECT_EQ(pairs[0], "CN");
    EXPECT_EQ(pairs[1], "{Ann Lee}");
    EXPECT_EQ(pairs[2], "memberOf");
    std::vector<std::string> list;
    ASSERT_TRUE(SplitPairs(pairs[3], list)) << pairs[3];
    ASSERT_EQ(list.size(), values.size());
    for (size_t i = 0; i + 1 < values.size(); i++) {
	EXPECT_EQ(list[i], values[i]) << i;
    }
    /* A zero byte is kept, as Tcl writes U+0000. */
    EXPECT_EQ(list.back(), std::string("zero\xC0\x80" "byte"));
}

TEST(EntryText, TheResultObjectIsTheListOfPairsBehindTheText)
{
    /* Few pairs and more pairs than the elements kept in place. */
    for (int attributes : {3, 40}) {
	ResultRecord record;
	for (int i = 0; i < attributes; i++) {
	    std::string name = "a" + std::to_string(100 + i);
	    std::string value = i % 2 ? "v " + std::to_string(i) : "}{" + std::to_string(i);
	    record.set(name, std::make_unique<AttributeValue>(value.data(),
		    static_cast<uint32_t>(value.size())));
	}
	for (bool allValues : {false, true}) {
	    Tcl_Obj *entry = newEntryObj(record, allValues);
	    Tcl_IncrRefCount(entry);
	    std::string text;
	    entryText(record, allValues, text);
	    Tcl_Size count = 0;
	    Tcl_Obj **elements = nullptr;
	    ASSERT_EQ(Tcl_ListObjGetElements(nullptr, entry, &count, &elements), TCL_OK);
	    ASSERT_EQ(count, 2 * attributes);
	    /* The elements are what parsing the text gives. */
	    std::vector<std::string> pairs;
	    ASSERT_TRUE(SplitPairs(text, pairs));
	    for (Tcl_Size i = 0; i < count; i++) {
		EXPECT_EQ(Tcl_GetString(elements[i]), pairs[static_cast<size_t>(i)]) << i;
	    }
	    Tcl_DecrRefCount(entry);
	}
    }
}

TEST(EntryText, EntriesOfChangingNamesThroughOneRecord)
{
    /*
     * The reader fills one record entry after entry; the key order and the
     * names' objects carried over from the last entry must follow each
     * entry's own names, their spelling and the order they came in.
     */
    typedef std::vector<std::pair<std::string, std::string>> Fields;
    const std::vector<std::pair<Fields, std::string>> entries = {
	{{{"sn", "Lee"}, {"cn", "Ann"}, {"mail", "a@x"}}, "cn {Ann} mail {a@x} sn {Lee} "},
	{{{"sn", "Lee"}, {"cn", "Ann"}, {"mail", "a@x"}}, "cn {Ann} mail {a@x} sn {Lee} "},
	{{{"cn", "Bo"}, {"sn", "Li"}, {"mail", "b@x"}}, "cn {Bo} mail {b@x} sn {Li} "},
	{{{"SN", "Li"}, {"cn", "Bo"}, {"mail", "b@x"}}, "cn {Bo} mail {b@x} SN {Li} "},
	{{{"sn", "Li"}, {"cn", "Bo"}}, "cn {Bo} sn {Li} "},
	{{{"sn", "Li"}, {"cn", "Bo"}, {"mobile", "1"}, {"mail", "m{"}},
	    "cn {Bo} mail m\\{ mobile {1} sn {Li} "},
	{{{"zz", "1"}, {"a b", "2"}, {"cn", "3"}}, "{a b} {2} cn {3} zz {1} "},
	{{}, ""},
	{{{"sn", "Lee"}, {"cn", "Ann"}, {"mail", "a@x"}}, "cn {Ann} mail {a@x} sn {Lee} "},
    };
    ResultRecord record;
    for (const auto &entry : entries) {
	record.clear();
	for (const auto &field : entry.first) {
	    record.set(field.first, AttributeValue(field.second.data(),
		    static_cast<uint32_t>(field.second.size())));
	}
	Tcl_Obj *obj = newEntryObj(record, false);
	Tcl_IncrRefCount(obj);
	EXPECT_EQ(Tcl_GetString(obj), entry.second);
	std::vector<std::string> pairs;
	ASSERT_TRUE(SplitPairs(entry.second, pairs));
	Tcl_Size count = 0;
	Tcl_Obj **elements = nullptr;
	ASSERT_EQ(Tcl_ListObjGetElements(nullptr, obj, &count, &elements), TCL_OK);
	ASSERT_EQ(static_cast<size_t>(count), pairs.size()) << entry.second;
	for (Tcl_Size i = 0; i < count; i++) {
	    EXPECT_EQ(Tcl_GetString(elements[i]), pairs[static_cast<size_t>(i)]) << entry.second;
	}
	Tcl_DecrRefCount(obj);
    }
}
