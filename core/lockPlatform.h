/*
 * lockPlatform.h --
 *
 *	The process-wide lock, defined in core/unix/unixLock.cpp and
 *	core/win/winLock.cpp.
 */

#ifndef HOSTKIT_LOCK_PLATFORM_H
#define HOSTKIT_LOCK_PLATFORM_H



/*
 * ---------------------------------------------------------------------------
 * Locks.
 * ---------------------------------------------------------------------------
 */

/*
 * A process-wide lock (a critical section on Windows, a mutex elsewhere).
 * HkpLockCreate never fails in practice; the lock is never destroyed.
 */
typedef struct HkpLock HkpLock;
HkpLock *HkpLockCreate(void);
void HkpLockEnter(HkpLock *lock);
void HkpLockLeave(HkpLock *lock);

#endif /* HOSTKIT_LOCK_PLATFORM_H */
