/*
 * searchDriverTest.cpp --
 *
 *	Units for what a directory search prints and returns: the text and
 *	stream of every report line, and the lines and codes of searches that
 *	fail, taken in this process through the report sink. The searches
 *	against servers use the test directory servers (tests/ldap/servers.sh)
 *	and are skipped without them; the Tcl suite checks the lines of
 *	searches that succeed, as the process prints them.
 */

#include "directory/base/resultRecord.h"
#include "directory/base/resultsFile.h"
#include "directory/searchDriver.h"
#include "directory/searchReport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <unistd.h>
#include <vector>

using namespace hkdir;

namespace {

struct Line {
    ReportStream stream;
    std::string text;
    bool operator==(const Line &o) const { return stream == o.stream && text == o.text; }
};

std::ostream &
operator<<(std::ostream &out, const Line &line)
{
    return out << (line.stream == ReportStream::STANDARD_OUTPUT ? "out:" : "err:") << '"'
	    << line.text << '"';
}

std::vector<Line> captured;

void
capture(ReportStream stream, const std::string &text)
{
    captured.push_back({stream, text});
}

/* The lines that f reports, taken from the sink instead of the streams. */
std::vector<Line>
linesOf(const std::function<void(SearchReport &)> &f)
{
    captured.clear();
    SearchReport report(false, capture);
    f(report);
    return captured;
}

const ReportStream OUT = ReportStream::STANDARD_OUTPUT;
const ReportStream ERR = ReportStream::STANDARD_ERROR;

} // namespace

TEST(SearchReport, EveryLineWithItsStream)
{
    /* The lines scripts and people read: their text must not change. */
    const struct {
	std::function<void(SearchReport &)> report;
	Line line;
    } cases[] = {
	{[](SearchReport &r) { r.paging(true, 500); },
	    {OUT, "\nDirectory supports paging. Current page size 500\n"}},
	{[](SearchReport &r) { r.paging(false, 500); }, {OUT, "\nDirectory does not support paging\n"}},
	{[](SearchReport &r) { r.referral("ldap://h:1/o=x??sub"); }, {OUT, "Referral: ldap://h:1/o=x??sub\n"}},
	{[](SearchReport &r) { r.noUsername(); },
	    {ERR, "\nPlease specify a user account to access search base\n\n"}},
	{[](SearchReport &r) { r.badOption("secure", "tls"); },
	    {ERR, "\nInvalid value of option secure: tls\n\n"}},
	{[](SearchReport &r) { r.credentialsWithNegotiate("password"); },
	    {ERR, "\nOption password cannot be used with authentication negotiate: it binds with "
		"the Kerberos credentials of the account that runs the process\n\n"}},
	{[](SearchReport &r) {
		r.noDomainController("x.test", "_ldap._tcp.dc._msdcs.x.test", "the name does not exist");
	    },
	    {ERR, "\nCannot find a domain controller of x.test: no SRV record "
		"_ldap._tcp.dc._msdcs.x.test (the name does not exist)\n\n"}},
	{[](SearchReport &r) { r.domainLookupTimedOut("x.test", "_ldap._tcp.dc._msdcs.x.test", 4); },
	    {ERR, "\nCannot find a domain controller of x.test: no answer for "
		"_ldap._tcp.dc._msdcs.x.test within 4 s\n\n"}},
	{[](SearchReport &r) {
		r.domainLookupFailed("x.test", "_ldap._tcp.dc._msdcs.x.test", "Unknown server error");
	    },
	    {ERR, "\nCannot find a domain controller of x.test: _ldap._tcp.dc._msdcs.x.test cannot "
		"be looked up (Unknown server error)\n\n"}},
	{[](SearchReport &r) { r.cannotConnect("host.example:1389", 0x51); },
	    {ERR, "\nCannot open LDAP connection to: host.example:1389 (0x51 (Can't contact LDAP "
		"server))\n\n"}},
	/* A referral server that cannot be reached is not an authentication failure. */
	{[](SearchReport &r) { r.cannotConnect("ldap://h:1/o=x??sub", 0x51); },
	    {ERR, "\nCannot open LDAP connection to: ldap://h:1/o=x??sub (0x51 (Can't contact "
		"LDAP server))\n\n"}},
	{[](SearchReport &r) { r.connectTimedOut("h:1", "bind", 7, 0x55); },
	    {ERR, "\nCannot open LDAP connection to: h:1 (0x55 (Timed out)): bind timed out after "
		"7 s\n\n"}},
	{[](SearchReport &r) { r.cannotSecure("h:636", 0x5b, "certificate verify failed"); },
	    {ERR, "\nCannot secure LDAP connection to: h:636 (0x5b (Connect error: certificate "
		"verify failed))\n\n"}},
	{[](SearchReport &r) { r.referralWithoutTls("ldap://h/o=x", 2, "unsupported extended operation"); },
	    {ERR, "\nReferral skipped, no TLS there: ldap://h/o=x (0x2 (Protocol error: "
		"unsupported extended operation))\n\n"}},
	/* Code in hex with 0x, the library's text, the server's reason. */
	{[](SearchReport &r) { r.bindFailed(0x31); }, {ERR, "Failed to authenticate: 0x31 (Invalid credentials)\n"}},
	{[](SearchReport &r) { r.bindFailed(0x8, "BindSimple: Transport encryption required."); },
	    {ERR, "Failed to authenticate: 0x8 (Strong(er) authentication required: BindSimple: "
		"Transport encryption required.)\n"}},
	{[](SearchReport &r) { r.cannotSetVersion(0x5c); },
	    {ERR, "\nCannot set ldap version (0x5c (Not Supported))\n\n"}},
	{[](SearchReport &r) { r.cannotSetReferrals(0x5c); },
	    {ERR, "\nCannot set referral option (0x5c (Not Supported))\n\n"}},
	{[](SearchReport &r) { r.cannotSetHopLimit(0x5c); },
	    {ERR, "\nCannot set referral hop limit (0x5c (Not Supported))\n\n"}},
	{[](SearchReport &r) { r.cannotCreateResults("/d/Ldap_3.txt"); },
	    {ERR, "\nCannot open file /d/Ldap_3.txt for writing.\n\n"}},
	{[](SearchReport &r) { r.cannotStartSearch(0x51); },
	    {ERR, "\nCannot start search (0x51 (Can't contact LDAP server))\n\n"}},
	{[](SearchReport &r) { r.waitFailed(0x51); },
	    {ERR, "ldap_result returned error (0x51 (Can't contact LDAP server))\n\n"}},
	{[](SearchReport &r) { r.waitTimedOut(60); },
	    {ERR, "ldap_result timed out (0x55 (Timed out)): no answer within 60 s\n\n"}},
	{[](SearchReport &r) { r.searchError(4); },
	    {ERR, "\nSearch ended with error (0x4 (Size limit exceeded))\n\n"}},
	{[](SearchReport &r) { r.searchError(0x20, "no such base"); },
	    {ERR, "\nSearch ended with error (0x20 (No such object: no such base))\n\n"}},
	/* A code the library has no text for still shows its number. */
	{[](SearchReport &r) { r.searchError(0x7777); }, {ERR, "\nSearch ended with error (0x7777 (Unknown (private extension) error))\n\n"}},
	{[](SearchReport &r) { r.unreadableReference(0x59); },
	    {ERR, "\nCannot read search reference (0x59 (Bad parameter to an ldap routine))\n\n"}},
	{[](SearchReport &r) { r.referralTooDeep("ldap://h/o=x", 32); },
	    {ERR, "\nReferral not followed: more than 32 nested referrals (ldap://h/o=x)\n\n"}},
	{[](SearchReport &r) { r.referralRepeated("ldap://h/o=x"); },
	    {ERR, "\nReferral not followed: already searched (ldap://h/o=x)\n\n"}},
	{[](SearchReport &r) { r.tooManyReferrals("ldap://h/o=x", 256); },
	    {ERR, "\nReferral not followed: more than 256 referral searches (ldap://h/o=x)\n\n"}},
	{[](SearchReport &r) { r.pagingNoProgress(); },
	    {ERR, "\nPaged search stopped: the server made no progress (a page with no entry and "
		"the same cookie, or the same entries again)\n\n"}},
	{[](SearchReport &r) { r.pageCookieTooLarge(65537, 65536); },
	    {ERR, "\nPaged search stopped: a page cookie of 65537 bytes, more than 65536\n\n"}},
	{[](SearchReport &r) { r.pageControlUnreadable(); },
	    {ERR, "\nPaged search stopped: the server's paged-results control cannot be "
		"read\n\n"}},
	{[](SearchReport &r) { r.timeLimitOver(5); },
	    {ERR, "\nSearch stopped: its time limit of 5 s is over\n\n"}},
	{[](SearchReport &r) { r.tooManyPages(20000); }, {ERR, "\nPaged search stopped after 20000 pages\n\n"}},
	{[](SearchReport &r) { r.total(1250); }, {ERR, "Total entries = 1250\n"}},
    };
    for (const auto &c : cases) {
	EXPECT_EQ(linesOf(c.report), std::vector<Line>({c.line}));
    }

    /* Arguments of any length come through whole. */
    std::string longUrl = "ldap://h/" + std::string(5000, 'o');
    EXPECT_EQ(linesOf([&](SearchReport &r) { r.referral(longUrl); }),
	    std::vector<Line>({{OUT, "Referral: " + longUrl + "\n"}}));
}

TEST(SearchDriver, RefusalsBeforeAnyServerAnswers)
{
    SearchParameters noUser;
    noUser.server = "127.0.0.1";
    noUser.port = 1;
    noUser.password = "secret";
    int result = 0;
    EXPECT_EQ(linesOf([&](SearchReport &r) { result = runDirectorySearch(noUser, r); }), std::vector<Line>({
	{ERR, "\nPlease specify a user account to access search base\n\n"}}));
    EXPECT_EQ(result, HK_SEARCH_NO_USER);

    /* Port 1 is closed. */
    SearchParameters closed;
    closed.server = "127.0.0.1";
    closed.port = 1;
    EXPECT_EQ(linesOf([&](SearchReport &r) { result = runDirectorySearch(closed, r); }),
	    std::vector<Line>({{ERR, "\nCannot open LDAP connection to: 127.0.0.1:1 (0x51 (Can't "
		"contact LDAP server: Connection refused))\n\n"}}));
    EXPECT_EQ(result, HK_SEARCH_NO_CONNECTION);
}

namespace {

class SearchDriverServer : public ::testing::Test {
protected:
    void SetUp() override
    {
	if (getenv("HOSTKIT_LDAP_PORT") == nullptr) {
	    GTEST_SKIP() << "no test directory server (tests/ldap/servers.sh)";
	}
	char dir[] = "/tmp/hkdrvXXXXXX";
	ASSERT_NE(mkdtemp(dir), nullptr);
	dir_ = dir;
	parameters_.server = getenv("HOSTKIT_LDAP_HOST");
	parameters_.port = static_cast<uint16_t>(atoi(getenv("HOSTKIT_LDAP_PORT")));
	parameters_.username = getenv("HOSTKIT_LDAP_BINDDN");
	parameters_.password = getenv("HOSTKIT_LDAP_PASSWORD");
	parameters_.resultsPath = dir_ + "/results.txt";
    }
    void TearDown() override
    {
	if (!dir_.empty()) {
	    unlink(parameters_.resultsPath.c_str());
	    rmdir(dir_.c_str());
	}
    }

    int run(std::vector<Line> &lines)
    {
	int result = 0;
	lines = linesOf([&](SearchReport &r) { result = runDirectorySearch(parameters_, r); });
	return result;
    }

    /* The number of entry lines in the results file. */
    int entriesWritten()
    {
	FILE *f = fopen(parameters_.resultsPath.c_str(), "r");
	EXPECT_NE(f, nullptr);
	if (f == nullptr) {
	    return -1;
	}
	int n = 0;
	for (int c; (c = getc(f)) != EOF;) {
	    n += c == '\n';
	}
	fclose(f);
	return n;
    }

    std::string dir_;
    SearchParameters parameters_;
};

} // namespace

TEST_F(SearchDriverServer, RefusedBindsSearchesAndResultsFiles)
{
    std::vector<Line> lines;
    parameters_.searchBase = "ou=staff,dc=ombri,dc=test";

    parameters_.password = "wrong";
    EXPECT_EQ(run(lines), HK_SEARCH_BIND_FAILED);
    EXPECT_EQ(lines, std::vector<Line>({{ERR, "Failed to authenticate: 0x31 (Invalid credentials)\n"}}));
    parameters_.password = getenv("HOSTKIT_LDAP_PASSWORD");

    /* Nothing found before the refusal: -300, with an empty results file. */
    parameters_.searchBase = "dc=nope,dc=test";
    EXPECT_EQ(run(lines), HK_SEARCH_FAILED);
    EXPECT_EQ(lines, std::vector<Line>({
	{OUT, "\nDirectory supports paging. Current page size 500\n"},
	{ERR, "\nSearch ended with error (0x20 (No such object))\n\n"},
	{ERR, "Total entries = 0\n"}}));
    EXPECT_EQ(entriesWritten(), 0);

    parameters_.resultsPath = dir_ + "/no/such/folder/results.txt";
    EXPECT_EQ(run(lines), HK_SEARCH_NO_RESULTS_FILE);
    EXPECT_EQ(lines, std::vector<Line>({
	{ERR, "\nCannot open file " + parameters_.resultsPath + " for writing.\n\n"}}));
    parameters_.resultsPath = dir_ + "/results.txt";
}

TEST_F(SearchDriverServer, AConnectionLostInTheFirstPageIsAFailedSearch)
{
    const char *port = getenv("HOSTKIT_LDAP_DROP_PORT");
    if (port == nullptr) {
	GTEST_SKIP() << "no server that loses connections (tests/ldap/dropserver.py)";
    }
    /* The server sends N entries of base o=dropN, then closes the connection. */
    parameters_.port = static_cast<uint16_t>(atoi(port));
    const struct {
	const char *base;
	int result;
    } cases[] = {{"o=drop0", HK_SEARCH_FAILED}, {"o=drop3", 3}};
    for (const auto &c : cases) {
	parameters_.searchBase = c.base;
	std::vector<Line> lines;
	EXPECT_EQ(run(lines), c.result) << c.base;
	EXPECT_EQ(lines, std::vector<Line>({
	    {OUT, "\nDirectory supports paging. Current page size 500\n"},
	    {ERR, "ldap_result returned error (0x51 (Can't contact LDAP server))\n\n"},
	    {ERR, "Total entries = " + std::to_string(c.result < 0 ? 0 : c.result) + "\n"}}))
		<< c.base;
	EXPECT_EQ(entriesWritten(), c.result < 0 ? 0 : c.result);
    }
}

TEST_F(SearchDriverServer, ServersThatNeverEndAreBounded)
{
    const char *port = getenv("HOSTKIT_LDAP_DROP_PORT");
    if (port == nullptr) {
	GTEST_SKIP() << "no scripted server (tests/ldap/dropserver.py)";
    }
    parameters_.port = static_cast<uint16_t>(atoi(port));
    parameters_.username.clear();
    parameters_.password.clear();
    parameters_.timeoutSeconds = 10;
    const std::string self = "ldap://127.0.0.1:" + std::string(port) + "/";

    /*
     * o=pages and o=cookie: the same entry on every page, with a new cookie
     * or the same one, for ever: the second page makes no progress.
     */
    std::vector<Line> lines;
    for (const char *base : {"o=pages", "o=cookie"}) {
	parameters_.searchBase = base;
	EXPECT_EQ(run(lines), 2) << base;
	EXPECT_EQ(lines, std::vector<Line>({
	    {OUT, "\nDirectory supports paging. Current page size 500\n"},
	    {ERR, "\nPaged search stopped: the server made no progress (a page with no entry "
		"and the same cookie, or the same entries again)\n\n"},
	    {ERR, "Total entries = 2\n"}})) << base;
	EXPECT_EQ(entriesWritten(), 2) << base;
    }

    /* o=bigcookie1: a new entry and a new cookie on every page, for ever. */
    parameters_.searchBase = "o=bigcookie1";
    parameters_.maxPages = 7;
    EXPECT_EQ(run(lines), 7);
    EXPECT_EQ(lines, std::vector<Line>({
	{OUT, "\nDirectory supports paging. Current page size 500\n"},
	{ERR, "\nPaged search stopped after 7 pages\n\n"},
	{ERR, "Total entries = 7\n"}}));
    EXPECT_EQ(entriesWritten(), 7);

    /*
     * o=fanX: one entry and a reference to o=fanXa and o=fanXb. The bound
     * on referral searches holds before the nesting bound is reached.
     */
    parameters_.searchBase = "o=fan";
    parameters_.maxReferralSearches = 3;
    EXPECT_EQ(run(lines), 4);
    EXPECT_EQ(lines, std::vector<Line>({
	{OUT, "\nDirectory supports paging. Current page size 500\n"},
	{OUT, "Referral: " + self + "o=fana??sub\n"},
	{OUT, "Referral: " + self + "o=fanaa??sub\n"},
	{OUT, "Referral: " + self + "o=fanaaa??sub\n"},
	{OUT, "Referral: " + self + "o=fanaaaa??sub\n"},
	{ERR, "\nReferral not followed: more than 3 referral searches (" + self
	    + "o=fanaaaa??sub)\n\n"},
	{OUT, "Referral: " + self + "o=fanaaab??sub\n"},
	{ERR, "\nReferral not followed: more than 3 referral searches (" + self
	    + "o=fanaaab??sub)\n\n"},
	{OUT, "Referral: " + self + "o=fanaab??sub\n"},
	{ERR, "\nReferral not followed: more than 3 referral searches (" + self
	    + "o=fanaab??sub)\n\n"},
	{OUT, "Referral: " + self + "o=fanab??sub\n"},
	{ERR, "\nReferral not followed: more than 3 referral searches (" + self
	    + "o=fanab??sub)\n\n"},
	{OUT, "Referral: " + self + "o=fanb??sub\n"},
	{ERR, "\nReferral not followed: more than 3 referral searches (" + self
	    + "o=fanb??sub)\n\n"},
	{ERR, "Total entries = 4\n"}}));
}

TEST_F(SearchDriverServer, ASilentServerEndsWithinTheBound)
{
    const char *port = getenv("HOSTKIT_LDAP_SILENT_PORT");
    if (port == nullptr) {
	GTEST_SKIP() << "no silent server (tests/ldap/dropserver.py)";
    }
    parameters_.port = static_cast<uint16_t>(atoi(port));
    parameters_.timeoutSeconds = 1;
    /* The bound is per step: each fails at the first step that waits. */
    const struct {
	Security security;
	const char *step;
    } cases[] = {
	{Security::NONE, "bind"}, {Security::LDAPS, "connect with TLS"},
	{Security::STARTTLS, "StartTLS"}};
    for (const auto &c : cases) {
	parameters_.security = c.security;
	std::vector<Line> lines;
	auto start = std::chrono::steady_clock::now();
	EXPECT_EQ(run(lines), HK_SEARCH_NO_CONNECTION) << c.step;
	auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
		std::chrono::steady_clock::now() - start).count();
	EXPECT_GE(ms, 900) << c.step;
	EXPECT_LE(ms, 3000) << c.step;
	EXPECT_EQ(lines, std::vector<Line>({{ERR, "\nCannot open LDAP connection to: 127.0.0.1:"
	    + std::string(port) + " (0x55 (Timed out)): " + c.step + " timed out after 1 s\n\n"}}))
		<< c.step;
    }
}
