/*
 * winProcess.cpp --
 *
 *	Win32 definitions of the operations on running processes
 *	(process/processPlatform.h): ending a process with TerminateProcess,
 *	and the process list from tool-help snapshots.
 */

#include "process/processPlatform.h"
#include "core/win/winHandle.h"

#include <windows.h>
#include <tlhelp32.h>

namespace {

/*
 * Every access right to a process as systems before Vista define
 * PROCESS_ALL_ACCESS (0x1F0FFF), which every Windows grants; newer SDKs
 * give PROCESS_ALL_ACCESS a wider value that older systems refuse.
 */
const DWORD ALL_PROCESS_ACCESS = STANDARD_RIGHTS_REQUIRED | SYNCHRONIZE | 0xFFF;

/* The exit code of a process ended by terminateprocess. */
const UINT TERMINATED_EXIT_CODE = 1;

} // namespace

HkpTerminateStatus
HkpTerminateProcess(uint32_t pid)
{
    WinHandle process(OpenProcess(ALL_PROCESS_ACCESS, FALSE, static_cast<DWORD>(pid)));
    if (!process.valid()) {
	return HKP_OPEN_FAILED;
    }
    /*
     * The system ignores the two low bits of an id, so 4n+1 opens process
     * 4n: an id that no process has must not end another one.
     */
    if (GetProcessId(process.get()) != static_cast<DWORD>(pid)) {
	return HKP_OPEN_FAILED;
    }
    if (!TerminateProcess(process.get(), TERMINATED_EXIT_CODE)) {
	return HKP_TERMINATE_FAILED;
    }
    return HKP_TERMINATED;
}

/*
 * ---------------------------------------------------------------------------
 * Listing processes.
 * ---------------------------------------------------------------------------
 */

namespace {

/* Module snapshots that fail with ERROR_BAD_LENGTH are taken again this often. */
const int SNAPSHOT_ATTEMPTS = 3;

/*
 * The first module record of one process: its executable image. Id 0
 * would mean the calling process, so the caller never asks for it.
 */
bool
getFirstModule(DWORD pid, MODULEENTRY32W *module)
{
    WinHandle snapshot;
    /* The snapshot may fail with ERROR_BAD_LENGTH while the process loads
     * modules; a retry is what the platform asks for. */
    for (int attempt = 0; attempt < SNAPSHOT_ATTEMPTS; ++attempt) {
	snapshot.reset(CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, pid));
	if (snapshot.valid() || GetLastError() != ERROR_BAD_LENGTH) {
	    break;
	}
    }
    if (!snapshot.valid()) {
	return false;
    }
    /* The record's size tells the system which layout the caller has. */
    module->dwSize = sizeof *module;
    return Module32FirstW(snapshot.get(), module) != FALSE;
}

/* A fixed-size character field up to its NUL, or all of it. */
WideString
wideFrom(const wchar_t *text, size_t limit)
{
    size_t length = 0;
    while (length < limit && text[length] != 0) {
	++length;
    }
    return WideString(reinterpret_cast<const WideChar *>(text), length);
}

} // namespace

HkpProcessListStatus
HkpListProcesses(std::vector<HkpProcessInfo> &out)
{
    WinHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot.valid()) {
	return HKP_LIST_NO_SNAPSHOT;
    }
    PROCESSENTRY32W process;
    process.dwSize = sizeof process;
    if (!Process32FirstW(snapshot.get(), &process)) {
	return HKP_LIST_NO_FIRST;
    }
    MODULEENTRY32W module;
    do {
	/* Id 0 is the idle pseudo-process, which has no image of its own. */
	if (process.th32ProcessID == 0 || !getFirstModule(process.th32ProcessID, &module)) {
	    continue;
	}
	HkpProcessInfo info;
	info.pid = process.th32ProcessID;
	info.name = wideFrom(module.szModule, sizeof module.szModule / sizeof module.szModule[0]);
	info.path = wideFrom(module.szExePath, sizeof module.szExePath / sizeof module.szExePath[0]);
	info.threadCount = process.cntThreads;
	info.priority = process.pcPriClassBase;
	out.push_back(info);
    } while (Process32NextW(snapshot.get(), &process));
    return HKP_LIST_OK;
}
