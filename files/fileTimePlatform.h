/*
 * fileTimePlatform.h --
 *
 *	Platform operations behind filesetmtime. Defined in
 *	files/unix/unixFileTime.cpp and files/win/winFileTime.cpp.
 */

#ifndef HOSTKIT_FILE_TIME_PLATFORM_H
#define HOSTKIT_FILE_TIME_PLATFORM_H

#include "core/base/wideText.h"

#include <cstdint>

/*
 * ---------------------------------------------------------------------------
 * File times.
 * ---------------------------------------------------------------------------
 */

/* A calendar date and time, field for field as Windows' SYSTEMTIME. */
struct HkpSystemTime {
    uint16_t year;
    uint16_t month;
    uint16_t dayOfWeek;
    uint16_t day;
    uint16_t hour;
    uint16_t minute;
    uint16_t second;
    uint16_t milliseconds;
};

/*
 * Converts a local calendar time to a UTC file time (100-nanosecond
 * intervals since 1 January 1601) with the offset from UTC that is in force
 * on that date, daylight saving included. False when a field is out of
 * range as SystemTimeToFileTime sees it (year 1601..30827, month 1..12, a
 * day of that month, hour < 24, minute < 60, second < 60, milliseconds <
 * 1000) or the result falls outside the file-time range.
 */
bool HkpLocalTimeToFileTime(const HkpSystemTime &local, uint64_t *utcFileTime);

enum HkpSetMtimeStatus {
    HKP_MTIME_SET = 0,
    HKP_MTIME_OPEN_FAILED,	/* no such file, a directory, read-only, in use */
    HKP_MTIME_SET_FAILED	/* opened, but the time could not be set */
};

/*
 * Opens an existing file for reading and writing without sharing and sets
 * its last-write time only. On failure *errorNumber is GetLastError() or
 * errno, saved at the failing call.
 */
HkpSetMtimeStatus HkpSetFileMtime(const WideString &fileName, uint64_t utcFileTime,
	int *errorNumber);

#endif /* HOSTKIT_FILE_TIME_PLATFORM_H */
