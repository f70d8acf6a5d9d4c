/*
 * tclUtf8.cpp --
 *
 *	Bytes as Tcl text: the decoding step shared by the length, the
 *	conversion and the in-place conversion, and the independent check.
 */

#include "core/base/tclUtf8.h"

#include <cstdint>
#include <cstring>

namespace {

bool
isTrail(unsigned char c)
{
    return (c & 0xC0) == 0x80;
}

/* What one step of decoding found at a position. */
enum StepKind {
    STEP_NUL,			/* 00 or C0 80: written as C0 80 */
    STEP_KEEP,			/* ASCII or a sequence of two or three bytes: kept */
    STEP_SUPPLEMENTARY,		/* four bytes: written as two halves */
    STEP_BYTE			/* a byte that is not text: U+0080 .. U+00FF */
};

struct Step {
    StepKind kind;
    size_t consumed;		/* input bytes */
    size_t written;		/* output bytes */
};

/*
 * Decodes the sequence at p (n > 0 bytes left), with the bounds of Tcl
 * 8.6's utf-8 decoder: two-byte forms from C2 (C0 80 aside), three-byte
 * from E0 A0, four-byte from F0 90 to F4 8F.
 */
Step
decode(const unsigned char *p, size_t n)
{
    unsigned char c = p[0];
    if (c == 0) {
	return {STEP_NUL, 1, 2};
    }
    if (c < 0x80) {
	return {STEP_KEEP, 1, 1};
    }
    if (c == 0xC0 && n >= 2 && p[1] == 0x80) {
	return {STEP_NUL, 2, 2};
    }
    if (c >= 0xC2 && c <= 0xDF && n >= 2 && isTrail(p[1])) {
	return {STEP_KEEP, 2, 2};
    }
    if (c >= 0xE0 && c <= 0xEF && n >= 3 && isTrail(p[1]) && isTrail(p[2])
	    && (c != 0xE0 || p[1] >= 0xA0)
	    && (HK_TCL_HOLDS_SURROGATES || c != 0xED || p[1] < 0xA0)) {
	return {STEP_KEEP, 3, 3};
    }
    if (c >= 0xF0 && c <= 0xF4 && n >= 4 && isTrail(p[1]) && isTrail(p[2]) && isTrail(p[3])
	    && (c != 0xF0 || p[1] >= 0x90) && (c != 0xF4 || p[1] < 0x90)) {
	return HK_TCL_KEEPS_FOUR_BYTES ? Step{STEP_KEEP, 4, 4} : Step{STEP_SUPPLEMENTARY, 4, 6};
    }
    return {STEP_BYTE, 1, 2};
}

/* Writes a character below U+10000 as three bytes. */
void
putThree(unsigned code, unsigned char *out)
{
    out[0] = static_cast<unsigned char>(0xE0 | (code >> 12));
    out[1] = static_cast<unsigned char>(0x80 | ((code >> 6) & 0x3F));
    out[2] = static_cast<unsigned char>(0x80 | (code & 0x3F));
}

/*
 * Writes the Tcl form of one decoded step whose input is in `in` (a copy
 * when converting in place); returns the bytes written.
 */
size_t
put(const Step &step, const unsigned char *in, unsigned char *out)
{
    switch (step.kind) {
    case STEP_NUL:
	out[0] = 0xC0;
	out[1] = 0x80;
	break;
    case STEP_KEEP:
	memmove(out, in, step.consumed);
	break;
    case STEP_SUPPLEMENTARY: {
	unsigned code = ((in[0] & 0x07u) << 18) | ((in[1] & 0x3Fu) << 12)
		| ((in[2] & 0x3Fu) << 6) | (in[3] & 0x3Fu);
	code -= 0x10000;
	putThree(0xD800 | (code >> 10), out);
	putThree(0xDC00 | (code & 0x3FF), out + 3);
	break;
    }
    case STEP_BYTE:
	out[0] = static_cast<unsigned char>(0xC0 | (in[0] >> 6));
	out[1] = static_cast<unsigned char>(0x80 | (in[0] & 0x3F));
	break;
    }
    return step.written;
}

} // namespace

size_t
hkTclUtf8Length(const char *bytes, size_t length)
{
    const unsigned char *p = reinterpret_cast<const unsigned char *>(bytes);
    size_t total = 0;
    for (size_t at = 0; at < length;) {
	Step step = decode(p + at, length - at);
	at += step.consumed;
	total += step.written;
    }
    return total;
}

size_t
hkToTclUtf8(const char *bytes, size_t length, char *out)
{
    const unsigned char *p = reinterpret_cast<const unsigned char *>(bytes);
    unsigned char *o = reinterpret_cast<unsigned char *>(out);
    size_t written = 0;
    for (size_t at = 0; at < length;) {
	Step step = decode(p + at, length - at);
	written += put(step, p + at, o + written);
	at += step.consumed;
    }
    return written;
}

void
hkToTclUtf8InPlace(char *data, size_t length, size_t tclLength)
{
    if (tclLength == length) {
	return;			/* nothing grows, so nothing changes */
    }
    /*
     * The input moves to the end of the room and is converted from there to
     * the front. No step writes less than it reads, so the write position
     * never passes the read position: each step's input is copied before
     * its output is written.
     */
    size_t shift = tclLength - length;
    memmove(data + shift, data, length);
    unsigned char *d = reinterpret_cast<unsigned char *>(data);
    size_t written = 0;
    for (size_t at = shift; at < tclLength;) {
	Step step = decode(d + at, tclLength - at);
	unsigned char in[4];
	memcpy(in, d + at, step.consumed);
	at += step.consumed;
	written += put(step, in, d + written);
    }
}

std::string
hkTclUtf8(const std::string &bytes)
{
    std::string out(hkTclUtf8Length(bytes.data(), bytes.size()), '\0');
    if (!out.empty()) {
	hkToTclUtf8(bytes.data(), bytes.size(), &out[0]);
    }
    return out;
}

bool
hkIsTclUtf8(const char *text, size_t length)
{
    const unsigned char *p = reinterpret_cast<const unsigned char *>(text);
    /*
     * Most directory text is ASCII without zero bytes: such runs are passed
     * eight bytes at a time (a zero byte, or one of 0x80 and above, stops
     * the word test), the rest is decoded.
     */
    const uint64_t HIGH = 0x8080808080808080ULL, ONES = 0x0101010101010101ULL;
    for (size_t at = 0; at < length;) {
	if (length - at >= 8) {
	    uint64_t w;
	    memcpy(&w, p + at, 8);
	    if (((w | ((w - ONES) & ~w)) & HIGH) == 0) {
		at += 8;
		continue;
	    }
	}
	if (p[at] != 0 && p[at] < 0x80) {
	    at++;
	    continue;
	}
	Step step = decode(p + at, length - at);
	bool asIs = step.kind == STEP_KEEP || (step.kind == STEP_NUL && step.consumed == 2);
	if (!asIs) {
	    return false;
	}
	at += step.consumed;
    }
    return true;
}
