/*
 * searchRulesTest.cpp --
 *
 *	Units for rules of a directory search that need no server: when a
 *	paged search makes no progress, the order in which a domain's
 *	servers are tried and on which port, and which SASL mechanism a
 *	negotiate bind asks for.
 */

#include "directory/base/dcOrder.h"
#include "directory/base/pageProgress.h"
#include "directory/base/saslMechanism.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace hkdir;

namespace {

/* One page: the DNs of its entries and the cookie it ends with. */
struct Page {
    std::vector<std::string> dns;
    std::string cookie;
};

/* For each page after the first, whether the server made progress with it. */
std::vector<bool>
progressOf(const std::vector<Page> &pages)
{
    PageProgress progress;
    std::vector<bool> out;
    std::string sent;
    for (const Page &page : pages) {
	for (const std::string &dn : page.dns) {
	    progress.entry(dn);
	}
	out.push_back(progress.pageEnded(sent, page.cookie));
	sent = page.cookie;
    }
    return out;
}

} // namespace

TEST(PageProgress, ARepeatedCookieIsNoLoopARepeatedPageIs)
{
    const struct {
	const char *what;
	std::vector<Page> pages;
	std::vector<bool> progress;
    } cases[] = {
	{"one cookie for every page, new entries each time (Samba, AD)",
	    {{{"cn=a", "cn=b"}, "MQA="}, {{"cn=c", "cn=d"}, "MQA="}, {{"cn=e"}, "MQA="}},
	    {true, true, true}},
	{"the same entries again with a new cookie",
	    {{{"cn=a", "cn=b"}, "1"}, {{"cn=a", "cn=b"}, "2"}}, {true, false}},
	{"the same entries again with the same cookie",
	    {{{"cn=a"}, "x"}, {{"cn=a"}, "x"}}, {true, false}},
	{"the same entries in another order is progress",
	    {{{"cn=a", "cn=b"}, "x"}, {{"cn=b", "cn=a"}, "x"}}, {true, true}},
	{"a page that holds the last one and more is progress",
	    {{{"cn=a"}, "x"}, {{"cn=a", "cn=b"}, "x"}}, {true, true}},
	{"an empty page that keeps the cookie it was asked with",
	    {{{"cn=a"}, "x"}, {{}, "x"}}, {true, false}},
	{"empty pages from the first on, the cookie kept",
	    {{{}, "x"}, {{}, "x"}}, {true, false}},
	{"empty pages whose cookie moves on (a server that ran out of time per page)",
	    {{{}, "1"}, {{}, "2"}, {{"cn=a"}, "3"}}, {true, true, true}},
	{"names that only join alike stay apart",
	    {{{"cn=ab", "c"}, "x"}, {{"cn=a", "bc"}, "x"}}, {true, true}},
	{"an empty DN counts as an entry",
	    {{{""}, "x"}, {{"", ""}, "x"}}, {true, true}},
    };
    for (const auto &c : cases) {
	EXPECT_EQ(progressOf(c.pages), c.progress) << c.what;
    }
}

TEST(PageProgress, AReferenceIsPartOfThePage)
{
    PageProgress progress;
    progress.reference("ldap://h/o=x");
    EXPECT_TRUE(progress.pageEnded("", "1"));
    progress.reference("ldap://h/o=x");
    EXPECT_FALSE(progress.pageEnded("1", "2"));
    progress.entry("ldap://h/o=x");		/* an entry is not a reference */
    EXPECT_TRUE(progress.pageEnded("2", "3"));
}

TEST(DcOrder, PriorityThenWeightThenAsListed)
{
    auto server = [](const char *host, unsigned priority, unsigned weight, unsigned port = 389) {
	DcServer s;
	s.host = host;
	s.priority = priority;
	s.weight = weight;
	s.port = port;
	return s;
    };
    auto hostsOf = [](const std::vector<DcServer> &servers) {
	std::vector<std::string> hosts;
	for (const DcServer &s : servers) {
	    hosts.push_back(s.host + ":" + std::to_string(s.port));
	}
	return hosts;
    };
    EXPECT_EQ(hostsOf(orderDcServers({
	server("dc3.x.", 10, 100), server("dc1.x.", 0, 50), server(".", 0, 100),
	server("dc2.x", 0, 100), server("DC1.X", 20, 0), server("dc4.x.", 10, 100),
	server("", 0, 0)})),
	std::vector<std::string>({"dc2.x:389", "dc1.x:389", "dc3.x:389", "dc4.x:389"}));
    EXPECT_TRUE(orderDcServers({server(".", 0, 0)}).empty());
    /* A target named twice keeps its first place; a port only the later one gives is kept. */
    EXPECT_EQ(hostsOf(orderDcServers({server("dc1.x", 0, 0, 0), server("dc2.x", 5, 0, 3268),
	server("DC1.x.", 9, 0, 3269)})), std::vector<std::string>({"dc1.x:3269", "dc2.x:3268"}));
}

TEST(DcOrder, ThePortOfADomainsServer)
{
    const struct {
	unsigned record, option;
	bool ldaps;
	unsigned port;
    } cases[] = {
	{0, 0, false, 389},		/* a record without a port */
	{3268, 0, false, 3268},		/* the record's port */
	{3268, 0, true, 636},		/* ldaps: its own port, not the record's clear one */
	{3268, 1389, false, 1389},	/* the port option wins */
	{0, 1636, true, 1636},
    };
    for (const auto &c : cases) {
	EXPECT_EQ(dcServerPort(c.record, c.option, c.ldaps), c.port)
	    << c.record << " " << c.option << " " << c.ldaps;
    }
}

TEST(DcOrder, ServerWordsSplitAtWhiteSpace)
{
    EXPECT_EQ(splitServers(" dc1.x\tdc2.x  10.0.0.1 "),
	    std::vector<std::string>({"dc1.x", "dc2.x", "10.0.0.1"}));
    EXPECT_EQ(splitServers("dc1.x\ndc2.x\r\n[::1]"),
	    std::vector<std::string>({"dc1.x", "dc2.x", "[::1]"}));
    EXPECT_EQ(splitServers("dc1.x"), std::vector<std::string>({"dc1.x"}));
    EXPECT_TRUE(splitServers(" \t\n").empty());
    EXPECT_TRUE(splitServers("").empty());
}

TEST(SaslMechanism, GssapiElseSpnegoElseNone)
{
    const struct {
	std::vector<std::string> offered;
	const char *chosen;
    } cases[] = {
	{{"GSS-SPNEGO", "GSSAPI", "EXTERNAL", "DIGEST-MD5"}, "GSSAPI"},	/* Active Directory */
	{{"gss-spnego", "PLAIN"}, "GSS-SPNEGO"},
	{{"gssapi"}, "GSSAPI"},
	{{"GSSAPIX", "GSS", "SCRAM-SHA-256"}, ""},
	{{}, ""},
    };
    for (const auto &c : cases) {
	EXPECT_EQ(negotiateMechanism(c.offered), c.chosen) << c.chosen;
    }
    EXPECT_EQ(noNegotiateMechanismText({"PLAIN", "DIGEST-MD5"}),
	    "the server offers no GSSAPI or GSS-SPNEGO mechanism (it offers PLAIN DIGEST-MD5)");
    EXPECT_EQ(noNegotiateMechanismText({}),
	    "the server offers no GSSAPI or GSS-SPNEGO mechanism (it offers no SASL mechanism)");
    /* A server that lists without end is cut short in the text. */
    std::string many = noNegotiateMechanismText(std::vector<std::string>(100, "X"));
    EXPECT_EQ(many.size(), std::string("the server offers no GSSAPI or GSS-SPNEGO mechanism "
	"(it offers  ...)").size() + 16 + 15);
}
