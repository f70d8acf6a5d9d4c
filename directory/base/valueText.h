/*
 * valueText.h --
 *
 *	Directory names and values as Tcl text. A directory hands over bytes:
 *	most values are UTF-8, but binary ones (photos, certificates, values
 *	in another encoding) are not, and Tcl must never be given a malformed
 *	string. Bytes are taken the way Tcl 8.6's own utf-8 decoding takes
 *	them (encoding convertfrom utf-8): every UTF-8 sequence stays byte for
 *	byte, and each byte that does not begin one becomes the character of
 *	the same value (0x80..0xFF as U+0080..U+00FF). Besides well-formed
 *	UTF-8, Tcl takes two forms as characters, and so they stay as well: C0
 *	80 (its own form of U+0000) and encoded surrogates (ED A0..BF xx).
 */

#ifndef HOSTKIT_DIRECTORY_BASE_VALUE_TEXT_H
#define HOSTKIT_DIRECTORY_BASE_VALUE_TEXT_H

#include <cstddef>
#include <string>

namespace hkdir {

/*
 * The length of the UTF-8 sequence that Tcl takes at the start of bytes (1
 * to 4), or 0 when the first byte does not begin one: a lone continuation
 * byte, C1, F5..FF, a sequence cut short, an overlong form other than C0
 * 80, or a code point above U+10FFFF.
 */
size_t utf8SequenceLength(const unsigned char *bytes, size_t length);

/* True when the bytes are such sequences throughout. */
bool isTclUtf8(const char *bytes, size_t length);

/* Appends the bytes as Tcl text (see above). */
void appendTclText(std::string &out, const char *bytes, size_t length);

} // namespace hkdir

#endif /* HOSTKIT_DIRECTORY_BASE_VALUE_TEXT_H */
