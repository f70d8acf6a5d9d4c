/*
 * unixCore.cpp --
 *
 *	POSIX definitions of the general platform operations: the process-wide
 *	lock and the conversion of wide text to and from the native UTF-8.
 */

#include "core/platform.h"

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

std::string
HkpWideToNative(const WideString &text)
{
    Tcl_DString ds;
    Tcl_DStringInit(&ds);
    Tcl_UniCharToUtfDString(text.data(), static_cast<int>(text.size()), &ds);
    std::string out(Tcl_DStringValue(&ds), static_cast<size_t>(Tcl_DStringLength(&ds)));
    Tcl_DStringFree(&ds);
    return out;
}

WideString
HkpNativeToWide(const std::string &text)
{
    Tcl_DString ds;
    Tcl_DStringInit(&ds);
    Tcl_UtfToUniCharDString(text.data(), static_cast<int>(text.size()), &ds);
    WideString out(reinterpret_cast<const Tcl_UniChar *>(Tcl_DStringValue(&ds)),
	    static_cast<size_t>(Tcl_DStringLength(&ds)) / sizeof(Tcl_UniChar));
    Tcl_DStringFree(&ds);
    return out;
}
