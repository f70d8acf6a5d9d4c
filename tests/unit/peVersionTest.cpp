/*
 * peVersionTest.cpp --
 *
 *	Units for the PE version-resource reader and the version-block
 *	look-ups, over images and blocks built byte by byte here: a well-formed
 *	image, then truncations at every length, offsets that point outside,
 *	loops in the resource tree, nodes whose lengths do not fit, and the
 *	rules of the string look-up that the fixture files do not reach.
 */

#include "files/base/peVersion.h"
#include "files/base/versionBlock.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

typedef std::vector<uint8_t> Bytes;

void
put16(Bytes &b, size_t at, uint32_t v)
{
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}

void
put32(Bytes &b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i) {
	b[at + i] = static_cast<uint8_t>(v >> (8 * i));
    }
}

std::vector<char16_t>
wide(const std::string &s)
{
    std::vector<char16_t> w(s.begin(), s.end());
    w.push_back(0);
    return w;
}

void
pad4(Bytes &b)
{
    while (b.size() % 4) {
	b.push_back(0);
    }
}

/*
 * One node of a version block: header, key, value, children, each part
 * 4-byte aligned from the node's start (nodes start aligned).
 */
Bytes
node(const std::string &key, const Bytes &value, bool text, const std::vector<Bytes> &children)
{
    Bytes b(6, 0);
    for (uint16_t c : wide(key)) {
	b.push_back(static_cast<uint8_t>(c));
	b.push_back(static_cast<uint8_t>(c >> 8));
    }
    pad4(b);
    b.insert(b.end(), value.begin(), value.end());
    for (const Bytes &child : children) {
	pad4(b);
	b.insert(b.end(), child.begin(), child.end());
    }
    put16(b, 0, static_cast<uint32_t>(b.size()));
    put16(b, 2, static_cast<uint32_t>(text ? value.size() / 2 : value.size()));
    put16(b, 4, text ? 1 : 0);
    return b;
}

Bytes
textValue(const std::string &s)
{
    Bytes b;
    for (uint16_t c : wide(s)) {
	b.push_back(static_cast<uint8_t>(c));
	b.push_back(static_cast<uint8_t>(c >> 8));
    }
    return b;
}

Bytes
fixedInfo(uint32_t signature)
{
    Bytes b(52, 0);
    put32(b, 0, signature);
    put32(b, 4, 0x00010000);
    return b;
}

/* VS_VERSION_INFO with one string table 040904b0 and one translation. */
Bytes
versionBlock()
{
    Bytes translation(4, 0);
    put16(translation, 0, 0x0409);
    put16(translation, 2, 1200);
    Bytes strings = node("040904b0", {}, true, {
	node("ProductVersion", textValue("1.2.3"), true, {}),
	node("Comments", textValue(""), true, {}),
    });
    return node("VS_VERSION_INFO", fixedInfo(0xFEEF04BD), false, {
	node("StringFileInfo", {}, true, {strings}),
	node("VarFileInfo", {}, true, {node("Translation", translation, false, {})}),
    });
}

/*
 * A PE32+ image with one section, .rsrc, holding the resource tree
 * RT_VERSION (16) / 1 / 0x0409 and the version block. The offsets of its
 * parts are kept so that tests can damage them.
 */
struct Image {
    Bytes bytes;
    size_t dos = 0;
    size_t pe = 0x40;
    size_t optional = 0x58;
    size_t resourceDirectory = 0x58 + 112 + 16;
    size_t section = 0x58 + 240;
    size_t raw = 0x200;
    size_t typeEntry = 0x200 + 16;
    size_t nameEntry = 0x200 + 0x18 + 16;
    size_t languageEntry = 0x200 + 0x30 + 16;
    size_t dataEntry = 0x200 + 0x48;
    size_t block = 0x200 + 0x58;
    size_t blockSize = 0;
    size_t end() const { return block + blockSize; }
};

Image
buildImage(const Bytes &block = versionBlock(), bool pe32 = false)
{
    Image im;
    if (pe32) {
	im.resourceDirectory = im.optional + 96 + 16;
	im.section = im.optional + 224;
    }
    im.blockSize = block.size();
    Bytes &b = im.bytes;
    b.assign(im.end(), 0);
    b[0] = 'M';
    b[1] = 'Z';
    put32(b, 0x3C, static_cast<uint32_t>(im.pe));
    memcpy(&b[im.pe], "PE\0\0", 4);
    put16(b, im.pe + 4, pe32 ? 0x14C : 0x8664);
    put16(b, im.pe + 6, 1);				/* sections */
    put16(b, im.pe + 20, pe32 ? 224 : 240);		/* optional header size */
    put16(b, im.optional, pe32 ? 0x10B : 0x20B);
    put32(b, im.resourceDirectory - 16 - 4, 16);	/* NumberOfRvaAndSizes */
    put32(b, im.resourceDirectory, 0x1000);
    put32(b, im.resourceDirectory + 4, static_cast<uint32_t>(im.end() - im.raw));

    memcpy(&b[im.section], ".rsrc\0\0\0", 8);
    put32(b, im.section + 8, static_cast<uint32_t>(im.end() - im.raw));	/* VirtualSize */
    put32(b, im.section + 12, 0x1000);					/* VirtualAddress */
    put32(b, im.section + 16, static_cast<uint32_t>(im.end() - im.raw));	/* SizeOfRawData */
    put32(b, im.section + 20, static_cast<uint32_t>(im.raw));		/* PointerToRawData */

    /* Three directories of one id entry each, then the data entry. */
    put16(b, im.raw + 14, 1);
    put32(b, im.typeEntry, 16);
    put32(b, im.typeEntry + 4, 0x80000000u | 0x18);
    put16(b, im.raw + 0x18 + 14, 1);
    put32(b, im.nameEntry, 1);
    put32(b, im.nameEntry + 4, 0x80000000u | 0x30);
    put16(b, im.raw + 0x30 + 14, 1);
    put32(b, im.languageEntry, 0x0409);
    put32(b, im.languageEntry + 4, 0x48);
    put32(b, im.dataEntry, static_cast<uint32_t>(0x1000 + (im.block - im.raw)));
    put32(b, im.dataEntry + 4, static_cast<uint32_t>(block.size()));
    memcpy(&b[im.block], block.data(), block.size());
    return im;
}

bool
readBlock(const Bytes &bytes, Bytes &block)
{
    hkpe::MemorySource source(bytes.data(), bytes.size());
    return hkpe::readVersionResource(source, block);
}

bool
query(const Bytes &block, const std::string &path, std::string *text = nullptr,
	uint32_t *length = nullptr)
{
    const uint8_t *value = nullptr;
    uint32_t n = 0;
    std::vector<char16_t> w = wide(path);
    if (!hkpe::queryValue(block.data(), block.size(), w.data(), &value, &n)) {
	return false;
    }
    EXPECT_GE(value, block.data());
    EXPECT_LE(value, block.data() + block.size());
    if (text) {
	text->clear();
	for (uint32_t i = 0; i < n && value + 2 * i + 2 <= block.data() + block.size(); ++i) {
	    uint16_t c = static_cast<uint16_t>(value[2 * i] | (value[2 * i + 1] << 8));
	    if (c == 0) {
		break;
	    }
	    text->push_back(static_cast<char>(c));
	}
    }
    if (length) {
	*length = n;
    }
    return true;
}

} // namespace

TEST(PeReader, ReadsTheVersionResourceOfWellFormedImages)
{
    for (bool pe32 : {false, true}) {
	Image im = buildImage(versionBlock(), pe32);
	Bytes block;
	ASSERT_TRUE(readBlock(im.bytes, block)) << "pe32 " << pe32;
	EXPECT_EQ(block, versionBlock());
    }
}

TEST(PeReader, EveryTruncationBeforeTheEndFails)
{
    Image im = buildImage();
    for (size_t n = 0; n < im.end(); ++n) {
	Bytes cut(im.bytes.begin(), im.bytes.begin() + static_cast<std::ptrdiff_t>(n));
	Bytes block;
	EXPECT_FALSE(readBlock(cut, block)) << "length " << n;
	EXPECT_TRUE(block.empty());
    }
}

/* A field of the image overwritten with a value (16 or 32 bits). */
struct Damage {
    const char *what;
    size_t Image::*part;
    size_t delta;
    int bits;
    uint32_t value;
};

TEST(PeReader, DamagedHeadersAndOffsetsOutsideFail)
{
    static const Damage damages[] = {
	{"DOS signature", &Image::dos, 0, 16, 0x5A58},
	{"PE offset far past the end", &Image::dos, 0x3C, 32, 0xFFFFFFF0u},
	{"PE offset at the start", &Image::dos, 0x3C, 32, 0},
	{"PE offset just past the end", &Image::dos, 0x3C, 32, 0x1000},
	{"PE signature", &Image::pe, 0, 32, 0x4551},
	{"optional header kind", &Image::optional, 0, 16, 0x107},
	{"no sections", &Image::pe, 6, 16, 0},
	{"97 sections", &Image::pe, 6, 16, 97},
	{"optional header too short for the resource entry", &Image::pe, 20, 16, 100},
	{"two data directories", &Image::optional, 108, 32, 2},
	{"no resource directory", &Image::resourceDirectory, 0, 32, 0},
	{"resource directory size zero", &Image::resourceDirectory, 4, 32, 0},
	{"resource directory in no section", &Image::resourceDirectory, 0, 32, 0x5000},
	{"resource directory at the top of the address space", &Image::resourceDirectory, 0, 32,
	    0xFFFFFFF0u},
	{"section raw data past the end", &Image::section, 20, 32, 0x7FFFFFF0},
	{"section raw data at 4 GB", &Image::section, 20, 32, 0xFFFFFFFFu},
	{"section raw data ends inside the tree", &Image::section, 16, 32, 0x20},
	{"section without raw data", &Image::section, 16, 32, 0},
	{"no version type", &Image::typeEntry, 0, 32, 17},
	{"version type is a leaf", &Image::typeEntry, 4, 32, 0x48},
	{"type directory outside", &Image::typeEntry, 4, 32, 0xFFFFFFF0u},
	{"type level loops to the root", &Image::typeEntry, 4, 32, 0x80000000u},
	{"name 2 only", &Image::nameEntry, 0, 32, 2},
	{"name is a string", &Image::nameEntry, 0, 32, 0x80000001u},
	{"name level loops to the root", &Image::nameEntry, 4, 32, 0x80000000u},
	{"name level loops to itself", &Image::nameEntry, 4, 32, 0x80000018u},
	{"language is a directory", &Image::languageEntry, 4, 32, 0x80000030u},
	{"data entry outside", &Image::languageEntry, 4, 32, 0x7FFFFFF0},
	{"data outside the section", &Image::dataEntry, 0, 32, 0x9000},
	{"data at the top of the address space", &Image::dataEntry, 0, 32, 0xFFFFFFFFu},
	{"data size zero", &Image::dataEntry, 4, 32, 0},
	{"data size past the section", &Image::dataEntry, 4, 32, 0x1000},
	{"data size 4 GB", &Image::dataEntry, 4, 32, 0xFFFFFFFFu},
    };
    for (const Damage &d : damages) {
	Image im = buildImage();
	size_t at = im.*(d.part) + d.delta;
	if (d.bits == 16) {
	    put16(im.bytes, at, d.value);
	} else {
	    put32(im.bytes, at, d.value);
	}
	Bytes block;
	EXPECT_FALSE(readBlock(im.bytes, block)) << d.what;
    }
}

TEST(PeReader, ChoosesTheLanguageLikeTheSystem)
{
    /* Neutral, then US English, then the first entry. */
    struct Case {
	uint32_t first, second, chosen;
    } cases[] = {{0x0407, 0x0409, 0x0409}, {0x0407, 0x0000, 0x0000}, {0x0407, 0x040C, 0x0407}};
    for (const Case &c : cases) {
	Image im = buildImage();
	/* Two language entries: the first points at a second data entry of size 8. */
	Bytes &b = im.bytes;
	size_t dir = im.raw + 0x30;
	put16(b, dir + 14, 2);
	/* Move the data entry to make room: 0x48 -> second entry slot is 0x48 .. 0x50. */
	Bytes block(b.begin() + static_cast<std::ptrdiff_t>(im.block), b.end());
	b.resize(im.block);
	b.insert(b.end(), 32, 0);
	size_t newBlock = im.block + 32;
	b.insert(b.end(), block.begin(), block.end());
	put32(b, im.section + 8, static_cast<uint32_t>(b.size() - im.raw));
	put32(b, im.section + 16, static_cast<uint32_t>(b.size() - im.raw));
	size_t entryA = im.raw + 0x58, entryB = im.raw + 0x68;
	put32(b, dir + 16, c.first);
	put32(b, dir + 20, 0x58);
	put32(b, dir + 24, c.second);
	put32(b, dir + 28, 0x68);
	/* The chosen language's entry leads to the real block, the other to 8 zero bytes. */
	uint32_t realRva = static_cast<uint32_t>(0x1000 + (newBlock - im.raw));
	put32(b, entryA, c.chosen == c.first ? realRva : 0x1000);
	put32(b, entryA + 4, c.chosen == c.first ? static_cast<uint32_t>(block.size()) : 8);
	put32(b, entryB, c.chosen == c.second ? realRva : 0x1000);
	put32(b, entryB + 4, c.chosen == c.second ? static_cast<uint32_t>(block.size()) : 8);
	Bytes got;
	ASSERT_TRUE(readBlock(b, got));
	EXPECT_EQ(got, block) << std::hex << c.first << " " << c.second;
    }
}

TEST(PeReader, DataPastTheRawBytesReadsAsZeros)
{
    /* The loader maps a section's virtual size; the part past its raw data is zero. */
    Image im = buildImage();
    put32(im.bytes, im.section + 8, static_cast<uint32_t>(im.end() - im.raw + 0x100));
    put32(im.bytes, im.dataEntry + 4, static_cast<uint32_t>(im.blockSize + 0x40));
    Bytes block;
    ASSERT_TRUE(readBlock(im.bytes, block));
    ASSERT_EQ(block.size(), im.blockSize + 0x40);
    EXPECT_EQ(Bytes(block.begin(), block.begin() + static_cast<std::ptrdiff_t>(im.blockSize)),
	    versionBlock());
    EXPECT_EQ(Bytes(block.begin() + static_cast<std::ptrdiff_t>(im.blockSize), block.end()),
	    Bytes(0x40, 0));
}

TEST(PeReader, AResourceLargerThanABlockIsReadOnlyThatFar)
{
    Image im = buildImage();
    put32(im.bytes, im.section + 8, 0x20000);
    put32(im.bytes, im.dataEntry + 4, 0x18000);
    Bytes block;
    ASSERT_TRUE(readBlock(im.bytes, block));
    EXPECT_EQ(block.size(), hkpe::HK_MAX_VERSION_BLOCK);
}

TEST(VersionQuery, FindsValuesByPath)
{
    Bytes block = versionBlock();
    std::string text;
    uint32_t length = 0;

    ASSERT_TRUE(query(block, "\\", nullptr, &length));
    EXPECT_EQ(length, 52u);
    ASSERT_TRUE(query(block, "\\VarFileInfo\\Translation", nullptr, &length));
    EXPECT_EQ(length, 4u);

    /* Paths: doubled and trailing backslashes skipped, keys in any case. */
    for (const char *path : {"\\StringFileInfo\\040904b0\\ProductVersion",
	     "StringFileInfo\\040904B0\\productversion", "\\\\StringFileInfo\\\\040904b0\\ProductVersion\\"}) {
	ASSERT_TRUE(query(block, path, &text, &length)) << path;
	EXPECT_EQ(text, "1.2.3");
	EXPECT_EQ(length, 6u);
    }
    ASSERT_TRUE(query(block, "\\StringFileInfo\\040904b0\\Comments", &text, &length));
    EXPECT_EQ(text, "");

    for (const char *path : {"\\StringFileInfo\\040904e4\\ProductVersion",
	     "\\StringFileInfo\\040904b0\\ProductVersio", "\\StringFileInfo\\040904b0\\ProductVersionX",
	     "\\StringFileInfo\\040904b0\\ProductVersion\\deeper", "\\Nothing"}) {
	EXPECT_FALSE(query(block, path)) << path;
    }
}

TEST(VersionQuery, NodesThatDoNotFitAreNeverFollowedOutside)
{
    Bytes good = versionBlock();
    /* Offsets inside the good block. */
    const size_t sfi = 92, table = sfi + 36, product = table + 24;

    struct Case {
	const char *what;
	size_t at;
	uint32_t value;
	bool found;
	uint32_t length;	/* of ProductVersion when found */
    } cases[] = {
	{"value length larger than the node", product + 2, 0x7FFF, true, 6},
	{"child longer than its parent", product, 0xFFFF, true, 6},
	{"child of length zero", product, 0, false, 0},
	{"child of length 5", product, 5, false, 0},
	{"value length zero", product + 2, 0, true, 0},
	{"table key unterminated", table, 20, false, 0},
	{"root shorter than its fixed information", 0, 60, false, 0},
	{"string file info of length zero", sfi, 0, false, 0},
    };
    for (const Case &c : cases) {
	Bytes block = good;
	put16(block, c.at, c.value);
	std::string text;
	uint32_t length = 0;
	bool found = query(block, "\\StringFileInfo\\040904b0\\ProductVersion", &text, &length);
	EXPECT_EQ(found, c.found) << c.what;
	if (found && c.found) {
	    EXPECT_EQ(length, c.length) << c.what;
	}
    }
}

TEST(VersionQuery, BlocksCutShortAtEveryLength)
{
    /* A block of n bytes: whatever is found lies within those n bytes. */
    Bytes good = versionBlock();
    for (size_t n = 0; n <= good.size(); ++n) {
	Bytes block(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(n));
	for (const char *path : {"\\", "\\VarFileInfo\\Translation",
		 "\\StringFileInfo\\040904b0\\ProductVersion"}) {
	    const uint8_t *value = nullptr;
	    uint32_t length = 0;
	    std::vector<char16_t> w = wide(path);
	    if (hkpe::queryValue(block.data(), n, w.data(), &value, &length)) {
		size_t unit = std::string(path).find("String") != std::string::npos ? 2 : 1;
		EXPECT_LE(value + length * unit, block.data() + n) << n << " " << path;
	    }
	}
    }
    std::vector<char16_t> root = wide("\\");
    const uint8_t *value = nullptr;
    uint32_t length = 0;
    EXPECT_FALSE(hkpe::queryValue(nullptr, 0, root.data(), &value, &length));
}

TEST(VersionQuery, EverySingleByteDamageStaysInside)
{
    /* Each byte set to a few telling values; every answer stays in the block. */
    Bytes good = versionBlock();
    for (size_t at = 0; at < good.size(); ++at) {
	for (uint8_t v : {0x00, 0x01, 0x05, 0x7F, 0xFF}) {
	    Bytes block = good;
	    block[at] = v;
	    for (const char *path : {"\\", "\\VarFileInfo\\Translation",
		     "\\StringFileInfo\\040904b0\\Comments"}) {
		const uint8_t *value = nullptr;
		uint32_t length = 0;
		std::vector<char16_t> w = wide(path);
		if (hkpe::queryValue(block.data(), block.size(), w.data(), &value, &length)) {
		    ASSERT_LE(value + length, block.data() + block.size()) << at << " " << path;
		}
	    }
	}
    }
}

namespace {

std::u16string
u16(const std::string &s)
{
    return std::u16string(s.begin(), s.end());
}

/* A block with the given translation value (none when empty) and one string table. */
Bytes
blockWith(const Bytes &translation, const std::string &table, const std::vector<Bytes> &strings)
{
    std::vector<Bytes> children = {
	node("StringFileInfo", {}, true, {node(table, {}, true, strings)}),
    };
    if (!translation.empty()) {
	children.push_back(node("VarFileInfo", {}, true, {node("Translation", translation, false, {})}));
    }
    return node("VS_VERSION_INFO", fixedInfo(0xFEEF04BD), false, children);
}

} // namespace

TEST(VersionLookup, TheFirstTranslationNamesTheTable)
{
    Bytes two(8, 0);
    put16(two, 0, 0x0407);
    put16(two, 2, 1252);
    put16(two, 4, 0x0409);
    put16(two, 6, 1200);
    struct Case {
	const char *what;
	Bytes translation;
	uint16_t language, codePage;
    } cases[] = {
	{"one pair", Bytes{0x09, 0x04, 0xB0, 0x04}, 0x0409, 1200},
	{"two pairs: the first", two, 0x0407, 1252},
	{"no table: US English, 1252", Bytes{}, 0x0409, 1252},
	{"shorter than a pair", Bytes{0x07, 0x04}, 0x0409, 1252},
    };
    for (const Case &c : cases) {
	Bytes block = blockWith(c.translation, "040904b0", {});
	hkpe::Translation t = hkpe::firstTranslation(block.data(), block.size());
	EXPECT_EQ(t.language, c.language) << c.what;
	EXPECT_EQ(t.codePage, c.codePage) << c.what;
    }
}

TEST(VersionLookup, FindsStringsByNameUpToItsNul)
{
    Bytes value3(6, 0);			/* "abc" declared as 2 units, no zero */
    value3[0] = 'a';
    value3[2] = 'b';
    value3[4] = 'c';
    Bytes abc = node("Cut", value3, true, {});
    put16(abc, 2, 2);
    Bytes block = blockWith({}, "040904e4", {
	node("ProductVersion", textValue("1.2.3"), true, {}),
	node("Empty", {}, true, {}),
	node("Next", textValue("xyz"), true, {}),
	abc,
    });
    struct Case {
	std::u16string name;
	bool found;
	const char *value;
    } cases[] = {
	{u"ProductVersion", true, "1.2.3"},
	{u"PRODUCTversion", true, "1.2.3"},
	{std::u16string(u"ProductVersion\0junk", 19), true, "1.2.3"},
	{u"Empty", true, ""},		/* no zero: never runs on into "Next" */
	{u"Cut", true, "ab"},
	{u"Product", false, ""},
	{u"", true, ""},		/* the table itself, as the system's look-up finds it */
	{u"StringFileInfo", false, ""},
    };
    for (const Case &c : cases) {
	std::u16string value = u"unchanged";
	bool found = hkpe::findString(block.data(), block.size(), hkpe::HK_DEFAULT_TRANSLATION,
		c.name, &value);
	EXPECT_EQ(found, c.found) << std::string(c.name.begin(), c.name.end());
	if (found) {
	    EXPECT_EQ(value, u16(c.value)) << std::string(c.name.begin(), c.name.end());
	}
    }
    hkpe::Translation other = {0x0407, 1252};
    std::u16string value;
    EXPECT_FALSE(hkpe::findString(block.data(), block.size(), other, u"ProductVersion", &value));
}

TEST(VersionLookup, TheFixedInformationMustCarryItsSignature)
{
    struct Case {
	const char *what;
	Bytes value;
	bool sound;
    } cases[] = {
	{"signature", fixedInfo(0xFEEF04BD), true},
	{"signature only", Bytes{0xBD, 0x04, 0xEF, 0xFE}, true},
	{"another signature", fixedInfo(0xFEEF04BE), false},
	{"three bytes of it", Bytes{0xBD, 0x04, 0xEF}, false},
	{"no value", Bytes{}, false},
    };
    for (const Case &c : cases) {
	Bytes block = node("VS_VERSION_INFO", c.value, false, {});
	EXPECT_EQ(hkpe::hasFixedInfo(block.data(), block.size()), c.sound) << c.what;
    }
    EXPECT_FALSE(hkpe::hasFixedInfo(nullptr, 0));
}
