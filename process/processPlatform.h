/*
 * processPlatform.h --
 *
 *	Platform operations of the process commands: ending, listing and
 *	starting processes, and reading their output files back. Defined in
 *	process/unix/unixProcess.cpp and process/win/winProcess.cpp.
 */

#ifndef HOSTKIT_PROCESS_PLATFORM_H
#define HOSTKIT_PROCESS_PLATFORM_H

#include "core/base/wideText.h"

#include <cstdint>
#include <cstddef>
#include <vector>

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

/*
 * ---------------------------------------------------------------------------
 * Process list.
 * ---------------------------------------------------------------------------
 */

/* One listed process: what its first module (its executable image) shows. */
struct HkpProcessInfo {
    uint32_t pid;
    WideString name;		/* file name of the image, no directory */
    WideString path;		/* full path of the image */
    uint32_t threadCount;
    int32_t priority;		/* base priority on the Windows scale (8 =
				 * normal) */
};

enum HkpProcessListStatus {
    HKP_LIST_OK = 0,
    HKP_LIST_NO_SNAPSHOT,	/* the process snapshot cannot be taken (on
				 * Unix: /proc cannot be read) */
    HKP_LIST_NO_FIRST		/* the first process record cannot be read */
};

/*
 * Fills `out` with every process whose executable image can be inspected,
 * in snapshot order. Processes without an image (the idle pseudo-process
 * of id 0, kernel threads), gone, or not inspectable are left out.
 */
HkpProcessListStatus HkpListProcesses(std::vector<HkpProcessInfo> &out);

/*
 * ---------------------------------------------------------------------------
 * Running programs.
 * ---------------------------------------------------------------------------
 */

/* A started child: its id and (Windows) its process and thread handles. */
struct HkpChild {
    uint32_t pid = 0;
    void *process = nullptr;
    void *thread = nullptr;
};

/*
 * Opens (creating or truncating) the two output files for writing, starts
 * the program named by the command line hidden, with no standard input and
 * its standard output and error going to those files, and closes this
 * side's handles on the files. A file that cannot be opened leaves that
 * stream unusable for the child; it does not stop the start. Both names
 * may be the same file.
 *
 * Windows: CreateFileW + CreateProcessW with the command line as it is.
 * Unix: no shell; the command line is split into arguments by the Windows
 * rules (hkSplitCommandLine), the program is searched on PATH, standard
 * input is /dev/null; in background mode the child is detached so that
 * nobody needs to wait for it.
 *
 * Returns true when started; otherwise false with the platform error
 * number (GetLastError() or errno) in *errorCode.
 */
bool HkpStartProgram(const WideString &commandLine, const WideString &stdoutName,
	const WideString &stderrName, bool background, HkpChild *child,
	uint32_t *errorCode);

/*
 * Lets a started child go on alone: closes the handles, if any.
 */
void HkpReleaseProgram(HkpChild *child);

/*
 * Waits without time-out for a child started in waiting mode and releases
 * it. Returns 0 when the wait succeeded, the platform's failure value
 * (all bits set) otherwise. *exitCode gets the exit code, or the error
 * number of a failed exit-code request; on Unix a child ended by SIGKILL
 * reports 1 (what TerminateProcess gives on Windows), by another signal
 * 128 + the signal number.
 */
uint32_t HkpWaitProgram(HkpChild *child, uint32_t *exitCode);

/*
 * Reading a file back in binary, block by block, and removing it.
 */
typedef struct HkpReadFile HkpReadFile;
HkpReadFile *HkpOpenForReading(const WideString &name);	/* null on failure */
long long HkpFileSizeHint(HkpReadFile *file);	/* size now, or 0 if unknown */
long long HkpReadBlock(HkpReadFile *file, char *buffer, size_t size);	/* 0 at end, -1 on error */
void HkpCloseReading(HkpReadFile *file);
void HkpDeleteFile(const WideString &name);

#endif /* HOSTKIT_PROCESS_PLATFORM_H */
