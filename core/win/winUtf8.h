/*
 * winUtf8.h --
 *
 *	The package's UTF-8 text as the system's UTF-16 and back, for the
 *	wide (W) functions of Windows, so that text outside the ANSI code page
 *	goes through unchanged. Text with a zero byte ends there, as the
 *	system's functions take it.
 */

#ifndef HOSTKIT_WIN_UTF8_H
#define HOSTKIT_WIN_UTF8_H

#include <windows.h>

#include <string>

/* UTF-8 text (up to its first zero byte) as UTF-16. */
inline std::wstring
hkWinWide(const std::string &text)
{
    std::wstring out;
    int n = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
    if (n > 1) {
	out.resize(static_cast<size_t>(n));
	MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, &out[0], n);
	out.resize(static_cast<size_t>(n - 1));
    }
    return out;
}

/* UTF-16 text as UTF-8; empty for a null pointer. */
inline std::string
hkWinUtf8(const wchar_t *text)
{
    std::string out;
    if (text == nullptr) {
	return out;
    }
    int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (n > 1) {
	out.resize(static_cast<size_t>(n));
	WideCharToMultiByte(CP_UTF8, 0, text, -1, &out[0], n, nullptr, nullptr);
	out.resize(static_cast<size_t>(n - 1));
    }
    return out;
}

#endif /* HOSTKIT_WIN_UTF8_H */
