/*
 * tempFileName.h --
 *
 *	makeTempFileName: reserves a new, empty, uniquely named file in the
 *	user's temporary directory. Used by gettempfilename and by execprocess
 *	for its capture files, which is why these two names stay outside the
 *	files area's namespace. Portable code: no Tcl.
 */

#ifndef HOSTKIT_TEMPFILENAME_H
#define HOSTKIT_TEMPFILENAME_H

#include "core/base/wideText.h"

/*
 * Returns the full path of the new file, whose name begins with the first
 * three characters of the prefix, or the empty string when no file could
 * be made. The caller owns the file.
 */
WideString makeTempFileName(const WideString &prefix);

/*
 * The part of a prefix that leads the file name: its first three
 * characters, with path separators and NUL made into '_' so that the name
 * never leaves the temporary directory, and without a lone half of a
 * surrogate pair at the cut.
 */
WideString tempFilePrefix(const WideString &prefix);

#endif /* HOSTKIT_TEMPFILENAME_H */
