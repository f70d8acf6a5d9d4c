/*
 * unixResultsFile.cpp --
 *
 *	POSIX definitions of the search results file operations. The results
 *	folder follows the XDG base directories: $XDG_DATA_HOME (an absolute
 *	path) or ~/.local/share, then Ombri/Dialcraft. Results files hold
 *	directory data about people, so the folders made here are 0700 and the
 *	files 0600. Streams do no line end translation here, so the stream
 *	position counts the same bytes as the file size.
 */

#include "directory/resultsFilePlatform.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <pwd.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <sys/types.h>

namespace {

/* Results files hold directory data about people: only their owner may read them. */
const mode_t PRIVATE_FOLDER_MODE = 0700;
const mode_t PRIVATE_FILE_MODE = 0600;

std::string
dataHome(void)
{
    const char *xdg = getenv("XDG_DATA_HOME");
    if (xdg != nullptr && xdg[0] == '/') {
	return xdg;
    }
    const char *home = getenv("HOME");
    std::string h;
    if (home != nullptr && home[0] != '\0') {
	h = home;
    } else {
	struct passwd *pw = getpwuid(getuid());
	if (pw != nullptr && pw->pw_dir != nullptr) {
	    h = pw->pw_dir;
	}
    }
    return h + "/.local/share";
}

/* mkdir -p, new folders 0700. */
void
makeFolders(const std::string &path)
{
    for (size_t i = 1; i <= path.size(); i++) {
	if (i == path.size() || path[i] == '/') {
	    std::string part = path.substr(0, i);
	    if (mkdir(part.c_str(), PRIVATE_FOLDER_MODE) != 0 && errno != EEXIST) {
		return;
	    }
	}
    }
}

} // namespace

void
HkpResultsFolder(char *path, size_t size)
{
    std::string folder = dataHome() + "/Ombri/Dialcraft";
    if (size == 0) {
	return;
    }
    path[0] = '\0';
    struct stat st;
    if (stat(folder.c_str(), &st) != 0) {
	makeFolders(folder);
    }
    if (folder.size() < size) {
	memcpy(path, folder.c_str(), folder.size() + 1);
    }
}

bool
HkpAppendPath(char *path, size_t size, const char *name)
{
    size_t len = strlen(path);
    bool slash = len > 0 && path[len - 1] != '/';
    size_t need = len + (slash ? 1 : 0) + strlen(name) + 1;
    if (need > size) {
	return false;
    }
    if (slash) {
	path[len++] = '/';
    }
    memcpy(path + len, name, strlen(name) + 1);
    return true;
}

HkpDeleteStatus
HkpDeleteResultsFile(const char *path)
{
    if (unlink(path) == 0) {
	return HKP_DELETED;
    }
    return (errno == ENOENT || errno == ENOTDIR) ? HKP_DELETE_MISSING : HKP_DELETE_FAILED;
}

FILE *
HkpCreateResultsFile(const char *path)
{
    if (path[0] == '\0') {
	errno = ENOENT;
	return nullptr;
    }
    int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, PRIVATE_FILE_MODE);
    if (fd < 0) {
	return nullptr;
    }
    /* An older file of this name may have had a looser mode. */
    fchmod(fd, PRIVATE_FILE_MODE);
    FILE *f = fdopen(fd, "w");
    if (f == nullptr) {
	close(fd);
    }
    return f;
}

FILE *
HkpOpenResultsFile(const char *path)
{
    return fopen(path, "re");
}

bool
HkpStreamBytesLeft(FILE *stream, uint64_t *left)
{
    int fd = fileno(stream);
    struct stat st;
    if (fd < 0 || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
	return false;
    }
    uint64_t size = static_cast<uint64_t>(st.st_size);
    off_t pos = ftello(stream);
    /* Without a position the whole size still bounds what is left. */
    if (pos < 0 || static_cast<uint64_t>(pos) > size) {
	pos = 0;
    }
    *left = size - static_cast<uint64_t>(pos);
    return true;
}
