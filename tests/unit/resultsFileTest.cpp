/*
 * resultsFileTest.cpp --
 *
 *	Units for the search results file: the writer's byte layout and its
 *	failures, round trips through writer and reader (names of any length
 *	and content included), every result code of reading one
 *	entry, reading across the reader's blocks, and the ordering and
 *	replacement rules of ResultRecord.
 */

#include "directory/base/resultRecord.h"
#include "directory/base/resultsFile.h"
#include "directory/resultsFilePlatform.h"
#include "tests/unit/unitSupport.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

using namespace hkdir;

namespace {

struct FileCloser {
    void operator()(FILE *f) const { fclose(f); }
};
typedef std::unique_ptr<FILE, FileCloser> File;

/* A temporary file holding the bytes, open for reading from the start. */
File
fileWith(const std::string &bytes)
{
    File f(tmpfile());
    fwrite(bytes.data(), 1, bytes.size(), f.get());
    rewind(f.get());
    return f;
}

/* Everything that a writer wrote into f. */
std::string
contentsOf(FILE *f)
{
    fflush(f);
    rewind(f);
    std::string out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) {
	out.append(buf, n);
    }
    return out;
}

/* A reader of f bounded by what the file has left, as the search context makes it. */
std::unique_ptr<ResultsReader>
readerOf(FILE *f)
{
    uint64_t left = 0;
    EXPECT_TRUE(HkpStreamBytesLeft(f, &left));
    return std::make_unique<ResultsReader>(f, left);
}

typedef std::vector<std::pair<std::string, std::string>> Fields;

/* The record's entries in visiting order, values as their stored bytes. */
Fields
fieldsOf(const ResultRecord &record)
{
    Fields out;
    for (const auto &entry : record) {
	const AttributeValue &value = entry.second.first();
	EXPECT_EQ(value.bytes()[value.length()], '\0');
	out.emplace_back(entry.first, std::string(value.bytes(), value.length()));
    }
    return out;
}

std::unique_ptr<AttributeValue>
valueOf(const std::string &bytes)
{
    return std::make_unique<AttributeValue>(bytes.data(), static_cast<uint32_t>(bytes.size()));
}

std::string
field(const std::string &name, const std::string &value)
{
    return std::to_string(name.size()) + " " + name + " " + std::to_string(value.size()) + " "
	    + value + " ";
}

} // namespace

TEST(ResultsFileWriter, ExampleLineByteForByte)
{
    File f(tmpfile());
    EXPECT_TRUE(writeAttributeField(f.get(), "cn", "Front desk", 10));
    EXPECT_TRUE(writeAttributeField(f.get(), "telephoneNumber", "100", 3));
    EXPECT_TRUE(writeEntryEnd(f.get()));
    EXPECT_EQ(contentsOf(f.get()), "2 cn 10 Front desk 15 telephoneNumber 3 100 \n");
}

TEST(ResultsFileWriter, EmptyValueAndLengthTakenNotText)
{
    File f(tmpfile());
    writeAttributeField(f.get(), "mail", "", 0);
    writeAttributeField(f.get(), "sn", "Leeward", 3);	/* only the first 3 bytes */
    writeEntryEnd(f.get());
    writeEntryEnd(f.get());
    EXPECT_EQ(contentsOf(f.get()), "4 mail 0  2 sn 3 Lee \n\n");
}

TEST(ResultsFileWriter, HexFieldsHoldEveryByteInLowerCase)
{
    File f(tmpfile());
    EXPECT_TRUE(writeHexField(f.get(), "objectGUID", "\x00\xff\x10" "a", 4));
    EXPECT_TRUE(writeHexField(f.get(), "empty", "", 0));
    EXPECT_TRUE(writeEntryEnd(f.get()));
    EXPECT_EQ(contentsOf(f.get()), "10 objectGUID 8 00ff1061 5 empty 0  \n");

    /* A value longer than the writer's chunk reads back whole. */
    std::string photo;
    for (int i = 0; i < 5000; i++) {
	photo += static_cast<char>(i * 7);
    }
    File g(tmpfile());
    EXPECT_TRUE(writeHexField(g.get(), "thumbnailPhoto", photo.data(), photo.size()));
    EXPECT_TRUE(writeEntryEnd(g.get()));
    rewind(g.get());
    ResultRecord record;
    ASSERT_EQ(readerOf(g.get())->readEntry(record), HK_RESULTS_OK);
    static const char DIGITS[] = "0123456789abcdef";
    std::string hex;
    for (unsigned char c : photo) {
	hex += DIGITS[c >> 4];
	hex += DIGITS[c & 15];
    }
    EXPECT_EQ(fieldsOf(record), Fields({{"thumbnailPhoto", hex}}));
}

TEST(ResultsFileReader, CollectingKeepsEveryValueOfANameInOrder)
{
    std::string line = field("memberOf", "a") + field("cn", "x") + field("memberOf", "")
	    + field("MEMBEROF", "c c") + "\n" + field("memberOf", "next") + "\n";
    for (bool collect : {false, true}) {
	File f(tmpfile());
	fwrite(line.data(), 1, line.size(), f.get());
	rewind(f.get());
	std::unique_ptr<ResultsReader> reader = readerOf(f.get());
	reader->collectValues(collect);
	ResultRecord record;
	ASSERT_EQ(reader->readEntry(record), HK_RESULTS_OK);
	std::vector<std::string> names, values;
	for (const auto &entry : record) {
	    names.push_back(entry.first);
	    for (size_t i = 0; i < entry.second.count(); i++) {
		values.emplace_back(entry.second[i].bytes(), entry.second[i].length());
	    }
	}
	if (collect) {
	    /* The first spelling stays; values in file order. */
	    EXPECT_EQ(names, std::vector<std::string>({"cn", "memberOf"}));
	    EXPECT_EQ(values, std::vector<std::string>({"x", "a", "", "c c"}));
	} else {
	    EXPECT_EQ(names, std::vector<std::string>({"cn", "MEMBEROF"}));
	    EXPECT_EQ(values, std::vector<std::string>({"x", "c c"}));
	}
	/* The next entry starts afresh. */
	ASSERT_EQ(reader->readEntry(record), HK_RESULTS_OK);
	EXPECT_EQ(fieldsOf(record), Fields({{"memberOf", "next"}}));
    }
}

TEST(ResultsFileWriter, AFullDeviceIsAFailedWrite)
{
    /* /dev/full refuses every write with "no space left on device". */
    File f(fopen("/dev/full", "w"));
    ASSERT_NE(f, nullptr);
    setvbuf(f.get(), nullptr, _IONBF, 0);
    EXPECT_FALSE(writeAttributeField(f.get(), "cn", "Ann", 3));
    EXPECT_FALSE(writeEntryEnd(f.get()));

    /* Buffered, the refusal shows at the latest when the stream is closed. */
    FILE *g = fopen("/dev/full", "w");
    ASSERT_NE(g, nullptr);
    bool written = true;
    for (int i = 0; i < 10000 && written; i++) {
	written = writeAttributeField(g, "cn", "Ann", 3) && writeEntryEnd(g);
    }
    EXPECT_FALSE(written && fclose(g) == 0);
    if (!written) {
	fclose(g);
    }
}

TEST(ResultsFileWriter, GatheredEntriesAreTheBytesOfFieldByFieldWriting)
{
    /*
     * Short fields, one longer than a field buffer, hex fields between
     * them, and an entry of more short fields than are gathered at once:
     * the same bytes, in the same order, as writing field by field.
     */
    std::string photo(3000, '\x9c');
    std::string longValue(700, 'L');
    std::vector<std::string> many;
    for (int i = 0; i < 4000; i++) {
	many.push_back("value " + std::to_string(i));
    }
    auto writeAll = [&](FILE *out, bool gathered) {
	EntryWriter writer(out);
	auto plain = [&](const char *name, const std::string &value) {
	    return gathered ? writer.field(name, value.data(), value.size())
		    : writeAttributeField(out, name, value.data(), value.size());
	};
	auto hex = [&](const char *name, const std::string &value) {
	    return gathered ? writer.hexField(name, value.data(), value.size())
		    : writeHexField(out, name, value.data(), value.size());
	};
	auto end = [&]() { return gathered ? writer.endEntry() : writeEntryEnd(out); };
	bool ok = plain("cn", "Ann") && hex("objectGUID", "\x01\x02") && plain("sn", "Lee")
		&& plain("description", longValue) && plain("mail", "") && hex("jpegPhoto", photo)
		&& end() && end() && plain("cn", "B") && end();
	for (const std::string &value : many) {
	    ok = ok && plain("memberOf", value);
	}
	return ok && end();
    };
    File byField(tmpfile()), gathered(tmpfile());
    ASSERT_TRUE(writeAll(byField.get(), false));
    ASSERT_TRUE(writeAll(gathered.get(), true));
    std::string expected = contentsOf(byField.get());
    EXPECT_GT(expected.size(), 64u * 1024);
    EXPECT_EQ(contentsOf(gathered.get()), expected);

    /* A device that refuses every write fails the entry. */
    File full(fopen("/dev/full", "w"));
    ASSERT_NE(full, nullptr);
    setvbuf(full.get(), nullptr, _IONBF, 0);
    EntryWriter writer(full.get());
    writer.field("cn", "Ann", 3);
    EXPECT_FALSE(writer.endEntry());
}

TEST(ResultsFileRoundTrip, NamesOfAnyLengthAndWithBlanksReadBack)
{
    /*
     * Names that a directory may hand over: long attribute options (a
     * slapd serves a 146-byte "description;lang-en-..."), blanks and line
     * ends inside, digits first, bytes that are not ASCII. Each entry reads
     * back with exactly its fields, and the entries after it too.
     */
    const std::string longOption = "description;lang-en-" + std::string(120, 'q') + "ab";
    const std::vector<Fields> entries = {
	{{"cn", "before"}},
	{{longOption, "long option"}, {"sn", "x"}},
	{{std::string(127, 'n'), "127"}, {std::string(128, 'n'), "128"}},
	{{std::string(70000, 'w'), "past a block"}},
	{{"a name", "with a blank"}, {"b\nc", "and a line end"}, {" ", "blank only"}},
	{{"12 34", "digits"}, {"\xe9t\xe9", "latin-1"}},
	{{"cn", "after"}},
    };
    File f(tmpfile());
    for (const Fields &entry : entries) {
	for (const auto &fv : entry) {
	    ASSERT_TRUE(writeAttributeField(f.get(), fv.first.c_str(), fv.second.data(),
		    fv.second.size()));
	}
	ASSERT_TRUE(writeEntryEnd(f.get()));
    }
    fflush(f.get());
    for (bool bounded : {true, false}) {
	SCOPED_TRACE(bounded ? "bounded" : "without a bound");
	rewind(f.get());
	std::unique_ptr<ResultsReader> reader = bounded ? readerOf(f.get())
		: std::make_unique<ResultsReader>(f.get());
	ResultRecord record;
	for (const Fields &entry : entries) {
	    ASSERT_EQ(reader->readEntry(record), HK_RESULTS_OK);
	    Fields sorted = entry;
	    std::sort(sorted.begin(), sorted.end(), [](const auto &a, const auto &b) {
		return compareNamesCaseBlind(a.first, b.first) < 0;
	    });
	    EXPECT_EQ(fieldsOf(record), sorted);
	}
	EXPECT_EQ(reader->readEntry(record), HK_RESULTS_END);
    }
}

TEST(ResultsFileRoundTrip, ArbitraryValuesReadBackByteForByte)
{
    std::string allBytes;
    for (int b = 1; b < 256; b++) {
	allBytes += static_cast<char>(b);
    }
    /* Larger than what the reader allocates without asking the file. */
    std::string large(200 * 1024, 'x');
    large[0] = '\n';
    large[large.size() - 1] = ' ';

    const std::vector<Fields> entries = {
	{{"cn", "Ann Lee"}, {"mail", ""}, {"sn", " "}},
	{{"a", "  both ends  "}, {"b", "line\nbreak"}, {"c", "\n"}, {"d", "\r"}},
	{{"e", "\r\n"}, {"f", "tab\there\t"}, {"g", "\xe9\xff\x80 8-bit"}},
	{{"all", allBytes}, {"digits", "12 34"}, {"k", std::string(31, 'k')},
	    {"l", std::string(32, 'l')}, {"m", std::string(257, 'm')}},
	{{"big", large}, {"z", "after the big one"}},
    };

    File f(tmpfile());
    for (const Fields &entry : entries) {
	for (const auto &fv : entry) {
	    writeAttributeField(f.get(), fv.first.c_str(), fv.second.data(), fv.second.size());
	}
	writeEntryEnd(f.get());
    }
    fflush(f.get());
    rewind(f.get());

    auto reader = readerOf(f.get());
    ResultRecord record;
    for (const Fields &entry : entries) {
	ASSERT_EQ(reader->readEntry(record), HK_RESULTS_OK);
	EXPECT_EQ(fieldsOf(record), entry);	/* written in key order already */
    }
    /* The end of the results is -20, on every further call as well. */
    EXPECT_EQ(reader->readEntry(record), HK_RESULTS_END);
    EXPECT_EQ(fieldsOf(record), Fields());
    EXPECT_EQ(reader->readEntry(record), HK_RESULTS_END);
}

TEST(ResultsFileRoundTrip, FieldsAcrossTheReadersBlocks)
{
    /*
     * Values of every length up to a few hundred bytes and some beyond the
     * reader's block size put names, lengths, separators, values and line
     * ends across every kind of block boundary.
     */
    std::vector<Fields> entries;
    for (size_t i = 0; i < 3000; i++) {
	size_t length = (i * 37) % 300;
	if (i % 500 == 7) {
	    length = 64 * 1024 + i;
	}
	std::string value(length, static_cast<char>('a' + i % 26));
	if (length > 2) {
	    value[length / 2] = '\n';
	}
	entries.push_back({{"n" + std::to_string(i % 10), value}, {"z", std::to_string(i)}});
    }
    File f(tmpfile());
    for (const Fields &entry : entries) {
	for (const auto &fv : entry) {
	    writeAttributeField(f.get(), fv.first.c_str(), fv.second.data(), fv.second.size());
	}
	writeEntryEnd(f.get());
    }
    fflush(f.get());
    rewind(f.get());

    for (bool bounded : {true, false}) {
	SCOPED_TRACE(bounded ? "bounded" : "without a bound");
	rewind(f.get());
	std::unique_ptr<ResultsReader> reader = bounded ? readerOf(f.get())
		: std::make_unique<ResultsReader>(f.get());
	ResultRecord record;
	for (const Fields &entry : entries) {
	    ASSERT_EQ(reader->readEntry(record), HK_RESULTS_OK);
	    ASSERT_EQ(fieldsOf(record), entry);
	}
	EXPECT_EQ(reader->readEntry(record), HK_RESULTS_END);
    }
}

/* The bytes a Windows text stream stores for the logical bytes: each LF as CR LF. */
std::string
storedCrLf(const std::string &logical)
{
    std::string out;
    for (char c : logical) {
	if (c == '\n') {
	    out += '\r';
	}
	out += c;
    }
    return out;
}

TEST(ResultsFileReader, StoredCrLfJoinedAcrossBlocksEveryOtherByteKept)
{
    /*
     * A file as the Windows writer stores it, read from a binary stream:
     * CR LF pairs fall across every kind of block boundary and across the
     * straight reads of long values; values hold 0x1A, lone CRs, a CR
     * before an LF of their own and a CR at their end.
     */
    const char *pieces[] = {"\n", "\r", "\r\n", "\x1a", "\r\r", "\n\n", "x\r"};
    std::vector<Fields> entries;
    for (size_t i = 0; i < 2500; i++) {
	size_t length = (i * 41) % 280;
	if (i % 400 == 9) {
	    length = 64 * 1024 + i;
	}
	std::string value;
	while (value.size() < length) {
	    value += (i + value.size()) % 3 == 0 ? pieces[(i + value.size()) % 7] : "ab";
	}
	entries.push_back({{"v", value}, {"z", std::to_string(i)}});
    }
    std::string logical;
    for (const Fields &entry : entries) {
	for (const auto &fv : entry) {
	    logical += field(fv.first, fv.second);
	}
	logical += '\n';
    }
    File f = fileWith(storedCrLf(logical));
    for (bool bounded : {true, false}) {
	SCOPED_TRACE(bounded ? "bounded" : "without a bound");
	rewind(f.get());
	std::unique_ptr<ResultsReader> reader = bounded ? readerOf(f.get())
		: std::make_unique<ResultsReader>(f.get());
	reader->translateCrLf(true);
	ResultRecord record;
	for (const Fields &entry : entries) {
	    ASSERT_EQ(reader->readEntry(record), HK_RESULTS_OK);
	    ASSERT_EQ(fieldsOf(record), entry);
	}
	EXPECT_EQ(reader->readEntry(record), HK_RESULTS_END);
    }

    /* Without translation the same bytes are values of their own: CR LF stays. */
    File raw = fileWith("1 a 3 \r\nx \r\n1 b 1 \x1a \r\n");
    std::unique_ptr<ResultsReader> plain = readerOf(raw.get());
    ResultRecord record;
    ASSERT_EQ(plain->readEntry(record), HK_RESULTS_OK);
    EXPECT_EQ(fieldsOf(record), (Fields{{"a", "\r\nx"}}));

    /* A CR that ends the file is kept; a bare LF file reads as it is. */
    for (const char *bytes : {"1 a 1 \r \r", "1 a 1 \r \n1 b 2 \n\n \n"}) {
	File last = fileWith(bytes);
	std::unique_ptr<ResultsReader> reader = readerOf(last.get());
	reader->translateCrLf(true);
	ASSERT_EQ(reader->readEntry(record), HK_RESULTS_OK);
	EXPECT_EQ(fieldsOf(record), (Fields{{"a", "\r"}}));
    }
}

TEST(ResultsFileReader, EntryStructure)
{
    struct Case {
	const char *what;
	std::string file;
	std::vector<Fields> entries;	/* expected before -20 */
    };
    const std::vector<Case> cases = {
	{"empty file", "", {}},
	{"blank lines only", "\n\n \t\r\n", {}},
	{"empty entry lines are passed over",
	    field("cn", "A") + "\n\n\n" + field("cn", "B") + "\n",
	    {{{"cn", "A"}}, {{"cn", "B"}}}},
	{"CR ends an entry, as do untranslated CR LF ends",
	    field("cn", "A") + "\r\n" + field("cn", "B") + "\r" + field("cn", "C") + "\r\n",
	    {{{"cn", "A"}}, {{"cn", "B"}}, {{"cn", "C"}}}},
	{"separators are not examined", "2Xcn 3Xabc#\n2 sn\n2 xy \n",
	    {{{"cn", "abc"}}, {{"sn", "xy"}}}},
	{"a last entry without its line end is not returned",
	    field("cn", "A") + "\n" + field("cn", "B"), {{{"cn", "A"}}}},
	{"keys in case-blind order, not file order",
	    field("sn", "Lee") + field("givenName", "Ann") + field("cn", "Ann Lee") + "\n",
	    {{{"cn", "Ann Lee"}, {"givenName", "Ann"}, {"sn", "Lee"}}}},
	{"the last of two names differing in case wins, with its spelling",
	    field("Mail", "old") + field("sn", "x") + field("mAIL", "new") + "\n",
	    {{{"mAIL", "new"}, {"sn", "x"}}}},
	{"an empty name", field("", "v") + "\n", {{{"", "v"}}}},
    };
    for (const Case &c : cases) {
	SCOPED_TRACE(c.what);
	File f = fileWith(c.file);
	auto reader = readerOf(f.get());
	ResultRecord record;
	for (const Fields &entry : c.entries) {
	    ASSERT_EQ(reader->readEntry(record), HK_RESULTS_OK);
	    EXPECT_EQ(fieldsOf(record), entry);
	}
	EXPECT_EQ(reader->readEntry(record), HK_RESULTS_END);
	EXPECT_EQ(reader->readEntry(record), HK_RESULTS_END);
    }
}

TEST(ResultsFileReader, FailureCodesAndWhereTheStreamStays)
{
    struct Case {
	const char *what;
	std::string file;
	int code;
	Fields before;		/* fields of the entry read before the failure */
	int next;		/* code of the call after the failure */
    };
    const std::vector<Case> cases = {
	{"a letter where the value's length stands", "2 cn abc 1 x 1 y \n",
	    HK_RESULTS_BAD_LENGTH, {},
	    /* goes on after "abc": "x" is read as a name with the value "y" */
	    HK_RESULTS_OK},
	{"a name without a length, as the old layout wrote it", "cn 3 Ann \n",
	    HK_RESULTS_BAD_LENGTH, {}, HK_RESULTS_BAD_LENGTH},
	{"a name at the end of the file", field("sn", "x") + "2 cn", HK_RESULTS_BAD_LENGTH,
	    {{"sn", "x"}}, HK_RESULTS_END},
	{"a signed length", "2 cn -3 abc \n", HK_RESULTS_BAD_LENGTH, {}, HK_RESULTS_BAD_LENGTH},
	{"a length beyond 32 bits", "2 cn 4294967296 x \n", HK_RESULTS_BAD_LENGTH, {},
	    HK_RESULTS_BAD_LENGTH},
	{"a name's length beyond 32 bits", "4294967296 cn 1 x \n", HK_RESULTS_BAD_LENGTH, {},
	    HK_RESULTS_BAD_LENGTH},
	{"a name cut by the end of the file", field("sn", "x") + "5 cn", HK_RESULTS_SHORT_VALUE,
	    {{"sn", "x"}}, HK_RESULTS_END},
	{"a name longer than the file", "4000000000 cn 1 x \n", HK_RESULTS_SHORT_VALUE, {},
	    HK_RESULTS_END},
	{"fewer value bytes than announced", field("sn", "x") + "2 cn 5 abc",
	    HK_RESULTS_SHORT_VALUE, {{"sn", "x"}}, HK_RESULTS_END},
	{"a length and nothing after it", "2 cn 1", HK_RESULTS_SHORT_VALUE, {}, HK_RESULTS_END},
	{"the largest length in a small file", "2 cn 4294967295 x \n" + field("sn", "y") + "\n",
	    HK_RESULTS_SHORT_VALUE, {}, HK_RESULTS_END},
	{"a large length one byte beyond the file",
	    "2 cn 70000 " + std::string(69999, 'v'), HK_RESULTS_SHORT_VALUE, {}, HK_RESULTS_END},
    };
    for (const Case &c : cases) {
	SCOPED_TRACE(c.what);
	File f = fileWith(c.file);
	auto reader = readerOf(f.get());
	ResultRecord record;
	EXPECT_EQ(reader->readEntry(record), c.code);
	EXPECT_EQ(fieldsOf(record), c.before);
	EXPECT_EQ(reader->readEntry(record), c.next);
    }
}

TEST(ResultsFileReader, AfterAFailureReadingGoesOnWhereItStopped)
{
    /*
     * "abc" stands where cn's length should: it is passed over, and "x" is
     * read next, as a name. With the padding it stands first in the
     * reader's second block.
     */
    for (size_t pad : {size_t(0), size_t(65521)}) {
	SCOPED_TRACE(pad);
	std::string before = pad ? field("pad", std::string(pad, 'p')) + "\n" : "";
	File f = fileWith(before + "2 cn abc 1 x 1 y \n" + field("sn", "y") + "\n");
	auto reader = readerOf(f.get());
	ResultRecord record;
	if (pad) {
	    ASSERT_EQ(reader->readEntry(record), HK_RESULTS_OK);
	}
	EXPECT_EQ(reader->readEntry(record), HK_RESULTS_BAD_LENGTH);
	EXPECT_EQ(reader->readEntry(record), HK_RESULTS_OK);
	EXPECT_EQ(fieldsOf(record), Fields({{"x", "y"}}));
	EXPECT_EQ(reader->readEntry(record), HK_RESULTS_OK);
	EXPECT_EQ(fieldsOf(record), Fields({{"sn", "y"}}));
	EXPECT_EQ(reader->readEntry(record), HK_RESULTS_END);
    }
}

TEST(ResultsFileReader, ALongValueBeyondTheBoundIsRefusedUnread)
{
    /* The caller's bound, not the file, decides: nothing is taken on trust. */
    std::string file = "2 cn 70000 " + std::string(70000, 'v') + " \n" + field("sn", "y") + "\n";
    File f = fileWith(file);
    ResultsReader reader(f.get(), 1000);
    ResultRecord record;
    EXPECT_EQ(reader.readEntry(record), HK_RESULTS_SHORT_VALUE);
    EXPECT_EQ(reader.readEntry(record), HK_RESULTS_END);

    /* Short values are read as the file holds them. */
    File g = fileWith(field("cn", std::string(256, 'w')) + "\n");
    ResultsReader small(g.get(), 10);
    EXPECT_EQ(small.readEntry(record), HK_RESULTS_OK);
}

TEST(ResultsFileReader, LargeValueThatJustFitsIsRead)
{
    /* Exactly the separator and 70000 bytes left: no trailing separator. */
    File f = fileWith("2 cn 70000 " + std::string(70000, 'v'));
    auto reader = readerOf(f.get());
    ResultRecord record;
    EXPECT_EQ(reader->readEntry(record), HK_RESULTS_END);
    EXPECT_EQ(fieldsOf(record), Fields({{"cn", std::string(70000, 'v')}}));
}

TEST(ResultsFileReader, NoStreamSizeValuesGrowAsBytesArrive)
{
    /* A pipe tells no size: the claim alone must not decide the allocation. */
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    const std::string content = "2 cn 4000000000 " + std::string(300000, 'p');
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
	close(fds[0]);
	ssize_t ignored = write(fds[1], content.data(), content.size());
	(void) ignored;
	_exit(0);
    }
    close(fds[1]);
    File in(fdopen(fds[0], "r"));
    uint64_t left = 0;
    EXPECT_FALSE(HkpStreamBytesLeft(in.get(), &left));
    ResultsReader reader(in.get());
    ResultRecord record;
    EXPECT_EQ(reader.readEntry(record), HK_RESULTS_SHORT_VALUE);
    EXPECT_EQ(reader.readEntry(record), HK_RESULTS_END);
    int status;
    waitpid(child, &status, 0);
}

namespace {

/*
 * Runs in a child process whose address space is capped at 1 GB: a length
 * of 4 GB in a small file must fail as a cut value (-50), not as a failed
 * allocation, and a 3 GB length that a sparse file does back cannot be
 * allocated (-40). Returns 0 when both hold.
 */
int
readWithCappedMemory()
{
    FILE *small = tmpfile();
    FILE *sparse = tmpfile();
    fputs("2 cn 4294967295 x \n", small);
    fputs("2 cn 3000000000 ", sparse);
    fflush(small);
    fflush(sparse);
    if (ftruncate(fileno(sparse), 3100000000LL) != 0) {
	return 9;
    }
    rewind(small);
    rewind(sparse);

    uint64_t smallLeft = 0;
    uint64_t sparseLeft = 0;
    if (!HkpStreamBytesLeft(small, &smallLeft) || !HkpStreamBytesLeft(sparse, &sparseLeft)) {
	return 8;
    }
    ResultsReader smallReader(small, smallLeft);
    ResultsReader sparseReader(sparse, sparseLeft);

    struct rlimit limit;
    limit.rlim_cur = limit.rlim_max = 1UL << 30;
    setrlimit(RLIMIT_AS, &limit);
    ResultRecord record;
    if (smallReader.readEntry(record) != HK_RESULTS_SHORT_VALUE) {
	return 1;
    }
    if (sparseReader.readEntry(record) != HK_RESULTS_NO_MEMORY) {
	return 2;
    }
    return 0;
}

} // namespace

TEST(ResultsFileReaderDeathTest, ValueMemoryIsBoundedByTheFile)
{
    EXPECT_EXIT(_exit(readWithCappedMemory()), ::testing::ExitedWithCode(0), "");
}

namespace {

/*
 * Runs in a child process whose address space is capped at 256 MB above
 * what it uses: an entry whose value, and one whose name, is 300 MB of a
 * sparse file, each with a further field after it, then an entry "sn
 * Lee". The large entry is -40 and the next read is the next entry: none
 * of the large one's bytes is taken for a field. Returns 0 when so, else
 * the case and step that failed.
 */
int
readPastWhatMemoryCannotHold()
{
    const long LARGE = 300000000L;
    const struct {
	const char *head;
	const char *tail;
    } entries[] = {
	{"2 cn 300000000 ", " 5 extra 1 a \n2 sn 3 Lee \n"},
	{"300000000 ", " 1 v 5 extra 1 a \n2 sn 3 Lee \n"},
    };
    struct rlimit limit;
    limit.rlim_cur = limit.rlim_max = unitAddressSpace() + (256 << 20);
    if (limit.rlim_cur == 256 << 20 || setrlimit(RLIMIT_AS, &limit) != 0) {
	return 99;
    }
    int failed = 0;
    for (const auto &entry : entries) {
	failed += 10;
	File f(tmpfile());
	if (!f || fputs(entry.head, f.get()) == EOF
		|| fseek(f.get(), static_cast<long>(strlen(entry.head)) + LARGE, SEEK_SET) != 0
		|| fputs(entry.tail, f.get()) == EOF || fflush(f.get()) != 0) {
	    return failed + 9;
	}
	rewind(f.get());
	std::unique_ptr<ResultsReader> reader = readerOf(f.get());
	ResultRecord record;
	if (reader->readEntry(record) != HK_RESULTS_NO_MEMORY) {
	    return failed + 1;
	}
	if (reader->readEntry(record) != HK_RESULTS_OK
		|| fieldsOf(record) != Fields{{"sn", "Lee"}}) {
	    return failed + 2;
	}
	if (reader->readEntry(record) != HK_RESULTS_END) {
	    return failed + 3;
	}
    }
    return 0;
}

} // namespace

TEST(ResultsFileReaderDeathTest, ANameOrValueMemoryCannotHoldFailsItsEntryOnly)
{
    EXPECT_EXIT(_exit(readPastWhatMemoryCannotHold()), ::testing::ExitedWithCode(0), "");
}

TEST(ResultRecord, CaseBlindOrder)
{
    /*
     * Each name sorts before the next. "_" (0x5F) before "A" shows that
     * capitals fold to small letters, not the other way round.
     */
    const std::vector<std::string> ordered = {
	"", "_", "A", "a1", "aB", "Ab_", "abc", "Zed", "zz", "\xc3\xa9", "\xff"};
    for (size_t i = 0; i + 1 < ordered.size(); i++) {
	SCOPED_TRACE(ordered[i] + " < " + ordered[i + 1]);
	EXPECT_LT(compareNamesCaseBlind(ordered[i], ordered[i + 1]), 0);
	EXPECT_GT(compareNamesCaseBlind(ordered[i + 1], ordered[i]), 0);
    }
    EXPECT_EQ(compareNamesCaseBlind("TelephoneNumber", "telephonenumber"), 0);
    /* Only A to Z fold: Latin-1 capitals stay apart from their small forms. */
    EXPECT_NE(compareNamesCaseBlind("\xc9", "\xe9"), 0);
}

TEST(ResultRecord, SetReplacesCaseBlindAndClearEmpties)
{
    ResultRecord record;
    record.set("sn", valueOf("Lee"));
    record.set("CN", valueOf("Ann"));
    record.set("cn", valueOf(std::string("Ann\0Lee", 7)));
    record.set("mail", nullptr);
    EXPECT_EQ(fieldsOf(record), Fields({{"cn", std::string("Ann\0Lee", 7)}, {"sn", "Lee"}}));

    /* Short values live inside the holder, longer ones outside: both end in a zero. */
    record.set("long", valueOf(std::string(AttributeValue::INLINE_SIZE, 'x')));
    record.set("short", valueOf(std::string(AttributeValue::INLINE_SIZE - 1, 'y')));
    EXPECT_EQ(fieldsOf(record).size(), 4u);

    record.clear();
    EXPECT_EQ(fieldsOf(record), Fields());
}

TEST(ResultRecord, ManyNamesReplaceAndCollectCaseBlindInKeyOrder)
{
    /*
     * Past the names found by a scan the record hashes them: the same rules
     * must hold at every size, and after clear() with the storage kept.
     */
    ResultRecord record;
    for (int round = 0; round < 2; round++) {
	for (int count : {3, 16, 17, 40, 1000}) {
	    record.clear();
	    for (int i = count - 1; i >= 0; i--) {
		record.set("name" + std::to_string(i), valueOf("first" + std::to_string(i)));
	    }
	    /* The same names again in another letter case: the new spelling and value win. */
	    for (int i = 0; i < count; i += 2) {
		record.set("NAME" + std::to_string(i), valueOf("second" + std::to_string(i)));
	    }
	    /* Added values follow the stored ones under the stored spelling. */
	    for (int i = 1; i < count; i += 2) {
		record.add("Name" + std::to_string(i), valueOf("extra" + std::to_string(i)));
	    }
	    ASSERT_EQ(record.size(), static_cast<size_t>(count));
	    std::vector<std::string> names;
	    for (const auto &entry : record) {
		names.push_back(entry.first);
	    }
	    std::vector<std::string> sorted = names;
	    std::sort(sorted.begin(), sorted.end(), [](const std::string &a, const std::string &b) {
		return compareNamesCaseBlind(a, b) < 0;
	    });
	    EXPECT_EQ(names, sorted) << count;
	    for (const auto &entry : record) {
		int i = std::stoi(entry.first.substr(4));
		const AttributeValue &first = entry.second.first();
		if (i % 2 == 0) {
		    EXPECT_EQ(entry.first, "NAME" + std::to_string(i));
		    EXPECT_EQ(std::string(first.bytes(), first.length()), "second" + std::to_string(i));
		    EXPECT_EQ(entry.second.count(), 1u);
		} else {
		    EXPECT_EQ(entry.first, "name" + std::to_string(i));
		    ASSERT_EQ(entry.second.count(), 2u);
		    EXPECT_EQ(std::string(entry.second[1].bytes(), entry.second[1].length()),
			    "extra" + std::to_string(i));
		}
	    }
	}
    }
}

TEST(NameSet, FirstOccurrenceCaseBlindAcrossGrowthAndClear)
{
    NameSet set;
    /* Many names make the table grow several times; each is new once. */
    for (int i = 0; i < 5000; i++) {
	ASSERT_TRUE(set.insert("attr" + std::to_string(i))) << i;
    }
    const struct {
	const char *name;
	bool isNew;
    } cases[] = {
	{"ATTR17", false}, {"attr4999", false}, {"attr5000", true}, {"Attr5000", false},
	{"attr", true}, {"", true}, {"", false}, {"\xC9t\xE9", true}, {"\xE9t\xE9", true},
	{"attr17 ", true}, {"telephoneNumber", true}, {"TELEPHONEnumber", false},
    };
    for (const auto &c : cases) {
	EXPECT_EQ(set.insert(c.name), c.isNew) << c.name;
    }
    set.clear();
    EXPECT_TRUE(set.insert("ATTR17"));
    EXPECT_FALSE(set.insert("attr17"));
}
