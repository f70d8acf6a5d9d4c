/*
 * lockPlatform.h --
 *
 *	The process-wide lock, defined in core/unix/unixLock.cpp and
 *	core/win/winLock.cpp: the one kind of lock of the module
 *	(doc/DESIGN.md, "State and locks").
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

/*
 * Holds a lock for its own life, so that no way out of a block leaves the
 * lock held: how code takes an HkpLock.
 */
class HkpLockHold {
public:
    explicit HkpLockHold(HkpLock *lock) : lock_(lock) { HkpLockEnter(lock_); }
    ~HkpLockHold() { HkpLockLeave(lock_); }
    HkpLockHold(const HkpLockHold &) = delete;
    HkpLockHold &operator=(const HkpLockHold &) = delete;

private:
    HkpLock *lock_;
};

#endif /* HOSTKIT_LOCK_PLATFORM_H */
