/*
 * failureWordsTest.cpp --
 *
 *	The errorCode words are part of the interface: the table in
 *	core/failureWords.cpp and the "errorCode words" table of README.md must
 *	list the same rows, each (command, code) once.
 */

#include "core/failureWords.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>
#include <string>
#include <tuple>

namespace {

typedef std::tuple<std::string, int, std::string> Row;

std::set<Row>
readmeRows()
{
    std::ifstream in(std::string(HOSTKIT_SOURCE_DIR) + "/README.md");
    std::regex row("^\\| `([a-z]+)` \\| (-?[0-9]+) \\| `([A-Z]+)` \\|$");
    std::set<Row> rows;
    std::string line;
    std::smatch m;
    while (std::getline(in, line)) {
	if (std::regex_match(line, m, row)) {
	    rows.insert(Row(m[1], std::stoi(m[2]), m[3]));
	}
    }
    return rows;
}

} // namespace

TEST(FailureWords, CodeAndReadmeListTheSameRows)
{
    std::set<Row> code;
    std::set<std::pair<std::string, int>> keys;
    for (size_t i = 0; i < HK_FAILURE_WORD_COUNT; ++i) {
	const HkFailureWord &w = HK_FAILURE_WORDS[i];
	code.insert(Row(w.command, w.code, w.word));
	EXPECT_TRUE(keys.insert({w.command, w.code}).second) << w.command << " " << w.code;
    }
    std::set<Row> readme = readmeRows();
    ASSERT_FALSE(readme.empty()) << "no errorCode table in README.md";
    EXPECT_EQ(code, readme);
}

TEST(FailureWords, LookUpByCommandAndCode)
{
    EXPECT_STREQ(hkFailureWord("ldapsearch", -400), "CONNECT");
    EXPECT_STREQ(hkFailureWord("ldapsearchgetnextitem", -20), "END");
    EXPECT_EQ(hkFailureWord("ldapsearch", -20), nullptr);
    EXPECT_EQ(hkFailureWord("execprocess", 3), nullptr);	/* exit codes name their word */
}
