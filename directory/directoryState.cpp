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
    HkpLock *resultsLock;
    HkpLock *searchLock;
    uint32_t resultsCounter;
    ScrambleKey key;

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
    HkpLockEnter(state.resultsLock);
    uint32_t n = state.resultsCounter++;
    HkpLockLeave(state.resultsLock);
    return n;
}

DirectoryLock::DirectoryLock()
{
    HkpLockEnter(state.searchLock);
}

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
