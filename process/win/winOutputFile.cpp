/*
 * winOutputFile.cpp --
 *
 *	Win32 definitions of the output-file operations
 *	(process/outputFilePlatform.h): reading a program's output files back
 *	in binary (no 0x1A end, no translation) and removing them.
 */

#include "process/outputFilePlatform.h"
#include "process/base/commandLine.h"
#include "core/win/winHandle.h"

#include <new>
#include <string>
#include <windows.h>

struct HkpOutputFile {
    WinHandle handle;
};

namespace {

/*
 * The child's write handles deny reading. They are normally gone once the
 * wait has returned, but Wine may close them a moment after it signals the
 * process's end: a sharing violation is retried every SHARING_RETRY_MS
 * for up to two seconds before the file is taken as unreadable.
 */
const int SHARING_RETRIES = 200;
const DWORD SHARING_RETRY_MS = 10;

/* The most that one ReadFile call is asked for. */
const DWORD MAX_READ = 0x40000000u;

} // namespace

HkpOutputFile *
HkpOpenOutputFile(const WideString &name, HkpOutputOpenStatus *status)
{
    *status = HKP_OUTPUT_MISSING;
    if (name.empty() || hkproc::holdsNul(name)) {
	return nullptr;
    }
    std::wstring path(name.begin(), name.end());
    HANDLE h = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < SHARING_RETRIES; ++attempt) {
	h = CreateFileW(path.c_str(), GENERIC_READ,
		FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
		OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
	if (h != INVALID_HANDLE_VALUE || GetLastError() != ERROR_SHARING_VIOLATION) {
	    break;
	}
	Sleep(SHARING_RETRY_MS);
    }
    if (h == INVALID_HANDLE_VALUE) {
	return nullptr;
    }
    /* Only a file on disk is read back: a device (NUL, CON) or a pipe is not. */
    if (GetFileType(h) != FILE_TYPE_DISK) {
	CloseHandle(h);
	*status = HKP_OUTPUT_NOT_A_FILE;
	return nullptr;
    }
    HkpOutputFile *file = new (std::nothrow) HkpOutputFile();
    if (file == nullptr) {
	CloseHandle(h);
	return nullptr;
    }
    file->handle.reset(h);
    *status = HKP_OUTPUT_OPENED;
    return file;
}

bool
HkpOutputFileSize(HkpOutputFile *file, uint64_t *size)
{
    LARGE_INTEGER value;
    if (!GetFileSizeEx(file->handle.get(), &value) || value.QuadPart < 0) {
	return false;
    }
    *size = static_cast<uint64_t>(value.QuadPart);
    return true;
}

bool
HkpReadOutputFile(HkpOutputFile *file, char *buffer, size_t size, size_t *got)
{
    DWORD want = size > MAX_READ ? MAX_READ : static_cast<DWORD>(size);
    DWORD n = 0;
    if (!ReadFile(file->handle.get(), buffer, want, &n, nullptr)) {
	return false;
    }
    *got = n;
    return true;
}

void
HkpCloseOutputFile(HkpOutputFile *file)
{
    delete file;		/* closes the handle */
}

void
HkpRemoveOutputFile(const WideString &name)
{
    if (hkproc::holdsNul(name)) {
	return;
    }
    std::wstring path(name.begin(), name.end());
    DeleteFileW(path.c_str());
}
