/*
 * timeWord.cpp --
 *
 *	The "%u" reading of the filesetmtime time word and the check of the
 *	date it names.
 */

#include "files/base/timeWord.h"

namespace hkfiles {

namespace {

/* The range of years that Windows file times and SYSTEMTIME share. */
const unsigned FIRST_YEAR = 1601;
const unsigned LAST_YEAR = 30827;

const unsigned MONTHS = 12;
const unsigned HOURS_PER_DAY = 24;
const unsigned MINUTES_PER_HOUR = 60;
const unsigned SECONDS_PER_MINUTE = 60;

bool
isSpace(uint16_t c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

bool
isDigit(uint16_t c)
{
    return c >= '0' && c <= '9';
}

bool
isLeapYear(unsigned year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

} // namespace

int
scanUnsignedNumbers(const char16_t *text, size_t length, uint32_t *values, int count)
{
    size_t i = 0;
    auto at = [&](size_t k) -> uint16_t { return k < length ? text[k] : 0; };

    for (int n = 0; n < count; ++n) {
	while (isSpace(at(i))) {
	    ++i;
	}
	bool negative = false;
	if (at(i) == '+' || at(i) == '-') {
	    negative = at(i) == '-';
	    ++i;
	}
	if (!isDigit(at(i))) {
	    return n;
	}
	uint32_t value = 0;
	while (isDigit(at(i))) {
	    value = value * 10u + static_cast<uint32_t>(at(i) - '0');
	    ++i;
	}
	values[n] = negative ? 0u - value : value;
    }
    return count;
}

bool
isValidLocalTime(const LocalTime &time)
{
    static const unsigned char monthDays[MONTHS] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (time.year < FIRST_YEAR || time.year > LAST_YEAR || time.month < 1 || time.month > MONTHS) {
	return false;
    }
    bool leapDay = time.month == 2 && isLeapYear(time.year);
    unsigned days = monthDays[time.month - 1] + (leapDay ? 1u : 0u);
    return time.day >= 1 && time.day <= days && time.hour < HOURS_PER_DAY
	    && time.minute < MINUTES_PER_HOUR && time.second < SECONDS_PER_MINUTE;
}

bool
readTimeWord(const WideString &word, LocalTime *time)
{
    uint32_t numbers[HK_TIME_WORD_NUMBERS];
    if (scanUnsignedNumbers(word.data(), word.size(), numbers, HK_TIME_WORD_NUMBERS)
	    != HK_TIME_WORD_NUMBERS) {
	return false;
    }
    LocalTime read;
    read.year = static_cast<uint16_t>(numbers[0]);
    read.month = static_cast<uint16_t>(numbers[1]);
    read.day = static_cast<uint16_t>(numbers[2]);
    read.hour = static_cast<uint16_t>(numbers[3]);
    read.minute = static_cast<uint16_t>(numbers[4]);
    read.second = static_cast<uint16_t>(numbers[5]);
    if (!isValidLocalTime(read)) {
	return false;
    }
    *time = read;
    return true;
}

} // namespace hkfiles
