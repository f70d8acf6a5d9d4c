/*
 * fileTimeTest.cpp --
 *
 *	Units for filesetmtime's pieces: the "%u" reading of the time word,
 *	the conversion of local calendar time to a UTC file time in a zone with
 *	daylight saving, and setting the last-write time of a real file.
 */

#include "files/fileTimePlatform.h"
#include "core/unix/unixText.h"
#include "files/timeWord.h"

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
    return hkScanUnsignedNumbers(w.data(), w.size(), values, 6);
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

HkpSystemTime
calendar(unsigned y, unsigned mo, unsigned d, unsigned h, unsigned mi, unsigned s)
{
    HkpSystemTime t = {};
    t.year = static_cast<uint16_t>(y);
    t.month = static_cast<uint16_t>(mo);
    t.day = static_cast<uint16_t>(d);
    t.hour = static_cast<uint16_t>(h);
    t.minute = static_cast<uint16_t>(mi);
    t.second = static_cast<uint16_t>(s);
    return t;
}

/* Unix seconds of a file time. */
long long
unixSeconds(uint64_t fileTime)
{
    return static_cast<long long>(fileTime / 10000000ULL) - 11644473600LL;
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
    EXPECT_EQ(hkScanUnsignedNumbers(w.data(), w.size() - 2, values, 6), 6);
    EXPECT_EQ(values[5], 6u);
    EXPECT_EQ(hkScanUnsignedNumbers(w.data(), 3, values, 6), 2);

    std::u16string nul = {'1', ' ', '2', 0, '3', ' ', '4', ' ', '5', ' ', '6'};
    EXPECT_EQ(hkScanUnsignedNumbers(nul.data(), nul.size(), values, 6), 2);

    /* Digits of other scripts are not digits here; no wide blank but ASCII's. */
    std::u16string other = {0xFF11, ' ', '2'};
    EXPECT_EQ(hkScanUnsignedNumbers(other.data(), other.size(), values, 6), 0);
    std::u16string ideographicSpace = {'1', 0x3000, '2'};
    EXPECT_EQ(hkScanUnsignedNumbers(ideographicSpace.data(), ideographicSpace.size(), values, 6), 1);
}

TEST(LocalTime, BerlinUsesTheOffsetOfTheDate)
{
    ZoneGuard zone("Europe/Berlin");
    struct Case {
	HkpSystemTime local;
	long long utc;
    } cases[] = {
	{calendar(2021, 1, 15, 12, 0, 0), 1610708400LL},	/* 11:00 UTC, CET */
	{calendar(2021, 7, 15, 12, 0, 0), 1626343200LL},	/* 10:00 UTC, CEST */
	{calendar(2021, 3, 28, 1, 59, 59), 1616893199LL},	/* last second of CET */
	{calendar(2021, 3, 28, 3, 0, 0), 1616893200LL},	/* first of CEST */
	{calendar(2021, 10, 31, 3, 0, 0), 1635645600LL},	/* CET again */
	{calendar(1970, 1, 1, 0, 59, 59), -1LL},		/* the second mktime calls -1 */
    };
    for (const Case &c : cases) {
	uint64_t fileTime = 0;
	ASSERT_TRUE(HkpLocalTimeToFileTime(c.local, &fileTime)) << c.local.year << "-" << c.local.month;
	EXPECT_EQ(unixSeconds(fileTime), c.utc) << c.local.year << "-" << c.local.month;
	EXPECT_EQ(fileTime % 10000000ULL, 0u);
    }
}

TEST(LocalTime, FieldsOutOfRangeAreRefused)
{
    ZoneGuard zone("UTC");
    HkpSystemTime bad[] = {
	calendar(1600, 12, 31, 23, 59, 59), calendar(30828, 1, 1, 0, 0, 0),
	calendar(2004, 0, 1, 0, 0, 0), calendar(2004, 13, 1, 0, 0, 0),
	calendar(2004, 1, 0, 0, 0, 0), calendar(2004, 1, 32, 0, 0, 0),
	calendar(2004, 4, 31, 0, 0, 0), calendar(2003, 2, 29, 0, 0, 0),
	calendar(1900, 2, 29, 0, 0, 0), calendar(2004, 2, 30, 0, 0, 0),
	calendar(2004, 1, 1, 24, 0, 0), calendar(2004, 1, 1, 0, 60, 0),
	calendar(2004, 1, 1, 0, 0, 60), calendar(65535, 65535, 65535, 65535, 65535, 65535),
    };
    for (const HkpSystemTime &t : bad) {
	uint64_t fileTime = 12345;
	EXPECT_FALSE(HkpLocalTimeToFileTime(t, &fileTime))
	    << t.year << "-" << t.month << "-" << t.day << " " << t.hour << ":" << t.minute << ":" << t.second;
	EXPECT_EQ(fileTime, 12345u);
    }
    HkpSystemTime withMilliseconds = calendar(2004, 1, 1, 0, 0, 0);
    withMilliseconds.milliseconds = 1000;
    uint64_t fileTime = 0;
    EXPECT_FALSE(HkpLocalTimeToFileTime(withMilliseconds, &fileTime));

    /* The edges that are valid, in UTC: the whole file-time range. */
    ASSERT_TRUE(HkpLocalTimeToFileTime(calendar(1601, 1, 1, 0, 0, 0), &fileTime));
    EXPECT_EQ(fileTime, 0u);
    ASSERT_TRUE(HkpLocalTimeToFileTime(calendar(30827, 12, 31, 23, 59, 59), &fileTime));
    EXPECT_EQ(unixSeconds(fileTime), 910670515199LL);
    ASSERT_TRUE(HkpLocalTimeToFileTime(calendar(2000, 2, 29, 0, 0, 0), &fileTime));
    EXPECT_EQ(unixSeconds(fileTime), 951782400LL);
}

TEST(LocalTime, BeforeTheFirstFileTimeIsRefused)
{
    /* 1601-01-01 00:30 east of Greenwich is still 1600 in UTC. */
    ZoneGuard zone("Europe/Berlin");
    uint64_t fileTime = 0;
    EXPECT_FALSE(HkpLocalTimeToFileTime(calendar(1601, 1, 1, 0, 30, 0), &fileTime));
}

class SetMtime : public ::testing::Test {
protected:
    void SetUp() override
    {
	char pattern[] = "/tmp/hkmtimeXXXXXX";
	ASSERT_NE(mkdtemp(pattern), nullptr);
	dir_ = pattern;
	file_ = dir_ + "/file.txt";
	int fd = open(file_.c_str(), O_CREAT | O_WRONLY, 0644);
	ASSERT_GE(fd, 0);
	ASSERT_EQ(write(fd, "data", 4), 4);
	close(fd);
	struct timespec times[2] = {{1000000000, 0}, {1000000000, 0}};
	utimensat(AT_FDCWD, file_.c_str(), times, 0);
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
    std::string dir_, file_;
};

/* 2004-07-07 19:55:20.5 UTC as a file time. */
const uint64_t kSomeFileTime = (1089230120ULL + 11644473600ULL) * 10000000ULL + 5000000ULL;

TEST_F(SetMtime, SetsOnlyTheLastWriteTime)
{
    int error = -1;
    ASSERT_EQ(HkpSetFileMtime(name(file_), kSomeFileTime, &error), HKP_MTIME_SET);
    struct stat st = info();
    EXPECT_EQ(st.st_mtim.tv_sec, 1089230120);
    EXPECT_EQ(st.st_mtim.tv_nsec, 500000000);
    EXPECT_EQ(st.st_atim.tv_sec, 1000000000);
    EXPECT_EQ(st.st_size, 4);

    /* Before 1970: negative Unix seconds. */
    uint64_t early = (11644473600ULL - 86400ULL) * 10000000ULL;
    ASSERT_EQ(HkpSetFileMtime(name(file_), early, &error), HKP_MTIME_SET);
    EXPECT_EQ(info().st_mtim.tv_sec, -86400);
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
	EXPECT_EQ(HkpSetFileMtime(name(c.path), kSomeFileTime, &error), HKP_MTIME_OPEN_FAILED) << c.path;
	EXPECT_EQ(error, c.error) << c.path;
    }
    struct stat st;
    EXPECT_NE(stat((dir_ + "/missing.txt").c_str(), &st), 0);	/* never created */
}

TEST_F(SetMtime, ReadOnlyFilesAreRefusedEvenForRoot)
{
    chmod(file_.c_str(), 0444);
    int error = 0;
    EXPECT_EQ(HkpSetFileMtime(name(file_), kSomeFileTime, &error), HKP_MTIME_OPEN_FAILED);
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
    EXPECT_EQ(HkpSetFileMtime(name(file_), kSomeFileTime, &error), HKP_MTIME_OPEN_FAILED);
    EXPECT_EQ(error, EWOULDBLOCK);
    flock(holder, LOCK_UN);

#ifdef F_OFD_SETLK
    struct flock range = {};
    range.l_type = F_RDLCK;
    range.l_whence = SEEK_SET;
    ASSERT_EQ(fcntl(holder, F_OFD_SETLK, &range), 0);
    EXPECT_EQ(HkpSetFileMtime(name(file_), kSomeFileTime, &error), HKP_MTIME_OPEN_FAILED);
    EXPECT_TRUE(error == EAGAIN || error == EACCES) << error;
#endif
    close(holder);

    EXPECT_EQ(info().st_mtim.tv_sec, 1000000000);
    EXPECT_EQ(HkpSetFileMtime(name(file_), kSomeFileTime, &error), HKP_MTIME_SET);
}
