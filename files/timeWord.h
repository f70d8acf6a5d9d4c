/*
 * timeWord.h --
 *
 *	Reading the time word of filesetmtime: six unsigned decimal numbers
 *	("Yr Mnth Day Hr Min Sec"), read as the wide scanning format
 *	"%u %u %u %u %u %u" reads them. Free of Tcl.
 */

#ifndef HOSTKIT_TIME_WORD_H
#define HOSTKIT_TIME_WORD_H

#include <cstddef>
#include <cstdint>

/*
 * Reads up to `count` numbers from the UTF-16 text (length units; reading
 * also stops at a zero unit) into values and returns how many were read,
 * stopping at the first that cannot be. Each number is: white space
 * (space, tab, line feed, vertical tab, form feed, carriage return)
 * skipped, an optional sign, one or more digits 0-9. The value wraps modulo
 * 2^32 as the Windows run-time library's scanning does, and a minus sign
 * negates it modulo 2^32. Text after the last number is not looked at.
 */
int hkScanUnsignedNumbers(const char16_t *text, size_t length, uint32_t *values, int count);

/*
 * True for a calendar date and time that the Windows conversion
 * (SystemTimeToFileTime) accepts: year 1601..30827, month 1..12, a day of
 * that month (leap years by the Gregorian rule), hour < 24, minute < 60,
 * second < 60, milliseconds < 1000. Checked on every system alike, so that
 * no system library's leniency lets 29 February 2003 through.
 */
bool hkValidCalendarTime(unsigned year, unsigned month, unsigned day, unsigned hour,
	unsigned minute, unsigned second, unsigned milliseconds);

#endif /* HOSTKIT_TIME_WORD_H */
