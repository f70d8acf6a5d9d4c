/*
 * searchContextTest.cpp --
 *
 *	Units for the search context: the results path it chooses, the life
 *	of the results file, and reading it back. The results folder is put
 *	under a temporary XDG_DATA_HOME. The context's path is found through
 *	the process-wide counter: a context made just before the counter hands
 *	out n took n - 1.
 */

#include "directory/base/resultRecord.h"
#include "directory/base/resultsFile.h"
#include "directory/directoryState.h"
#include "directory/searchContext.h"
#include "directory/searchReport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
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
	    return std::string(entry.second->bytes(), entry.second->length());
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

TEST_F(SearchContextTest, ThePrivateFolderIsMadeAndTheFileGoesWithTheContext)
{
    std::string path;
    {
	SearchContext context;
	path = pathOf(nextResultsFileNumber() - 1);
	struct stat st;
	ASSERT_EQ(stat(folder_.c_str(), &st), 0);
	EXPECT_EQ(st.st_mode & 0777, 0700u);
	ASSERT_EQ(stat((home_ + "/data/Ombri").c_str(), &st), 0);
	EXPECT_EQ(st.st_mode & 0777, 0700u);

	/* No file yet: reading fails with -10, and keeps failing so. */
	ResultRecord record;
	EXPECT_EQ(context.readNextRecord(record), HK_RESULTS_CANNOT_OPEN);
	EXPECT_EQ(context.readNextRecord(record), HK_RESULTS_CANNOT_OPEN);

	writeFile(path, "cn 3 Ann \nsn 3 Lee \n");
	EXPECT_EQ(context.readNextRecord(record), HK_RESULTS_OK);
	EXPECT_EQ(valueOf(record, "cn"), "Ann");
	EXPECT_EQ(context.readNextRecord(record), HK_RESULTS_OK);
	EXPECT_EQ(valueOf(record, "sn"), "Lee");
	EXPECT_EQ(context.readNextRecord(record), HK_RESULTS_END);
	EXPECT_EQ(context.readNextRecord(record), HK_RESULTS_END);
    }
    EXPECT_FALSE(exists(path));
}

TEST_F(SearchContextTest, AStaleFileIsDeletedAndANameThatCannotBeIsSkipped)
{
    /* Make the folder, and learn where the numbers stand. */
    { SearchContext first; }
    uint32_t n = nextResultsFileNumber();

    writeFile(pathOf(n + 1), "stale 1 x \n");
    /* A folder in the way cannot be deleted as a file. */
    ASSERT_EQ(mkdir(pathOf(n + 2).c_str(), 0700), 0);
    ASSERT_EQ(mkdir((pathOf(n + 2) + "/inside").c_str(), 0700), 0);
    SearchContext second;
    EXPECT_FALSE(exists(pathOf(n + 1)));
    SearchContext third;
    EXPECT_TRUE(exists(pathOf(n + 2)));
    EXPECT_EQ(nextResultsFileNumber(), n + 4);

    /* The third one took the next number. */
    writeFile(pathOf(n + 3), "cn 5 third \n");
    ResultRecord record;
    EXPECT_EQ(third.readNextRecord(record), HK_RESULTS_OK);
    EXPECT_EQ(valueOf(record, "cn"), "third");
}

TEST_F(SearchContextTest, AFolderNameTooLongForThePathGivesNoPathAtAll)
{
    std::string deep = home_ + "/" + std::string(240, 'd');
    setenv("XDG_DATA_HOME", deep.c_str(), 1);
    SearchContext context;
    ResultRecord record;
    EXPECT_EQ(context.readNextRecord(record), HK_RESULTS_CANNOT_OPEN);

    /* The search then refuses to write rather than write somewhere else. */
    const char *port = getenv("HOSTKIT_LDAP_PORT");
    if (port == nullptr) {
	GTEST_SKIP() << "no test directory server (tests/ldap/servers.sh)";
    }
    SearchParameters parameters;
    parameters.server = "127.0.0.1";
    parameters.port = static_cast<uint16_t>(atoi(port));
    parameters.searchBase = "ou=staff,dc=ombri,dc=test";
    parameters.resultsPath = "/tmp/not-this-one";
    reports.clear();
    redirectSearchReports(keepReport);
    int result = context.runSearch(parameters);
    redirectSearchReports(nullptr);
    EXPECT_EQ(result, HK_SEARCH_NO_RESULTS_FILE);
    EXPECT_EQ(reports, std::vector<std::string>({"\nCannot open file  for writing.\n\n"}));
}
