/*
 * unixCore.cpp --
 *
 *	POSIX definitions of the general platform operations: the process-wide
 *	lock and the conversion of wide text to and from the native form.
 *
 *	Native text is what Tcl itself hands the system for file names,
 *	program arguments and the like: its internal UTF-8 converted to the
 *	system encoding. So a name that Tcl's own file commands reach is the
 *	same name here, whatever the locale, and a character outside the BMP
 *	becomes one four-byte UTF-8 sequence rather than two encoded halves.
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
    Tcl_DString utf, ds;
    Tcl_DStringInit(&utf);
    Tcl_UniCharToUtfDString(text.data(), static_cast<int>(text.size()), &utf);
    Tcl_UtfToExternalDString(nullptr, Tcl_DStringValue(&utf), Tcl_DStringLength(&utf), &ds);
    std::string out(Tcl_DStringValue(&ds), static_cast<size_t>(Tcl_DStringLength(&ds)));
    Tcl_DStringFree(&ds);
    Tcl_DStringFree(&utf);
    return out;
}

WideString
HkpNativeToWide(const std::string &text)
{
    Tcl_DString utf, ds;
    Tcl_ExternalToUtfDString(nullptr, text.data(), static_cast<int>(text.size()), &utf);
    Tcl_DStringInit(&ds);
    Tcl_UtfToUniCharDString(Tcl_DStringValue(&utf), Tcl_DStringLength(&utf), &ds);
    WideString out(reinterpret_cast<const Tcl_UniChar *>(Tcl_DStringValue(&ds)),
	    static_cast<size_t>(Tcl_DStringLength(&ds)) / sizeof(Tcl_UniChar));
    Tcl_DStringFree(&ds);
    Tcl_DStringFree(&utf);
    return out;
}
