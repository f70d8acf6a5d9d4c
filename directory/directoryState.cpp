/*
 * directoryState.cpp --
 *
 *	The process-wide state of the directory commands. One object with one
 *	constructor holds it, so that the run-time start-up builds it at load
 *	in a fixed order: first the locks and the results-file counter, then
 *	the scrambling key. The key lives only in memory: it is assembled here and
 *	does not stand in the module file.
 */

#include "directory/directoryState.h"

#include "core/lockPlatform.h"

namespace hkdir {

namespace {

struct DirectoryState {
    HkpLock *resultsLock;	/* guards resultsCounter */
    HkpLock *searchLock;	/* the directory lock (DirectoryLock) */
    uint32_t resultsCounter;
    ScrambleKey key;		/* not changed after load */

    DirectoryState()
    {
	resultsLock = HkpLockCreate();
	searchLock = HkpLockCreate();
	resultsCounter = 0;
	assembleScrambleKey(key);
    }
};

DirectoryState state;

} // namespace

uint32_t
nextResultsFileNumber()
{
    HkpLockHold hold(state.resultsLock);
    return state.resultsCounter++;
}

DirectoryLock::DirectoryLock()
{
    HkpLockEnter(state.searchLock);
}

/* The pair of the constructor: a DirectoryLock is itself the hold. */
DirectoryLock::~DirectoryLock()
{
    HkpLockLeave(state.searchLock);
}

const ScrambleKey &
scrambleKey()
{
    return state.key;
}

} // namespace hkdir
