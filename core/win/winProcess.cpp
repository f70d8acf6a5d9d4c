/*
 * winProcess.cpp --
 *
 *	Win32 definitions of the process operations.
 */

#include "core/platform.h"

#include <windows.h>

HkpTerminateStatus
HkpTerminateProcess(uint32_t pid)
{
    /* All process access rights (0x1F0FFF), not inheritable. */
    HANDLE process = OpenProcess(0x1F0FFF, FALSE, static_cast<DWORD>(pid));
    if (process == nullptr) {
	return HKP_OPEN_FAILED;
    }
    BOOL ended = TerminateProcess(process, 1);
    CloseHandle(process);
    return ended ? HKP_TERMINATED : HKP_TERMINATE_FAILED;
}
