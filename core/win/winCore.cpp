/*
 * winCore.cpp --
 *
 *	Win32 definitions of the general platform operations: the process-wide
 *	lock, a critical section.
 */

#include "core/platform.h"

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
