/*
 * terminateProcess.cpp --
 *
 *	The terminateprocess command: ends a process named by its id.
 */

#include "core/hostkit.h"
#include "process/processPlatform.h"

#include <cstdio>
#include <cstdlib>

/*
 * terminateprocess <process id>
 *
 * The checks run in this order: word count (-10), zero id (-40), open
 * (-20), terminate (-30). The id is read like atoi: leading blanks, a sign,
 * digits up to the first other character; no digits read as 0.
 */
extern "C" int
HkTerminateProcessCmd(ClientData, Tcl_Interp *interp, int argc, const char *argv[])
{
    if (argc != 2) {
	return hkFailNarrow(interp, "Usage: terminateprocess <process id>", -10);
    }

    /*
     * strtol reads as atoi does, but saturates instead of overflowing. The
     * low 32 bits of an in-range value give the id, so -5 names
     * 4294967291; saturated values name no process.
     */
    long long value = strtoll(argv[1], nullptr, 10);
    uint32_t pid;
    if (value < -2147483648LL || value > 4294967295LL) {
	pid = 0xFFFFFFFFu;
    } else {
	pid = static_cast<uint32_t>(value);
    }
    if (value == 0) {
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

    char message[100];
    snprintf(message, sizeof message, "Process with ID %u terminated", pid);
    return hkSetNarrowResult(interp, message);
}
