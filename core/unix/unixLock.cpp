/*
 * unixLock.cpp --
 *
 *	POSIX definition of the process-wide lock: a mutex.
 */

#include "core/lockPlatform.h"

#include <pthread.h>

struct HkpLock {
    pthread_mutex_t mutex;
};

HkpLock *
HkpLockCreate(void)
{
    HkpLock *lock = new HkpLock;
    pthread_mutex_init(&lock->mutex, nullptr);
    return lock;
}

void
HkpLockEnter(HkpLock *lock)
{
    pthread_mutex_lock(&lock->mutex);
}

void
HkpLockLeave(HkpLock *lock)
{
    pthread_mutex_unlock(&lock->mutex);
}
