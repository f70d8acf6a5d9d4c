/*
 * processPlatform.h --
 *
 *	Platform operations on running processes: ending one, and listing
 *	them. Defined in process/unix/unixProcess.cpp and
 *	process/win/winProcess.cpp.
 */

#ifndef HOSTKIT_PROCESS_PLATFORM_H
#define HOSTKIT_PROCESS_PLATFORM_H

#include "core/base/wideText.h"

#include <cstdint>
#include <vector>

/*
 * ---------------------------------------------------------------------------
 * Ending a process.
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
 * Ends the process with the given id unconditionally: on Windows with exit
 * code 1, on Unix with SIGKILL. An id that names no single process gives
 * HKP_OPEN_FAILED without ending anything: 0, and on Unix anything above
 * INT_MAX (which kill() would take as a process group) and the id of a
 * thread other than a process's main thread (which kill() would take as
 * its process); on Windows 4n+1 .. 4n+3, which the system would take as
 * 4n.
 */
HkpTerminateStatus HkpTerminateProcess(uint32_t pid);

/*
 * ---------------------------------------------------------------------------
 * Listing processes.
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

#endif /* HOSTKIT_PROCESS_PLATFORM_H */
