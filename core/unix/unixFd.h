/*
 * unixFd.h --
 *
 *	UnixFd: owns a file descriptor and closes it on every way out (which
 *	also drops any flock/fcntl lock taken through it).
 */

#ifndef HOSTKIT_UNIX_FD_H
#define HOSTKIT_UNIX_FD_H

#include <unistd.h>

class UnixFd {
public:
    explicit UnixFd(int fd = -1) : fd_(fd) {}
    ~UnixFd() { reset(); }
    UnixFd(const UnixFd &) = delete;
    UnixFd &operator=(const UnixFd &) = delete;
    int get() const { return fd_; }
    void reset(int fd = -1)
    {
	if (fd_ >= 0) {
	    close(fd_);
	}
	fd_ = fd;
    }

private:
    int fd_;
};

#endif
