/*
 * fuzz_pereader.cpp --
 *
 *	libFuzzer target for the PE version-resource reader and the
 *	version-block look-ups: the input is read as a PE file and, on its own,
 *	as a version block. Every value found must lie inside its block.
 */

#include "files/base/peVersion.h"
#include "files/base/versionBlock.h"

#include <cstdlib>
#include <vector>

namespace {

const char16_t *const PATHS[] = {
    u"\\", u"\\VarFileInfo\\Translation", u"\\StringFileInfo\\040904b0\\ProductVersion",
    u"\\StringFileInfo\\040904e4\\FileVersion", u"\\\\StringFileInfo\\\\", u"StringFileInfo",
};

const char16_t *const NAMES[] = {u"ProductVersion", u"FileVersion", u"Comments"};

void
queryAll(const uint8_t *block, size_t size)
{
    for (const char16_t *path : PATHS) {
	const uint8_t *value = nullptr;
	uint32_t length = 0;
	if (hkpe::queryValue(block, size, path, &value, &length)) {
	    /* Text lengths count 16-bit units: even those must fit. */
	    if (value < block || value > block + size
		    || static_cast<size_t>(block + size - value) < length) {
		abort();
	    }
	}
    }
    hkpe::hasFixedInfo(block, size);
    hkpe::Translation translation = hkpe::firstTranslation(block, size);
    for (const char16_t *name : NAMES) {
	std::u16string value;
	if (hkpe::findString(block, size, translation, name, &value) && value.size() > size / 2) {
	    abort();		/* a string is never longer than the block that holds it */
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
	if (block.empty() || block.size() > hkpe::HK_MAX_VERSION_BLOCK) {
	    abort();
	}
	queryAll(block.data(), block.size());
    }
    /* A copy of exactly the input's size, so that any overread is caught. */
    std::vector<uint8_t> copy(data, data + size);
    queryAll(copy.data(), copy.size());
    return 0;
}
