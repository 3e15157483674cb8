// SPDX-License-Identifier: MIT
#include "standard_descriptors.h"

#include "diagnostics.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

void open_missing_standard_descriptors() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) >= 0 || errno != EBADF) {
            continue;
        }
        // Lower numbers are open by now, so the lowest free number is this one.
        int opened = open("/dev/null", O_RDWR);
        if (opened != fd) {
            report_fatal("couldn't open /dev/null");
        }
    }
}
