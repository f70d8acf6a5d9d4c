/*
 * processBaseTest.cpp --
 *
 *	Units for the process area's pure rules: /proc/PID/stat and
 *	/proc/PID/status text, nice values and scheduling policies on the
 *	Windows priority scale, and terminateprocess's id word.
 */

#include "process/base/procText.h"
#include "process/base/processId.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace hkproc;

namespace {

/* A stat line as Linux writes it, with the given name and fields 9, 19, 20 and 41. */
std::string
statLine(const std::string &name, const std::string &flags, const std::string &nice,
	const std::string &threads, const std::string &policy)
{
    std::string s = "4711 (" + name + ") S";
    for (int field = 4; field <= 52; ++field) {
	std::string value = std::to_string(field * 10);
	if (field == 9) {
	    value = flags;
	} else if (field == 19) {
	    value = nice;
	} else if (field == 20) {
	    value = threads;
	} else if (field == 41) {
	    value = policy;
	}
	s += " " + value;
    }
    return s + "\n";
}

TEST(ProcStat, FieldsAfterTheLastParenthesis)
{
    struct Case {
	const char *what;
	std::string text;
	bool ok;
	unsigned long flags;
	long nice;
	unsigned long threads;
	long policy;
    };
    const std::string shortLine = "1 (init) S 0 1 1 0 -1 4194560 100 200 0 0 1 2 3 4 20 0 1\n";
    const std::vector<Case> cases = {
	{"plain", statLine("tclsh", "4194560", "0", "3", "0"), true, 4194560, 0, 3, 0},
	{"name with blanks and parentheses", statLine("a) 1 2 (b c) x", "64", "10", "1", "0"),
	    true, 64, 10, 1, 0},
	{"negative nice, FIFO", statLine("x", "0", "-20", "2", "1"), true, 0, -20, 2, 1},
	{"kernel thread flag", statLine("kthreadd", "2129984", "0", "1", "0"),
	    true, 2129984, 0, 1, 0},
	/* Kernels before 2.5.19 end the line before the policy: SCHED_OTHER. */
	{"no policy field", shortLine, true, 4194560, 0, 1, 0},
	{"fields up to 19 only", "1 (x) S 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16", false, 0, 0, 0, 0},
	{"no closing parenthesis", "1 (x S 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18", false,
	    0, 0, 0, 0},
	{"empty", "", false, 0, 0, 0, 0},
    };
    for (const Case &c : cases) {
	ProcStat stat;
	ASSERT_EQ(parseProcStat(c.text, stat), c.ok) << c.what;
	if (!c.ok) {
	    continue;
	}
	EXPECT_EQ(stat.flags, c.flags) << c.what;
	EXPECT_EQ(stat.nice, c.nice) << c.what;
	EXPECT_EQ(stat.threads, c.threads) << c.what;
	EXPECT_EQ(stat.policy, c.policy) << c.what;
    }
}

TEST(ProcStatus, TgidLine)
{
    struct Case {
	std::string text;
	bool ok;
	long tgid;
    } cases[] = {
	{"Name:\tbash\nUmask:\t0022\nState:\tS (sleeping)\nTgid:\t4711\nNgid:\t0\nPid:\t4712\n", true, 4711},
	{"Tgid:\t1\n", true, 1},
	{"Tgid:\t99", true, 99},
	/* A name that looks like the line, and an empty value that must not read the next line. */
	{"Name:\tTgid: 5\nTgid:\nPid:\t7\n", true, 0},
	{"Name:\tx\nPid:\t7\n", false, 0},
	{"", false, 0},
    };
    for (const Case &c : cases) {
	long tgid = -1;
	ASSERT_EQ(parseStatusTgid(c.text, &tgid), c.ok) << c.text;
	if (c.ok) {
	    EXPECT_EQ(tgid, c.tgid) << c.text;
	}
    }
}

TEST(Priority, NiceAndPolicyOnTheWindowsScale)
{
    const long OTHER = 0, BATCH = 3, IDLE = 5;
    struct Case {
	long nice, policy;
	int32_t priority;
    } cases[] = {
	{-20, OTHER, 13}, {-15, OTHER, 13}, {-14, OTHER, 10}, {-5, OTHER, 10},
	{-4, OTHER, 8}, {0, OTHER, 8}, {4, OTHER, 8}, {5, OTHER, 6}, {14, OTHER, 6},
	{15, OTHER, 4}, {19, OTHER, 4},
	{0, HK_PROC_SCHED_FIFO, 24}, {19, HK_PROC_SCHED_RR, 24},
	{0, BATCH, 8}, {19, IDLE, 4}, {-20, BATCH, 13},
    };
    for (const Case &c : cases) {
	EXPECT_EQ(windowsBasePriority(c.nice, c.policy), c.priority)
		<< "nice " << c.nice << " policy " << c.policy;
    }
}

TEST(ProcessIdWord, ReadLikeAtoi)
{
    struct Case {
	const char *word;
	bool named;
	uint32_t pid;
    } cases[] = {
	{"1234", true, 1234}, {"  1234", true, 1234}, {"\t+0001234xyz", true, 1234},
	{"1234abc", true, 1234}, {"-5", true, 4294967291u}, {"-2147483648", true, 2147483648u},
	{"4294967295", true, 4294967295u}, {"2147483648", true, 2147483648u},
	/* Beyond what atoi holds: no process. */
	{"-2147483649", true, HK_NO_PROCESS_ID}, {"4294967296", true, HK_NO_PROCESS_ID},
	{"99999999999999999999999", true, HK_NO_PROCESS_ID},
	/* Words that read as 0. */
	{"", false, 0}, {"abc", false, 0}, {"0", false, 0}, {"-0", false, 0},
	{"0x10", false, 0}, {" 00abc", false, 0}, {"- 5", false, 0},
    };
    for (const Case &c : cases) {
	uint32_t pid = 7;
	ASSERT_EQ(readProcessIdWord(c.word, &pid), c.named) << c.word;
	if (c.named) {
	    EXPECT_EQ(pid, c.pid) << c.word;
	}
    }
}

} // namespace
