/*
 * peVersion.cpp --
 *
 *	Reads the version resource of a PE file by its headers. Every offset
 *	and length that the file gives is checked against the bytes that exist
 *	before it is used; arithmetic on them is done in 64 bits so that no sum
 *	wraps.
 */

#include "files/base/peVersion.h"
#include "files/base/littleEndian.h"

#include <cstring>

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

/*
 * The parts of a PE image on the way to its resources. Offsets are from
 * the start of the structure named.
 */

/* The DOS header: "MZ", and where the PE header starts (e_lfanew). */
const size_t DOS_HEADER_SIZE = 64;
const size_t DOS_PE_OFFSET = 0x3C;

/* The PE header: "PE\0\0", then the file header (IMAGE_FILE_HEADER). */
const char PE_SIGNATURE[] = "PE\0\0";
const size_t PE_SIGNATURE_SIZE = 4;
const size_t PE_SECTION_COUNT = 6;		/* NumberOfSections */
const size_t PE_OPTIONAL_SIZE = 20;		/* SizeOfOptionalHeader */
const size_t PE_OPTIONAL_HEADER = 24;		/* signature and file header */

/* The optional header: its kind, and where the data directories are counted. */
const uint16_t OPTIONAL_MAGIC_PE32 = 0x10B;
const uint16_t OPTIONAL_MAGIC_PE32_PLUS = 0x20B;
const size_t OPTIONAL_DIRECTORY_COUNT_PE32 = 92;	/* NumberOfRvaAndSizes */
const size_t OPTIONAL_DIRECTORY_COUNT_PE32_PLUS = 108;

/* The data directories after the count: address and size, 8 bytes each. */
const size_t DIRECTORY_COUNT_SIZE = 4;
const size_t DATA_DIRECTORY_SIZE = 8;
const unsigned RESOURCE_DIRECTORY = 2;		/* after export and import */

/* The section table (IMAGE_SECTION_HEADER), right after the optional header. */
const size_t SECTION_HEADER_SIZE = 40;
const size_t SECTION_VIRTUAL_SIZE = 8;
const size_t SECTION_VIRTUAL_ADDRESS = 12;
const size_t SECTION_RAW_SIZE = 16;
const size_t SECTION_RAW_OFFSET = 20;

/* The Windows loader refuses images with more sections than this. */
const unsigned MAX_SECTIONS = 96;

/*
 * The resource tree: directories of a 16-byte header, which counts the
 * named and the numbered entries, followed by the entries, 8 bytes each
 * (name or id, then the target: a subdirectory or a data entry, as an
 * offset from the start of the resources). A data entry gives the data's
 * address (an RVA, not an offset) and size.
 */
const size_t RESOURCE_DIRECTORY_HEADER_SIZE = 16;
const size_t RESOURCE_NAMED_COUNT = 12;
const size_t RESOURCE_ID_COUNT = 14;
const size_t RESOURCE_ENTRY_SIZE = 8;
const size_t RESOURCE_ENTRY_TARGET = 4;
const size_t RESOURCE_DATA_ENTRY_SIZE = 16;
const size_t RESOURCE_DATA_SIZE = 4;
const uint32_t ENTRY_IS_DIRECTORY = 0x80000000u;
const uint32_t ENTRY_IS_NAMED = 0x80000000u;

const uint32_t RESOURCE_TYPE_VERSION = 16;	/* RT_VERSION */
const uint32_t VERSION_RESOURCE_NAME = 1;	/* VS_VERSION_INFO */
const uint32_t LANGUAGE_NEUTRAL = 0x0000;
const uint32_t LANGUAGE_US_ENGLISH = 0x0409;

struct Section {
    uint32_t virtualAddress;
    uint32_t virtualSize;
    uint32_t rawSize;
    uint32_t rawOffset;
};

/* Where the PE header starts, when the source has one. */
bool
findPeHeader(ByteSource &source, uint64_t *peOffset)
{
    uint8_t dos[DOS_HEADER_SIZE];
    uint8_t signature[PE_SIGNATURE_SIZE];
    if (!source.readAt(0, dos, sizeof dos) || dos[0] != 'M' || dos[1] != 'Z') {
	return false;
    }
    *peOffset = get32(dos + DOS_PE_OFFSET);
    return source.readAt(*peOffset, signature, sizeof signature)
	    && memcmp(signature, PE_SIGNATURE, PE_SIGNATURE_SIZE) == 0;
}

/*
 * The image as far as the resource reader needs it: its sections, to turn
 * relative virtual addresses into file offsets.
 */
class Image {
public:
    explicit Image(ByteSource &source) : source_(source) {}

    /* Reads the headers and the section table; gives the resources' RVA. */
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
    uint64_t peOffset = 0;
    uint8_t fileHeader[PE_OPTIONAL_HEADER];
    if (!findPeHeader(source_, &peOffset)
	    || !source_.readAt(peOffset, fileHeader, sizeof fileHeader)) {
	return false;
    }
    unsigned sectionCount = get16(fileHeader + PE_SECTION_COUNT);
    unsigned optionalSize = get16(fileHeader + PE_OPTIONAL_SIZE);
    if (sectionCount == 0 || sectionCount > MAX_SECTIONS) {
	return false;
    }

    /* The optional header: where the data directories start depends on the kind. */
    uint64_t optionalOffset = peOffset + PE_OPTIONAL_HEADER;
    uint8_t magic[2];
    if (!source_.readAt(optionalOffset, magic, sizeof magic)) {
	return false;
    }
    size_t countOffset;
    switch (get16(magic)) {
    case OPTIONAL_MAGIC_PE32:
	countOffset = OPTIONAL_DIRECTORY_COUNT_PE32;
	break;
    case OPTIONAL_MAGIC_PE32_PLUS:
	countOffset = OPTIONAL_DIRECTORY_COUNT_PE32_PLUS;
	break;
    default:
	return false;
    }
    /* The count and the directories up to the resource directory. */
    uint8_t directories[DIRECTORY_COUNT_SIZE + (RESOURCE_DIRECTORY + 1) * DATA_DIRECTORY_SIZE];
    if (optionalSize < countOffset + sizeof directories
	    || !source_.readAt(optionalOffset + countOffset, directories, sizeof directories)
	    || get32(directories) < RESOURCE_DIRECTORY + 1) {
	return false;
    }
    const uint8_t *resource = directories + DIRECTORY_COUNT_SIZE
	    + RESOURCE_DIRECTORY * DATA_DIRECTORY_SIZE;
    *resourceRva = get32(resource);
    if (*resourceRva == 0 || get32(resource + 4) == 0) {
	return false;
    }

    std::vector<uint8_t> table(static_cast<size_t>(sectionCount) * SECTION_HEADER_SIZE);
    if (!source_.readAt(optionalOffset + optionalSize, table.data(), table.size())) {
	return false;
    }
    sections_.clear();
    for (unsigned i = 0; i < sectionCount; ++i) {
	const uint8_t *s = table.data() + i * SECTION_HEADER_SIZE;
	sections_.push_back({get32(s + SECTION_VIRTUAL_ADDRESS), get32(s + SECTION_VIRTUAL_SIZE),
		get32(s + SECTION_RAW_SIZE), get32(s + SECTION_RAW_OFFSET)});
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
 * One level of the resource tree: the entries of the directory at
 * dirOffset (from the start of the resources), read in one piece; their
 * count is 16 + 16 bits, so at most about 1 MB.
 */
bool
readDirectory(Image &image, uint32_t resourceRva, uint64_t dirOffset, std::vector<uint8_t> &entries)
{
    uint8_t header[RESOURCE_DIRECTORY_HEADER_SIZE];
    if (!image.readRva(resourceRva + dirOffset, header, sizeof header)) {
	return false;
    }
    size_t count = static_cast<size_t>(get16(header + RESOURCE_NAMED_COUNT))
	    + get16(header + RESOURCE_ID_COUNT);
    entries.assign(count * RESOURCE_ENTRY_SIZE, 0);
    return count == 0 || image.readRva(resourceRva + dirOffset + sizeof header, entries.data(),
	    entries.size());
}

/* The subdirectory offset of the entry with the given numeric id. */
bool
findSubdirectory(const std::vector<uint8_t> &entries, uint32_t id, uint64_t *dirOffset)
{
    for (size_t i = 0; i + RESOURCE_ENTRY_SIZE <= entries.size(); i += RESOURCE_ENTRY_SIZE) {
	uint32_t name = get32(entries.data() + i);
	uint32_t target = get32(entries.data() + i + RESOURCE_ENTRY_TARGET);
	if ((name & ENTRY_IS_NAMED) == 0 && name == id) {
	    if ((target & ENTRY_IS_DIRECTORY) == 0) {
		return false;
	    }
	    *dirOffset = target & ~ENTRY_IS_DIRECTORY;
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
    for (uint32_t language : {LANGUAGE_NEUTRAL, LANGUAGE_US_ENGLISH}) {
	for (size_t i = 0; i + RESOURCE_ENTRY_SIZE <= entries.size(); i += RESOURCE_ENTRY_SIZE) {
	    if (get32(entries.data() + i) == language) {
		*target = get32(entries.data() + i + RESOURCE_ENTRY_TARGET);
		return true;
	    }
	}
    }
    *target = get32(entries.data() + RESOURCE_ENTRY_TARGET);
    return true;
}

} // namespace

bool
hasPeSignature(ByteSource &source)
{
    uint64_t peOffset = 0;
    return findPeHeader(source, &peOffset);
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
	    || !findSubdirectory(entries, RESOURCE_TYPE_VERSION, &dirOffset)
	    || !readDirectory(image, resourceRva, dirOffset, entries)
	    || !findSubdirectory(entries, VERSION_RESOURCE_NAME, &dirOffset)
	    || !readDirectory(image, resourceRva, dirOffset, entries)) {
	return false;
    }
    uint32_t target = 0;
    if (!chooseLanguage(entries, &target) || (target & ENTRY_IS_DIRECTORY) != 0) {
	return false;
    }

    uint8_t dataEntry[RESOURCE_DATA_ENTRY_SIZE];
    if (!image.readRva(static_cast<uint64_t>(resourceRva) + target, dataEntry, sizeof dataEntry)) {
	return false;
    }
    uint32_t dataRva = get32(dataEntry);
    size_t size = get32(dataEntry + RESOURCE_DATA_SIZE);
    if (size > HK_MAX_VERSION_BLOCK) {
	size = HK_MAX_VERSION_BLOCK;
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

} // namespace hkpe
