/*
 * wideText.cpp --
 *
 *	Small helpers that make wide text out of narrow 7-bit text.
 */

#include "core/base/wideText.h"

#include <cstdio>

WideString
hkWide(const char *ascii)
{
    WideString out;
    for (const unsigned char *p = reinterpret_cast<const unsigned char *>(ascii); *p; ++p) {
	out.push_back(static_cast<WideChar>(*p));
    }
    return out;
}

WideString
hkWideDecimal(long long value)
{
    char buf[32];
    snprintf(buf, sizeof buf, "%lld", value);
    return hkWide(buf);
}
