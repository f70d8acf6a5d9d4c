/*
 * wideText.h --
 *
 *	Wide text as the package's portable code holds it: UTF-16 in a type of
 *	the package's own, independent of Tcl's Tcl_UniChar and of the
 *	system's wchar_t. It is converted at the Tcl boundary (core/hostkit.h)
 *	and, on Unix, at the system boundary (core/unix/unixText.h); Windows
 *	takes it as it is.
 */

#ifndef HOSTKIT_WIDE_TEXT_H
#define HOSTKIT_WIDE_TEXT_H

#include <string>

typedef std::u16string WideString;
typedef char16_t WideChar;

/* Widens 7-bit text (messages, numbers); bytes above 0x7F are taken as Latin-1. */
WideString hkWide(const char *ascii);

/* Decimal text of a number, widened. */
WideString hkWideDecimal(long long value);

#endif /* HOSTKIT_WIDE_TEXT_H */
