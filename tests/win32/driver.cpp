// Checks the Win32 side of the platform layer with real threads and processes (under Wine).
//   driver             runs the checks; its last line is "N passed, N failed"
//   driver own-path    prints own_executable_path()
//   driver sleep       runs until it is ended
//   driver exit        exits with 3 once the driver's event "brimel-driver-go" is set
//   driver holds H P   exits 1 when the handle value H names process P in this process
#include "platform/platform.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <windows.h>

namespace {

int passed = 0;
int failed = 0;
HANDLE go = CreateEventA(nullptr, TRUE, FALSE, "brimel-driver-go");
HANDLE done = CreateEventA(nullptr, FALSE, FALSE, nullptr);
intptr_t seen_argument = 0;
bool wait_result = false;

void check(bool ok, const char *what) {
    ++(ok ? passed : failed);
    printf("%s: %s\n", ok ? "ok" : "FAILED", what);
}

PROCESS_INFORMATION start(const std::string &arguments, bool inherit) {
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string line = "\"" + std::string(self) + "\" " + arguments;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    CreateProcessA(nullptr, line.data(), nullptr, nullptr, inherit, 0, nullptr, nullptr, &startup,
                   &started);
    return started;
}

// Exit code 1 when a child started with inheritance can reach `process` through its value.
DWORD probe_holds(intptr_t process, DWORD pid) {
    PROCESS_INFORMATION probe = start("holds " + std::to_string(process) + " " + std::to_string(pid), true);
    DWORD code = 2;
    WaitForSingleObject(probe.hProcess, 10000);
    GetExitCodeProcess(probe.hProcess, &code);
    return code;
}

} // namespace

int main(int argc, char **argv) {
    setvbuf(stdout, nullptr, _IONBF, 0);
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "own-path") {
        char *path = own_executable_path();
        return path != nullptr && fputs(path, stdout) >= 0 ? 0 : 2;
    }
    if (mode == "sleep" || mode == "exit") {
        WaitForSingleObject(go, mode == "sleep" ? INFINITE : 10000);
        return 3;
    }
    if (mode == "holds" && argc == 4) {
        auto *handle = reinterpret_cast<HANDLE>(_atoi64(argv[2])); // NOLINT(performance-no-int-to-ptr)
        return GetProcessId(handle) == strtoul(argv[3], nullptr, 10) ? 1 : 0;
    }

    // The body runs with its argument on another thread while start_native_thread has returned.
    ResetEvent(go);
    check(start_native_thread([](intptr_t argument) { seen_argument = argument; WaitForSingleObject(go, INFINITE); SetEvent(done); }, 42) && SetEvent(go) && WaitForSingleObject(done, 5000) == WAIT_OBJECT_0 && seen_argument == 42, "start_native_thread runs the body with its argument, unjoined");

    for (bool terminate : {false, true}) {
        ResetEvent(go);
        PROCESS_INFORMATION child = start(terminate ? "sleep" : "exit", false);
        start_native_thread([](intptr_t process) { wait_result = wait_for_process_end(process); SetEvent(done); }, open_process_for_wait(static_cast<int>(child.dwProcessId)));
        check(WaitForSingleObject(done, 200) == WAIT_TIMEOUT, "the wait goes on while the child runs");
        terminate ? TerminateProcess(child.hProcess, 9) : SetEvent(go);
        check(WaitForSingleObject(done, 10000) == WAIT_OBJECT_0 && wait_result && WaitForSingleObject(child.hProcess, 0) == WAIT_OBJECT_0, terminate ? "true once the child is terminated" : "true once the child has exited");
    }

    for (int id : {0, -4, -1, 0x7ffffffc}) {
        intptr_t process = open_process_for_wait(id);
        check(process == no_process && !wait_for_process_end(process), "no process for 0, negative and unused ids");
    }

    PROCESS_INFORMATION watched = start("sleep", false);
    intptr_t process = open_process_for_wait(static_cast<int>(watched.dwProcessId));
    HANDLE inheritable = nullptr;
    DuplicateHandle(GetCurrentProcess(), reinterpret_cast<HANDLE>(process), GetCurrentProcess(), &inheritable, 0, TRUE, DUPLICATE_SAME_ACCESS); // NOLINT(performance-no-int-to-ptr)
    check(probe_holds(reinterpret_cast<intptr_t>(inheritable), watched.dwProcessId) == 1, "the probe sees an inherited handle");
    check(probe_holds(process, watched.dwProcessId) == 0, "a child started with inheritance holds no handle to the watched process");
    TerminateProcess(watched.hProcess, 0);

    printf("%d passed, %d failed\n", passed, failed);
    return failed != 0 ? 1 : 0;
}
