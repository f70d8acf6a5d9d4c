/*
 * unixVersion.cpp --
 *
 *	POSIX definition of the version-block operation. There are no system
 *	version functions here: the block is the file's PE version resource,
 *	found through its headers with positioned reads, so only the few parts
 *	that lead to the resource are ever read.
 */

#include "files/versionPlatform.h"
#include "core/unix/unixFd.h"
#include "core/unix/unixText.h"
#include "files/base/peVersion.h"

#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class FileSource : public hkpe::ByteSource {
public:
    explicit FileSource(int fd) : fd_(fd) {}

    bool readAt(uint64_t offset, void *buffer, size_t length) override
    {
	char *out = static_cast<char *>(buffer);
	while (length > 0) {
	    if (offset > static_cast<uint64_t>(INT64_MAX)) {
		return false;
	    }
	    ssize_t got = pread(fd_, out, length, static_cast<off_t>(offset));
	    if (got < 0 && errno == EINTR) {
		continue;
	    }
	    if (got <= 0) {
		return false;
	    }
	    out += got;
	    offset += static_cast<uint64_t>(got);
	    length -= static_cast<size_t>(got);
	}
	return true;
    }

private:
    int fd_;
};

} // namespace

bool
HkpReadVersionBlock(const WideString &fileName, std::vector<uint8_t> &block)
{
    block.clear();
    std::string native = HkpWideToNative(fileName);
    /* Not blocking: a FIFO or a device must not hold the command up. */
    UnixFd fd(open(native.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (fd.get() < 0) {
	return false;
    }
    struct stat st;
    if (fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
	return false;
    }
    FileSource source(fd.get());
    return hkpe::readVersionResource(source, block);
}
