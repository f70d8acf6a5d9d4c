/*
 * processId.h --
 *
 *	How terminateprocess reads its process id word. No Tcl, no system
 *	call.
 */

#ifndef HOSTKIT_PROCESS_PROCESS_ID_H
#define HOSTKIT_PROCESS_PROCESS_ID_H

#include <cstdint>

namespace hkproc {

/* The id that a word outside the 32-bit range stands for: no process. */
const uint32_t HK_NO_PROCESS_ID = 0xFFFFFFFFu;

/*
 * Reads the word as C's atoi does: leading blanks, an optional sign,
 * decimal digits up to the first other character; no digits read as 0.
 * Returns false when the word reads as 0 (no process named). Otherwise
 * *pid gets the low 32 bits of the value, so -5 names 4294967291; a value
 * below -2^31 or above 2^32 - 1 (which atoi cannot hold) names
 * HK_NO_PROCESS_ID.
 */
bool readProcessIdWord(const char *word, uint32_t *pid);

} // namespace hkproc

#endif /* HOSTKIT_PROCESS_PROCESS_ID_H */
