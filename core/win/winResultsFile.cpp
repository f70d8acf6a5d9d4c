/*
 * winResultsFile.cpp --
 *
 *	Win32 side of the search results file operations. The results file is
 *	read as a text stream: the run-time library turns CR LF into LF, so the
 *	logical bytes left never exceed the bytes left on disk.
 */

#include "core/platform.h"

#include <windows.h>
#include <io.h>

bool
HkpStreamBytesLeft(FILE *stream, uint64_t *left)
{
    int fd = _fileno(stream);
    if (fd < 0) {
	return false;
    }
    HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    LARGE_INTEGER size;
    if (handle == INVALID_HANDLE_VALUE || GetFileType(handle) != FILE_TYPE_DISK
	    || !GetFileSizeEx(handle, &size) || size.QuadPart < 0) {
	return false;
    }

    /*
     * A text stream's position is its offset on disk. The run-time library
     * works it out by assuming that every LF came from CR LF, which
     * overstates it in a file with bare LF line ends; a position past the
     * end is therefore not trusted, and the whole size bounds what is left.
     */
    long long pos = _ftelli64(stream);
    if (pos < 0 || pos > size.QuadPart) {
	pos = 0;
    }
    *left = static_cast<uint64_t>(size.QuadPart - pos);
    return true;
}

void
HkpStreamLock(FILE *stream)
{
    _lock_file(stream);
}

void
HkpStreamUnlock(FILE *stream)
{
    _unlock_file(stream);
}
