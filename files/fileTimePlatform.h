/*
 * fileTimePlatform.h --
 *
 *	The platform operation behind filesetmtime: a file's last-write time
 *	set to a local date and time. Defined in files/unix/unixFileTime.cpp
 *	and files/win/winFileTime.cpp.
 */

#ifndef HOSTKIT_FILE_TIME_PLATFORM_H
#define HOSTKIT_FILE_TIME_PLATFORM_H

#include "core/base/wideText.h"
#include "files/base/timeWord.h"

/*
 * ---------------------------------------------------------------------------
 * File times.
 * ---------------------------------------------------------------------------
 */

enum HkpSetMtimeStatus {
    HKP_MTIME_SET = 0,
    HKP_MTIME_INVALID_TIME,	/* the local time has no file time: before 1601 in UTC */
    HKP_MTIME_OPEN_FAILED,	/* no such file, a directory, read-only, in use,
				 * not a regular file (a device, a FIFO, a socket) */
    HKP_MTIME_SET_FAILED	/* opened, but the time could not be set */
};

/*
 * Sets the last-write time of an existing file, and nothing else about it,
 * to a local date and time that hkfiles::isValidLocalTime accepts. The
 * local time becomes UTC with the offset from UTC in force on that date,
 * daylight saving included; that is done first, so a time with no file
 * time is HKP_MTIME_INVALID_TIME whatever the file. The file is then
 * opened for reading and writing without sharing, never waiting; anything
 * but a regular file is HKP_MTIME_OPEN_FAILED (Unix: ENXIO, a directory
 * EISDIR; Windows: ERROR_ACCESS_DENIED), and is never re-timed. On an open or set
 * failure *errorNumber is GetLastError() or errno, saved at the failing
 * call; it is left alone otherwise.
 */
HkpSetMtimeStatus HkpSetFileMtime(const WideString &fileName, const hkfiles::LocalTime &localTime,
	int *errorNumber);

#endif /* HOSTKIT_FILE_TIME_PLATFORM_H */
