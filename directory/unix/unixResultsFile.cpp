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
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <sys/types.h>

namespace {

/* Results files hold directory data about people: only their owner may read them. */
const mode_t PRIVATE_FOLDER_MODE = 0700;
const mode_t PRIVATE_FILE_MODE = 0600;

std::string
dataHome()
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

std::string
HkpResultsFolder()
{
    std::string folder = dataHome() + "/Ombri/Dialcraft";
    struct stat st;
    if (stat(folder.c_str(), &st) != 0) {
	makeFolders(folder);
    }
    return folder;
}

std::string
HkpJoinPath(const std::string &folder, const std::string &name)
{
    if (folder.empty() || folder.back() == '/') {
	return folder + name;
    }
    return folder + "/" + name;
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
    int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, PRIVATE_FILE_MODE);
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

/*
 * A claim is the file's descriptor with an advisory lock on it: the lock
 * tells other processes that the file is in use, and goes with the
 * process, so that the file of a process that ended can be taken over.
 */
struct HkpResultsClaim {
    int fd;
    std::string path;
};

namespace {

/* True when the path names the file open on fd. */
bool
namesFile(const std::string &path, int fd)
{
    struct stat byName, byFd;
    return stat(path.c_str(), &byName) == 0 && fstat(fd, &byFd) == 0
	    && byName.st_dev == byFd.st_dev && byName.st_ino == byFd.st_ino;
}

} // namespace

HkpClaimStatus
HkpClaimResultsFile(const std::string &path, HkpResultsClaim **claim)
{
    *claim = nullptr;
    for (int attempt = 0; attempt < 2; attempt++) {
	int fd = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW,
		PRIVATE_FILE_MODE);
	if (fd >= 0) {
	    /*
	     * Locked at once; another process that took the new file for an
	     * old one between the two steps has it now, and the name goes
	     * to whichever of the two the path still names.
	     */
	    if (flock(fd, LOCK_EX | LOCK_NB) != 0 || !namesFile(path, fd)) {
		close(fd);
		return HKP_CLAIM_IN_USE;
	    }
	    *claim = new HkpResultsClaim{fd, path};
	    return HKP_CLAIMED;
	}
	if (errno != EEXIST) {
	    return HKP_CLAIM_FAILED;
	}

	/* An older file: deleted unless a live search holds it. */
	int old = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
	if (old < 0) {
	    if (errno == ENOENT) {
		continue;	/* gone meanwhile: the name is free again */
	    }
	    return HKP_CLAIM_IN_USE;
	}
	struct stat st;
	bool stale = fstat(old, &st) == 0 && S_ISREG(st.st_mode)
		&& flock(old, LOCK_EX | LOCK_NB) == 0 && namesFile(path, old)
		&& unlink(path.c_str()) == 0;
	close(old);
	if (!stale) {
	    return HKP_CLAIM_IN_USE;
	}
    }
    return HKP_CLAIM_IN_USE;
}

/* POSIX streams store the logical bytes unchanged. */
bool
HkpResultsFileCrLf()
{
    return false;
}

FILE *
HkpReadClaimedResults(HkpResultsClaim *claim)
{
    int fd = fcntl(claim->fd, F_DUPFD_CLOEXEC, 0);
    if (fd < 0) {
	return nullptr;
    }
    /* A duplicate shares the position: the stream starts at the file's start. */
    if (lseek(fd, 0, SEEK_SET) != 0) {
	close(fd);
	return nullptr;
    }
    FILE *f = fdopen(fd, "r");
    if (f == nullptr) {
	close(fd);
    }
    return f;
}

void
HkpReleaseResultsClaim(HkpResultsClaim *claim)
{
    if (claim == nullptr) {
	return;
    }
    /* Still locked here: nobody else can have taken the name over. */
    if (namesFile(claim->path, claim->fd)) {
	unlink(claim->path.c_str());
    }
    close(claim->fd);
    delete claim;
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
