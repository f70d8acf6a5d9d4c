/*
 * unixResultsFile.cpp --
 *
 *	POSIX side of the search results file operations. Streams do no line
 *	end translation here, so the stream position counts the same bytes as
 *	the file size.
 */

#include "core/platform.h"

#include <sys/stat.h>
#include <sys/types.h>

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

void
HkpStreamLock(FILE *stream)
{
    flockfile(stream);
}

void
HkpStreamUnlock(FILE *stream)
{
    funlockfile(stream);
}
