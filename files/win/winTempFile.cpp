/*
 * winTempFile.cpp --
 *
 *	Win32 definition of the temporary-file operation: GetTempPathW and
 *	GetTempFileNameW with unique number 0, which makes the file.
 */

#include "files/tempFilePlatform.h"

#include <windows.h>

#include <vector>

WideString
HkpMakeTempFile(const WideString &prefix)
{
    /* A first call gives the length needed; the directory may grow in
     * between, hence the loop. */
    std::vector<wchar_t> dir(MAX_PATH + 1);
    for (;;) {
	DWORD length = GetTempPathW(static_cast<DWORD>(dir.size()), dir.data());
	if (length == 0) {
	    return WideString();
	}
	if (length < dir.size()) {
	    break;
	}
	dir.resize(length + 1);
    }

    std::wstring pre(prefix.begin(), prefix.end());
    /*
     * GetTempFileNameW writes at most MAX_PATH characters and fails with
     * a longer directory (ERROR_BUFFER_OVERFLOW) rather than overrun.
     */
    std::vector<wchar_t> name(MAX_PATH + 1, 0);
    if (GetTempFileNameW(dir.data(), pre.c_str(), 0, name.data()) == 0) {
	return WideString();
    }
    size_t length = 0;
    while (length < name.size() && name[length] != 0) {
	++length;
    }
    return WideString(reinterpret_cast<const WideChar *>(name.data()), length);
}
