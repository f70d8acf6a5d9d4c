/*
 * unixOutputFile.cpp --
 *
 *	POSIX definitions of the output-file operations
 *	(process/outputFilePlatform.h): reading a program's output files back
 *	with plain descriptors, and removing them.
 */

#include "process/outputFilePlatform.h"
#include "process/base/commandLine.h"
#include "core/unix/unixText.h"

#include <cerrno>
#include <new>
#include <string>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

struct HkpOutputFile {
    int fd;
};

HkpOutputFile *
HkpOpenOutputFile(const WideString &name, HkpOutputOpenStatus *status)
{
    *status = HKP_OUTPUT_MISSING;
    if (name.empty() || hkproc::holdsNul(name)) {
	return nullptr;
    }
    std::string native = HkpWideToNative(name);
    /*
     * Only a regular file is read back. The type is looked at before the
     * open, so that no device is opened a second time, and again after it,
     * in case the name changed in between; the open never waits (a FIFO
     * without a writer) and never takes a terminal as controlling one.
     */
    struct stat st;
    if (stat(native.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
	*status = HKP_OUTPUT_NOT_A_FILE;
	return nullptr;
    }
    int fd;
    do {
	fd = open(native.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
	return nullptr;
    }
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
	close(fd);
	*status = HKP_OUTPUT_NOT_A_FILE;
	return nullptr;
    }
    HkpOutputFile *file = new (std::nothrow) HkpOutputFile{fd};
    if (file == nullptr) {
	close(fd);
	return nullptr;
    }
    *status = HKP_OUTPUT_OPENED;
    return file;
}

bool
HkpOutputFileSize(HkpOutputFile *file, uint64_t *size)
{
    struct stat st;
    if (fstat(file->fd, &st) != 0 || !S_ISREG(st.st_mode)) {
	return false;
    }
    *size = static_cast<uint64_t>(st.st_size);
    return true;
}

bool
HkpReadOutputFile(HkpOutputFile *file, char *buffer, size_t size, size_t *got)
{
    ssize_t n;
    do {
	n = read(file->fd, buffer, size);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
	return false;
    }
    *got = static_cast<size_t>(n);
    return true;
}

void
HkpCloseOutputFile(HkpOutputFile *file)
{
    close(file->fd);
    delete file;
}

void
HkpRemoveOutputFile(const WideString &name)
{
    if (hkproc::holdsNul(name)) {
	return;
    }
    unlink(HkpWideToNative(name).c_str());
}
