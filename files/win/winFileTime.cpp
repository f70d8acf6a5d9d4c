/*
 * winFileTime.cpp --
 *
 *	Win32 definition of the file-time operation.
 *
 *	TzSpecificLocalTimeToSystemTime converts with the rules of the date
 *	itself (LocalFileTimeToFileTime would use the offset in force now);
 *	SystemTimeToFileTime then refuses a UTC time before 1601.
 */

#include "files/fileTimePlatform.h"
#include "core/win/winHandle.h"

#include <windows.h>

namespace {

/* The UTC file time of a local time; false when it has none. */
bool
localToUtcFileTime(const hkfiles::LocalTime &local, FILETIME *utcFileTime)
{
    SYSTEMTIME asked = {};
    asked.wYear = local.year;
    asked.wMonth = local.month;
    asked.wDay = local.day;
    asked.wHour = local.hour;
    asked.wMinute = local.minute;
    asked.wSecond = local.second;
    SYSTEMTIME utc;
    return TzSpecificLocalTimeToSystemTime(nullptr, &asked, &utc)
	    && SystemTimeToFileTime(&utc, utcFileTime);
}

} // namespace

HkpSetMtimeStatus
HkpSetFileMtime(const WideString &fileName, const hkfiles::LocalTime &localTime, int *errorNumber)
{
    FILETIME lastWrite;
    if (!localToUtcFileTime(localTime, &lastWrite)) {
	return HKP_MTIME_INVALID_TIME;
    }

    /*
     * Windows refuses write access to a read-only file; Wine run by root
     * would not (the attribute is only a missing write bit there), so the
     * attribute is checked first, with the number Windows gives.
     */
    LPCWSTR name = reinterpret_cast<LPCWSTR>(fileName.c_str());
    DWORD attributes = GetFileAttributesW(name);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0
	    && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
	*errorNumber = ERROR_ACCESS_DENIED;
	return HKP_MTIME_OPEN_FAILED;
    }
    WinHandle file(CreateFileW(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
	    nullptr));
    if (!file.valid()) {
	*errorNumber = static_cast<int>(GetLastError());
	return HKP_MTIME_OPEN_FAILED;
    }
    /*
     * Only a file on disk: a device (NUL, CON, COM1) or a pipe is refused
     * as a directory is. Wine marks the file accessed when asked for its
     * type, so the access time is taken first and set again as it was.
     */
    FILE_BASIC_INFO before;
    bool known = GetFileInformationByHandleEx(file.get(), FileBasicInfo, &before, sizeof before);
    if (GetFileType(file.get()) != FILE_TYPE_DISK) {
	*errorNumber = ERROR_ACCESS_DENIED;
	return HKP_MTIME_OPEN_FAILED;
    }
    FILETIME lastAccess;
    lastAccess.dwLowDateTime = static_cast<DWORD>(before.LastAccessTime.QuadPart);
    lastAccess.dwHighDateTime = static_cast<DWORD>(before.LastAccessTime.QuadPart >> 32);
    if (!SetFileTime(file.get(), nullptr, known ? &lastAccess : nullptr, &lastWrite)) {
	*errorNumber = static_cast<int>(GetLastError());
	return HKP_MTIME_SET_FAILED;
    }
    return HKP_MTIME_SET;
}
