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
 * The checks run in this order: word count (-10), an id word that reads as
 * 0 (-40), open (-20), terminate (-30). The id word is read like atoi
 * (hkproc::readProcessIdWord).
 */
extern "C" int
HkTerminateProcessCmd(ClientData, Tcl_Interp *interp, int argc, const char *argv[])
{
    if (argc != 2) {
	return hkFailNarrow(interp, "Usage: terminateprocess <process id>", -10);
    }

    uint32_t pid;
    if (!hkproc::readProcessIdWord(argv[1], &pid)) {
	return hkFailNarrow(interp, "Invalid process ID", -40);
    }

    switch (HkpTerminateProcess(pid)) {
    case HKP_OPEN_FAILED:
	return hkFailNarrow(interp, "Could not open process", -20);
    case HKP_TERMINATE_FAILED:
	return hkFailNarrow(interp, "Could not terminate process", -30);
    case HKP_TERMINATED:
	break;
    }

    char message[64];
    snprintf(message, sizeof message, "Process with ID %u terminated", pid);
    return hkSetNarrowResult(interp, message);
}
