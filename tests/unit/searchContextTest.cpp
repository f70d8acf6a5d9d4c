/*
 * searchContextTest.cpp --
 *
 *	Units for the search context: results path, option values kept, and
 *	the life of the results file. The results folder is put under a
 *	temporary XDG_DATA_HOME.
 */

#include "directory/resultRecord.h"
#include "directory/searchContext.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

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

    std::string home_;
    std::string old_;
    bool hadOld_ = false;
};

bool
Exists(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

} // namespace

TEST_F(SearchContextTest, PathIsInThePrivateFolderAndTheFileGoesWithTheContext)
{
    std::string folder = home_ + "/data/Ombri/Dialcraft";
    std::string path;
    {
	SearchContext context;
	path = context.resultsPath();
	ASSERT_EQ(path.compare(0, folder.size() + 6, folder + "/Ldap_"), 0) << path;
	EXPECT_EQ(path.substr(path.size() - 4), ".txt");
	struct stat st;
	ASSERT_EQ(stat(folder.c_str(), &st), 0);
	EXPECT_EQ(st.st_mode & 0777, 0700u);
	ASSERT_EQ(stat((home_ + "/data/Ombri").c_str(), &st), 0);
	EXPECT_EQ(st.st_mode & 0777, 0700u);

	/* No file yet: reading fails with -10, and keeps failing so. */
	ResultRecord record;
	EXPECT_EQ(context.readNextRecord(record), -10);
	EXPECT_EQ(context.readNextRecord(record), -10);

	FILE *f = fopen(path.c_str(), "w");
	ASSERT_NE(f, nullptr);
	fputs("cn 3 Ann \n", f);
	fclose(f);
	EXPECT_EQ(context.readNextRecord(record), 0);
	ASSERT_NE(record.get("CN"), nullptr);
	EXPECT_EQ(std::string(record.get("cn")->bytes()), "Ann");
	EXPECT_EQ(context.readNextRecord(record), -20);
    }
    EXPECT_FALSE(Exists(path));
}

TEST_F(SearchContextTest, NumbersGoUpAndAStaleFileIsDeleted)
{
    SearchContext first;
    std::string a = first.resultsPath();
    std::string number = a.substr(a.rfind('_') + 1);
    unsigned n = static_cast<unsigned>(strtoul(number.c_str(), nullptr, 10));
    std::string stale = a.substr(0, a.rfind('_') + 1) + std::to_string(n + 1) + ".txt";
    FILE *f = fopen(stale.c_str(), "w");
    ASSERT_NE(f, nullptr);
    fclose(f);
    SearchContext second;
    EXPECT_EQ(std::string(second.resultsPath()), stale);
    EXPECT_FALSE(Exists(stale));
}

TEST_F(SearchContextTest, AFolderNameTooLongForThePathGivesNoPathAtAll)
{
    std::string deep = home_ + "/" + std::string(240, 'd');
    setenv("XDG_DATA_HOME", deep.c_str(), 1);
    SearchContext context;
    EXPECT_STREQ(context.resultsPath(), "");
    ResultRecord record;
    EXPECT_EQ(context.readNextRecord(record), -10);

    /* The search then refuses to write rather than write somewhere else. */
    const char *port = getenv("HOSTKIT_LDAP_PORT");
    if (port == nullptr) {
	GTEST_SKIP() << "no test directory server (tests/ldap/servers.sh)";
    }
    context.setServer("127.0.0.1", atoi(port));
    context.setSearchBase("ou=staff,dc=ombri,dc=test");
    EXPECT_EQ(context.runSearch(), -600);
}

TEST_F(SearchContextTest, ServerPortAndAttributes)
{
    SearchContext context;
    const struct {
	long long given;
	unsigned kept;
    } ports[] = {{0, 389}, {65536, 389}, {65537, 1}, {-1, 65535}, {636, 636}, {131071, 65535}};
    for (const auto &p : ports) {
	context.setServer("h", p.given);
	EXPECT_EQ(context.port(), p.kept) << p.given;
    }
    std::string longText(1500, 'a');
    longText[1023] = 'z';
    context.setAttributes(longText.c_str());
    EXPECT_EQ(strlen(context.attributes()), 1024u);
    EXPECT_EQ(context.attributes()[1023], 'z');
    context.setAttributes("cn sn");
    EXPECT_STREQ(context.attributes(), "cn sn");

    context.setCredentials("cn=u", "plain");
    context.setScrambledPassword("28a67de5489c");
    EXPECT_STREQ(context.password(), "secret");
}
