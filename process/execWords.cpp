/*
 * execWords.cpp --
 *
 *	execprocess's words and command line: classification of the words,
 *	the command-line text, the Windows-rules splitter, and the treatment
 *	of the output bytes. Nothing here knows Tcl beyond its character type.
 */

#include "process/execProcess.h"

namespace {

const WideChar SPACE = 0x20;
const WideChar TAB = 0x09;
const WideChar QUOTE = 0x22;
const WideChar BACKSLASH = 0x5C;
const WideChar GREATER = 0x3E;
const WideChar TWO = 0x32;
const WideChar AMPERSAND = 0x26;

bool
isBlank(WideChar c)
{
    return c == SPACE || c == TAB;
}

} // namespace

ExecRequest
classifyExecWords(const std::vector<WideString> &words)
{
    ExecRequest req;
    size_t count = words.size();
    if (count > 0 && words[count - 1] == WideString(1, AMPERSAND)) {
	req.background = true;
	--count;
    }

    for (size_t i = 0; i < count; ++i) {
	const WideString &word = words[i];
	if (!word.empty() && word[0] == GREATER) {
	    if (word.size() == 1) {
		if (i + 1 < count) {
		    req.stdoutName = words[++i];
		}
	    } else {
		req.stdoutName.append(word, 1, WideString::npos);
	    }
	    if (!req.stdoutName.empty()) {
		req.removeStdout = false;
	    }
	} else if (word.size() >= 2 && word[0] == TWO && word[1] == GREATER) {
	    if (word.size() == 2) {
		if (i + 1 < count) {
		    req.stderrName = words[++i];
		}
	    } else {
		req.stderrName = word.substr(2);
	    }
	    if (!req.stderrName.empty()) {
		req.removeStderr = false;
	    }
	} else {
	    if (word.find(SPACE) != WideString::npos) {
		req.commandLine.push_back(QUOTE);
		req.commandLine.append(word);
		req.commandLine.push_back(QUOTE);
	    } else {
		req.commandLine.append(word);
	    }
	    req.commandLine.push_back(SPACE);
	}
    }
    return req;
}

std::vector<WideString>
hkSplitCommandLine(const WideString &line)
{
    std::vector<WideString> args;
    size_t i = 0;
    const size_t n = line.size();

    while (i < n && isBlank(line[i])) {
	++i;
    }
    if (i == n) {
	return args;
    }

    /* The program name: quotes toggle, nothing is escaped. */
    WideString program;
    bool quoted = false;
    for (; i < n; ++i) {
	WideChar c = line[i];
	if (c == QUOTE) {
	    quoted = !quoted;
	} else if (!quoted && isBlank(c)) {
	    break;
	} else {
	    program.push_back(c);
	}
    }
    args.push_back(program);

    for (;;) {
	while (i < n && isBlank(line[i])) {
	    ++i;
	}
	if (i == n) {
	    break;
	}
	WideString arg;
	quoted = false;
	while (i < n) {
	    WideChar c = line[i];
	    if (c == BACKSLASH) {
		size_t slashes = 0;
		while (i < n && line[i] == BACKSLASH) {
		    ++slashes;
		    ++i;
		}
		if (i < n && line[i] == QUOTE) {
		    arg.append(slashes / 2, BACKSLASH);
		    if (slashes % 2 == 1) {
			arg.push_back(QUOTE);
			++i;
		    }
		    /* An even count leaves the quote to the code below. */
		} else {
		    arg.append(slashes, BACKSLASH);
		}
		continue;
	    }
	    if (c == QUOTE) {
		if (quoted && i + 1 < n && line[i + 1] == QUOTE) {
		    arg.push_back(QUOTE);
		    i += 2;
		} else {
		    quoted = !quoted;
		    ++i;
		}
		continue;
	    }
	    if (!quoted && isBlank(c)) {
		break;
	    }
	    arg.push_back(c);
	    ++i;
	}
	args.push_back(arg);
    }
    return args;
}

size_t
hkCrLfToLf(char *data, size_t length)
{
    size_t out = 0;
    for (size_t in = 0; in < length; ++in) {
	if (data[in] == '\r' && in + 1 < length && data[in + 1] == '\n') {
	    continue;
	}
	data[out++] = data[in];
    }
    return out;
}

size_t
hkCountNul(const char *data, size_t length)
{
    size_t count = 0;
    for (size_t i = 0; i < length; ++i) {
	count += (data[i] == '\0');
    }
    return count;
}

void
hkExpandNul(char *data, size_t length, size_t nulCount)
{
    /* Backwards, so that no byte is overwritten before it has moved. */
    size_t out = length + nulCount;
    size_t in = length;
    while (nulCount > 0 && in > 0) {
	char c = data[--in];
	if (c == '\0') {
	    data[--out] = static_cast<char>(0x80);
	    data[--out] = static_cast<char>(0xC0);
	    --nulCount;
	} else {
	    data[--out] = c;
	}
    }
}
