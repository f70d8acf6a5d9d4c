/*
 * directoryState.h --
 *
 *	The process-wide state of the directory commands, built once when the
 *	module is loaded into a process (before any interpreter calls
 *	Hostkit_Init) and never torn down: the results-file counter with its
 *	lock, and the scrambling key.
 */

#ifndef HOSTKIT_DIRECTORY_STATE_H
#define HOSTKIT_DIRECTORY_STATE_H

#include "directory/base/scramble.h"

#include <cstdint>

namespace hkdir {

/*
 * The number of the next search results file (Ldap_N.txt): returns the
 * counter's value and adds one to it, under the results-file lock. The
 * first number handed out in a process is 0. The counter is the only state
 * of the package that a lock guards.
 */
uint32_t nextResultsFileNumber();

/* The scrambling key, assembled at load. */
const ScrambleKey &scrambleKey();

} // namespace hkdir

#endif /* HOSTKIT_DIRECTORY_STATE_H */
