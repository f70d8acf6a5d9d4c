/*
 * timeWord.cpp --
 *
 *	The "%u" reading of the filesetmtime time word.
 */

#include "files/timeWord.h"

namespace {

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

} // namespace

int
hkScanUnsignedNumbers(const char16_t *text, size_t length, uint32_t *values, int count)
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
hkValidCalendarTime(unsigned year, unsigned month, unsigned day, unsigned hour, unsigned minute,
	unsigned second, unsigned milliseconds)
{
    static const unsigned char monthDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (year < 1601 || year > 30827 || month < 1 || month > 12) {
	return false;
    }
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    unsigned days = monthDays[month - 1] + ((month == 2 && leap) ? 1u : 0u);
    return day >= 1 && day <= days && hour < 24 && minute < 60 && second < 60
	    && milliseconds < 1000;
}
