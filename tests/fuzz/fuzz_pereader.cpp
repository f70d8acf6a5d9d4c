/*
 * fuzz_pereader.cpp --
 *
 *	libFuzzer target for the PE version-resource reader and the
 *	version-block query: the input is read as a PE file and, on its own,
 *	as a version block. Every value found must lie inside its block.
 */

#include "files/peVersion.h"

#include <cstdlib>
#include <vector>

namespace {

const char *const kPaths[] = {
    "\\", "\\VarFileInfo\\Translation", "\\StringFileInfo\\040904b0\\ProductVersion",
    "\\StringFileInfo\\040904e4\\FileVersion", "\\\\StringFileInfo\\\\", "StringFileInfo",
};

void
queryAll(const uint8_t *block, size_t size)
{
    for (const char *path : kPaths) {
	const uint8_t *value = nullptr;
	uint32_t length = 0;
	if (hkpe::queryValueNarrow(block, size, path, &value, &length)) {
	    /* Text lengths count 16-bit units: even those must fit. */
	    if (value < block || value > block + size
		    || static_cast<size_t>(block + size - value) < length) {
		abort();
	    }
	}
    }
}

} // namespace

extern "C" int
LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    hkpe::MemorySource source(data, size);
    std::vector<uint8_t> block;
    bool pe = hkpe::hasPeSignature(source);
    if (hkpe::readVersionResource(source, block)) {
	if (!pe) {
	    abort();		/* a version resource only ever comes from a PE file */
	}
	if (block.empty() || block.size() > hkpe::kMaxVersionBlock) {
	    abort();
	}
	queryAll(block.data(), block.size());
    }
    /* A copy of exactly the input's size, so that any overread is caught. */
    std::vector<uint8_t> copy(data, data + size);
    queryAll(copy.data(), copy.size());
    return 0;
}
