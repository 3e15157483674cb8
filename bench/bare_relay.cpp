// SPDX-License-Identifier: MIT
// The least a pseudo-terminal relay can do, as the limit to measure brimel against: a new
// terminal without echo, the command on it through sh -c, and a poll loop that moves up to 64 KiB
// at a time each way with blocking writes. No watch, no options, no care for end of input.
//   bare_relay 'command line'
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

bool write_all(int fd, const char *data, ssize_t length) {
    while (length > 0) {
        ssize_t written = write(fd, data, static_cast<size_t>(length));
        if (written <= 0) {
            return false;
        }
        data += written;
        length -= written;
    }
    return true;
}

} // namespace

int main(int argc, char **argv) {
    int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (argc != 2 || master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        return 1;
    }
    termios modes{};
    tcgetattr(master, &modes);
    modes.c_lflag &= ~ECHO;
    tcsetattr(master, TCSANOW, &modes);
    const char *slave_name = ptsname(master);
    if (fork() == 0) {
        setsid();
        int slave = open(slave_name, O_RDWR);
        dup2(slave, 0);
        dup2(slave, 1);
        dup2(slave, 2);
        ioctl(0, TIOCSCTTY, 0);
        execl("/bin/sh", "sh", "-c", argv[1], static_cast<char *>(nullptr));
        _exit(127);
    }
    static char buffer[65536];
    pollfd ready[2] = {{master, POLLIN, 0}, {0, POLLIN, 0}};
    for (;;) {
        if (poll(ready, 2, -1) < 0) {
            continue;
        }
        if ((ready[0].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
            ssize_t count = read(master, buffer, sizeof buffer);
            if (count <= 0 || !write_all(1, buffer, count)) {
                return 0;
            }
        }
        if ((ready[1].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
            ssize_t count = read(0, buffer, sizeof buffer);
            if (count <= 0) {
                ready[1].fd = -1; // end of input: the command ends by itself or is ended
            } else {
                write_all(master, buffer, count);
            }
        }
    }
}
