/*
 * execProcess.h --
 *
 *	The Tcl-free inner pieces of execprocess: how the words become the
 *	command line and the two output file names, how a command line is
 *	split back into arguments by the Windows rules (used where the
 *	platform starts programs from an argument vector), and how the bytes
 *	read back from the output files are made into result text.
 */

#ifndef HOSTKIT_EXECPROCESS_H
#define HOSTKIT_EXECPROCESS_H

#include "core/hostkit.h"

#include <cstddef>
#include <vector>

/* What the words of one execprocess call ask for. */
struct ExecRequest {
    bool background = false;
    bool removeStdout = true;	/* stdout goes to a capture file */
    bool removeStderr = true;
    WideString stdoutName;	/* empty: a capture file is made */
    WideString stderrName;
    WideString commandLine;	/* each ordinary word and a space */
};

/*
 * Classifies the words after the command name: a final "&" (background),
 * ">" name, ">name" (appended to the name so far), "2>" name, "2>name",
 * and ordinary words, which form the command line. A word holding a space
 * is put between double quotes; nothing else is quoted or escaped.
 */
ExecRequest classifyExecWords(const std::vector<WideString> &words);

/*
 * Splits a command line into arguments as the Windows C run-time does
 * (and CommandLineToArgvW for the program name): the program name runs to
 * the first blank outside double quotes, quotes removed, backslashes
 * literal. In the other arguments 2n backslashes before a quote give n
 * backslashes and the quote opens or closes quoting; 2n+1 give n and a
 * literal quote; a doubled quote inside quotes gives one literal quote;
 * backslashes elsewhere are literal. Blanks are space and tab. Leading
 * blanks are skipped; a line of blanks gives no argument.
 */
std::vector<WideString> hkSplitCommandLine(const WideString &commandLine);

/*
 * Output text. A file's bytes are delivered with each CR LF pair as a
 * single LF (a lone CR stays); every other byte is kept, and a NUL byte
 * becomes Tcl's internal form of U+0000, the pair C0 80.
 */

/* Translates CR LF to LF in place; returns the new length. */
size_t hkCrLfToLf(char *data, size_t length);

/* Number of NUL bytes. */
size_t hkCountNul(const char *data, size_t length);

/*
 * Replaces each NUL by C0 80 in place. The buffer holds `length` bytes
 * and has room for length + nulCount (nulCount from hkCountNul).
 */
void hkExpandNul(char *data, size_t length, size_t nulCount);

#endif /* HOSTKIT_EXECPROCESS_H */
