/*
 * unixFileTime.cpp --
 *
 *	POSIX definition of the file-time operation.
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
#include "core/unix/unixFd.h"
#include "core/unix/unixText.h"

#include <cerrno>
#include <cstdint>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

/* 1601-01-01 00:00 UTC, where file times begin, in seconds since 1970. */
const int64_t FIRST_FILE_TIME = -11644473600LL;

const int TM_FIRST_YEAR = 1900;		/* struct tm counts years from here */

/*
 * How far a file system may round a last-write time it keeps: FAT keeps
 * two-second steps, as it does on Windows.
 */
const int64_t KEPT_PRECISION = 2;

/*
 * The UTC seconds of a local time, with the zone's rules for that date.
 * False when the time has no file time.
 */
bool
localToUtcSeconds(const hkfiles::LocalTime &local, time_t *seconds)
{
    struct tm fields = {};
    fields.tm_year = local.year - TM_FIRST_YEAR;
    fields.tm_mon = local.month - 1;
    fields.tm_mday = local.day;
    fields.tm_hour = local.hour;
    fields.tm_min = local.minute;
    fields.tm_sec = local.second;
    fields.tm_isdst = -1;
    struct tm asked = fields;
    time_t utc = mktime(&fields);
    if (utc == static_cast<time_t>(-1)) {
	/* -1 is also one second before 1970 UTC: tell the two apart. */
	struct tm check;
	if (localtime_r(&utc, &check) == nullptr || check.tm_year != asked.tm_year
		|| check.tm_mon != asked.tm_mon || check.tm_mday != asked.tm_mday
		|| check.tm_hour != asked.tm_hour || check.tm_min != asked.tm_min
		|| check.tm_sec != asked.tm_sec) {
	    return false;
	}
    }
    if (static_cast<int64_t>(utc) < FIRST_FILE_TIME) {
	return false;
    }
    *seconds = utc;
    return true;
}

/*
 * Takes both kinds of lock; false with *errorNumber set when another holder
 * keeps us out. Any other failure to lock means that the file system has
 * no such locks at all, which is no obstacle.
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

/*
 * Whether a file is a regular one; otherwise *errorNumber says what it is:
 * EISDIR for a directory (what opening it for writing gives), ENXIO for a
 * device, a FIFO or a socket (what opening a socket gives).
 */
bool
isRegular(const struct stat &st, int *errorNumber)
{
    if (S_ISREG(st.st_mode)) {
	return true;
    }
    *errorNumber = S_ISDIR(st.st_mode) ? EISDIR : ENXIO;
    return false;
}

} // namespace

HkpSetMtimeStatus
HkpSetFileMtime(const WideString &fileName, const hkfiles::LocalTime &localTime, int *errorNumber)
{
    time_t utc = 0;
    if (!localToUtcSeconds(localTime, &utc)) {
	return HKP_MTIME_INVALID_TIME;
    }

    std::string native = HkpWideToNative(fileName);
    /*
     * Only a regular file is re-timed: a device node, a FIFO or a socket is
     * refused before it is opened (opening a device can act on it), and
     * again after the open, in case the name changed in between.
     */
    struct stat st;
    if (stat(native.c_str(), &st) == 0 && !isRegular(st, errorNumber)) {
	return HKP_MTIME_OPEN_FAILED;
    }
    /* No O_CREAT: only an existing file. Not blocking: nothing may hold us up. */
    UnixFd fd(open(native.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (fd.get() < 0) {
	*errorNumber = errno;
	return HKP_MTIME_OPEN_FAILED;
    }
    if (fstat(fd.get(), &st) != 0) {
	*errorNumber = errno;
	return HKP_MTIME_OPEN_FAILED;
    }
    if (!isRegular(st, errorNumber)) {
	return HKP_MTIME_OPEN_FAILED;
    }
    /*
     * Root may open any file for writing; a file without a single write
     * permission bit is read-only all the same, as the read-only attribute
     * makes a file on Windows.
     */
    if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
	*errorNumber = EACCES;
	return HKP_MTIME_OPEN_FAILED;
    }
    if (!lockOutOthers(fd.get(), errorNumber)) {
	return HKP_MTIME_OPEN_FAILED;
    }

    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;	/* the access time stays as it is */
    times[1].tv_sec = utc;
    times[1].tv_nsec = 0;
    if (futimens(fd.get(), times) != 0) {
	*errorNumber = errno;
	return HKP_MTIME_SET_FAILED;
    }

    /*
     * A file system keeps a time it cannot hold as its nearest one,
     * without an error (ext4: December 1901 and May 2446), so the time is
     * read back. One that is not kept is a failure, and the file gets its
     * old time again.
     */
    struct stat after;
    if (fstat(fd.get(), &after) != 0) {
	*errorNumber = errno;
	return HKP_MTIME_SET_FAILED;
    }
    int64_t kept = static_cast<int64_t>(after.st_mtim.tv_sec);
    if (kept < static_cast<int64_t>(utc) - KEPT_PRECISION
	    || kept > static_cast<int64_t>(utc) + KEPT_PRECISION) {
	times[1] = st.st_mtim;
	futimens(fd.get(), times);	/* the failure stands whatever this gives */
	*errorNumber = EOVERFLOW;
	return HKP_MTIME_SET_FAILED;
    }
    return HKP_MTIME_SET;
}
