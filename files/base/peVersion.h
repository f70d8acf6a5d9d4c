/*
 * peVersion.h --
 *
 *	The version resource of a PE file (a Windows executable or library),
 *	read by the file's own headers, without the Windows version functions.
 *	What is read is bounds-checked against the bytes actually present: a
 *	file that is not a well-formed PE image with a version resource gives a
 *	plain failure. Only the headers, the section table, the resource
 *	directory and the version resource itself are read, never the whole
 *	file.
 *
 *	Pure code: no Tcl, no system calls, so that the units and the fuzz
 *	target link it alone. The look-up of values in the block that this
 *	reader gives is in files/base/versionBlock.h.
 */

#ifndef HOSTKIT_PE_VERSION_H
#define HOSTKIT_PE_VERSION_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace hkpe {

/*
 * Where the reader's bytes come from: a file on disk (defined by each
 * system's platform code), or a buffer.
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
const size_t HK_MAX_VERSION_BLOCK = 0xFFFF;

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

} // namespace hkpe

#endif /* HOSTKIT_PE_VERSION_H */
