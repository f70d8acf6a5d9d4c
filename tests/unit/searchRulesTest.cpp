/*
 * searchRulesTest.cpp --
 *
 *	Units for rules of a directory search that need no server: when a
 *	paged search makes no progress, and the order in which a domain's
 *	servers are tried.
 */

#include "directory/base/dcOrder.h"
#include "directory/base/pageProgress.h"

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
    auto server = [](const char *host, unsigned priority, unsigned weight) {
	DcServer s;
	s.host = host;
	s.priority = priority;
	s.weight = weight;
	s.port = 389;
	return s;
    };
    std::vector<DcServer> ordered = orderDcServers({
	server("dc3.x.", 10, 100), server("dc1.x.", 0, 50), server(".", 0, 100),
	server("dc2.x", 0, 100), server("DC1.X", 20, 0), server("dc4.x.", 10, 100),
	server("", 0, 0)});
    std::vector<std::string> hosts;
    for (const DcServer &s : ordered) {
	hosts.push_back(s.host);
    }
    EXPECT_EQ(hosts, std::vector<std::string>({"dc2.x", "dc1.x", "dc3.x", "dc4.x"}));
    EXPECT_TRUE(orderDcServers({server(".", 0, 0)}).empty());
}

TEST(DcOrder, ServerWordsSplitAtBlanks)
{
    EXPECT_EQ(splitServers(" dc1.x\tdc2.x  10.0.0.1 "),
	    std::vector<std::string>({"dc1.x", "dc2.x", "10.0.0.1"}));
    EXPECT_TRUE(splitServers(" \t").empty());
}
