/*
 * versionPlatform.h --
 *
 *	The platform operation behind filegetversion: a file's version block.
 *	Defined in files/unix/unixVersion.cpp and files/win/winVersion.cpp;
 *	the values in the block are looked up by portable code
 *	(files/base/versionBlock.h), alike on both systems.
 */

#ifndef HOSTKIT_VERSION_PLATFORM_H
#define HOSTKIT_VERSION_PLATFORM_H

#include "core/base/wideText.h"

#include <cstdint>
#include <vector>

/*
 * ---------------------------------------------------------------------------
 * Version resources.
 * ---------------------------------------------------------------------------
 */

/*
 * Reads the version-information block of a PE file into block, in one
 * go. Windows: the block that the system's version functions give, once
 * the file's version resource has been found whole and sound by the
 * bounds-checked reader (files/base/peVersion.h). Unix: that reader's
 * block itself. Returns false, with block empty, for a file that cannot be
 * read, is not a regular file, is not a PE file, or has no such resource.
 */
bool HkpReadVersionBlock(const WideString &fileName, std::vector<uint8_t> &block);

#endif /* HOSTKIT_VERSION_PLATFORM_H */
