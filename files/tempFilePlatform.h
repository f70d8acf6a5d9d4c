/*
 * tempFilePlatform.h --
 *
 *	The platform operation behind temporary file names. Defined in
 *	files/unix/unixTempFile.cpp and files/win/winTempFile.cpp.
 */

#ifndef HOSTKIT_TEMP_FILE_PLATFORM_H
#define HOSTKIT_TEMP_FILE_PLATFORM_H

#include "core/base/wideText.h"

/*
 * ---------------------------------------------------------------------------
 * Temporary files.
 * ---------------------------------------------------------------------------
 */

/*
 * Creates a new, empty, uniquely named file in the user's temporary
 * directory, named <prefix><hex>.TMP (up to four hexadecimal digits), and
 * returns its full path; the empty string on failure. The prefix is used
 * as given (the caller cuts it to three characters and keeps path
 * separators out of it). Windows: GetTempPathW + GetTempFileNameW; Unix:
 * $TMPDIR or /tmp, O_CREAT|O_EXCL with mode 0600, next number on EEXIST.
 */
WideString HkpMakeTempFile(const WideString &prefix);

#endif /* HOSTKIT_TEMP_FILE_PLATFORM_H */
