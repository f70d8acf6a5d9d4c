/*
 * unixProcess.cpp --
 *
 *	POSIX definitions of the operations on running processes
 *	(process/processPlatform.h): ending a process with SIGKILL, and the
 *	process list, a walk of /proc.
 */

#include "process/processPlatform.h"
#include "process/base/procText.h"
#include "core/unix/unixText.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>
#include <dirent.h>
#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

static_assert(SCHED_FIFO == hkproc::HK_PROC_SCHED_FIFO && SCHED_RR == hkproc::HK_PROC_SCHED_RR,
	"scheduling policies as /proc shows them");

namespace {

/* Reads a small file whole with plain system calls; false on failure. */
bool
readSmallFile(const char *path, std::string &out)
{
    int fd;
    do {
	fd = open(path, O_RDONLY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
	return false;
    }
    out.clear();
    char buf[1024];
    for (;;) {
	ssize_t got = read(fd, buf, sizeof buf);
	if (got < 0 && errno == EINTR) {
	    continue;
	}
	if (got <= 0) {
	    break;
	}
	out.append(buf, static_cast<size_t>(got));
    }
    close(fd);
    return !out.empty();
}

/*
 * Whether the id is a thread of some process other than its main thread.
 * kill() takes such an id as naming the whole process; Windows keeps the
 * two kinds of id apart. Without /proc nothing can be told: false.
 */
bool
isSecondaryThread(uint32_t id)
{
    char path[64];
    snprintf(path, sizeof path, "/proc/%u/status", id);
    std::string status;
    long tgid = -1;
    if (!readSmallFile(path, status) || !hkproc::parseStatusTgid(status, &tgid)) {
	return false;
    }
    return tgid > 0 && static_cast<uint32_t>(tgid) != id;
}

} // namespace

HkpTerminateStatus
HkpTerminateProcess(uint32_t pid)
{
    /*
     * kill() takes 0 and negative values as process groups or "every
     * process we may signal": such ids name no single process here.
     */
    if (pid == 0 || pid > static_cast<uint32_t>(INT_MAX) || isSecondaryThread(pid)) {
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

/*
 * ---------------------------------------------------------------------------
 * Listing processes.
 * ---------------------------------------------------------------------------
 */

namespace {

/* The target of a symbolic link, at any length; false on failure. */
bool
readLink(const char *path, std::string &out)
{
    std::vector<char> buf(256);
    for (;;) {
	ssize_t got = readlink(path, buf.data(), buf.size());
	if (got < 0) {
	    return false;
	}
	if (static_cast<size_t>(got) < buf.size()) {
	    out.assign(buf.data(), static_cast<size_t>(got));
	    return true;
	}
	buf.resize(buf.size() * 2);
    }
}

/* One /proc entry; false when it is left out. */
bool
inspectProcess(uint32_t pid, HkpProcessInfo &info)
{
    char path[64];
    snprintf(path, sizeof path, "/proc/%u/exe", pid);
    std::string exe;
    if (!readLink(path, exe) || exe.empty() || exe[0] != '/') {
	return false;		/* kernel thread, gone, or not ours to read */
    }

    snprintf(path, sizeof path, "/proc/%u/stat", pid);
    std::string text;
    hkproc::ProcStat stat;
    if (!readSmallFile(path, text) || !hkproc::parseProcStat(text, stat)) {
	return false;
    }
    if (stat.flags & hkproc::HK_PROC_KERNEL_THREAD) {
	return false;
    }

    info.pid = pid;
    info.path = HkpNativeToWide(exe);
    info.name = HkpNativeToWide(exe.substr(exe.rfind('/') + 1));
    info.threadCount = static_cast<uint32_t>(stat.threads);
    info.priority = hkproc::windowsBasePriority(stat.nice, stat.policy);
    return true;
}

/* A /proc entry name that is a process id. */
bool
processId(const char *name, uint32_t *pid)
{
    if (*name < '1' || *name > '9') {
	return false;
    }
    char *end;
    unsigned long value = strtoul(name, &end, 10);
    if (*end != '\0' || value > UINT32_MAX) {
	return false;
    }
    *pid = static_cast<uint32_t>(value);
    return true;
}

} // namespace

HkpProcessListStatus
HkpListProcesses(std::vector<HkpProcessInfo> &out)
{
    DIR *dir = opendir("/proc");
    if (dir == nullptr) {
	return HKP_LIST_NO_SNAPSHOT;
    }
    /*
     * A failing readdir() ends the walk like its end, as a failing
     * Process32NextW does on Windows.
     */
    bool sawProcess = false;
    HkpProcessInfo info;
    while (struct dirent *entry = readdir(dir)) {
	uint32_t pid;
	if (!processId(entry->d_name, &pid)) {
	    continue;
	}
	sawProcess = true;
	if (inspectProcess(pid, info)) {
	    out.push_back(info);
	}
    }
    closedir(dir);
    /* Not one process record: /proc is not what it should be. */
    return sawProcess ? HKP_LIST_OK : HKP_LIST_NO_FIRST;
}
