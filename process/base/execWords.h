/*
 * execWords.h --
 *
 *	What the words of an execprocess call ask for: the command line, the
 *	files that standard output and standard error go to, and background
 *	mode. No Tcl, no system call.
 */

#ifndef HOSTKIT_PROCESS_EXEC_WORDS_H
#define HOSTKIT_PROCESS_EXEC_WORDS_H

#include "core/base/wideText.h"

#include <vector>

namespace hkproc {

/* What the words of one execprocess call ask for. */
struct ExecRequest {
    bool background = false;
    bool removeStdout = true;	/* stdout goes to a capture file, removed
				 * once read back */
    bool removeStderr = true;
    WideString stdoutName;	/* empty: a capture file is made */
    WideString stderrName;
    WideString commandLine;	/* each ordinary word and a space */
};

/*
 * Classifies the words after the command name: a final "&" (background),
 * ">" name, ">name" (appended to the name so far), "2>" name, "2>name",
 * and ordinary words, which form the command line (appendCommandWord).
 * A ">" or "2>" as the last word names nothing; a redirection that ends
 * with an empty name leaves that stream to a capture file.
 */
ExecRequest classifyExecWords(const std::vector<WideString> &words);

} // namespace hkproc

#endif /* HOSTKIT_PROCESS_EXEC_WORDS_H */
