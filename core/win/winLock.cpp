/*
 * winLock.cpp --
 *
 *	Win32 definition of the process-wide lock: a critical section.
 */

#include "core/lockPlatform.h"

#include <windows.h>

struct HkpLock {
    CRITICAL_SECTION section;
};

HkpLock *
HkpLockCreate(void)
{
    HkpLock *lock = new HkpLock;
    InitializeCriticalSection(&lock->section);
    return lock;
}

void
HkpLockEnter(HkpLock *lock)
{
    EnterCriticalSection(&lock->section);
}

void
HkpLockLeave(HkpLock *lock)
{
    LeaveCriticalSection(&lock->section);
}
