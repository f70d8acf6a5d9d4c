/*
 * resultsCounter.cpp --
 *
 *	The results-file lock and counter.
 */

#include "directory/resultsCounter.h"
#include "core/lockPlatform.h"
#include "core/processState.h"

namespace {
HkpLock *resultsLock = nullptr;
uint32_t resultsCounter = 0;
} // namespace

void
hkInitResultsFileState(void)
{
    resultsLock = HkpLockCreate();
    resultsCounter = 0;
}

uint32_t
nextResultsFileNumber(void)
{
    HkpLockEnter(resultsLock);
    uint32_t n = resultsCounter++;
    HkpLockLeave(resultsLock);
    return n;
}
