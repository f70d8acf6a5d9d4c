/*
 * commandLine.h --
 *
 *	Windows command lines as text: the system's length limit, how words
 *	are joined into a line, and how a line is split back into arguments
 *	(the rules of the Windows C run-time). No Tcl, no system call: the
 *	Unix platform uses the splitter to start programs from an argument
 *	vector with the same quoting as on Windows.
 */

#ifndef HOSTKIT_PROCESS_COMMAND_LINE_H
#define HOSTKIT_PROCESS_COMMAND_LINE_H

#include "core/base/wideText.h"

#include <cstddef>
#include <vector>

namespace hkproc {

/*
 * The longest command line that CreateProcess takes, in UTF-16 units with
 * the terminating NUL: a line of HK_COMMAND_LINE_MAX units or more is
 * refused.
 */
const size_t HK_COMMAND_LINE_MAX = 32767;

/*
 * Appends a word and a space to a command line. A word holding a space is
 * put between double quotes; nothing else is quoted or escaped (a tab, a
 * double quote or a backslash goes in as it is).
 */
void appendCommandWord(WideString &line, const WideString &word);

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
std::vector<WideString> splitCommandLine(const WideString &line);

/*
 * Whether the text holds a NUL character. The system would take such a
 * command line or file name cut at the NUL, so neither is ever passed on.
 */
bool holdsNul(const WideString &text);

} // namespace hkproc

#endif /* HOSTKIT_PROCESS_COMMAND_LINE_H */
