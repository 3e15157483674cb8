// SPDX-License-Identifier: MIT
#include "environment/askpass_env.h"

#include "platform/platform.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

bool is_path_separator(char c) {
    return c == '/' || c == '\\' || c == ':';
}

const char *last_component(const char *path) {
    const char *start = path;
    for (const char *at = path; *at != '\0'; ++at) {
        if (is_path_separator(*at) && at[1] != '\0') {
            start = at + 1;
        }
    }
    return start;
}

void prepare_askpass_env() {
    // The environment keeps the entries themselves, not copies: both live as long as the process.
    static char display_entry[] = "DISPLAY=:0.0";
    if (getenv("DISPLAY") == nullptr) {
        putenv(display_entry);
    }
    if (getenv("SSH_ASKPASS") != nullptr) {
        return;
    }
    char *own_path = own_executable_path();
    if (own_path == nullptr) {
        return;
    }
    // Storage sized to the path, so a long one is neither cut short nor written past.
    auto directory_length = static_cast<int>(last_component(own_path) - own_path);
    size_t size = strlen("SSH_ASKPASS=brimel-auth.exe") + static_cast<size_t>(directory_length) + 1;
    auto *entry = static_cast<char *>(malloc(size));
    if (entry != nullptr) {
        snprintf(entry, size, "SSH_ASKPASS=%.*sbrimel-auth.exe", directory_length, own_path);
        putenv(entry);
    }
    // The entry is the environment's now and lives as long as the process.
    free(own_path); // NOLINT(clang-analyzer-unix.Malloc)
}
