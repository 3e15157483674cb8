// SPDX-License-Identifier: MIT
// native_thread MODE: starts a native thread (CreateThread) that returns at once (q), first calls
// the runtime's free() (f), or sleeps for ever (p), or no thread (n); the main thread then writes
// a line to standard error and _exits with 1. Run many times, it tells whether a thread that
// calls into the runtime before the runtime has set it up crashes (Wine), and what status the
// process ends with.
#include <cstdlib>
#include <unistd.h>
#include <windows.h>
static DWORD WINAPI quick(LPVOID) {
    return 0;
}
static DWORD WINAPI freeing(LPVOID p) {
    free(p);
    return 0;
}
static DWORD WINAPI parked(LPVOID) {
    Sleep(INFINITE);
    return 0;
}
int main(int argc, char **argv) {
    bool park = argc > 1 && argv[1][0] == 'p';
    bool none = argc > 1 && argv[1][0] == 'n';
    bool frees = argc > 1 && argv[1][0] == 'f';
    if (!none) {
        HANDLE t = CreateThread(nullptr, 0,
                                frees  ? freeing
                                : park ? parked
                                       : quick,
                                frees ? malloc(16) : nullptr, 0, nullptr);
        CloseHandle(t);
    }
    static const char text[] = "usage\n";
    write(2, text, sizeof text - 1);
    _exit(1);
}
