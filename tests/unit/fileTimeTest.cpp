/*
 * fileTimeTest.cpp --
 *
 *	Units for filesetmtime's pieces: the "%u" reading of the time word and
 *	the check of its date, and setting the last-write time of a real file
 *	from a local time, in a zone with daylight saving too.
 */

#include "files/fileTimePlatform.h"
#include "core/unix/unixText.h"
#include "files/base/timeWord.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

using hkfiles::LocalTime;

std::u16string
wide(const std::string &s)
{
    return std::u16string(s.begin(), s.end());
}

/* Reads six numbers; returns the count and fills values. */
int
scan(const std::string &text, uint32_t values[6])
{
    std::u16string w = wide(text);
    return hkfiles::scanUnsignedNumbers(w.data(), w.size(), values, 6);
}

/* Sets TZ for one test and puts the old value back. */
class ZoneGuard {
public:
    explicit ZoneGuard(const char *zone)
    {
	const char *old = getenv("TZ");
	hadOld_ = old != nullptr;
	if (hadOld_) {
	    old_ = old;
	}
	setenv("TZ", zone, 1);
	tzset();
    }
    ~ZoneGuard()
    {
	if (hadOld_) {
	    setenv("TZ", old_.c_str(), 1);
	} else {
	    unsetenv("TZ");
	}
	tzset();
    }

private:
    bool hadOld_;
    std::string old_;
};

LocalTime
local(unsigned y, unsigned mo, unsigned d, unsigned h, unsigned mi, unsigned s)
{
    return LocalTime{static_cast<uint16_t>(y), static_cast<uint16_t>(mo), static_cast<uint16_t>(d),
	    static_cast<uint16_t>(h), static_cast<uint16_t>(mi), static_cast<uint16_t>(s)};
}

std::string
show(const LocalTime &t)
{
    return std::to_string(t.year) + "-" + std::to_string(t.month) + "-" + std::to_string(t.day)
	    + " " + std::to_string(t.hour) + ":" + std::to_string(t.minute) + ":"
	    + std::to_string(t.second);
}

} // namespace

TEST(TimeWord, ReadsLikeScanningSixUnsigned)
{
    struct Case {
	const char *text;
	int count;
	uint32_t values[6];
    } cases[] = {
	{"2004 7 7 21 55 20", 6, {2004, 7, 7, 21, 55, 20}},
	{" \t\n\v\f\r2004\t\t7\n7  21 55 20 and more", 6, {2004, 7, 7, 21, 55, 20}},
	{"2004 7 7 21 55 20extra", 6, {2004, 7, 7, 21, 55, 20}},
	{"+1 -1 -0 007 4294967295 4294967296", 6, {1, 0xFFFFFFFFu, 0, 7, 0xFFFFFFFFu, 0}},
	{"4294969300 -4294965292 99999999999 0 0 0", 6, {2004, 2004, 1215752191u, 0, 0, 0}},
	{"1 2 3 4 5", 5, {1, 2, 3, 4, 5}},
	{"1 2 3 4 5 +", 5, {1, 2, 3, 4, 5}},
	{"1 2 3 - 4 5 6", 3, {1, 2, 3}},
	{"2004/07/07 21:55:20", 1, {2004}},
	{"1,2,3,4,5,6", 1, {1}},
	{"0x10 1 1 1 1 1", 1, {0}},
	{"+-1 1 1 1 1 1", 0, {}},
	{"", 0, {}},
	{"      ", 0, {}},
	{"x1 2 3 4 5 6", 0, {}},
    };
    for (const Case &c : cases) {
	uint32_t values[6] = {};
	EXPECT_EQ(scan(c.text, values), c.count) << c.text;
	for (int i = 0; i < c.count; ++i) {
	    EXPECT_EQ(values[i], c.values[i]) << c.text << " #" << i;
	}
    }
}

TEST(TimeWord, StopsAtTheGivenLengthAndAtNul)
{
    uint32_t values[6] = {};
    std::u16string w = wide("1 2 3 4 5 678");
    EXPECT_EQ(hkfiles::scanUnsignedNumbers(w.data(), w.size() - 2, values, 6), 6);
    EXPECT_EQ(values[5], 6u);
    EXPECT_EQ(hkfiles::scanUnsignedNumbers(w.data(), 3, values, 6), 2);

    std::u16string nul = {'1', ' ', '2', 0, '3', ' ', '4', ' ', '5', ' ', '6'};
    EXPECT_EQ(hkfiles::scanUnsignedNumbers(nul.data(), nul.size(), values, 6), 2);

    /* Digits of other scripts are not digits here; no wide blank but ASCII's. */
    std::u16string other = {0xFF11, ' ', '2'};
    EXPECT_EQ(hkfiles::scanUnsignedNumbers(other.data(), other.size(), values, 6), 0);
    std::u16string ideographicSpace = {'1', 0x3000, '2'};
    EXPECT_EQ(hkfiles::scanUnsignedNumbers(ideographicSpace.data(), ideographicSpace.size(),
	    values, 6), 1);
}

TEST(TimeWord, SixNumbersThatFormADate)
{
    struct Case {
	const char *word;
	bool valid;
	LocalTime time;
    } cases[] = {
	{"2004 7 7 21 55 20", true, local(2004, 7, 7, 21, 55, 20)},
	{"2004 7 7 21 55 20 99 and more", true, local(2004, 7, 7, 21, 55, 20)},
	/* Each field keeps the low 16 bits of its number. */
	{"67540 65543 7 21 55 20", true, local(2004, 7, 7, 21, 55, 20)},
	{"2000 2 29 0 0 0", true, local(2000, 2, 29, 0, 0, 0)},
	{"1601 1 1 0 0 0", true, local(1601, 1, 1, 0, 0, 0)},
	{"30827 12 31 23 59 59", true, local(30827, 12, 31, 23, 59, 59)},
	{"2004 7 7 21 55", false, {}},
	{"65536 7 7 21 55 20", false, {}},
	{"2004 -1 7 21 55 20", false, {}},
    };
    for (const Case &c : cases) {
	LocalTime time = local(1, 2, 3, 4, 5, 6);
	EXPECT_EQ(hkfiles::readTimeWord(wide(c.word), &time), c.valid) << c.word;
	LocalTime want = c.valid ? c.time : local(1, 2, 3, 4, 5, 6);
	EXPECT_EQ(show(time), show(want)) << c.word;
    }
}

TEST(TimeWord, DatesAreCheckedAsWindowsChecksThem)
{
    LocalTime bad[] = {
	local(1600, 12, 31, 23, 59, 59), local(30828, 1, 1, 0, 0, 0), local(0, 1, 1, 0, 0, 0),
	local(2004, 0, 1, 0, 0, 0), local(2004, 13, 1, 0, 0, 0),
	local(2004, 1, 0, 0, 0, 0), local(2004, 1, 32, 0, 0, 0), local(2004, 4, 31, 0, 0, 0),
	local(2003, 2, 29, 0, 0, 0), local(1900, 2, 29, 0, 0, 0), local(2100, 2, 29, 0, 0, 0),
	local(2004, 2, 30, 0, 0, 0), local(2004, 1, 1, 24, 0, 0), local(2004, 1, 1, 0, 60, 0),
	local(2004, 1, 1, 0, 0, 60), local(65535, 65535, 65535, 65535, 65535, 65535),
    };
    for (const LocalTime &t : bad) {
	EXPECT_FALSE(hkfiles::isValidLocalTime(t)) << show(t);
    }
    LocalTime good[] = {
	local(1601, 1, 1, 0, 0, 0), local(30827, 12, 31, 23, 59, 59), local(2000, 2, 29, 0, 0, 0),
	local(2004, 2, 29, 12, 0, 0), local(1999, 4, 30, 10, 0, 0), local(2004, 12, 31, 23, 59, 59),
    };
    for (const LocalTime &t : good) {
	EXPECT_TRUE(hkfiles::isValidLocalTime(t)) << show(t);
    }
}

/*
 * A file in a fresh folder: on tmpfs where there is one, since it keeps
 * every time from 1601 on (ext4 clamps at 1901 and 2446).
 */
class SetMtime : public ::testing::Test {
protected:
    void SetUp() override
    {
	struct stat shm;
	std::string pattern = stat("/dev/shm", &shm) == 0 && S_ISDIR(shm.st_mode)
		&& access("/dev/shm", W_OK) == 0 ? "/dev/shm/hkmtimeXXXXXX" : "/tmp/hkmtimeXXXXXX";
	std::vector<char> buffer(pattern.begin(), pattern.end());
	buffer.push_back(0);
	ASSERT_NE(mkdtemp(buffer.data()), nullptr);
	dir_ = buffer.data();
	wideRange_ = dir_.compare(0, 9, "/dev/shm/") == 0;
	file_ = dir_ + "/file.txt";
	int fd = open(file_.c_str(), O_CREAT | O_WRONLY, 0644);
	ASSERT_GE(fd, 0);
	ASSERT_EQ(write(fd, "data", 4), 4);
	close(fd);
	struct timespec times[2] = {{1000000000, 0}, {1000000000, 123}};
	ASSERT_EQ(utimensat(AT_FDCWD, file_.c_str(), times, 0), 0);
    }
    void TearDown() override
    {
	chmod(file_.c_str(), 0644);
	unlink(file_.c_str());
	rmdir(dir_.c_str());
    }
    WideString name(const std::string &path)
    {
	return HkpNativeToWide(path);
    }
    struct stat info()
    {
	struct stat st;
	stat(file_.c_str(), &st);
	return st;
    }
    HkpSetMtimeStatus set(const LocalTime &when, int *error = nullptr)
    {
	int ignored = 0;
	return HkpSetFileMtime(name(file_), when, error != nullptr ? error : &ignored);
    }
    std::string dir_, file_;
    bool wideRange_ = false;
};

const LocalTime SOME_TIME = local(2004, 7, 7, 21, 55, 20);

TEST_F(SetMtime, SetsOnlyTheLastWriteTime)
{
    ZoneGuard zone("UTC");
    ASSERT_EQ(set(SOME_TIME), HKP_MTIME_SET);
    struct stat st = info();
    EXPECT_EQ(st.st_mtim.tv_sec, 1089237320);
    EXPECT_EQ(st.st_mtim.tv_nsec, 0);
    EXPECT_EQ(st.st_atim.tv_sec, 1000000000);
    EXPECT_EQ(st.st_size, 4);
}

TEST_F(SetMtime, UtcTimesOverTheWholeRange)
{
    ZoneGuard zone("UTC");
    struct Case {
	LocalTime time;
	long long seconds;
	bool needsWideRange;
    } cases[] = {
	{local(1601, 1, 1, 0, 0, 0), -11644473600LL, true},
	{local(1969, 12, 31, 0, 0, 0), -86400LL, false},
	{local(1969, 12, 31, 23, 59, 59), -1LL, false},	/* the second mktime calls -1 */
	{local(2000, 2, 29, 0, 0, 0), 951782400LL, false},
	{local(30827, 12, 31, 23, 59, 59), 910670515199LL, true},
    };
    for (const Case &c : cases) {
	ASSERT_EQ(set(c.time), HKP_MTIME_SET) << show(c.time);
	if (wideRange_ || !c.needsWideRange) {
	    EXPECT_EQ(info().st_mtim.tv_sec, c.seconds) << show(c.time);
	}
    }
}

TEST_F(SetMtime, BerlinUsesTheOffsetOfTheDate)
{
    ZoneGuard zone("Europe/Berlin");
    struct Case {
	LocalTime time;
	long long utc;
    } cases[] = {
	{local(2021, 1, 15, 12, 0, 0), 1610708400LL},	/* 11:00 UTC, CET */
	{local(2021, 7, 15, 12, 0, 0), 1626343200LL},	/* 10:00 UTC, CEST */
	{local(2021, 3, 28, 1, 59, 59), 1616893199LL},	/* last second of CET */
	{local(2021, 3, 28, 3, 0, 0), 1616893200LL},	/* first of CEST */
	{local(2021, 10, 31, 3, 0, 0), 1635645600LL},	/* CET again */
	{local(1970, 1, 1, 0, 59, 59), -1LL},		/* the second mktime calls -1 */
    };
    for (const Case &c : cases) {
	ASSERT_EQ(set(c.time), HKP_MTIME_SET) << show(c.time);
	EXPECT_EQ(info().st_mtim.tv_sec, c.utc) << show(c.time);
    }
}

TEST_F(SetMtime, ATimeBeforeTheFirstFileTimeIsInvalidWhateverTheFile)
{
    /* 1601-01-01 00:30 east of Greenwich is still 1600 in UTC. */
    ZoneGuard zone("Europe/Berlin");
    for (const std::string &path : {file_, dir_ + "/missing.txt"}) {
	int error = -7;
	EXPECT_EQ(HkpSetFileMtime(name(path), local(1601, 1, 1, 0, 30, 0), &error),
		HKP_MTIME_INVALID_TIME) << path;
	EXPECT_EQ(error, -7) << path;
    }
    EXPECT_EQ(info().st_mtim.tv_sec, 1000000000);
}

TEST_F(SetMtime, OpenFailuresGiveTheSystemsNumber)
{
    struct Case {
	std::string path;
	int error;
    } cases[] = {
	{dir_ + "/missing.txt", ENOENT},
	{dir_ + "/no/missing.txt", ENOENT},
	{dir_, EISDIR},
	{"", ENOENT},
    };
    for (const Case &c : cases) {
	int error = 0;
	EXPECT_EQ(HkpSetFileMtime(name(c.path), SOME_TIME, &error), HKP_MTIME_OPEN_FAILED) << c.path;
	EXPECT_EQ(error, c.error) << c.path;
    }
    struct stat st;
    EXPECT_NE(stat((dir_ + "/missing.txt").c_str(), &st), 0);	/* never created */
}

TEST_F(SetMtime, ReadOnlyFilesAreRefusedEvenForRoot)
{
    chmod(file_.c_str(), 0444);
    int error = 0;
    EXPECT_EQ(set(SOME_TIME, &error), HKP_MTIME_OPEN_FAILED);
    EXPECT_EQ(error, EACCES);
    EXPECT_EQ(info().st_mtim.tv_sec, 1000000000);
}

TEST_F(SetMtime, LockedFilesAreInUse)
{
    /* A lock on another open file description keeps us out, in this process too. */
    int holder = open(file_.c_str(), O_RDONLY);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(flock(holder, LOCK_SH), 0);
    int error = 0;
    EXPECT_EQ(set(SOME_TIME, &error), HKP_MTIME_OPEN_FAILED);
    EXPECT_EQ(error, EWOULDBLOCK);
    flock(holder, LOCK_UN);

#ifdef F_OFD_SETLK
    struct flock range = {};
    range.l_type = F_RDLCK;
    range.l_whence = SEEK_SET;
    ASSERT_EQ(fcntl(holder, F_OFD_SETLK, &range), 0);
    EXPECT_EQ(set(SOME_TIME, &error), HKP_MTIME_OPEN_FAILED);
    EXPECT_TRUE(error == EAGAIN || error == EACCES) << error;
#endif
    close(holder);

    EXPECT_EQ(info().st_mtim.tv_sec, 1000000000);
    EXPECT_EQ(set(SOME_TIME, &error), HKP_MTIME_SET);
}
