/*
 * unixProgram.cpp --
 *
 *	POSIX definitions of the program operations
 *	(process/programPlatform.h): posix_spawnp, with the command line split
 *	back into arguments by the Windows rules, the output going to files,
 *	and waitpid. Detached programs are started through a middle process
 *	so that they are never this process's children.
 */

#include "process/programPlatform.h"
#include "process/base/commandLine.h"
#include "core/unix/unixText.h"
#include "core/unix/unixFd.h"

#include <cerrno>
#include <csignal>
#include <memory>
#include <new>
#include <string>
#include <vector>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

struct HkpProgram {
    pid_t pid;
};

namespace {

/* The native form of an output file name; empty (no file) for a NUL in it. */
std::string
outputName(const WideString &name)
{
    return hkproc::holdsNul(name) ? std::string() : HkpWideToNative(name);
}

/*
 * Opens a file for the child, above the standard descriptors (so that the
 * dup2 onto 0, 1 or 2 always happens) and closed on exec here. The open
 * never waits: a FIFO that nobody reads yet is opened for reading and
 * writing (a Linux FIFO then holds the program's output until a reader
 * comes, instead of holding this process in open()), and a device that
 * would wait for a carrier does not. The child gets a blocking descriptor.
 */
int
openForChild(const std::string &path, int flags)
{
    if (path.empty()) {
	return -1;
    }
    const int always = O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
    int savedErrno = errno;	/* a FIFO's first refusal is no failure */
    int fd;
    do {
	fd = open(path.c_str(), flags | always, 0666);
    } while (fd < 0 && errno == EINTR);
    struct stat st;
    if (fd < 0 && errno == ENXIO && (flags & O_ACCMODE) == O_WRONLY
	    && stat(path.c_str(), &st) == 0 && S_ISFIFO(st.st_mode)) {
	do {
	    fd = open(path.c_str(), (flags & ~O_ACCMODE) | O_RDWR | always, 0666);
	} while (fd < 0 && errno == EINTR);
    }
    if (fd < 0) {
	return -1;
    }
    errno = savedErrno;
    int status = fcntl(fd, F_GETFL);
    if (status == -1 || fcntl(fd, F_SETFL, status & ~O_NONBLOCK) == -1) {
	close(fd);
	return -1;
    }
    if (fd <= 2) {
	int high = fcntl(fd, F_DUPFD_CLOEXEC, 3);
	close(fd);
	fd = high;
    }
    return fd;
}

/*
 * Everything posix_spawn needs, prepared before any process is made. The
 * first failure of a preparing call is kept: a start without its
 * redirections would send the child's output to this process's streams.
 */
class SpawnSetup {
public:
    SpawnSetup() {
	actionsReady_ = keep(posix_spawn_file_actions_init(&actions_));
	attrReady_ = keep(posix_spawnattr_init(&attr_));
    }
    ~SpawnSetup() {
	if (actionsReady_) {
	    posix_spawn_file_actions_destroy(&actions_);
	}
	if (attrReady_) {
	    posix_spawnattr_destroy(&attr_);
	}
    }
    SpawnSetup(const SpawnSetup &) = delete;
    SpawnSetup &operator=(const SpawnSetup &) = delete;

    /* The error number of the first preparation that failed, or 0. */
    int error() const {
	return error_;
    }

    void redirect(int fd, int target) {
	if (!actionsReady_) {
	    return;
	}
	if (fd >= 0) {
	    keep(posix_spawn_file_actions_adddup2(&actions_, fd, target));
	} else if (fcntl(target, F_GETFD) != -1) {
	    /* No file: the stream is unusable in the child. */
	    keep(posix_spawn_file_actions_addclose(&actions_, target));
	}
    }

    /* Default signal handling and an empty mask, whatever the host set. */
    void resetSignals() {
	if (!attrReady_) {
	    return;
	}
	sigset_t all, none;
	sigfillset(&all);
	sigdelset(&all, SIGKILL);
	sigdelset(&all, SIGSTOP);
	sigemptyset(&none);
	keep(posix_spawnattr_setsigdefault(&attr_, &all));
	keep(posix_spawnattr_setsigmask(&attr_, &none));
	keep(posix_spawnattr_setflags(&attr_, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK));
    }

    /* posix_spawnp's result: 0, or the error number of a failed start. */
    int spawn(pid_t *pid, char *const argv[]) {
	return posix_spawnp(pid, argv[0], &actions_, &attr_, argv, environ);
    }

private:
    bool keep(int rc) {
	if (rc != 0 && error_ == 0) {
	    error_ = rc;
	}
	return rc == 0;
    }

    posix_spawn_file_actions_t actions_;
    posix_spawnattr_t attr_;
    bool actionsReady_ = false;
    bool attrReady_ = false;
    int error_ = 0;
};

/* What the middle process of a detached start reports. */
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

/* Reads up to `size` bytes, fewer only at the end; returns the count. */
size_t
readAll(int fd, void *data, size_t size)
{
    char *p = static_cast<char *>(data);
    size_t have = 0;
    while (have < size) {
	ssize_t got = read(fd, p + have, size - have);
	if (got < 0 && errno == EINTR) {
	    continue;
	}
	if (got <= 0) {
	    break;
	}
	have += static_cast<size_t>(got);
    }
    return have;
}

/* waitpid() that goes on after a signal; its result. */
pid_t
waitFor(pid_t pid, int *status)
{
    pid_t got;
    do {
	got = waitpid(pid, status, 0);
    } while (got < 0 && errno == EINTR);
    return got;
}

/*
 * Starts the program as a grandchild, through a middle process that ends
 * at once, so that the program is nobody's child here: it never becomes a
 * zombie that only this process could reap. The middle process reports
 * the spawn's outcome through a pipe. Returns 0 or an error number.
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
    size_t have = readAll(readEnd.get(), &report, sizeof report);
    int status;
    waitFor(middle, &status);
    if (have < sizeof report) {
	return EIO;		/* the middle process ended without a word */
    }
    *pid = report.pid;
    return report.error;
}

} // namespace

HkpProgram *
HkpStartProgram(const WideString &commandLine, const WideString &stdoutName,
	const WideString &stderrName, HkpStartMode mode, unsigned transient,
	uint32_t *errorCode)
{
    /* The files are made first, as on Windows, whether or not the start works. */
    const int writeFlags = O_WRONLY | O_CREAT | O_TRUNC;
    std::string outPath = outputName(stdoutName);
    std::string errPath = outputName(stderrName);
    UnixFd out(openForChild(outPath, writeFlags));
    UnixFd err(openForChild(errPath, writeFlags));
    UnixFd in(openForChild("/dev/null", O_RDONLY));

    /*
     * A transient file needs its name no longer: the descriptor held here
     * until the start is over, and the program's copy of it after that,
     * keep the file itself.
     */
    if ((transient & HKP_STDOUT_TRANSIENT) && !outPath.empty()) {
	unlink(outPath.c_str());
    }
    if ((transient & HKP_STDERR_TRANSIENT) && !errPath.empty()) {
	unlink(errPath.c_str());
    }

    if (hkproc::holdsNul(commandLine)) {
	*errorCode = EINVAL;
	return nullptr;
    }

    std::vector<WideString> words = hkproc::splitCommandLine(commandLine);
    if (words.empty() || words[0].empty()) {
	*errorCode = ENOENT;	/* no program named */
	return nullptr;
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

    std::unique_ptr<HkpProgram> program(new (std::nothrow) HkpProgram());
    if (!program) {
	*errorCode = ENOMEM;
	return nullptr;
    }

    SpawnSetup setup;
    setup.redirect(in.get(), 0);
    setup.redirect(out.get(), 1);
    setup.redirect(err.get(), 2);
    setup.resetSignals();
    if (setup.error() != 0) {
	*errorCode = static_cast<uint32_t>(setup.error());
	return nullptr;
    }

    pid_t pid = 0;
    int rc = mode == HKP_START_DETACHED ? spawnDetached(setup, argv.data(), &pid)
	    : setup.spawn(&pid, argv.data());
    if (rc != 0) {
	*errorCode = static_cast<uint32_t>(rc);
	return nullptr;
    }
    program->pid = pid;
    return program.release();
}

uint32_t
HkpProgramId(const HkpProgram *program)
{
    return static_cast<uint32_t>(program->pid);
}

void
HkpReleaseProgram(HkpProgram *program)
{
    /* Started detached: nothing but the id to let go of. */
    delete program;
}

bool
HkpWaitProgram(HkpProgram *program, uint32_t *exitCode, uint32_t *errorCode)
{
    int status = 0;
    pid_t got = waitFor(program->pid, &status);
    int waitError = errno;
    delete program;
    if (got < 0) {
	*errorCode = static_cast<uint32_t>(waitError);
	return false;
    }
    *exitCode = 0;
    if (WIFEXITED(status)) {
	*exitCode = static_cast<uint32_t>(WEXITSTATUS(status));
    } else if (WIFSIGNALED(status)) {
	int sig = WTERMSIG(status);
	*exitCode = (sig == SIGKILL) ? 1u : static_cast<uint32_t>(128 + sig);
    }
    return true;
}
