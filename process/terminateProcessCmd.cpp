/*
 * terminateProcessCmd.cpp --
 *
 *	The terminateprocess command: ends a process named by its id.
 */

#include "core/hostkit.h"
#include "process/processPlatform.h"
#include "process/base/processId.h"

#include <cstdio>

/*
 * terminateprocess <process id>
 *
 * The checks run in this order: word count, an id word that reads as 0,
 * open, terminate. The id word is read like atoi
 * (hkproc::readProcessIdWord).
 */
extern "C" int
HkTerminateProcessCmd(ClientData, Tcl_Interp *interp, int argc, const char *argv[])
{
    if (argc != 2) {
	return hkFail(interp, HkFailure::TERMINATE_USAGE);
    }

    uint32_t pid;
    if (!hkproc::readProcessIdWord(argv[1], &pid)) {
	return hkFail(interp, HkFailure::TERMINATE_PROCESS_ID);
    }

    switch (HkpTerminateProcess(pid)) {
    case HKP_OPEN_FAILED:
	return hkFail(interp, HkFailure::TERMINATE_OPEN);
    case HKP_TERMINATE_FAILED:
	return hkFail(interp, HkFailure::TERMINATE_TERMINATE);
    case HKP_TERMINATED:
	break;
    }

    char message[64];
    snprintf(message, sizeof message, "Process with ID %u terminated", pid);
    return hkSetNarrowResult(interp, message);
}
