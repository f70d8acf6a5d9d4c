/*
 * outputBytes.h --
 *
 *	How the bytes of a program's output files become result text: each
 *	CR LF pair becomes a single LF (a lone CR stays); every other byte is
 *	kept, and a NUL byte becomes the pair C0 80, the form in which Tcl
 *	holds U+0000 in its strings. No Tcl, no system call.
 */

#ifndef HOSTKIT_PROCESS_OUTPUT_BYTES_H
#define HOSTKIT_PROCESS_OUTPUT_BYTES_H

#include <cstddef>

namespace hkproc {

/* Translates CR LF to LF in place; returns the new length. */
size_t crLfToLf(char *data, size_t length);

/* Number of NUL bytes. */
size_t countNul(const char *data, size_t length);

/*
 * Replaces each NUL by C0 80 in place. The buffer holds `length` bytes
 * and has room for length + nulCount (nulCount from countNul).
 */
void expandNul(char *data, size_t length, size_t nulCount);

} // namespace hkproc

#endif /* HOSTKIT_PROCESS_OUTPUT_BYTES_H */
