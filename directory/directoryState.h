/*
 * directoryState.h --
 *
 *	The process-wide state of the directory commands, built once when the
 *	module is loaded into a process (before any interpreter calls
 *	Hostkit_Init) and never torn down: the directory lock, the results-file
 *	counter with its lock, and the scrambling key.
 */

#ifndef HOSTKIT_DIRECTORY_STATE_H
#define HOSTKIT_DIRECTORY_STATE_H

#include "directory/base/scramble.h"

#include <cstdint>

namespace hkdir {

/*
 * The number of the next search results file (Ldap_N.txt): returns the
 * counter's value and adds one to it, under the results-file lock. The
 * first number handed out in a process is 0.
 */
uint32_t nextResultsFileNumber();

/*
 * Holds the directory lock for its life: the current search, and whatever
 * a search uses of the process (the report sink, the client library's
 * global state), belong to the whole process, so the directory commands of
 * all threads take turns under it. Not recursive; never held across a call
 * back into Tcl.
 */
class DirectoryLock {
public:
    DirectoryLock();
    ~DirectoryLock();
    DirectoryLock(const DirectoryLock &) = delete;
    DirectoryLock &operator=(const DirectoryLock &) = delete;
};

/* The scrambling key, assembled at load. */
const ScrambleKey &scrambleKey();

} // namespace hkdir

#endif /* HOSTKIT_DIRECTORY_STATE_H */
