// The platform services on Windows, beneath the Cygwin layer.
#include "platform/platform.h"

#include <cstdlib>
#include <windows.h>

namespace {

struct ThreadStart {
    void (*body)(int);
    int argument;
};

DWORD WINAPI run_thread(LPVOID start_pointer) {
    ThreadStart start = *static_cast<ThreadStart *>(start_pointer);
    free(start_pointer);
    start.body(start.argument);
    return 0;
}

} // namespace

bool start_native_thread(void (*body)(int), int argument) {
    auto *start = static_cast<ThreadStart *>(malloc(sizeof(ThreadStart)));
    if (start == nullptr) {
        return false;
    }
    start->body = body;
    start->argument = argument;
    // Default stack size, started at once; the handle is not kept and the thread never joined.
    HANDLE thread = CreateThread(nullptr, 0, run_thread, start, 0, nullptr);
    if (thread == nullptr) {
        free(start);
        return false;
    }
    CloseHandle(thread);
    return true;
}

bool wait_for_process_end(int native_id) {
    if (native_id <= 0) {
        return false;
    }
    // Synchronize only, not inheritable, so the command never holds it; never closed.
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(native_id));
    if (process == nullptr) {
        return false;
    }
    return WaitForSingleObject(process, INFINITE) != WAIT_FAILED;
}

char *own_executable_path() {
    // GetModuleFileNameA fills the whole buffer when the path does not fit: grow until it does.
    for (DWORD size = 256; size <= 65536; size *= 2) {
        auto *path = static_cast<char *>(malloc(size));
        if (path == nullptr) {
            return nullptr;
        }
        DWORD length = GetModuleFileNameA(nullptr, path, size);
        if (length > 0 && length < size) {
            return path;
        }
        free(path);
        if (length == 0) {
            return nullptr;
        }
    }
    return nullptr;
}
