/*
 * searchContextTest.cpp --
 *
 *	Units for the search context: the claim on a results file, the path a
 *	search chooses, the life of the results file, and reading it back. The
 *	results folder is put under a temporary XDG_DATA_HOME.
 */

#include "directory/base/resultRecord.h"
#include "directory/base/resultsFile.h"
#include "directory/directoryState.h"
#include "directory/searchContext.h"
#include "directory/resultsFilePlatform.h"
#include "directory/searchReport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace hkdir;

namespace {

class SearchContextTest : public ::testing::Test {
protected:
    void SetUp() override
    {
	char dir[] = "/tmp/hkctxXXXXXX";
	ASSERT_NE(mkdtemp(dir), nullptr);
	home_ = dir;
	const char *old = getenv("XDG_DATA_HOME");
	hadOld_ = old != nullptr;
	if (hadOld_) {
	    old_ = old;
	}
	setenv("XDG_DATA_HOME", (home_ + "/data").c_str(), 1);
	folder_ = home_ + "/data/Ombri/Dialcraft";
    }
    void TearDown() override
    {
	if (hadOld_) {
	    setenv("XDG_DATA_HOME", old_.c_str(), 1);
	} else {
	    unsetenv("XDG_DATA_HOME");
	}
	std::string cmd = "rm -rf '" + home_ + "'";
	ASSERT_EQ(system(cmd.c_str()), 0);
    }

    std::string pathOf(uint32_t number) const
    {
	return folder_ + "/Ldap_" + std::to_string(number) + ".txt";
    }

    std::string home_;
    std::string folder_;
    std::string old_;
    bool hadOld_ = false;
};

bool
exists(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

void
writeFile(const std::string &path, const std::string &text)
{
    FILE *f = fopen(path.c_str(), "w");
    ASSERT_NE(f, nullptr) << path;
    fputs(text.c_str(), f);
    fclose(f);
}

std::string
valueOf(const ResultRecord &record, const std::string &name)
{
    for (const auto &entry : record) {
	if (entry.first == name) {
	    return std::string(entry.second.first().bytes(), entry.second.first().length());
	}
    }
    return "(none)";
}

std::vector<std::string> reports;

void
keepReport(ReportStream, const std::string &text)
{
    reports.push_back(text);
}

} // namespace

/*
 * The claim on a results file, without a directory server: made
 * exclusively and private, read from whatever becomes of the name, seen as
 * in use by other processes, taken over when stale, released with its own
 * file only.
 */
TEST_F(SearchContextTest, AClaimedFileIsTheSearchsOwn)
{
    std::string folder = HkpResultsFolder();
    ASSERT_EQ(folder, folder_);
    struct stat st;
    ASSERT_EQ(stat(folder_.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    ASSERT_EQ(stat((home_ + "/data/Ombri").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    std::string path = HkpJoinPath(folder, "Ldap_x.txt");
    HkpResultsClaim *claim = nullptr;
    ASSERT_EQ(HkpClaimResultsFile(path, &claim), HKP_CLAIMED);
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    /* The search writes by name; the claim reads the same file. */
    writeFile(path, "2 cn 3 Ann \n");

    /* Another process sees the name in use. */
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
	HkpResultsClaim *other = nullptr;
	_exit(HkpClaimResultsFile(path, &other) == HKP_CLAIM_IN_USE && other == nullptr ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    /* Whoever replaces the name, the claim reads its own file, from the start. */
    ASSERT_EQ(rename(path.c_str(), (path + ".moved").c_str()), 0);
    writeFile(path, "2 cn 5 other \n");
    for (int round = 0; round < 2; round++) {
	std::unique_ptr<FILE, int (*)(FILE *)> in(HkpReadClaimedResults(claim), fclose);
	ASSERT_NE(in, nullptr);
	ResultsReader reader(in.get());
	ResultRecord record;
	ASSERT_EQ(reader.readEntry(record), HK_RESULTS_OK);
	EXPECT_EQ(valueOf(record, "cn"), "Ann");
	EXPECT_EQ(reader.readEntry(record), HK_RESULTS_END);
    }

    /* Releasing deletes only the claimed file, not what now has its name. */
    HkpReleaseResultsClaim(claim);
    EXPECT_TRUE(exists(path));
    EXPECT_TRUE(exists(path + ".moved"));

    /* A file that nobody holds any more is taken over, empty. */
    ASSERT_EQ(HkpClaimResultsFile(path, &claim), HKP_CLAIMED);
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 0);
    HkpReleaseResultsClaim(claim);
    EXPECT_FALSE(exists(path));

    /* Something that is no file, or no folder at all. */
    ASSERT_EQ(mkdir(path.c_str(), 0700), 0);
    EXPECT_EQ(HkpClaimResultsFile(path, &claim), HKP_CLAIM_IN_USE);
    ASSERT_EQ(symlink((path + ".moved").c_str(), (path + ".link").c_str()), 0);
    EXPECT_EQ(HkpClaimResultsFile(path + ".link", &claim), HKP_CLAIM_IN_USE);
    EXPECT_EQ(HkpClaimResultsFile(folder + "/no/such/Ldap_0.txt", &claim), HKP_CLAIM_FAILED);
    EXPECT_EQ(claim, nullptr);
}

TEST_F(SearchContextTest, ASearchThatNeverRanHasNothingToRead)
{
    SearchContext context;
    ResultRecord record;
    EXPECT_EQ(context.readNextRecord(record), HK_RESULTS_CANNOT_OPEN);
    EXPECT_EQ(context.readNextRecord(record), HK_RESULTS_CANNOT_OPEN);
    EXPECT_EQ(context.resultsPath(), "");

    /* Port 1 is closed: no results, and no file left behind. */
    SearchParameters closed;
    closed.server = "127.0.0.1";
    closed.port = 1;
    EXPECT_EQ(context.runSearch(closed, keepReport), HK_SEARCH_NO_CONNECTION);
    EXPECT_FALSE(exists(context.resultsPath()));
    EXPECT_EQ(context.readNextRecord(record), HK_RESULTS_CANNOT_OPEN);
}

namespace {

class SearchContextServer : public SearchContextTest {
protected:
    void SetUp() override
    {
	if (getenv("HOSTKIT_LDAP_PORT") == nullptr) {
	    GTEST_SKIP() << "no test directory server (tests/ldap/servers.sh)";
	}
	SearchContextTest::SetUp();
	parameters_.server = getenv("HOSTKIT_LDAP_HOST");
	parameters_.port = static_cast<uint16_t>(atoi(getenv("HOSTKIT_LDAP_PORT")));
	parameters_.searchBase = "ou=staff,dc=ombri,dc=test";
	parameters_.searchFilter = "sn=Lee";
    }

    int search(SearchContext &context)
    {
	reports.clear();
	int result = context.runSearch(parameters_, keepReport);
	return result;
    }

    SearchParameters parameters_;
};

} // namespace

TEST_F(SearchContextServer, NumbersInUseAreSkippedAndTheFileGoesWithTheContext)
{
    /* Make the folder, and learn where the numbers stand. */
    ASSERT_EQ(HkpResultsFolder(), folder_);
    uint32_t n = nextResultsFileNumber() + 1;

    /* n: a live claim (another search); n + 1: a folder in the way. */
    HkpResultsClaim *held = nullptr;
    ASSERT_EQ(HkpClaimResultsFile(pathOf(n), &held), HKP_CLAIMED);
    ASSERT_EQ(mkdir(pathOf(n + 1).c_str(), 0700), 0);
    /* n + 2: a stale file of a process that ended. */
    writeFile(pathOf(n + 2), "2 cn 5 stale \n");

    std::string path;
    {
	SearchContext context;
	int count = search(context);
	ASSERT_GT(count, 0);
	EXPECT_EQ(context.resultsPath(), pathOf(n + 2));
	path = context.resultsPath();
	ResultRecord record;
	for (int i = 0; i < count; i++) {
	    ASSERT_EQ(context.readNextRecord(record), HK_RESULTS_OK);
	    EXPECT_NE(valueOf(record, "cn"), "stale");
	}
	EXPECT_EQ(context.readNextRecord(record), HK_RESULTS_END);

	/* A second search of the context reads its own new results. */
	EXPECT_EQ(search(context), count);
	EXPECT_EQ(context.resultsPath(), pathOf(n + 3));
	EXPECT_FALSE(exists(path));
	ASSERT_EQ(context.readNextRecord(record), HK_RESULTS_OK);
	path = context.resultsPath();
    }
    EXPECT_FALSE(exists(path));
    HkpReleaseResultsClaim(held);
}

TEST_F(SearchContextServer, LongPathsWorkAndFailuresNameThePath)
{
    /* A results path far over 260 characters. */
    std::string deep = home_ + "/" + std::string(200, 'd') + "/" + std::string(200, 'e');
    setenv("XDG_DATA_HOME", deep.c_str(), 1);
    {
	SearchContext context;
	int count = search(context);
	EXPECT_GT(count, 0);
	EXPECT_GT(context.resultsPath().size(), 400u);
	ResultRecord record;
	EXPECT_EQ(context.readNextRecord(record), HK_RESULTS_OK);
    }

    /* A folder that cannot be made: the message names the path all the same. */
    std::string blocker = home_ + "/plainfile";
    writeFile(blocker, "x");
    setenv("XDG_DATA_HOME", blocker.c_str(), 1);
    SearchContext context;
    EXPECT_EQ(search(context), HK_SEARCH_NO_RESULTS_FILE);
    EXPECT_EQ(context.resultsPath().rfind(blocker + "/Ombri/Dialcraft/Ldap_", 0), 0u);
    EXPECT_EQ(reports, std::vector<std::string>(
	    {"\nCannot open file " + context.resultsPath() + " for writing.\n\n"}));
    ResultRecord record;
    EXPECT_EQ(context.readNextRecord(record), HK_RESULTS_CANNOT_OPEN);
}
