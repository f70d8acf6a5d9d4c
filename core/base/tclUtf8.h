/*
 * tclUtf8.h --
 *
 *	Bytes as Tcl text. Tcl holds its strings in modified UTF-8: U+0000 as
 *	the pair C0 80, never a zero byte, and (Tcl 8.6) a character beyond
 *	U+FFFF as its two surrogate halves, three bytes each. Bytes that come
 *	from outside (a program's output, an unscrambled password, a directory
 *	value) are made into that form the way Tcl's own utf-8 decoding
 *	(`encoding convertfrom utf-8`, the output of `exec`) makes them:
 *
 *	- well-formed UTF-8 of one to three bytes stays byte for byte, and in
 *	  Tcl 8 surrogate halves written on their own too (in Tcl 9 they are
 *	  stray bytes, since no channel there can write them out);
 *	- a four-byte sequence (U+10000 .. U+10FFFF) becomes its two halves in
 *	  Tcl 8 and stays as it is in Tcl 9, which holds such characters whole;
 *	- a zero byte, and the pair C0 80, become C0 80;
 *	- every other byte (a stray continuation byte, a lead byte without its
 *	  continuation, an overlong form, a byte F5 .. FF) becomes the
 *	  character of the same value, U+0080 .. U+00FF, and decoding goes on
 *	  with the byte after it.
 *
 *	The result never holds a zero byte and always reads back as the same
 *	characters. No Tcl, no system call.
 */

#ifndef HOSTKIT_TCL_UTF8_H
#define HOSTKIT_TCL_UTF8_H

#include <cstddef>
#include <string>

/*
 * The Tcl the module is built for (the build defines HOSTKIT_TCL_MAJOR):
 * Tcl 9 keeps a character beyond U+FFFF as its four bytes.
 */
#ifndef HOSTKIT_TCL_MAJOR
#define HOSTKIT_TCL_MAJOR 8
#endif
const bool HK_TCL_KEEPS_FOUR_BYTES = HOSTKIT_TCL_MAJOR >= 9;
/* Tcl 8 holds a surrogate half written on its own; Tcl 9 cannot write one out. */
const bool HK_TCL_HOLDS_SURROGATES = HOSTKIT_TCL_MAJOR < 9;

/* Length in bytes of the Tcl form of `length` bytes; never less than `length`. */
size_t hkTclUtf8Length(const char *bytes, size_t length);

/*
 * Writes the Tcl form of `length` bytes to `out`, which has room for
 * hkTclUtf8Length(bytes, length) bytes; returns the count written. The two
 * areas must not overlap.
 */
size_t hkToTclUtf8(const char *bytes, size_t length, char *out);

/*
 * The same in place: `data` holds `length` bytes and has room for
 * `tclLength` = hkTclUtf8Length(data, length) bytes, which it holds after.
 */
void hkToTclUtf8InPlace(char *data, size_t length, size_t tclLength);

/* The Tcl form of a byte string. */
std::string hkTclUtf8(const std::string &bytes);

/*
 * Whether the bytes are Tcl text as this rule writes it: no zero byte,
 * only C0 80 and the sequences the rule keeps as they are.
 */
bool hkIsTclUtf8(const char *text, size_t length);

#endif /* HOSTKIT_TCL_UTF8_H */
