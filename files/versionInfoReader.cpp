/*
 * versionInfoReader.cpp --
 *
 *	The look-up of a version string: the platform reads the block, the
 *	pure look-ups of files/base/versionBlock.h find the string in it, so
 *	that both systems agree on what a block holds.
 */

#include "files/versionInfoReader.h"
#include "files/base/nulText.h"
#include "files/base/versionBlock.h"
#include "files/versionPlatform.h"

#include <cstdint>
#include <vector>

namespace hkfiles {

VersionStatus
readVersionString(const WideString &fileName, const WideString &attribute, WideString *value)
{
    std::vector<uint8_t> block;
    if (!HkpReadVersionBlock(untilNul(fileName), block)
	    || !hkpe::hasFixedInfo(block.data(), block.size())) {
	return HK_VERSION_NO_INFO;
    }
    hkpe::Translation translation = hkpe::firstTranslation(block.data(), block.size());
    if (!hkpe::findString(block.data(), block.size(), translation, untilNul(attribute), value)) {
	return HK_VERSION_NO_ATTRIBUTE;
    }
    return HK_VERSION_FOUND;
}

} // namespace hkfiles
