/*
 * winHandle.h --
 *
 *	WinHandle: owns a Win32 handle and closes it on every way out. Both
 *	null and INVALID_HANDLE_VALUE count as no handle, since the API uses
 *	either for failure.
 */

#ifndef HOSTKIT_WIN_HANDLE_H
#define HOSTKIT_WIN_HANDLE_H

#include <windows.h>

class WinHandle {
public:
    explicit WinHandle(HANDLE h = INVALID_HANDLE_VALUE) : h_(h) {}
    ~WinHandle() { reset(); }
    WinHandle(const WinHandle &) = delete;
    WinHandle &operator=(const WinHandle &) = delete;
    HANDLE get() const { return h_; }
    bool valid() const { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }
    void reset(HANDLE h = INVALID_HANDLE_VALUE)
    {
	if (valid()) {
	    CloseHandle(h_);
	}
	h_ = h;
    }
    HANDLE release()
    {
	HANDLE h = h_;
	h_ = INVALID_HANDLE_VALUE;
	return h;
    }

private:
    HANDLE h_;
};

#endif
