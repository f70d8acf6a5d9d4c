/*
 * versionBlock.h --
 *
 *	Looking things up in a version-information block (VS_VERSIONINFO), as
 *	files/base/peVersion.h reads it from a PE file or the Windows version
 *	functions give it: values by their sub-block path ("\",
 *	"\VarFileInfo\Translation", "\StringFileInfo\040904b0\ProductVersion"),
 *	the fixed information's signature, the first translation and the
 *	strings of a string table.
 *
 *	Every look-up is bounded by the block and by the nodes that hold it: a
 *	block whose lengths point outside itself gives a plain failure or a
 *	value cut to what is there, never a read past its end. Pure code: no
 *	Tcl, no system calls.
 */

#ifndef HOSTKIT_VERSION_BLOCK_H
#define HOSTKIT_VERSION_BLOCK_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace hkpe {

/* The first field of the fixed information (VS_FIXEDFILEINFO) of every sound block. */
const uint32_t HK_FIXED_INFO_SIGNATURE = 0xFEEF04BD;

/*
 * The sub-block path of a string, terminator included, has room for this
 * many 16-bit units, as the path buffer of the Windows look-up always had:
 * "\StringFileInfo\xxxxxxxx\" leaves 998 for the name.
 */
const size_t HK_SUB_BLOCK_PATH_SIZE = 1024;

/* A language and code page: the name of a string table. */
struct Translation {
    uint16_t language;
    uint16_t codePage;
};

/*
 * Without a translation table strings are looked for under US English
 * with code page 1252, the table that resource compilers write by default.
 */
const Translation HK_DEFAULT_TRANSLATION = {0x0409, 1252};

/*
 * Looks up a sub-block path in a version block of blockSize bytes. The path
 * is zero-terminated UTF-16; its parts are separated by backslashes, empty
 * parts are skipped and keys are matched without regard to ASCII letter
 * case, so "\" names the root (whose value is the fixed information).
 *
 * On success *value points at the node's value inside the block and
 * *length is its length as the node gives it (16-bit units for text, bytes
 * otherwise), cut so that the value never reaches past its node or the
 * block.
 */
bool queryValue(const uint8_t *block, size_t blockSize, const char16_t *path,
	const uint8_t **value, uint32_t *length);

/* True when the root's value, the fixed information, begins with its signature. */
bool hasFixedInfo(const uint8_t *block, size_t blockSize);

/*
 * The first language and code page of the translation table
 * ("\VarFileInfo\Translation"); HK_DEFAULT_TRANSLATION when the block has
 * no table or one too short for a pair.
 */
Translation firstTranslation(const uint8_t *block, size_t blockSize);

/*
 * The string name (up to its first NUL) of the string table of the
 * translation: "\StringFileInfo\<language><code page>\<name>", four
 * lower-case hexadecimal digits each. The value ends at its first zero,
 * but never past the length its node gives nor past the block, so that an
 * empty value written without its zero does not run on into what follows.
 * False when there is no such string, or the path would not fit
 * HK_SUB_BLOCK_PATH_SIZE.
 */
bool findString(const uint8_t *block, size_t blockSize, Translation translation,
	const std::u16string &name, std::u16string *value);

} // namespace hkpe

#endif /* HOSTKIT_VERSION_BLOCK_H */
