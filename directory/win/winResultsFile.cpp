/*
 * winResultsFile.cpp --
 *
 *	Win32 definitions of the search results file operations: the results
 *	folder "Ombri\Dialcraft" under the user's application-data folder,
 *	made with its missing parents when it is not there, and the results
 *	files in it. Every name goes through the wide (UTF-16) calls, so a
 *	profile folder outside the ANSI code page works; paths are UTF-8 at
 *	the interface. The results file is written as a text stream (the
 *	run-time library stores each LF as CR LF) and read as a binary one:
 *	the reader joins CR LF itself, because a text stream would end the
 *	data at a byte 0x1A, which a value may hold.
 */

#include "directory/resultsFilePlatform.h"

#include "core/win/winUtf8.h"

#include <windows.h>
#include <cerrno>
#include <fcntl.h>
#include <io.h>
#include <shlobj.h>
#include <string>

namespace {

/* Makes the folder and its missing parents. */
void
makeFolders(const std::wstring &folder)
{
    for (size_t i = 3; i <= folder.size(); i++) {
	if (i == folder.size() || folder[i] == L'\\' || folder[i] == L'/') {
	    CreateDirectoryW(folder.substr(0, i).c_str(), nullptr);
	}
    }
}

/* A stream on a handle of this module's own, or null (the handle is then closed). */
FILE *
streamOnHandle(HANDLE handle, int flags, const char *mode)
{
    int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), flags);
    if (fd < 0) {
	CloseHandle(handle);
	return nullptr;
    }
    FILE *f = _fdopen(fd, mode);
    if (f == nullptr) {
	_close(fd);
    }
    return f;
}

} // namespace

/*
 * A claim is a handle that lets others read and write the file but not
 * delete it: another process that finds the name sees it in use.
 */
struct HkpResultsClaim {
    HANDLE handle;
    std::wstring path;
};

std::string
HkpResultsFolder()
{
    wchar_t appData[MAX_PATH];
    appData[0] = L'\0';
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_APPDATA | CSIDL_FLAG_CREATE, nullptr, 0,
	    appData)) || appData[0] == L'\0') {
	return std::string();
    }
    std::wstring folder = appData;
    if (folder.back() != L'\\') {
	folder += L'\\';
    }
    folder += L"Ombri\\Dialcraft";
    if (GetFileAttributesW(folder.c_str()) == INVALID_FILE_ATTRIBUTES) {
	makeFolders(folder);
    }
    return hkWinUtf8(folder.c_str());
}

std::string
HkpJoinPath(const std::string &folder, const std::string &name)
{
    if (folder.empty() || folder.back() == '\\' || folder.back() == '/') {
	return folder + name;
    }
    return folder + "\\" + name;
}

HkpDeleteStatus
HkpDeleteResultsFile(const char *path)
{
    if (DeleteFileW(hkWinWide(path).c_str())) {
	return HKP_DELETED;
    }
    DWORD error = GetLastError();
    return (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
	    ? HKP_DELETE_MISSING : HKP_DELETE_FAILED;
}

HkpClaimStatus
HkpClaimResultsFile(const std::string &path, HkpResultsClaim **claim)
{
    *claim = nullptr;
    std::wstring wide = hkWinWide(path);
    for (int attempt = 0; attempt < 2; attempt++) {
	/* Not inheritable: no security attributes. */
	HANDLE handle = CreateFileW(wide.c_str(), GENERIC_READ,
		FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_NEW,
		FILE_ATTRIBUTE_NORMAL, nullptr);
	if (handle != INVALID_HANDLE_VALUE) {
	    *claim = new HkpResultsClaim{handle, wide};
	    return HKP_CLAIMED;
	}
	DWORD error = GetLastError();
	if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS
		&& error != ERROR_ACCESS_DENIED) {
	    return HKP_CLAIM_FAILED;
	}
	/* An older file: a live search's handle keeps it from being deleted. */
	if (!DeleteFileW(wide.c_str())) {
	    return GetLastError() == ERROR_FILE_NOT_FOUND && attempt == 0
		    ? HkpClaimResultsFile(path, claim) : HKP_CLAIM_IN_USE;
	}
    }
    return HKP_CLAIM_IN_USE;
}

bool
HkpResultsFileCrLf()
{
    return true;
}

FILE *
HkpReadClaimedResults(HkpResultsClaim *claim)
{
    HANDLE copy;
    if (!DuplicateHandle(GetCurrentProcess(), claim->handle, GetCurrentProcess(), &copy, 0,
	    FALSE, DUPLICATE_SAME_ACCESS)) {
	return nullptr;
    }
    LARGE_INTEGER start;
    start.QuadPart = 0;
    SetFilePointerEx(copy, start, nullptr, FILE_BEGIN);
    return streamOnHandle(copy, _O_RDONLY | _O_BINARY, "rb");
}

void
HkpReleaseResultsClaim(HkpResultsClaim *claim)
{
    if (claim == nullptr) {
	return;
    }
    /* The handle does not share deleting, not even with this process. */
    CloseHandle(claim->handle);
    DeleteFileW(claim->path.c_str());
    delete claim;
}

FILE *
HkpCreateResultsFile(const char *path)
{
    if (path[0] == '\0') {
	return nullptr;
    }
    HANDLE handle = CreateFileW(hkWinWide(path).c_str(), GENERIC_WRITE,
	    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
	    nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
	return nullptr;
    }
    return streamOnHandle(handle, _O_WRONLY | _O_TEXT, "w");
}

FILE *
HkpOpenResultsFile(const char *path)
{
    /* Not inheritable: no security attributes. */
    HANDLE handle = CreateFileW(hkWinWide(path).c_str(), GENERIC_READ,
	    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
	    nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
	return nullptr;
    }
    return streamOnHandle(handle, _O_RDONLY | _O_BINARY, "rb");
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
     * A text stream's position is worked out by assuming that every LF
     * came from CR LF, which overstates it in a file with bare LF line
     * ends; a position past the end is therefore not trusted, and the whole
     * size bounds what is left. (The read streams here are binary, whose
     * position is exact.)
     */
    long long pos = _ftelli64(stream);
    if (pos < 0 || pos > size.QuadPart) {
	pos = 0;
    }
    *left = static_cast<uint64_t>(size.QuadPart - pos);
    return true;
}
