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

WideString
HkpMakeTempFile(const WideString &prefix)
{
    const char *env = getenv("TMPDIR");
    std::string dir = (env != nullptr && *env != '\0') ? env : "/tmp";
    if (dir[0] != '/') {
	/* The name handed back is a full path, valid after a change of directory. */
	char *cwd = getcwd(nullptr, 0);
	if (cwd == nullptr) {
	    return WideString();
	}
	dir = std::string(cwd) + "/" + dir;
	free(cwd);
    }
    while (dir.size() > 1 && dir.back() == '/') {
	dir.pop_back();
    }
    std::string base = dir;
    if (base.back() != '/') {
	base.push_back('/');
    }
    base += HkpWideToNative(prefix);

    /*
     * Windows starts from the clock; the process id is mixed in so that
     * processes starting together do not walk the same numbers.
     */
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    unsigned start = static_cast<unsigned>(now.tv_nsec / 1000)
	    ^ static_cast<unsigned>(now.tv_sec) ^ (static_cast<unsigned>(getpid()) << 5);
    start &= 0xFFFFu;

    for (unsigned tries = 0; tries < 0xFFFFu; ++tries) {
	unsigned number = (start + tries) % 0xFFFFu + 1;	/* 1 .. 0xFFFF */
	char unique[16];
	snprintf(unique, sizeof unique, "%X.TMP", number);
	std::string path = base + unique;
	int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
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
