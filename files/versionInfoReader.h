/*
 * versionInfoReader.h --
 *
 *	One string attribute of a file's version resource, as filegetversion
 *	gives it: the file's version block is read once, then the attribute is
 *	looked up in the string table of its first translation. Portable code:
 *	no Tcl.
 */

#ifndef HOSTKIT_VERSION_INFO_READER_H
#define HOSTKIT_VERSION_INFO_READER_H

#include "core/base/wideText.h"

namespace hkfiles {

enum VersionStatus {
    HK_VERSION_FOUND = 0,
    HK_VERSION_NO_INFO,		/* no file, not a PE file, no sound version resource,
				 * or fixed information without its signature */
    HK_VERSION_NO_ATTRIBUTE	/* no such string, or a name too long for the look-up path */
};

/*
 * Reads the attribute's value into *value, unchanged (no trimming), when
 * the status is HK_VERSION_FOUND; *value is left alone otherwise. Both
 * names end at their first NUL, as the system reads them.
 */
VersionStatus readVersionString(const WideString &fileName, const WideString &attribute,
	WideString *value);

} // namespace hkfiles

#endif /* HOSTKIT_VERSION_INFO_READER_H */
