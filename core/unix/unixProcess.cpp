/*
 * unixProcess.cpp --
 *
 *	POSIX definitions of the process operations.
 */

#include "core/platform.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <sys/types.h>

HkpTerminateStatus
HkpTerminateProcess(uint32_t pid)
{
    /*
     * kill() takes 0 and negative values as process groups or "every
     * process we may signal": such ids name no single process here.
     */
    if (pid == 0 || pid > static_cast<uint32_t>(INT_MAX)) {
	return HKP_OPEN_FAILED;
    }
    /* The "open": the process exists and we may signal it. */
    if (kill(static_cast<pid_t>(pid), 0) != 0) {
	return HKP_OPEN_FAILED;
    }
    if (kill(static_cast<pid_t>(pid), SIGKILL) != 0) {
	return HKP_TERMINATE_FAILED;
    }
    return HKP_TERMINATED;
}
