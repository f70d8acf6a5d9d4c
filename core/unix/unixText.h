/*
 * unixText.h --
 *
 *	Native text on Unix: file names and program arguments in the system
 *	encoding. Defined in core/unix/unixText.cpp. Windows takes wide text
 *	as it is and has no such operation.
 */

#ifndef HOSTKIT_UNIX_TEXT_H
#define HOSTKIT_UNIX_TEXT_H

#include "core/base/wideText.h"

#include <string>

/*
 * ---------------------------------------------------------------------------
 * Text at the platform boundary.
 * ---------------------------------------------------------------------------
 */

/*
 * Unix only: the native UTF-8 form of a wide file name or argument, and
 * back, through Tcl's conversion routines (the stubs table must be bound).
 * Windows takes the wide text as it is and has no such operation.
 */
std::string HkpWideToNative(const WideString &text);
WideString HkpNativeToWide(const std::string &text);

#endif /* HOSTKIT_UNIX_TEXT_H */
