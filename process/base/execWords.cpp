/*
 * execWords.cpp --
 *
 *	Classification of execprocess's words into redirections, background
 *	mode and the command line.
 */

#include "process/base/execWords.h"
#include "process/base/commandLine.h"

namespace hkproc {

namespace {

const WideChar GREATER = 0x3E;
const WideChar TWO = 0x32;
const WideChar AMPERSAND = 0x26;

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
	} else if (word.size() >= 2 && word[0] == TWO && word[1] == GREATER) {
	    if (word.size() == 2) {
		if (i + 1 < count) {
		    req.stderrName = words[++i];
		}
	    } else {
		req.stderrName = word.substr(2);
	    }
	} else {
	    appendCommandWord(req.commandLine, word);
	}
    }
    /*
     * A stream whose name ends up empty (">a > {}") goes to a capture
     * file, which is removed like any other.
     */
    req.removeStdout = req.stdoutName.empty();
    req.removeStderr = req.stderrName.empty();
    return req;
}

} // namespace hkproc
