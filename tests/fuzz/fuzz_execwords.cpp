/*
 * fuzz_execwords.cpp --
 *
 *	Fuzzes execprocess's word classification and the Windows-rules
 *	command-line splitter with arbitrary words, checking what each
 *	promises: the background word, the redirection flags, bounded output,
 *	splitting at blanks where no quote is involved, and that words without
 *	quotes or tabs come back from the command line as they went in.
 *
 *	Input: words separated by the byte 0x01; every other byte is one
 *	character (so NUL, blanks, quotes and backslashes all occur).
 */

#include "process/base/commandLine.h"
#include "process/base/execWords.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

using namespace hkproc;

namespace {

const WideChar SPACE = 0x20;
const WideChar TAB = 0x09;
const WideChar QUOTE = 0x22;
const WideChar BACKSLASH = 0x5C;

bool
isBlank(WideChar c)
{
    return c == SPACE || c == TAB;
}

bool
isRedirection(const WideString &word)
{
    return (!word.empty() && word[0] == '>') || (word.size() >= 2 && word[0] == '2' && word[1] == '>');
}

/* Line split at blanks, blanks dropped: what the splitter gives without quotes. */
std::vector<WideString>
blankSeparated(const WideString &line)
{
    std::vector<WideString> out;
    WideString word;
    for (WideChar c : line) {
	if (isBlank(c)) {
	    if (!word.empty()) {
		out.push_back(word);
		word.clear();
	    }
	} else {
	    word.push_back(c);
	}
    }
    if (!word.empty()) {
	out.push_back(word);
    }
    return out;
}

} // namespace

extern "C" int
LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::vector<WideString> words(1);
    WideString raw;
    for (size_t i = 0; i < size; ++i) {
	if (data[i] == 0x01) {
	    words.emplace_back();
	} else {
	    words.back().push_back(data[i]);
	    raw.push_back(data[i]);
	}
    }

    /* The splitter alone, on any line. */
    std::vector<WideString> args = splitCommandLine(raw);
    size_t total = 0;
    for (const WideString &a : args) {
	total += a.size();
    }
    if (total > raw.size()) {
	abort();
    }
    if (raw.find(QUOTE) == WideString::npos && args != blankSeparated(raw)) {
	abort();
    }
    if (holdsNul(raw) != (raw.find(WideChar(0)) != WideString::npos)) {
	abort();
    }

    /* The classification. */
    ExecRequest req = classifyExecWords(words);
    if (req.background != (words.back() == WideString(1, '&'))) {
	abort();
    }
    if (req.removeStdout != req.stdoutName.empty() || req.removeStderr != req.stderrName.empty()) {
	abort();
    }
    size_t bound = 0;
    for (const WideString &w : words) {
	bound += w.size() + 3;
    }
    if (req.commandLine.size() > bound) {
	abort();
    }

    /*
     * Round trip: when every word that can reach the command line is free
     * of quotes and tabs, and none holding a space ends in a backslash
     * (which would escape its closing quote), the line splits back into
     * the non-empty ordinary words.
     */
    bool plain = true;
    for (const WideString &w : words) {
	if (w.find(QUOTE) != WideString::npos || w.find(TAB) != WideString::npos
		|| (w.find(SPACE) != WideString::npos && w.back() == BACKSLASH)) {
	    plain = false;
	}
    }
    if (plain) {
	std::vector<WideString> ordinary;
	size_t count = words.size() - (req.background ? 1 : 0);
	for (size_t i = 0; i < count; ++i) {
	    const WideString &w = words[i];
	    if (isRedirection(w)) {
		if (w == WideString(1, '>') || w == WideString{'2', '>'}) {
		    ++i;	/* the name that follows */
		}
		continue;
	    }
	    if (!w.empty()) {
		ordinary.push_back(w);
	    }
	}
	if (splitCommandLine(req.commandLine) != ordinary) {
	    abort();
	}
    }
    return 0;
}
