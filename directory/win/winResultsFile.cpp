/*
 * winResultsFile.cpp --
 *
 *	Win32 definitions of the search results file operations: the results
 *	folder "Ombri\Dialcraft" under the user's application-data folder,
 *	made with its missing parents when it is not there, and the results
 *	files in it. The results file is read as a text stream: the run-time
 *	library turns CR LF into LF, so the logical bytes left never exceed
 *	the bytes left on disk.
 */

#include "directory/resultsFilePlatform.h"

#include <windows.h>
#include <cerrno>
#include <shlobj.h>
#include <shlwapi.h>
#include <cstring>
#include <io.h>

void
HkpResultsFolder(char *path, size_t size)
{
    char folder[MAX_PATH];
    folder[0] = '\0';
    if (size == 0) {
	return;
    }
    path[0] = '\0';
    SHGetFolderPathA(nullptr, CSIDL_APPDATA | CSIDL_FLAG_CREATE, nullptr, 0, folder);
    if (!PathAppendA(folder, "Ombri\\Dialcraft")) {
	return;
    }
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(folder, &found);
    if (search == INVALID_HANDLE_VALUE) {
	SHCreateDirectoryExA(nullptr, folder, nullptr);
    } else {
	FindClose(search);
    }
    size_t len = strlen(folder);
    if (len < size) {
	memcpy(path, folder, len + 1);
    }
}

bool
HkpAppendPath(char *path, size_t size, const char *name)
{
    char joined[MAX_PATH];
    size_t len = strlen(path);
    if (len >= sizeof joined) {
	return false;
    }
    memcpy(joined, path, len + 1);
    if (!PathAppendA(joined, name) || strlen(joined) + 1 > size) {
	return false;
    }
    memcpy(path, joined, strlen(joined) + 1);
    return true;
}

HkpDeleteStatus
HkpDeleteResultsFile(const char *path)
{
    if (DeleteFileA(path)) {
	return HKP_DELETED;
    }
    DWORD error = GetLastError();
    return (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
	    ? HKP_DELETE_MISSING : HKP_DELETE_FAILED;
}

FILE *
HkpCreateResultsFile(const char *path)
{
    if (path[0] == '\0') {
	return nullptr;
    }
    return fopen(path, "w");
}

FILE *
HkpOpenResultsFile(const char *path)
{
    /* 'N': the handle is not inherited by the programs execprocess starts. */
    FILE *f = fopen(path, "rN");
    if (f == nullptr && errno == EINVAL) {
	f = fopen(path, "r");		/* a run-time library without 'N' */
    }
    return f;
}

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
