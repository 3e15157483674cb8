// SPDX-License-Identifier: MIT
#include "diagnostics.h"

#include "descriptor_io.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <unistd.h>

bool verbose = false;
bool askpass = false;
bool noecho = false;
unsigned short window_columns = 0;
unsigned short window_rows = 0;
size_t block_size = 256;
bool interrupt_command = false;
bool pass_exit_status = false;
bool inband_control = false;

namespace {
std::atomic_flag ending = ATOMIC_FLAG_INIT;
}

void end_process(int status) {
    if (ending.test_and_set()) {
        // The other thread is ending the process already; its status wins.
        for (;;) {
            pause();
        }
    }
    _exit(status);
}

void report_fatal(const char *format, ...) {
    char message[1024];
    va_list values;
    va_start(values, format);
    int length = vsnprintf(message, sizeof message - 1, format, values);
    va_end(values);
    if (length < 0) {
        length = 0;
    }
    auto used = static_cast<size_t>(length);
    if (used > sizeof message - 2) {
        used = sizeof message - 2; // every message here is short; never write past the buffer
    }
    message[used] = '\n';
    write_all(2, message, used + 1);
    end_process(1);
}

void trace(const char *message) {
    if (verbose) {
        write_all(2, message, strlen(message));
    }
}
