/*
 * execProcessTest.cpp --
 *
 *	Units for execprocess's inner pieces: word classification and the
 *	command line, the Windows-rules splitter (also checked against the
 *	command lines that the classification builds), the output byte
 *	treatment, reading output files back into a limited text (real files
 *	and pipes, through the Unix platform), and the temporary-file prefix.
 */

#include "files/tempFileName.h"
#include "process/base/commandLine.h"
#include "process/base/execWords.h"
#include "process/base/outputBytes.h"

#include "process/execProcess.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace hkproc;

namespace {

WideString
W(const std::string &utf8ascii)
{
    return WideString(utf8ascii.begin(), utf8ascii.end());
}

std::string
N(const WideString &w)
{
    std::string out;
    for (WideChar c : w) {
	out.push_back(static_cast<char>(c));
    }
    return out;
}

std::vector<WideString>
Words(const std::vector<std::string> &words)
{
    std::vector<WideString> out;
    for (const std::string &w : words) {
	out.push_back(W(w));
    }
    return out;
}

struct ClassifyCase {
    std::vector<std::string> words;
    std::string commandLine;
    std::string out, err;
    bool background, removeOut, removeErr;
};

class Classify : public ::testing::TestWithParam<ClassifyCase> {};

TEST_P(Classify, WordsGiveCommandLineAndFiles)
{
    const ClassifyCase &c = GetParam();
    ExecRequest r = classifyExecWords(Words(c.words));
    EXPECT_EQ(N(r.commandLine), c.commandLine);
    EXPECT_EQ(N(r.stdoutName), c.out);
    EXPECT_EQ(N(r.stderrName), c.err);
    EXPECT_EQ(r.background, c.background);
    EXPECT_EQ(r.removeStdout, c.removeOut);
    EXPECT_EQ(r.removeStderr, c.removeErr);
}

INSTANTIATE_TEST_SUITE_P(Words, Classify, ::testing::Values(
    ClassifyCase{{"tool.exe", "-v", "a b"}, "tool.exe -v \"a b\" ", "", "", false, true, true},
    ClassifyCase{{"&"}, "", "", "", true, true, true},
    ClassifyCase{{"p", "&", "x"}, "p & x ", "", "", false, true, true},
    ClassifyCase{{"p", "&", "&"}, "p & ", "", "", true, true, true},
    ClassifyCase{{"p", ">a", ">b"}, "p ", "ab", "", false, false, true},
    ClassifyCase{{"p", ">", "a", ">", "b"}, "p ", "b", "", false, false, true},
    ClassifyCase{{"p", "2>a", "2>b"}, "p ", "", "b", false, true, false},
    ClassifyCase{{"p", "2>", "a", "2>", "b"}, "p ", "", "b", false, true, false},
    ClassifyCase{{"p", "2>&1"}, "p ", "", "&1", false, true, false},
    ClassifyCase{{"p", ">"}, "p ", "", "", false, true, true},
    ClassifyCase{{"p", "2>"}, "p ", "", "", false, true, true},
    ClassifyCase{{"p", ">", "&"}, "p ", "", "", true, true, true},
    ClassifyCase{{">o", "2>e", "p", "x"}, "p x ", "o", "e", false, false, false},
    ClassifyCase{{"p", ">", ">x"}, "p ", ">x", "", false, false, true},
    ClassifyCase{{"p", "", "x"}, "p  x ", "", "", false, true, true},
    ClassifyCase{{"p", "a\tb", "c\"d e"}, "p a\tb \"c\"d e\" ", "", "", false, true, true},
    ClassifyCase{{"/dir with space/p"}, "\"/dir with space/p\" ", "", "", false, true, true},
    ClassifyCase{{"p", "1>x", "3>y"}, "p 1>x 3>y ", "", "", false, true, true},
    /* A name that ends up empty leaves the stream to a capture file, which goes. */
    ClassifyCase{{"p", ">a", ">", "", "2>b", "2>", ""}, "p ", "", "", false, true, true}));

struct SplitCase {
    std::string line;
    std::vector<std::string> args;
};

class Split : public ::testing::TestWithParam<SplitCase> {};

TEST_P(Split, WindowsRules)
{
    const SplitCase &c = GetParam();
    std::vector<WideString> got = splitCommandLine(W(c.line));
    std::vector<std::string> narrow;
    for (const WideString &w : got) {
	narrow.push_back(N(w));
    }
    EXPECT_EQ(narrow, c.args) << "line: " << c.line;
}

INSTANTIATE_TEST_SUITE_P(Lines, Split, ::testing::Values(
    SplitCase{"", {}},
    SplitCase{"  \t ", {}},
    SplitCase{"p", {"p"}},
    SplitCase{"  p  a\tb ", {"p", "a", "b"}},
    /* program name: quotes toggle, backslashes literal */
    SplitCase{"\"C:\\a b\\p.exe\" x", {"C:\\a b\\p.exe", "x"}},
    SplitCase{"a\\\"b c", {"a\\b c"}},
    SplitCase{"\"a b\"c d", {"a bc", "d"}},
    /* arguments */
    SplitCase{"p \"a b\" c", {"p", "a b", "c"}},
    SplitCase{"p a\\b a\\\\b", {"p", "a\\b", "a\\\\b"}},
    SplitCase{"p a\\\"b", {"p", "a\"b"}},
    SplitCase{"p a\\\\\"b c\"", {"p", "a\\b c"}},
    SplitCase{"p a\\\\\\\"b", {"p", "a\\\"b"}},
    SplitCase{"p \"a\\\\\" b", {"p", "a\\", "b"}},
    SplitCase{"p \"\"", {"p", ""}},
    SplitCase{"p \"a\"\"b\" c", {"p", "a\"b", "c"}},
    SplitCase{"p a\"b c", {"p", "ab c"}},
    SplitCase{"p \"unclosed arg", {"p", "unclosed arg"}},
    SplitCase{"p trailing\\", {"p", "trailing\\"}}));

TEST(SplitRoundTrip, CommandLinesFromWordsComeBackAsTheWords)
{
    /* Words without quotes: what the script gave is what the program gets. */
    const std::vector<std::vector<std::string>> cases = {
	{"prog", "a", "b c", "a\tb", "\\\\server\\share", "x\\"},
	{"/path with space/prog", "  lead", "trail  "},
	{"prog", "&", "|", ";", "$HOME", "*", "`x`"},
    };
    for (const auto &words : cases) {
	ExecRequest r = classifyExecWords(Words(words));
	std::vector<WideString> back = splitCommandLine(r.commandLine);
	std::vector<std::string> narrow;
	for (const WideString &w : back) {
	    narrow.push_back(N(w));
	}
	std::vector<std::string> expected = words;
	/* A tab-only word is not quoted, so the tab splits it. */
	if (words.size() > 3 && words[3] == "a\tb") {
	    expected = {"prog", "a", "b c", "a", "b", "\\\\server\\share", "x\\"};
	}
	EXPECT_EQ(narrow, expected);
    }
}

TEST(SplitRoundTrip, LongLinesAreNeverCut)
{
    std::string word(100000, 'x');
    ExecRequest r = classifyExecWords(Words({"p", word, word + " " + word}));
    std::vector<WideString> back = splitCommandLine(r.commandLine);
    ASSERT_EQ(back.size(), 3u);
    EXPECT_EQ(back[1].size(), word.size());
    EXPECT_EQ(back[2].size(), 2 * word.size() + 1);
}

TEST(OutputBytes, CrLfBecomesLf)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
	{"", ""},
	{"a\r\nb\r\n", "a\nb\n"},
	{"\r\r\n\n\r", "\r\n\n\r"},
	{"x\ry", "x\ry"},
	{"\r\n\r\n", "\n\n"},
	{std::string("a\0\r\n\x1a", 5), std::string("a\0\n\x1a", 4)},
    };
    for (const auto &c : cases) {
	std::string buf = c.first;
	size_t n = crLfToLf(&buf[0], buf.size());
	EXPECT_EQ(buf.substr(0, n), c.second);
    }
}

TEST(TempPrefix, FirstThreeCharactersWithoutSeparators)
{
    const std::vector<std::pair<WideString, WideString>> cases = {
	{W(""), W("")},
	{W("bla"), W("bla")},
	{W("ExecProcess"), W("Exe")},
	{W("ab"), W("ab")},
	{W("../x"), W(".._")},
	{W("a\\b"), W("a_b")},
	{WideString{'a', 0, 'b'}, W("a_b")},
	{WideString{'a', 'b', 0xD83D, 0xDE00}, W("ab")},
	{WideString{'a', 0xD83D, 0xDE00, 'c'}, WideString{'a', 0xD83D, 0xDE00}},
    };
    for (const auto &c : cases) {
	EXPECT_EQ(tempFilePrefix(c.first), c.second);
    }
}

/*
 * Reading output files back. The text goes into a std::string that may
 * refuse to grow past `memory` bytes, as memory that cannot be had.
 */

class StringText : public OutputBuffer {
public:
    explicit StringText(size_t memory = SIZE_MAX) : memory_(memory) {}
    bool grow(size_t size) override {
	if (size > memory_) {
	    return false;
	}
	text_.resize(size);
	return true;
    }
    char *data() override {
	return &text_[0];
    }
    std::string text(size_t length) const {
	return text_.substr(0, length);
    }

private:
    size_t memory_;
    std::string text_;
};

/* A private folder for the files of one test, removed with its files. */
class Folder {
public:
    Folder() {
	char templ[] = "/tmp/hkunit-XXXXXX";
	path_ = mkdtemp(templ);
    }
    ~Folder() {
	for (const std::string &f : files_) {
	    unlink(f.c_str());
	}
	rmdir(path_.c_str());
    }
    std::string write(const std::string &bytes) {
	std::string name = path_ + "/f" + std::to_string(files_.size());
	FILE *f = fopen(name.c_str(), "wb");
	fwrite(bytes.data(), 1, bytes.size(), f);
	fclose(f);
	files_.push_back(name);
	return name;
    }
    std::string fifo() {
	std::string name = path_ + "/p" + std::to_string(files_.size());
	mkfifo(name.c_str(), 0600);
	files_.push_back(name);
	return name;
    }

private:
    std::string path_;
    std::vector<std::string> files_;
};

std::string
bytes(const char *text, size_t length)
{
    return std::string(text, length);
}

struct CollectCase {
    const char *what;
    std::vector<std::string> files;
    size_t limit;
    bool tooLarge;
    std::string text;		/* when it fits */
};

TEST(OutputCollector, TextOfFilesWithinTheLimit)
{
    const std::string big(200000, 'x');
    const std::vector<CollectCase> cases = {
	{"two files in order", {"abc", "def"}, 100, false, "abcdef"},
	{"empty files", {"", ""}, 100, false, ""},
	{"exactly the limit", {"abcd"}, 4, false, "abcd"},
	{"one byte over", {"abcde"}, 4, true, ""},
	{"both files exactly the limit", {"ab", "cd"}, 4, false, "abcd"},
	{"second file over", {"ab", "cde"}, 4, true, ""},
	{"first file over, second empty", {"abcde", ""}, 4, true, ""},
	{"CR LF within each file only", {"a\r", "\nb\r\n"}, 100, false, "a\r\nb\n"},
	{"NULs in their result form", {bytes("a\0b", 3)}, 4, false, "a\xC0\x80" "b"},
	{"NULs make it too large", {bytes("a\0b", 3)}, 3, true, ""},
	{"NUL across files", {bytes("\0", 1), bytes("\0", 1)}, 4, false, "\xC0\x80\xC0\x80"},
	{"bytes that are not UTF-8", {"caf\xe9", "\xff"}, 100, false, "caf\xc3\xa9\xc3\xbf"},
	{"UTF-8 byte for byte", {"\xc3\xa9\xe4\xb8\xad"}, 5, false, "\xc3\xa9\xe4\xb8\xad"},
	{"a sequence cut at a file's end is not joined with the next file",
		{"\xe2\x82", "\xac"}, 100, false, "\xc3\xa2\xc2\x82\xc2\xac"},
	{"characters that grow reach the limit", {"\xe9\xe9"}, 4, false, "\xc3\xa9\xc3\xa9"},
	{"characters that grow pass the limit", {"a", "\xe9\xe9"}, 4, true, ""},
	{"larger than a read block", {big, "y"}, SIZE_MAX / 2, false, big + "y"},
	{"larger than a read block, limit below", {big}, big.size() - 1, true, ""},
    };
    for (const CollectCase &c : cases) {
	Folder folder;
	StringText buffer;
	OutputCollector collector(buffer, c.limit);
	for (const std::string &content : c.files) {
	    EXPECT_EQ(collector.appendFile(W(folder.write(content))), APPEND_READ) << c.what;
	}
	EXPECT_EQ(collector.tooLarge(), c.tooLarge) << c.what;
	if (!c.tooLarge) {
	    EXPECT_EQ(buffer.text(collector.length()), c.text) << c.what;
	}
    }
}

TEST(OutputCollector, MemoryRefusedIsTooLarge)
{
    Folder folder;
    StringText buffer(1000);
    OutputCollector collector(buffer, SIZE_MAX / 2);
    EXPECT_EQ(collector.appendFile(W(folder.write(std::string(1001, 'm')))), APPEND_READ);
    EXPECT_TRUE(collector.tooLarge());
}

TEST(OutputCollector, MissingFileAddsNothing)
{
    Folder folder;
    StringText buffer;
    OutputCollector collector(buffer, 100);
    EXPECT_EQ(collector.appendFile(W("/nonexistent-folder/x")), APPEND_MISSING);
    EXPECT_EQ(collector.appendFile(WideString{'/', 't', 'm', 'p', 0, 'x'}), APPEND_MISSING);
    EXPECT_EQ(collector.appendFile(W(folder.write("ok"))), APPEND_READ);
    EXPECT_FALSE(collector.tooLarge());
    EXPECT_EQ(buffer.text(collector.length()), "ok");
}

/*
 * Only regular files are read back: a FIFO without a writer would hold the
 * reader for ever, /dev/zero would give gigabytes, a terminal or the
 * caller's own pipe would wait for input.
 */
TEST(OutputCollector, OnlyRegularFilesAreReadBack)
{
    Folder folder;
    const std::vector<std::string> names = {folder.fifo(), "/dev/zero", "/dev/null", "/tmp"};
    StringText buffer;
    OutputCollector collector(buffer, SIZE_MAX / 2);
    EXPECT_EQ(collector.appendFile(W(folder.write("before"))), APPEND_READ);
    for (const std::string &name : names) {
	EXPECT_EQ(collector.appendFile(W(name)), APPEND_NOT_A_FILE) << name;
    }
    EXPECT_FALSE(collector.tooLarge());
    EXPECT_EQ(buffer.text(collector.length()), "before");
}

/*
 * A read that fails is never taken as the end of the file: /proc/self/mem
 * is a regular file whose first page, unmapped, cannot be read.
 */
TEST(OutputCollector, ReadFailureIsNotTheEnd)
{
    Folder folder;
    StringText buffer;
    OutputCollector collector(buffer, SIZE_MAX / 2);
    EXPECT_EQ(collector.appendFile(W(folder.write("kept"))), APPEND_READ);
    EXPECT_EQ(collector.appendFile(W("/proc/self/mem")), APPEND_READ_FAILED);
    EXPECT_EQ(buffer.text(collector.length()), "kept");
}

} // namespace
