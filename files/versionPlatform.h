/*
 * versionPlatform.h --
 *
 *	Platform operations behind filegetversion. Defined in
 *	files/unix/unixVersion.cpp and files/win/winVersion.cpp.
 */

#ifndef HOSTKIT_VERSION_PLATFORM_H
#define HOSTKIT_VERSION_PLATFORM_H

#include "core/base/wideText.h"

#include <cstdint>

/*
 * ---------------------------------------------------------------------------
 * Version resources.
 * ---------------------------------------------------------------------------
 */

/*
 * The version-information block of a file, as the Windows version functions
 * give it (GetFileVersionInfoSizeW, GetFileVersionInfoW). On Unix the block
 * is the file's PE version resource, read by its headers (files/peVersion.h):
 * anything that is not a PE file with a version resource has none.
 *
 * HkpGetVersionInfoSize gives the block's size in bytes, 0 when the file
 * cannot be read or has no version resource. HkpGetVersionInfo fills a block
 * of that size; false on failure.
 */
uint32_t HkpGetVersionInfoSize(const WideString &fileName);
bool HkpGetVersionInfo(const WideString &fileName, uint32_t size, void *block);

/*
 * Looks up a sub-block path in a block of blockSize bytes (VerQueryValueA
 * with a 7-bit path, VerQueryValueW with a zero-terminated wide one). On
 * success *value points into the block and *length is the value's length
 * as the block gives it (16-bit units for text, bytes otherwise).
 */
bool HkpVerQueryValueNarrow(const void *block, uint32_t blockSize, const char *subBlock,
	const void **value, uint32_t *length);
bool HkpVerQueryValueWide(const void *block, uint32_t blockSize, const WideChar *subBlock,
	const void **value, uint32_t *length);

#endif /* HOSTKIT_VERSION_PLATFORM_H */
