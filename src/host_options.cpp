// SPDX-License-Identifier: MIT
#include "host_options.h"

#include "diagnostics.h"

#include <cstdlib>
#include <cstring>

namespace {

// Reads a number from 1 to `largest` in decimal digits alone, checked at every digit so that it
// never wraps; returns the position after it, or null.
const char *read_number(const char *text, size_t largest, size_t &number) {
    size_t value = 0;
    const char *next = text;
    for (; *next >= '0' && *next <= '9'; ++next) {
        value = value * 10 + static_cast<size_t>(*next - '0');
        if (value > largest) {
            return nullptr;
        }
    }
    number = value;
    return next == text || value == 0 ? nullptr : next;
}

const char *read_dimension(const char *text, unsigned short &dimension) {
    size_t value = 0;
    const char *next = read_number(text, 65535, value);
    dimension = static_cast<unsigned short>(value);
    return next;
}

void read_window_size() {
    const char *value = getenv("BRIMEL_WINDOW_SIZE");
    if (value == nullptr || *value == '\0') {
        return;
    }
    const char *rest = read_dimension(value, window_columns);
    if (rest == nullptr || *rest != 'x' ||
        (rest = read_dimension(rest + 1, window_rows)) == nullptr || *rest != '\0') {
        report_fatal("couldn't use BRIMEL_WINDOW_SIZE \"%s\": expected COLUMNSxROWS", value);
    }
}

void read_block_size() {
    const char *value = getenv("BRIMEL_BLOCK_SIZE");
    if (value == nullptr || *value == '\0') {
        return;
    }
    size_t size = 0;
    const char *rest = read_number(value, largest_block_size, size);
    if (rest == nullptr || *rest != '\0') {
        report_fatal("couldn't use BRIMEL_BLOCK_SIZE \"%s\": expected 1 to %zu", value,
                     largest_block_size);
    }
    block_size = size;
}

bool read_on_off(const char *name) {
    const char *value = getenv(name);
    if (value == nullptr || *value == '\0' || strcmp(value, "0") == 0) {
        return false;
    }
    if (strcmp(value, "1") != 0) {
        report_fatal("couldn't use %s \"%s\": expected 0 or 1", name, value);
    }
    return true;
}

} // namespace

void read_host_options() {
    read_window_size();
    read_block_size();
    interrupt_command = read_on_off("BRIMEL_INTERRUPT");
    pass_exit_status = read_on_off("BRIMEL_EXIT_STATUS");
    inband_control = read_on_off("BRIMEL_CONTROL");
}
