/*
 * unixProcess.cpp --
 *
 *	POSIX definitions of the process operations: ending a process, the
 *	process list (a walk of /proc), and running programs (posix_spawnp,
 *	with the command line split back into arguments by the Windows rules).
 */

#include "process/processPlatform.h"
#include "core/unix/unixText.h"
#include "core/unix/unixFd.h"
#include "process/execProcess.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

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
    FILE *f = fopen(path, "re");
    if (f == nullptr) {
	return false;
    }
    char line[256];
    long tgid = -1;
    while (fgets(line, sizeof line, f) != nullptr) {
	if (strncmp(line, "Tgid:", 5) == 0) {
	    tgid = strtol(line + 5, nullptr, 10);
	    break;
	}
    }
    fclose(f);
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
 * Process list.
 * ---------------------------------------------------------------------------
 */

namespace {

/* PF_KTHREAD in the flags field of /proc/PID/stat. */
const unsigned long KERNEL_THREAD_FLAG = 0x00200000UL;

/* Reads a small file whole with plain system calls; false on failure. */
bool
readSmallFile(const char *path, std::string &out)
{
    int fd = open(path, O_RDONLY | O_CLOEXEC);
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

/*
 * Nice value and scheduling policy on the Windows base-priority scale:
 * realtime policies 24 (realtime class), nice -20..-15 13 (high),
 * -14..-5 10 (above normal), -4..4 8 (normal), 5..14 6 (below normal),
 * 15..19 4 (idle).
 */
int32_t
windowsPriority(long nice, long policy)
{
    if (policy == 1 || policy == 2) {	/* SCHED_FIFO, SCHED_RR */
	return 24;
    }
    if (nice <= -15) {
	return 13;
    }
    if (nice <= -5) {
	return 10;
    }
    if (nice <= 4) {
	return 8;
    }
    if (nice <= 14) {
	return 6;
    }
    return 4;
}

/*
 * Fields of /proc/PID/stat after the command name, which is in
 * parentheses and may itself hold blanks and parentheses. Field 3 (state)
 * is fields[0].
 */
bool
statFields(const std::string &stat, std::vector<const char *> &fields, std::string &storage)
{
    size_t close = stat.rfind(')');
    if (close == std::string::npos) {
	return false;
    }
    storage = stat.substr(close + 1);
    fields.clear();
    char *save = nullptr;
    for (char *tok = strtok_r(&storage[0], " \n", &save); tok != nullptr;
	    tok = strtok_r(nullptr, " \n", &save)) {
	fields.push_back(tok);
    }
    return fields.size() >= 18;	/* up to num_threads (field 20) */
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
    std::string stat, storage;
    std::vector<const char *> f;
    if (!readSmallFile(path, stat) || !statFields(stat, f, storage)) {
	return false;
    }
    unsigned long flags = strtoul(f[6], nullptr, 10);	/* field 9 */
    if (flags & KERNEL_THREAD_FLAG) {
	return false;
    }
    long nice = strtol(f[16], nullptr, 10);			/* field 19 */
    unsigned long threads = strtoul(f[17], nullptr, 10);	/* field 20 */
    long policy = f.size() > 38 ? strtol(f[38], nullptr, 10) : 0;	/* field 41 */

    info.pid = pid;
    info.path = HkpNativeToWide(exe);
    size_t slash = exe.rfind('/');
    info.name = HkpNativeToWide(exe.substr(slash + 1));
    info.threadCount = static_cast<uint32_t>(threads);
    info.priority = windowsPriority(nice, policy);
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
    bool first = true;
    HkpProcessInfo info;
    for (;;) {
	errno = 0;
	struct dirent *entry = readdir(dir);
	if (entry == nullptr) {
	    break;
	}
	uint32_t pid;
	if (!processId(entry->d_name, &pid)) {
	    continue;
	}
	first = false;
	if (inspectProcess(pid, info)) {
	    out.push_back(info);
	}
    }
    closedir(dir);
    /* Not one process record: /proc is not what it should be. */
    return first ? HKP_LIST_NO_FIRST : HKP_LIST_OK;
}

/*
 * ---------------------------------------------------------------------------
 * Running programs.
 * ---------------------------------------------------------------------------
 */

namespace {

/*
 * Names and command lines with a NUL in them are refused, as on Windows,
 * where the system would take them cut at the NUL.
 */
bool
holdsNul(const WideString &text)
{
    return text.find(static_cast<WideChar>(0)) != WideString::npos;
}

/* The native form of an output file name; empty (no file) for a NUL in it. */
std::string
outputName(const WideString &name)
{
    return holdsNul(name) ? std::string() : HkpWideToNative(name);
}

/*
 * Opens a file for the child, above the standard descriptors (so that the
 * dup2 onto 0, 1 or 2 always happens) and closed on exec here.
 */
int
openForChild(const std::string &path, int flags)
{
    if (path.empty()) {
	return -1;
    }
    int fd;
    do {
	fd = open(path.c_str(), flags | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd >= 0 && fd <= 2) {
	int high = fcntl(fd, F_DUPFD_CLOEXEC, 3);
	close(fd);
	fd = high;
    }
    return fd;
}

/* Everything posix_spawn needs, prepared before any process is made. */
class SpawnSetup {
public:
    SpawnSetup() {
	posix_spawn_file_actions_init(&actions_);
	posix_spawnattr_init(&attr_);
    }
    ~SpawnSetup() {
	posix_spawn_file_actions_destroy(&actions_);
	posix_spawnattr_destroy(&attr_);
    }
    SpawnSetup(const SpawnSetup &) = delete;
    SpawnSetup &operator=(const SpawnSetup &) = delete;

    void redirect(int fd, int target) {
	if (fd >= 0) {
	    posix_spawn_file_actions_adddup2(&actions_, fd, target);
	} else if (fcntl(target, F_GETFD) != -1) {
	    /* No file: the stream is unusable in the child. */
	    posix_spawn_file_actions_addclose(&actions_, target);
	}
    }

    /* Default signal handling and an empty mask, whatever the host set. */
    void resetSignals() {
	sigset_t all, none;
	sigfillset(&all);
	sigdelset(&all, SIGKILL);
	sigdelset(&all, SIGSTOP);
	sigemptyset(&none);
	posix_spawnattr_setsigdefault(&attr_, &all);
	posix_spawnattr_setsigmask(&attr_, &none);
	posix_spawnattr_setflags(&attr_, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    }

    int spawn(pid_t *pid, char *const argv[]) {
	return posix_spawnp(pid, argv[0], &actions_, &attr_, argv, environ);
    }

private:
    posix_spawn_file_actions_t actions_;
    posix_spawnattr_t attr_;
};

/* What the middle process of a background start reports. */
struct StartReport {
    int error;
    pid_t pid;
};

bool
writeAll(int fd, const void *data, size_t size)
{
    const char *p = static_cast<const char *>(data);
    while (size > 0) {
	ssize_t put = write(fd, p, size);
	if (put < 0 && errno == EINTR) {
	    continue;
	}
	if (put <= 0) {
	    return false;
	}
	p += put;
	size -= static_cast<size_t>(put);
    }
    return true;
}

/*
 * Starts the program as a grandchild, through a middle process that ends
 * at once, so that the program is nobody's child here: it never becomes a
 * zombie that only this process could reap. The middle process reports
 * the spawn's outcome through a pipe.
 */
int
spawnDetached(SpawnSetup &setup, char *const argv[], pid_t *pid)
{
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
	return errno;
    }
    UnixFd readEnd(fds[0]);
    UnixFd writeEnd(fds[1]);

    pid_t middle = fork();
    if (middle < 0) {
	return errno;
    }
    if (middle == 0) {
	StartReport report;
	report.pid = 0;
	report.error = setup.spawn(&report.pid, argv);
	_exit(writeAll(fds[1], &report, sizeof report) ? 0 : 1);
    }
    writeEnd.reset();

    StartReport report = {EIO, 0};
    size_t have = 0;
    char *p = reinterpret_cast<char *>(&report);
    while (have < sizeof report) {
	ssize_t got = read(readEnd.get(), p + have, sizeof report - have);
	if (got < 0 && errno == EINTR) {
	    continue;
	}
	if (got <= 0) {
	    break;
	}
	have += static_cast<size_t>(got);
    }
    int status;
    while (waitpid(middle, &status, 0) < 0 && errno == EINTR) {
    }
    if (have < sizeof report) {
	return EIO;
    }
    *pid = report.pid;
    return report.error;
}

} // namespace

bool
HkpStartProgram(const WideString &commandLine, const WideString &stdoutName,
	const WideString &stderrName, bool background, HkpChild *child,
	uint32_t *errorCode)
{
    /* The files are made first, as on Windows, whether or not the start works. */
    const int writeFlags = O_WRONLY | O_CREAT | O_TRUNC;
    UnixFd out(openForChild(outputName(stdoutName), writeFlags));
    UnixFd err(openForChild(outputName(stderrName), writeFlags));
    UnixFd in(openForChild("/dev/null", O_RDONLY));

    if (holdsNul(commandLine)) {
	*errorCode = EINVAL;
	return false;
    }

    std::vector<WideString> words = hkSplitCommandLine(commandLine);
    if (words.empty() || words[0].empty()) {
	*errorCode = ENOENT;	/* no program named */
	return false;
    }
    std::vector<std::string> args;
    args.reserve(words.size());
    for (const WideString &w : words) {
	args.push_back(HkpWideToNative(w));
    }
    std::vector<char *> argv;
    for (std::string &a : args) {
	argv.push_back(&a[0]);
    }
    argv.push_back(nullptr);

    SpawnSetup setup;
    setup.redirect(in.get(), 0);
    setup.redirect(out.get(), 1);
    setup.redirect(err.get(), 2);
    setup.resetSignals();

    pid_t pid = 0;
    int rc = background ? spawnDetached(setup, argv.data(), &pid)
	    : setup.spawn(&pid, argv.data());
    if (rc != 0) {
	*errorCode = static_cast<uint32_t>(rc);
	return false;
    }
    child->pid = static_cast<uint32_t>(pid);
    return true;
}

void
HkpReleaseProgram(HkpChild *child)
{
    /* Started detached: nothing to hold. */
    child->pid = 0;
}

uint32_t
HkpWaitProgram(HkpChild *child, uint32_t *exitCode)
{
    int status = 0;
    pid_t got;
    do {
	got = waitpid(static_cast<pid_t>(child->pid), &status, 0);
    } while (got < 0 && errno == EINTR);
    child->pid = 0;
    *exitCode = 0;
    if (got < 0) {
	*exitCode = static_cast<uint32_t>(errno);
	return 0xFFFFFFFFu;
    }
    if (WIFEXITED(status)) {
	*exitCode = static_cast<uint32_t>(WEXITSTATUS(status));
    } else if (WIFSIGNALED(status)) {
	int sig = WTERMSIG(status);
	*exitCode = (sig == SIGKILL) ? 1u : static_cast<uint32_t>(128 + sig);
    }
    return 0;
}

/*
 * ---------------------------------------------------------------------------
 * Reading files back.
 * ---------------------------------------------------------------------------
 */

struct HkpReadFile {
    int fd;
};

HkpReadFile *
HkpOpenForReading(const WideString &name)
{
    if (name.empty() || holdsNul(name)) {
	return nullptr;
    }
    int fd;
    do {
	fd = open(HkpWideToNative(name).c_str(), O_RDONLY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
	return nullptr;
    }
    return new HkpReadFile{fd};
}

long long
HkpFileSizeHint(HkpReadFile *file)
{
    struct stat st;
    if (fstat(file->fd, &st) != 0 || !S_ISREG(st.st_mode)) {
	return 0;
    }
    return static_cast<long long>(st.st_size);
}

long long
HkpReadBlock(HkpReadFile *file, char *buffer, size_t size)
{
    ssize_t got;
    do {
	got = read(file->fd, buffer, size);
    } while (got < 0 && errno == EINTR);
    return got;
}

void
HkpCloseReading(HkpReadFile *file)
{
    close(file->fd);
    delete file;
}

void
HkpDeleteFile(const WideString &name)
{
    if (holdsNul(name)) {
	return;
    }
    unlink(HkpWideToNative(name).c_str());
}
