/*
 * ldapSearchTest.cpp --
 *
 *	Units for the pieces of the directory search that need no server:
 *	referral URLs, the filter sent, the attribute list, option words and
 *	the result text of an entry.
 */

#include "directory/ldapSearchCmd.h"
#include "directory/resultRecord.h"
#include "directory/searchDriver.h"
#include "tests/unit/unitSupport.h"

#include <gtest/gtest.h>

#include <tcl.h>

#include <string>
#include <vector>

struct UrlCase {
    const char *url;
    bool ok;
    const char *host;
    unsigned port;
    const char *baseDn;
};

class ReferralUrl : public ::testing::TestWithParam<UrlCase> {};

TEST_P(ReferralUrl, Parses)
{
    const UrlCase &c = GetParam();
    HkReferralUrl out;
    ASSERT_EQ(hkParseReferralUrl(c.url, out), c.ok) << c.url;
    if (c.ok) {
	EXPECT_EQ(out.host, c.host) << c.url;
	EXPECT_EQ(out.port, c.port) << c.url;
	EXPECT_EQ(out.baseDn, c.baseDn) << c.url;
    }
}

INSTANTIATE_TEST_SUITE_P(Urls, ReferralUrl, ::testing::Values(
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
    UrlCase{"ldaps://h/dc=x/y", true, "h", 389, "dc=x/y"},
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
	EXPECT_EQ(hkBuildSearchFilter(c.filter, c.exclude), c.sent) << c.filter;
    }
    EXPECT_EQ(hkBuildSearchFilter(nullptr, true), "(!(description=OmbriPrivateUser))");
}

TEST(SearchAttributes, SplitAtRunsOfBlanks)
{
    typedef std::vector<std::string> V;
    EXPECT_EQ(hkSplitAttributes(""), V());
    EXPECT_EQ(hkSplitAttributes(" \t \t"), V());
    EXPECT_EQ(hkSplitAttributes(nullptr), V());
    EXPECT_EQ(hkSplitAttributes("cn"), V({"cn"}));
    EXPECT_EQ(hkSplitAttributes("\tcn  sn\t\tmail "), V({"cn", "sn", "mail"}));
    EXPECT_EQ(hkSplitAttributes("a,b\nc"), V({"a,b\nc"}));
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
	EXPECT_EQ(static_cast<unsigned>(hkParsePortWord(c.word)) & 0xFFFFu, c.low16) << c.word;
    }
}

TEST(SearchOptions, CaseBlindNamesAndFlags)
{
    EXPECT_TRUE(hkEqualsCaseBlind("SearchBase", "searchBASE"));
    EXPECT_FALSE(hkEqualsCaseBlind("searchBase", "searchBas"));
    EXPECT_FALSE(hkEqualsCaseBlind("server ", "server"));
    EXPECT_FALSE(hkEqualsCaseBlind("s\xC9rver", "s\xE9rver"));	/* only A to Z fold */
    for (const char *w : {"true", "TRUE", "Yes", "yEs"}) {
	EXPECT_TRUE(hkParseFlagWord(w)) << w;
    }
    for (const char *w : {"1", "y", "truee", "", "on"}) {
	EXPECT_FALSE(hkParseFlagWord(w)) << w;
    }
}

/* Parses the text as a Tcl list into name/value pairs. */
static bool
SplitPairs(const std::string &text, std::vector<std::string> &out)
{
    int count = 0;
    const char **elements = nullptr;
    if (Tcl_SplitList(unitTestInterp(), text.c_str(), &count, &elements) != TCL_OK) {
	return false;
    }
    out.assign(elements, elements + count);
    Tcl_Free(reinterpret_cast<char *>(elements));
    return true;
}

TEST(EntryText, BraceSafeValuesStayByteForByte)
{
    ResultRecord record;
    record.set("sn", new AttributeValue("Lee", 3));
    record.set("cn", new AttributeValue("Ann Lee", 7));
    record.set("givenName", new AttributeValue("", 0));
    record.set("mail", new AttributeValue("a{b}c \\{ x", 10));
    std::string text;
    hkFormatRecord(record, text);
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
	record.set("v", new AttributeValue(v.data(), static_cast<uint32_t>(v.size())));
	record.set("a", new AttributeValue("x", 1));
	std::string text;
	hkFormatRecord(record, text);
	std::vector<std::string> pairs;
	ASSERT_TRUE(SplitPairs(text, pairs)) << text;
	ASSERT_EQ(pairs.size(), 4u) << text;
	EXPECT_EQ(pairs[0], "a");
	EXPECT_EQ(pairs[2], "v");
	EXPECT_EQ(pairs[3], v) << text;
	EXPECT_EQ(text.back(), ' ');
	if (hkBracesQuoteSafely(v.data(), v.size())) {
	    EXPECT_EQ(text, "a {x} v {" + v + "} ");
	}
    }
}

TEST(EntryText, ZeroBytesAndOddNames)
{
    ResultRecord record;
    record.set("cn", new AttributeValue("a\0b", 3));
    record.set("x{y", new AttributeValue("1", 1));
    record.set("#n", new AttributeValue("2", 1));
    std::string text;
    hkFormatRecord(record, text);
    std::vector<std::string> pairs;
    ASSERT_TRUE(SplitPairs(text, pairs)) << text;
    EXPECT_EQ(pairs, std::vector<std::string>({"#n", "2", "x{y", "1"}));

    /* Names with options, as servers return them, stay as they are. */
    ResultRecord options;
    options.set("userCertificate;binary", new AttributeValue("c", 1));
    options.set("cn;lang-en", new AttributeValue("Ann", 3));
    options.set("{odd", new AttributeValue("1", 1));
    text.clear();
    hkFormatRecord(options, text);
    EXPECT_EQ(text, "cn;lang-en {Ann} userCertificate;binary {c} \\{odd {1} ");

    ResultRecord onlyZero;
    onlyZero.set("cn", new AttributeValue("\0", 1));
    text.clear();
    hkFormatRecord(onlyZero, text);
    EXPECT_EQ(text, "");
}
