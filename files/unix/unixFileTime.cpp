/*
 * unixFileTime.cpp --
 *
 *	POSIX definitions of the file-time operations.
 *
 *	Local time becomes UTC through mktime with daylight saving left to the
 *	library, so the offset is the one in force on the date itself. The
 *	file is opened read-write; POSIX has no share modes, so "without
 *	sharing" is as close as advisory locks come: the command takes an
 *	exclusive flock and an open-file-description write lock for the time it
 *	holds the file, and fails as Windows would with a sharing violation
 *	when another process holds either kind. A process that has the file
 *	open without a lock is not seen.
 */

#include "files/fileTimePlatform.h"
#include "core/unix/unixText.h"
#include "core/unix/unixFd.h"
#include "files/timeWord.h"

#include <cerrno>
#include <cstdint>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

/* Seconds from 1601-01-01 to 1970-01-01, and file-time ticks per second. */
const int64_t kEpochDifference = 11644473600LL;
const int64_t kTicksPerSecond = 10000000LL;

/*
 * Takes both kinds of lock; false with *errorNumber set when another holder
 * keeps us out. Where a file system has no locks at all, that is not an
 * obstacle.
 */
bool
lockOutOthers(int fd, int *errorNumber)
{
    if (flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
	*errorNumber = errno;
	return false;
    }
#ifdef F_OFD_SETLK
    /*
     * An open-file-description lock, not a classic one: closing our
     * descriptor must not drop record locks that other code in this
     * process holds on the same file.
     */
    struct flock range = {};
    range.l_type = F_WRLCK;
    range.l_whence = SEEK_SET;
    if (fcntl(fd, F_OFD_SETLK, &range) != 0 && (errno == EAGAIN || errno == EACCES)) {
	*errorNumber = errno;
	return false;
    }
#endif
    return true;
}

} // namespace

bool
HkpLocalTimeToFileTime(const HkpSystemTime &local, uint64_t *utcFileTime)
{
    if (!hkValidCalendarTime(local.year, local.month, local.day, local.hour, local.minute,
	    local.second, local.milliseconds)) {
	return false;
    }
    struct tm fields = {};
    fields.tm_year = local.year - 1900;
    fields.tm_mon = local.month - 1;
    fields.tm_mday = local.day;
    fields.tm_hour = local.hour;
    fields.tm_min = local.minute;
    fields.tm_sec = local.second;
    fields.tm_isdst = -1;
    struct tm asked = fields;
    time_t seconds = mktime(&fields);
    if (seconds == static_cast<time_t>(-1)) {
	/* -1 is also one second before 1970 UTC: tell the two apart. */
	struct tm check;
	if (localtime_r(&seconds, &check) == nullptr || check.tm_year != asked.tm_year
		|| check.tm_mon != asked.tm_mon || check.tm_mday != asked.tm_mday
		|| check.tm_hour != asked.tm_hour || check.tm_min != asked.tm_min
		|| check.tm_sec != asked.tm_sec) {
	    return false;
	}
    }
    int64_t sinceFileEpoch = static_cast<int64_t>(seconds) + kEpochDifference;
    if (sinceFileEpoch < 0 || sinceFileEpoch > INT64_MAX / kTicksPerSecond - 1) {
	return false;
    }
    *utcFileTime = static_cast<uint64_t>(sinceFileEpoch * kTicksPerSecond
	    + local.milliseconds * 10000LL);
    return true;
}

HkpSetMtimeStatus
HkpSetFileMtime(const WideString &fileName, uint64_t utcFileTime, int *errorNumber)
{
    std::string native = HkpWideToNative(fileName);
    /* No O_CREAT: only an existing file. Not blocking: a device must not hold us up. */
    UnixFd fd(open(native.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (fd.get() < 0) {
	*errorNumber = errno;
	return HKP_MTIME_OPEN_FAILED;
    }
    /*
     * Root may open any file for writing; a file without a single write
     * permission bit is read-only all the same, as the read-only attribute
     * makes a file on Windows.
     */
    struct stat st;
    if (fstat(fd.get(), &st) != 0) {
	*errorNumber = errno;
	return HKP_MTIME_OPEN_FAILED;
    }
    if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
	*errorNumber = EACCES;
	return HKP_MTIME_OPEN_FAILED;
    }
    if (!lockOutOthers(fd.get(), errorNumber)) {
	return HKP_MTIME_OPEN_FAILED;
    }

    int64_t ticks = static_cast<int64_t>(utcFileTime) - kEpochDifference * kTicksPerSecond;
    int64_t secs = ticks / kTicksPerSecond;
    int64_t rest = ticks % kTicksPerSecond;
    if (rest < 0) {
	rest += kTicksPerSecond;
	secs -= 1;
    }
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;	/* the access time stays as it is */
    times[1].tv_sec = static_cast<time_t>(secs);
    times[1].tv_nsec = static_cast<long>(rest * 100);
    if (futimens(fd.get(), times) != 0) {
	*errorNumber = errno;
	return HKP_MTIME_SET_FAILED;
    }
    return HKP_MTIME_SET;
}
