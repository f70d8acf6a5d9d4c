/*
 * unixTempFile.cpp --
 *
 *	POSIX definition of the temporary-file operation: a new file
 *	<dir>/<prefix><hex>.TMP in $TMPDIR or /tmp, made with O_CREAT|O_EXCL
 *	so that no two callers, in this process or another, get one name.
 */

#include "files/tempFilePlatform.h"
#include "core/unix/unixText.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>

namespace {

/* The unique numbers, as Windows' GetTempFileNameW has them: 1 .. 0xFFFF. */
const unsigned UNIQUE_NUMBERS = 0xFFFF;

const char DEFAULT_TEMP_DIR[] = "/tmp";
const mode_t TEMP_FILE_MODE = 0600;

/* The temporary directory as a full path, without a trailing slash; empty when unknown. */
std::string
tempDirectory()
{
    const char *env = getenv("TMPDIR");
    std::string dir = (env != nullptr && *env != '\0') ? env : DEFAULT_TEMP_DIR;
    if (dir[0] != '/') {
	/* The name handed back is a full path, valid after a change of directory. */
	char *cwd = getcwd(nullptr, 0);
	if (cwd == nullptr) {
	    return std::string();
	}
	dir = std::string(cwd) + "/" + dir;
	free(cwd);
    }
    while (dir.size() > 1 && dir.back() == '/') {
	dir.pop_back();
    }
    return dir;
}

/*
 * Where the walk through the unique numbers starts, counted from 0.
 * Windows starts from the clock; the process id is mixed in so that
 * processes starting together do not walk the same numbers.
 */
unsigned
walkStart()
{
    struct timespec now = {};
    if (clock_gettime(CLOCK_REALTIME, &now) != 0) {
	now.tv_sec = time(nullptr);
    }
    unsigned mixed = static_cast<unsigned>(now.tv_nsec / 1000) ^ static_cast<unsigned>(now.tv_sec)
	    ^ (static_cast<unsigned>(getpid()) << 5);
    return mixed % UNIQUE_NUMBERS;
}

} // namespace

WideString
HkpMakeTempFile(const WideString &prefix)
{
    std::string dir = tempDirectory();
    if (dir.empty()) {
	return WideString();
    }
    std::string base = dir;
    if (base.back() != '/') {
	base.push_back('/');
    }
    base += HkpWideToNative(prefix);

    unsigned start = walkStart();
    for (unsigned tries = 0; tries < UNIQUE_NUMBERS; ++tries) {
	unsigned number = (start + tries) % UNIQUE_NUMBERS + 1;
	char unique[sizeof "FFFF.TMP"];
	snprintf(unique, sizeof unique, "%X.TMP", number);
	std::string path = base + unique;
	int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, TEMP_FILE_MODE);
	if (fd >= 0) {
	    close(fd);
	    return HkpNativeToWide(path);
	}
	if (errno != EEXIST && errno != EINTR) {
	    break;		/* no rights, no directory, name too long */
	}
    }
    return WideString();
}
