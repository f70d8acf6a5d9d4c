/*
 * outputBytes.h --
 *
 *	The line ends of a program's output files in result text: each CR LF
 *	pair becomes a single LF (a lone CR stays). The bytes then become Tcl
 *	text by the package's one rule (core/base/tclUtf8.h). No Tcl, no
 *	system call.
 */

#ifndef HOSTKIT_PROCESS_OUTPUT_BYTES_H
#define HOSTKIT_PROCESS_OUTPUT_BYTES_H

#include <cstddef>

namespace hkproc {

/* Translates CR LF to LF in place; returns the new length. */
size_t crLfToLf(char *data, size_t length);

} // namespace hkproc

#endif /* HOSTKIT_PROCESS_OUTPUT_BYTES_H */
