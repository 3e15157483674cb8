// SPDX-License-Identifier: MIT
#include "descriptor_io.h"

#include <cerrno>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h> // FIONREAD, on Cygwin
#include <unistd.h>

bool write_all(int fd, const void *data, size_t length) {
    const auto *rest = static_cast<const char *>(data);
    while (length > 0) {
        ssize_t written = write(fd, rest, length);
        if (written > 0) {
            rest += written;
            length -= static_cast<size_t>(written);
        } else if (written < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd ready{fd, POLLOUT, 0};
            poll(&ready, 1, -1);
        } else if (written == 0 || errno != EINTR) {
            return false;
        }
    }
    return true;
}

size_t write_what_fits(int fd, const void *data, size_t length) {
    while (length > 0) {
        ssize_t written = write(fd, data, length);
        if (written > 0) {
            return static_cast<size_t>(written);
        }
        if (written < 0 && errno == EINTR) {
            continue;
        }
        return written < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) ? 0 : length;
    }
    return 0;
}

size_t unread_bytes(int fd) {
    int count = 0;
    return ioctl(fd, FIONREAD, &count) == 0 && count > 0 ? static_cast<size_t>(count) : 0;
}
