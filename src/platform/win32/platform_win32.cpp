// SPDX-License-Identifier: MIT
// The platform services on Windows, beneath the Cygwin layer.
#include "platform/platform.h"

#include <cstdlib>
#include <windows.h>

namespace {

struct ThreadStart {
    void (*body)(intptr_t);
    intptr_t argument;
};

// The start goes on Windows' own heap, not the runtime's: a native thread that calls into the
// runtime before it has set the thread up can crash in its entry wrapper (under Wine, 6 such
// threads in 1,800 that called free() at once; none in 2,700 that did not), and this thread enters
// the runtime only to end the process.
DWORD WINAPI run_thread(LPVOID start_pointer) {
    ThreadStart start = *static_cast<ThreadStart *>(start_pointer);
    HeapFree(GetProcessHeap(), 0, start_pointer);
    start.body(start.argument);
    return 0;
}

void (*console_handler)(console_event) = nullptr;

BOOL WINAPI on_control_event(DWORD event) {
    switch (event) {
    case CTRL_C_EVENT:
        console_handler(console_event::interrupt);
        return TRUE;
    case CTRL_BREAK_EVENT:
        console_handler(console_event::quit);
        return TRUE;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        console_handler(console_event::end); // Windows ends the process once this returns
        return TRUE;
    default:
        return FALSE;
    }
}

} // namespace

bool start_native_thread(void (*body)(intptr_t), intptr_t argument) {
    auto *start = static_cast<ThreadStart *>(HeapAlloc(GetProcessHeap(), 0, sizeof(ThreadStart)));
    if (start == nullptr) {
        return false;
    }
    start->body = body;
    start->argument = argument;
    // Default stack size, started at once; the handle is not kept and the thread never joined.
    HANDLE thread = CreateThread(nullptr, 0, run_thread, start, 0, nullptr);
    if (thread == nullptr) {
        HeapFree(GetProcessHeap(), 0, start);
        return false;
    }
    CloseHandle(thread);
    return true;
}

int own_native_id() {
    return static_cast<int>(GetCurrentProcessId());
}

process_handle open_process_for_wait(int native_id) {
    if (native_id <= 0) {
        return no_process;
    }
    // Synchronize only, not inheritable, so the command never holds it.
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(native_id));
    return process == nullptr ? no_process : reinterpret_cast<process_handle>(process);
}

bool wait_for_process_end(process_handle process) {
    auto *handle = reinterpret_cast<HANDLE>(process); // NOLINT(performance-no-int-to-ptr)
    return process != no_process && WaitForSingleObject(handle, INFINITE) != WAIT_FAILED;
}

void catch_console_events(void (*on_event)(console_event)) {
    console_handler = on_event;
    // A process started with CREATE_NEW_PROCESS_GROUP ignores Ctrl+C until it says otherwise.
    SetConsoleCtrlHandler(nullptr, FALSE);
    SetConsoleCtrlHandler(on_control_event, TRUE);
}

void leave_console() {
    FreeConsole();
}

char *own_executable_path() {
    // The wide path, grown until it fits, in UTF-8 as Cygwin names files: the ANSI code page
    // cannot spell every directory a relay may be installed in.
    for (DWORD size = 256; size <= 65536; size *= 2) {
        auto *wide = static_cast<wchar_t *>(malloc(size * sizeof(wchar_t)));
        if (wide == nullptr) {
            return nullptr;
        }
        DWORD length = GetModuleFileNameW(nullptr, wide, size);
        if (length == 0 || length >= size) {
            free(wide);
            if (length == 0) {
                return nullptr;
            }
            continue;
        }
        int bytes = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
        auto *path = bytes > 0 ? static_cast<char *>(malloc(static_cast<size_t>(bytes))) : nullptr;
        if (path != nullptr) {
            WideCharToMultiByte(CP_UTF8, 0, wide, -1, path, bytes, nullptr, nullptr);
        }
        free(wide);
        return path;
    }
    return nullptr;
}
