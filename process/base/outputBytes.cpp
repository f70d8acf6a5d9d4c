/*
 * outputBytes.cpp --
 *
 *	CR LF and NUL treatment of output bytes.
 */

#include "process/base/outputBytes.h"

namespace hkproc {

size_t
crLfToLf(char *data, size_t length)
{
    size_t out = 0;
    for (size_t in = 0; in < length; ++in) {
	if (data[in] == '\r' && in + 1 < length && data[in + 1] == '\n') {
	    continue;
	}
	data[out++] = data[in];
    }
    return out;
}

size_t
countNul(const char *data, size_t length)
{
    size_t count = 0;
    for (size_t i = 0; i < length; ++i) {
	count += (data[i] == '\0');
    }
    return count;
}

void
expandNul(char *data, size_t length, size_t nulCount)
{
    /* Backwards, so that no byte is overwritten before it has moved. */
    size_t out = length + nulCount;
    size_t in = length;
    while (nulCount > 0 && in > 0) {
	char c = data[--in];
	if (c == '\0') {
	    data[--out] = static_cast<char>(0x80);
	    data[--out] = static_cast<char>(0xC0);
	    --nulCount;
	} else {
	    data[--out] = c;
	}
    }
}

} // namespace hkproc
