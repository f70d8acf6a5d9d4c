/*
 * winFileTime.cpp --
 *
 *	Win32 definitions of the file-time operations.
 */

#include "files/fileTimePlatform.h"
#include "core/win/winHandle.h"

#include <windows.h>

/*
 * SystemTimeToFileTime checks the fields; TzSpecificLocalTimeToSystemTime
 * then converts with the rules of the date itself (LocalFileTimeToFileTime
 * would use the offset in force now).
 */
bool
HkpLocalTimeToFileTime(const HkpSystemTime &local, uint64_t *utcFileTime)
{
    SYSTEMTIME asked;
    asked.wYear = local.year;
    asked.wMonth = local.month;
    asked.wDayOfWeek = local.dayOfWeek;
    asked.wDay = local.day;
    asked.wHour = local.hour;
    asked.wMinute = local.minute;
    asked.wSecond = local.second;
    asked.wMilliseconds = local.milliseconds;

    FILETIME localTime;
    if (!SystemTimeToFileTime(&asked, &localTime)) {
	return false;
    }
    SYSTEMTIME utc;
    if (!TzSpecificLocalTimeToSystemTime(nullptr, &asked, &utc)) {
	return false;
    }
    FILETIME utcTime;
    if (!SystemTimeToFileTime(&utc, &utcTime)) {
	return false;
    }
    *utcFileTime = (static_cast<uint64_t>(utcTime.dwHighDateTime) << 32) | utcTime.dwLowDateTime;
    return true;
}

HkpSetMtimeStatus
HkpSetFileMtime(const WideString &fileName, uint64_t utcFileTime, int *errorNumber)
{
    /*
     * Windows refuses write access to a read-only file; Wine run by root
     * would not (the attribute is only a missing write bit there), so the
     * attribute is checked first, with the number Windows gives.
     */
    DWORD attributes = GetFileAttributesW(reinterpret_cast<LPCWSTR>(fileName.c_str()));
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0
	    && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
	*errorNumber = ERROR_ACCESS_DENIED;
	return HKP_MTIME_OPEN_FAILED;
    }
    WinHandle file(CreateFileW(reinterpret_cast<LPCWSTR>(fileName.c_str()),
	    GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file.valid()) {
	*errorNumber = static_cast<int>(GetLastError());
	return HKP_MTIME_OPEN_FAILED;
    }
    FILETIME lastWrite;
    lastWrite.dwLowDateTime = static_cast<DWORD>(utcFileTime & 0xFFFFFFFFu);
    lastWrite.dwHighDateTime = static_cast<DWORD>(utcFileTime >> 32);
    if (!SetFileTime(file.get(), nullptr, nullptr, &lastWrite)) {
	*errorNumber = static_cast<int>(GetLastError());
	return HKP_MTIME_SET_FAILED;
    }
    return HKP_MTIME_SET;
}
