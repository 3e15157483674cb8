// SPDX-License-Identifier: MIT
// native_thread MODE: starts a native thread (CreateThread) that returns at once (q), first calls
// the runtime's free() (f), or sleeps for ever (p), or no thread (n); the main thread then writes
// a line to standard error and _exits with 1. In mode x the thread _exits with 1 after 50 ms
// while the main thread waits in the runtime's pause(), as a relay ends when its host has; in mode
// t the thread ends the process with Windows' TerminateProcess and exit code 1 instead. Run many
// times, it tells whether a thread that calls into the runtime before the runtime has set it up
// crashes (Wine), and what status the process ends with.
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
static DWORD WINAPI ending(LPVOID) {
    Sleep(50);
    _exit(1);
}
static DWORD WINAPI terminating(LPVOID) {
    Sleep(50);
    TerminateProcess(GetCurrentProcess(), 1);
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
    bool terminates = argc > 1 && argv[1][0] == 't';
    bool ends = terminates || (argc > 1 && argv[1][0] == 'x');
    if (!none) {
        HANDLE t = CreateThread(nullptr, 0,
                                frees        ? freeing
                                : park       ? parked
                                : terminates ? terminating
                                : ends       ? ending
                                             : quick,
                                frees ? malloc(16) : nullptr, 0, nullptr);
        CloseHandle(t);
    }
    while (ends) {
        pause();
    }
    static const char text[] = "usage\n";
    write(2, text, sizeof text - 1);
    _exit(1);
}
