// SPDX-License-Identifier: MIT
// Linked in, with ld's --wrap=vsnprintf, where clang before 21 builds for Cygwin or MSYS2 (LLVM
// pull request 143115): such clang gives the target the System V va_list, a 24-byte record
// passed by address, while it calls the Win64 way, so its va_start leaves the Win64 argument
// pointer in the record's first 8 bytes. The runtime, built by GCC, takes that pointer itself.
// The two names are the ones ld's --wrap gives.
#include <cstddef>

// NOLINTBEGIN(bugprone-reserved-identifier,readability-identifier-naming)
extern "C" {
int __real_vsnprintf(char *buffer, size_t size, const char *format, char *values);

int __wrap_vsnprintf(char *buffer, size_t size, const char *format, void *clang_values) {
    return __real_vsnprintf(buffer, size, format, *static_cast<char **>(clang_values));
}
}
// NOLINTEND(bugprone-reserved-identifier,readability-identifier-naming)
