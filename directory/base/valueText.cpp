/*
 * valueText.cpp --
 *
 *	Directory names and values as Tcl text.
 */

#include "directory/base/valueText.h"

namespace hkdir {

size_t
utf8SequenceLength(const unsigned char *b, size_t length)
{
    if (length == 0) {
	return 0;
    }
    unsigned c = b[0];
    if (c < 0x80) {
	return 1;
    }
    if (c == 0xC0) {
	/* Tcl's own form of U+0000, the only overlong form it takes. */
	return length >= 2 && b[1] == 0x80 ? 2 : 0;
    }
    size_t need;
    unsigned low = 0x80, high = 0xBF;	/* the second byte's range */
    if (c >= 0xC2 && c <= 0xDF) {
	need = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
	need = 3;
	if (c == 0xE0) {
	    low = 0xA0;			/* no overlong forms; surrogates (ED A0..BF)
					 * are characters to Tcl */
	}
    } else if (c >= 0xF0 && c <= 0xF4) {
	need = 4;
	if (c == 0xF0) {
	    low = 0x90;
	} else if (c == 0xF4) {
	    high = 0x8F;		/* nothing above U+10FFFF */
	}
    } else {
	return 0;
    }
    if (length < need || b[1] < low || b[1] > high) {
	return 0;
    }
    for (size_t i = 2; i < need; i++) {
	if ((b[i] & 0xC0) != 0x80) {
	    return 0;
	}
    }
    return need;
}

bool
isTclUtf8(const char *bytes, size_t length)
{
    const unsigned char *b = reinterpret_cast<const unsigned char *>(bytes);
    size_t i = 0;
    while (i < length) {
	if (b[i] < 0x80) {
	    i++;
	    continue;
	}
	size_t n = utf8SequenceLength(b + i, length - i);
	if (n == 0) {
	    return false;
	}
	i += n;
    }
    return true;
}

void
appendTclText(std::string &out, const char *bytes, size_t length)
{
    if (isTclUtf8(bytes, length)) {
	out.append(bytes, length);
	return;
    }
    const unsigned char *b = reinterpret_cast<const unsigned char *>(bytes);
    size_t i = 0;
    while (i < length) {
	size_t n = utf8SequenceLength(b + i, length - i);
	if (n != 0) {
	    out.append(bytes + i, n);
	    i += n;
	} else {
	    /* A byte of its own: the character of its value, U+0080..U+00FF. */
	    out += static_cast<char>(0xC0 | (b[i] >> 6));
	    out += static_cast<char>(0x80 | (b[i] & 0x3F));
	    i++;
	}
    }
}

} // namespace hkdir
