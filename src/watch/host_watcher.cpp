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

void watch_host(int host_id) {
    if (host_id <= 0) {
        return; // 0: no host named; a negative id names no process
    }
    if (wait_for_process_end(host_id)) {
        end_process(1);
    }
}

void start_host_watcher() {
    int host_id = parse_host_id(getenv("VELDRIN_PROCESS_ID"));
    if (!start_native_thread(watch_host, host_id)) {
        report_fatal("CreateThread error\n");
    }
}
