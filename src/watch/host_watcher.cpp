// SPDX-License-Identifier: MIT
#include "watch/host_watcher.h"

#include "diagnostics.h"
#include "platform/platform.h"

#include <climits>
#include <cstdlib>

int parse_host_id(const char *text) {
    if (text == nullptr) {
        return 0;
    }
    const char *next = text;
    while (*next == ' ' || (*next >= '\t' && *next <= '\r')) {
        ++next;
    }
    bool negative = *next == '-';
    if (*next == '-' || *next == '+') {
        ++next;
    }
    long long value = 0;
    for (; *next >= '0' && *next <= '9'; ++next) {
        value = value * 10 + (*next - '0');
        if (value > static_cast<long long>(INT_MAX) + 1) {
            return 0;
        }
    }
    if (negative) {
        value = -value;
    }
    return value > INT_MAX ? 0 : static_cast<int>(value);
}

void watch_host(intptr_t host) {
    if (wait_for_process_end(host)) {
        end_process(1);
    }
}

void start_host_watcher() {
    // Opened here, before the thread starts and before anything else is opened, so whether the
    // host is watched never depends on which thread takes the last free descriptor first.
    process_handle host = open_process_for_wait(parse_host_id(getenv("VELDRIN_PROCESS_ID")));
    if (!start_native_thread(watch_host, host)) {
        report_fatal("CreateThread error\n");
    }
}
