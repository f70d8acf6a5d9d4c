/*
 * platform.h --
 *
 *	The table of platform operations that command code calls. Each
 *	operation is declared once here and defined twice: in core/win/ with
 *	the Win32 API and in core/unix/ with POSIX calls. The build picks one
 *	set. Command code stays portable and never tests the system itself.
 *
 *	Operations report a portable status; where a message needs the system's
 *	own error number, the operation saves it (GetLastError() or errno) at
 *	the moment of the failure and hands it back through an out parameter.
 *
 *	Wide text (WideString) is UTF-16. The Unix side converts it to the
 *	native UTF-8 at this boundary with Tcl's own routines.
 */

#ifndef HOSTKIT_PLATFORM_H
#define HOSTKIT_PLATFORM_H

#include "core/hostkit.h"

#include <cstdint>
#include <string>

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
 * ---------------------------------------------------------------------------
 * Text at the platform boundary.
 * ---------------------------------------------------------------------------
 */

/*
 * The native form of a wide file name or argument: UTF-8 on Unix (through
 * Tcl's conversion routines), unused on Windows where the wide text is
 * native. Needs the Tcl stubs table to be bound.
 */
std::string HkpWideToNative(const WideString &text);
WideString HkpNativeToWide(const std::string &text);

/*
 * ---------------------------------------------------------------------------
 * Processes.
 * ---------------------------------------------------------------------------
 */

enum HkpTerminateStatus {
    HKP_TERMINATED = 0,		/* the process was told to end (exit code 1 /
				 * SIGKILL) */
    HKP_OPEN_FAILED,		/* no such process, or it may not be
				 * opened/signalled */
    HKP_TERMINATE_FAILED	/* opened, but the platform refused to end it */
};

/*
 * Ends the process with the given id unconditionally: on Windows
 * OpenProcess(PROCESS_ALL_ACCESS) then TerminateProcess(exit code 1); on
 * Unix SIGKILL. Ids that the platform cannot name (0 is the caller's
 * concern; on Unix anything above INT_MAX, which kill() would take as a
 * process group) give HKP_OPEN_FAILED without any system call.
 */
HkpTerminateStatus HkpTerminateProcess(uint32_t pid);

#endif /* HOSTKIT_PLATFORM_H */
