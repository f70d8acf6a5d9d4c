/*
 * peVersion.h --
 *
 *	The version resource of a PE file (a Windows executable or library),
 *	read without the Windows version functions, and the look-up of a value
 *	in a version-information block by its sub-block path, as the Windows
 *	query does it ("\", "\VarFileInfo\Translation",
 *	"\StringFileInfo\040904b0\ProductVersion").
 *
 *	Everything here is bounds-checked against the bytes actually present:
 *	a file that is not a well-formed PE with a version resource, or a block
 *	whose lengths point outside itself, gives a plain failure. The reader
 *	reads only the headers, the section table, the resource directory and
 *	the version resource itself, never the whole file.
 *
 *	Free of Tcl, so that the units and the fuzz target link it alone.
 */

#ifndef HOSTKIT_PE_VERSION_H
#define HOSTKIT_PE_VERSION_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace hkpe {

/*
 * Where the reader's bytes come from: a file on disk, or a buffer.
 */
class ByteSource {
public:
    virtual ~ByteSource() {}

    /* Fills length bytes from offset; false unless all of them exist. */
    virtual bool readAt(uint64_t offset, void *buffer, size_t length) = 0;
};

class MemorySource : public ByteSource {
public:
    MemorySource(const uint8_t *data, size_t size) : data_(data), size_(size) {}
    bool readAt(uint64_t offset, void *buffer, size_t length) override;

private:
    const uint8_t *data_;
    size_t size_;
};

/*
 * A version block's length field has 16 bits, so no block is longer than
 * this; a larger resource is read only this far.
 */
const size_t kMaxVersionBlock = 0xFFFF;

/*
 * True when the source starts as a PE file does: "MZ", and "PE\0\0" where
 * the DOS header says the PE header is. Says nothing of what follows.
 */
bool hasPeSignature(ByteSource &source);

/*
 * Copies the version resource (type RT_VERSION 16, name 1; language
 * neutral, else 0x0409, else the first) into block. Returns false, leaving
 * block empty, for anything that is not a PE file with such a resource.
 */
bool readVersionResource(ByteSource &source, std::vector<uint8_t> &block);

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

/* The same with a 7-bit path ("\", "\VarFileInfo\Translation"). */
bool queryValueNarrow(const uint8_t *block, size_t blockSize, const char *path,
	const uint8_t **value, uint32_t *length);

} // namespace hkpe

#endif /* HOSTKIT_PE_VERSION_H */
