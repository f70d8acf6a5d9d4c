/*
 * peVersion.cpp --
 *
 *	Reads the version resource of a PE file by its headers, and looks up
 *	values in a version block. Every offset and length that the file gives
 *	is checked against the bytes that exist before it is used; arithmetic
 *	on them is done in 64 bits so that no sum wraps.
 */

#include "files/peVersion.h"

#include <cstring>
#include <string>

namespace hkpe {

bool
MemorySource::readAt(uint64_t offset, void *buffer, size_t length)
{
    if (offset > size_ || length > size_ - offset) {
	return false;
    }
    if (length > 0) {
	memcpy(buffer, data_ + offset, length);
    }
    return true;
}

namespace {

uint16_t
get16(const uint8_t *p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

uint32_t
get32(const uint8_t *p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8)
	    | (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

/* The Windows loader refuses images with more sections than this. */
const unsigned kMaxSections = 96;

const uint32_t kResourceTypeVersion = 16;	/* RT_VERSION */
const uint32_t kVersionResourceName = 1;	/* VS_VERSION_INFO */
const uint32_t kEntryIsDirectory = 0x80000000u;
const uint32_t kEntryIsNamed = 0x80000000u;

struct Section {
    uint32_t virtualAddress;
    uint32_t virtualSize;
    uint32_t rawSize;
    uint32_t rawOffset;
};

/*
 * The image as far as the resource reader needs it: its sections, to turn
 * relative virtual addresses into file offsets.
 */
class Image {
public:
    explicit Image(ByteSource &source) : source_(source) {}

    bool readHeaders(uint32_t *resourceRva);

    /*
     * Reads length bytes at a relative virtual address. The range must lie
     * inside one section; the part past the section's raw data reads as
     * zeros, as it does once the loader has mapped the image.
     */
    bool readRva(uint64_t rva, void *buffer, size_t length);

private:
    ByteSource &source_;
    std::vector<Section> sections_;
};

bool
Image::readHeaders(uint32_t *resourceRva)
{
    uint8_t dos[64];
    if (!source_.readAt(0, dos, sizeof dos) || dos[0] != 'M' || dos[1] != 'Z') {
	return false;
    }
    uint64_t peOffset = get32(dos + 0x3C);

    /* "PE\0\0" and the file header. */
    uint8_t fileHeader[24];
    if (!source_.readAt(peOffset, fileHeader, sizeof fileHeader)
	    || memcmp(fileHeader, "PE\0\0", 4) != 0) {
	return false;
    }
    unsigned sectionCount = get16(fileHeader + 6);
    unsigned optionalSize = get16(fileHeader + 20);
    if (sectionCount == 0 || sectionCount > kMaxSections) {
	return false;
    }

    /* The optional header: where the data directories start depends on the kind. */
    uint8_t optional[2];
    if (!source_.readAt(peOffset + 24, optional, sizeof optional)) {
	return false;
    }
    unsigned countOffset;
    switch (get16(optional)) {
    case 0x10B:			/* PE32 */
	countOffset = 92;
	break;
    case 0x20B:			/* PE32+ */
	countOffset = 108;
	break;
    default:
	return false;
    }
    /* The count and the first three directories (export, import, resource). */
    const unsigned needed = countOffset + 4 + 3 * 8;
    if (optionalSize < needed) {
	return false;
    }
    uint8_t directories[4 + 3 * 8];
    if (!source_.readAt(peOffset + 24 + countOffset, directories, sizeof directories)) {
	return false;
    }
    if (get32(directories) < 3) {
	return false;
    }
    *resourceRva = get32(directories + 4 + 2 * 8);
    uint32_t resourceSize = get32(directories + 4 + 2 * 8 + 4);
    if (*resourceRva == 0 || resourceSize == 0) {
	return false;
    }

    std::vector<uint8_t> table(static_cast<size_t>(sectionCount) * 40);
    if (!source_.readAt(peOffset + 24 + optionalSize, table.data(), table.size())) {
	return false;
    }
    sections_.clear();
    for (unsigned i = 0; i < sectionCount; ++i) {
	const uint8_t *s = table.data() + i * 40;
	sections_.push_back({get32(s + 12), get32(s + 8), get32(s + 16), get32(s + 20)});
    }
    return true;
}

bool
Image::readRva(uint64_t rva, void *buffer, size_t length)
{
    for (const Section &s : sections_) {
	uint64_t span = s.virtualSize > s.rawSize ? s.virtualSize : s.rawSize;
	if (rva < s.virtualAddress || rva - s.virtualAddress >= span) {
	    continue;
	}
	uint64_t start = rva - s.virtualAddress;
	if (length > span - start) {
	    return false;
	}
	size_t fromFile = 0;
	if (start < s.rawSize) {
	    uint64_t rawLeft = s.rawSize - start;
	    fromFile = rawLeft < length ? static_cast<size_t>(rawLeft) : length;
	}
	if (fromFile > 0 && !source_.readAt(s.rawOffset + start, buffer, fromFile)) {
	    return false;
	}
	memset(static_cast<uint8_t *>(buffer) + fromFile, 0, length - fromFile);
	return true;
    }
    return false;
}

/*
 * One level of the resource tree: the directory at dirOffset (from the
 * start of the resource data). The entries of a directory are read in one
 * piece; their count is 16 + 16 bits, so at most about 1 MB.
 */
bool
readDirectory(Image &image, uint32_t resourceRva, uint64_t dirOffset, std::vector<uint8_t> &entries)
{
    uint8_t header[16];
    if (!image.readRva(resourceRva + dirOffset, header, sizeof header)) {
	return false;
    }
    size_t count = static_cast<size_t>(get16(header + 12)) + get16(header + 14);
    entries.assign(count * 8, 0);
    return count == 0 || image.readRva(resourceRva + dirOffset + 16, entries.data(), entries.size());
}

/* The subdirectory offset of the entry with the given numeric id. */
bool
findSubdirectory(const std::vector<uint8_t> &entries, uint32_t id, uint64_t *dirOffset)
{
    for (size_t i = 0; i + 8 <= entries.size(); i += 8) {
	uint32_t name = get32(entries.data() + i);
	uint32_t target = get32(entries.data() + i + 4);
	if ((name & kEntryIsNamed) == 0 && name == id) {
	    if ((target & kEntryIsDirectory) == 0) {
		return false;
	    }
	    *dirOffset = target & ~kEntryIsDirectory;
	    return true;
	}
    }
    return false;
}

/*
 * The language level: neutral first, then US English, then whatever comes
 * first, which is how the system's resource look-up settles it for one
 * language on an English system.
 */
bool
chooseLanguage(const std::vector<uint8_t> &entries, uint32_t *target)
{
    if (entries.empty()) {
	return false;
    }
    static const uint32_t preferred[] = {0x0000, 0x0409};
    for (uint32_t language : preferred) {
	for (size_t i = 0; i + 8 <= entries.size(); i += 8) {
	    if (get32(entries.data() + i) == language) {
		*target = get32(entries.data() + i + 4);
		return true;
	    }
	}
    }
    *target = get32(entries.data() + 4);
    return true;
}

} // namespace

bool
hasPeSignature(ByteSource &source)
{
    uint8_t dos[64];
    uint8_t signature[4];
    return source.readAt(0, dos, sizeof dos) && dos[0] == 'M' && dos[1] == 'Z'
	    && source.readAt(get32(dos + 0x3C), signature, sizeof signature)
	    && memcmp(signature, "PE\0\0", 4) == 0;
}

bool
readVersionResource(ByteSource &source, std::vector<uint8_t> &block)
{
    block.clear();
    Image image(source);
    uint32_t resourceRva = 0;
    if (!image.readHeaders(&resourceRva)) {
	return false;
    }

    /*
     * Type, then name, then language. The depth is fixed, so an entry that
     * points back up the tree cannot make this loop.
     */
    std::vector<uint8_t> entries;
    uint64_t dirOffset = 0;
    if (!readDirectory(image, resourceRva, 0, entries)
	    || !findSubdirectory(entries, kResourceTypeVersion, &dirOffset)
	    || !readDirectory(image, resourceRva, dirOffset, entries)
	    || !findSubdirectory(entries, kVersionResourceName, &dirOffset)
	    || !readDirectory(image, resourceRva, dirOffset, entries)) {
	return false;
    }
    uint32_t target = 0;
    if (!chooseLanguage(entries, &target) || (target & kEntryIsDirectory) != 0) {
	return false;
    }

    /* The data entry: the data's own address (an RVA, not an offset) and size. */
    uint8_t dataEntry[16];
    if (!image.readRva(static_cast<uint64_t>(resourceRva) + target, dataEntry, sizeof dataEntry)) {
	return false;
    }
    uint32_t dataRva = get32(dataEntry);
    size_t size = get32(dataEntry + 4);
    if (size > kMaxVersionBlock) {
	size = kMaxVersionBlock;
    }
    if (size == 0) {
	return false;
    }
    block.assign(size, 0);
    if (!image.readRva(dataRva, block.data(), size)) {
	block.clear();
	return false;
    }
    return true;
}

/*
 * The version block is a tree of nodes, each:
 *   WORD wLength        the node with its children, in bytes
 *   WORD wValueLength   16-bit units for text (wType != 0), bytes otherwise
 *   WORD wType
 *   WCHAR szKey[]       zero-terminated
 *   padding to 4 bytes, the value, padding to 4 bytes, the children.
 * Offsets are aligned from the start of the block, which the system also
 * keeps 4-byte aligned.
 */
namespace {

struct Node {
    size_t end;			/* one past the node, never past its parent */
    size_t keyStart;
    size_t keyLength;		/* in 16-bit units, without the zero */
    size_t valueStart;
    uint32_t valueLength;	/* as reported: cut to what the node holds */
    size_t childStart;
    size_t declaredEnd;		/* start + wLength, for stepping to the sibling */
};

size_t
align4(size_t offset)
{
    return (offset + 3) & ~static_cast<size_t>(3);
}

bool
parseNode(const uint8_t *block, size_t limit, size_t start, Node *node)
{
    if (start > limit || limit - start < 6) {
	return false;
    }
    size_t length = get16(block + start);
    unsigned valueLength = get16(block + start + 2);
    bool text = get16(block + start + 4) != 0;
    if (length < 6) {
	return false;
    }
    node->declaredEnd = start + length;
    node->end = node->declaredEnd < limit ? node->declaredEnd : limit;

    node->keyStart = start + 6;
    size_t p = node->keyStart;
    while (p + 2 <= node->end && get16(block + p) != 0) {
	p += 2;
    }
    if (p + 2 > node->end) {
	return false;		/* the key runs past the node */
    }
    node->keyLength = (p - node->keyStart) / 2;

    size_t valueStart = align4(p + 2);
    if (valueStart > node->end) {
	valueStart = node->end;
    }
    size_t unit = text ? 2 : 1;
    size_t fits = (node->end - valueStart) / unit;
    node->valueStart = valueStart;
    node->valueLength = static_cast<uint32_t>(valueLength < fits ? valueLength : fits);
    size_t childStart = align4(valueStart + static_cast<size_t>(valueLength) * unit);
    node->childStart = childStart < node->end ? childStart : node->end;
    return true;
}

uint16_t
foldAscii(uint16_t c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<uint16_t>(c + ('a' - 'A')) : c;
}

bool
keyMatches(const uint8_t *block, const Node &node, const char16_t *part, size_t partLength)
{
    if (node.keyLength != partLength) {
	return false;
    }
    for (size_t i = 0; i < partLength; ++i) {
	if (foldAscii(get16(block + node.keyStart + 2 * i)) != foldAscii(part[i])) {
	    return false;
	}
    }
    return true;
}

} // namespace

bool
queryValue(const uint8_t *block, size_t blockSize, const char16_t *path,
	const uint8_t **value, uint32_t *length)
{
    Node node;
    if (block == nullptr || !parseNode(block, blockSize, 0, &node)) {
	return false;
    }
    const char16_t *p = path;
    while (*p != 0) {
	if (*p == '\\') {
	    ++p;
	    continue;
	}
	const char16_t *partEnd = p;
	while (*partEnd != 0 && *partEnd != '\\') {
	    ++partEnd;
	}
	size_t partLength = static_cast<size_t>(partEnd - p);

	/* Every sibling starts past the one before it, so this ends. */
	bool found = false;
	size_t child = node.childStart;
	Node candidate;
	while (child < node.end && parseNode(block, node.end, child, &candidate)) {
	    if (keyMatches(block, candidate, p, partLength)) {
		found = true;
		break;
	    }
	    child = align4(candidate.declaredEnd);
	}
	if (!found) {
	    return false;
	}
	node = candidate;
	p = partEnd;
    }
    *value = block + node.valueStart;
    *length = node.valueLength;
    return true;
}

bool
queryValueNarrow(const uint8_t *block, size_t blockSize, const char *path,
	const uint8_t **value, uint32_t *length)
{
    std::u16string wide;
    for (const unsigned char *p = reinterpret_cast<const unsigned char *>(path); *p; ++p) {
	wide.push_back(*p);
    }
    
    return queryValue(block, blockSize, wide.c_str(), value, length);
}

} // namespace hkpe
