/*
 * versionInfoReader.cpp --
 *
 *	The version-information block of a file and the look-up of its string
 *	attributes, over the platform's version operations.
 */

#include "files/versionInfoReader.h"

#include "files/versionPlatform.h"

#include <cstdio>
#include <cstring>
#include <new>

namespace {

const uint32_t kFixedInfoSignature = 0xFEEF04BD;
const uint16_t kDefaultCodePage = 1252;

/*
 * Without a translation table the strings are looked for under US
 * English, the language resource compilers write by default.
 */
const uint16_t kDefaultLanguage = 0x0409;

} // namespace

VersionInfoReader::VersionInfoReader()
    : fixedInfo_(), blockSize_(0), language_(kDefaultLanguage), codePage_(kDefaultCodePage)
{
}

VersionInfoReader::~VersionInfoReader()
{
}

bool
VersionInfoReader::loadFile(const WideChar *fileName)
{
    codePage_ = kDefaultCodePage;
    language_ = kDefaultLanguage;
    memset(fixedInfo_, 0, sizeof fixedInfo_);
    block_.reset();
    blockSize_ = 0;

    WideString name(fileName);
    uint32_t size = HkpGetVersionInfoSize(name);
    if (size == 0) {
	return false;
    }
    block_.reset(new (std::nothrow) uint8_t[size]);
    if (!block_) {
	return false;
    }
    blockSize_ = size;
    if (!HkpGetVersionInfo(name, size, block_.get())) {
	return false;
    }

    const void *value = nullptr;
    uint32_t length = 0;
    if (!HkpVerQueryValueNarrow(block_.get(), blockSize_, "\\", &value, &length)) {
	return false;
    }
    /*
     * A damaged block may give less than the whole record: take what is
     * there (never more than the block holds) and leave the rest zero.
     */
    size_t available = 0;
    const uint8_t *start = static_cast<const uint8_t *>(value);
    if (start >= block_.get() && start <= block_.get() + blockSize_) {
	available = static_cast<size_t>(block_.get() + blockSize_ - start);
    }
    size_t copy = length < sizeof fixedInfo_ ? length : sizeof fixedInfo_;
    if (copy > available) {
	copy = available;
    }
    memcpy(fixedInfo_, value, copy);

    if (HkpVerQueryValueNarrow(block_.get(), blockSize_, "\\VarFileInfo\\Translation", &value,
	    &length) && length >= 4) {
	const uint8_t *entry = static_cast<const uint8_t *>(value);
	if (entry >= block_.get() && entry + 4 <= block_.get() + blockSize_) {
	    language_ = static_cast<uint16_t>(entry[0] | (entry[1] << 8));
	    codePage_ = static_cast<uint16_t>(entry[2] | (entry[3] << 8));
	}
    }
    return fixedInfo_[0] == kFixedInfoSignature;
}

std::unique_ptr<WideChar[]>
VersionInfoReader::queryString(const WideChar *attributeName)
{
    if (!block_) {
	return nullptr;
    }
    char table[16];
    snprintf(table, sizeof table, "%04x%04x", language_, codePage_);
    WideString path = hkWide("\\StringFileInfo\\") + hkWide(table) + hkWide("\\") + attributeName;
    if (path.size() + 1 > kSubBlockPathSize) {
	return nullptr;		/* the name does not fit the path: no such attribute */
    }

    const void *value = nullptr;
    uint32_t length = 0;
    if (!HkpVerQueryValueWide(block_.get(), blockSize_, path.c_str(), &value, &length)) {
	return nullptr;
    }

    /*
     * The value ends at its zero, but never past the length that the node
     * gives it nor past the block: an empty value written without a zero
     * would otherwise run on into the data that follows it.
     */
    const uint8_t *start = static_cast<const uint8_t *>(value);
    if (start < block_.get() || start > block_.get() + blockSize_) {
	return nullptr;
    }
    size_t limit = static_cast<size_t>(block_.get() + blockSize_ - start) / 2;
    if (length < limit) {
	limit = length;
    }
    size_t count = 0;
    while (count < limit) {
	WideChar c;
	memcpy(&c, start + 2 * count, sizeof c);
	if (c == 0) {
	    break;
	}
	++count;
    }
    std::unique_ptr<WideChar[]> copy(new (std::nothrow) WideChar[count + 1]);
    if (!copy) {
	return nullptr;
    }
    memcpy(copy.get(), start, count * sizeof(WideChar));
    copy[count] = 0;
    return copy;
}
