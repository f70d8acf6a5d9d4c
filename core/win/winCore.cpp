/*
 * winCore.cpp --
 *
 *	Win32 definitions of the general platform operations: the process-wide
 *	lock (a critical section) and wide text, which is native here.
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

/*
 * Windows takes UTF-16 directly; these serve only code that needs bytes
 * (the Tcl-side UTF-8 form).
 */
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
