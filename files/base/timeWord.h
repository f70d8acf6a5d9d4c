/*
 * timeWord.h --
 *
 *	The time word of filesetmtime ("Yr Mnth Day Hr Min Sec") and the local
 *	date and time it names. The word is read as the wide scanning format
 *	"%u %u %u %u %u %u" reads it, and the date is checked here, once, with
 *	the rules of the Windows conversion (SystemTimeToFileTime), so that no
 *	system library's leniency lets 29 February 2003 through on any
 *	system. Pure code: no Tcl, no system calls.
 */

#ifndef HOSTKIT_TIME_WORD_H
#define HOSTKIT_TIME_WORD_H

#include "core/base/wideText.h"

#include <cstddef>
#include <cstdint>

namespace hkfiles {

/* A date and time of the local zone, to the second. */
struct LocalTime {
    uint16_t year;
    uint16_t month;
    uint16_t day;
    uint16_t hour;
    uint16_t minute;
    uint16_t second;
};

/* The numbers of a time word: year, month, day, hour, minute, second. */
const int HK_TIME_WORD_NUMBERS = 6;

/*
 * Reads up to `count` numbers from the UTF-16 text (length units; reading
 * also stops at a zero unit) into values and returns how many were read,
 * stopping at the first that cannot be. Each number is: white space
 * (space, tab, line feed, vertical tab, form feed, carriage return)
 * skipped, an optional sign, one or more digits 0-9. The value wraps modulo
 * 2^32 as the Windows run-time library's scanning does, and a minus sign
 * negates it modulo 2^32. Text after the last number is not looked at.
 */
int scanUnsignedNumbers(const char16_t *text, size_t length, uint32_t *values, int count);

/*
 * True for a date and time that the Windows conversion accepts: year
 * 1601..30827, month 1..12, a day of that month (leap years by the
 * Gregorian rule), hour < 24, minute < 60, second < 60.
 */
bool isValidLocalTime(const LocalTime &time);

/*
 * Reads a time word into *time: six numbers, each field keeping the low 16
 * bits of its number, forming a valid date and time. False, with *time
 * unchanged, for anything else.
 */
bool readTimeWord(const WideString &word, LocalTime *time);

} // namespace hkfiles

#endif /* HOSTKIT_TIME_WORD_H */
