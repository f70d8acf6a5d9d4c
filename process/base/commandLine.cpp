/*
 * commandLine.cpp --
 *
 *	Windows command lines as text: joining words into a line and
 *	splitting a line back into arguments by the C run-time's rules.
 */

#include "process/base/commandLine.h"

namespace hkproc {

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

} // namespace

void
appendCommandWord(WideString &line, const WideString &word)
{
    if (word.find(SPACE) != WideString::npos) {
	line.push_back(QUOTE);
	line.append(word);
	line.push_back(QUOTE);
    } else {
	line.append(word);
    }
    line.push_back(SPACE);
}

std::vector<WideString>
splitCommandLine(const WideString &line)
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

bool
holdsNul(const WideString &text)
{
    return text.find(static_cast<WideChar>(0)) != WideString::npos;
}

} // namespace hkproc
