// SPDX-License-Identifier: MIT
// Checks the Win32 side of the platform layer with real processes and consoles (under Wine). The
// native thread and the wait for a process run in the relay itself in the cases on MSYS2's runtime.
//   driver             runs the checks; its last line is "N passed, N failed"
//   driver own-path    prints own_executable_path()
//   driver sleep       exits with 3 once the event "brimel-driver-go" is set
//   driver holds H     exits with 1 when the handle value H names a running process here
//   driver events      takes console events; exits with 3 once one interrupt came, and only that
#include "platform/platform.h"

#include <cstdio>
#include <cstdlib>
#include <process.h>
#include <string>
#include <windows.h>

namespace {

int passed = 0;
int failed = 0;
HANDLE go = CreateEventA(nullptr, TRUE, FALSE, "brimel-driver-go");

void check(bool ok, const char *what) {
    ++(ok ? passed : failed);
    printf("%s: %s\n", ok ? "ok" : "FAILED", what);
}

// A copy of the driver in another mode, started with handle inheritance on (as spawn does).
HANDLE start(const char *mode, intptr_t handle = 0) {
    static char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    const std::string value = std::to_string(handle);
    return reinterpret_cast<HANDLE>(_spawnl(_P_NOWAIT, self, self, mode, value.c_str(), nullptr));
}

DWORD exit_code(HANDLE process) {
    DWORD code = 2;
    WaitForSingleObject(process, 10000);
    return GetExitCodeProcess(process, &code) ? code : 2;
}

LONG interrupts = 0;

void note_event(console_event event) {
    InterlockedAdd(&interrupts, event == console_event::interrupt ? 1 : 100);
}

// The exit code of a copy in the events mode, started as the leader of a process group of its own
// on this console (which ignores Ctrl+C unless it takes it back), then sent Ctrl+C. Wine generates
// no Ctrl+Break, and no program can generate a close.
DWORD interrupted_copy() {
    char self[MAX_PATH];
    char line[] = "driver events";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child{};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    if (!CreateProcessA(self, line, nullptr, nullptr, FALSE, CREATE_NEW_PROCESS_GROUP, nullptr,
                        nullptr, &startup, &child)) {
        return 2;
    }
    if (WaitForSingleObject(go, 10000) != WAIT_OBJECT_0 ||
        !GenerateConsoleCtrlEvent(CTRL_C_EVENT, child.dwProcessId)) {
        TerminateProcess(child.hProcess, 2);
    }
    return exit_code(child.hProcess);
}

} // namespace

int main(int argc, char **argv) {
    setvbuf(stdout, nullptr, _IONBF, 0);
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "own-path") {
        const char *path = own_executable_path();
        return path != nullptr && fputs(path, stdout) >= 0 ? 0 : 2;
    }
    if (mode == "events") {
        catch_console_events(note_event);
        SetEvent(go);
        for (int waited = 0; interrupts == 0 && waited < 20000; waited += 10) {
            Sleep(10);
        }
        return interrupts == 1 ? 3 : 4;
    }
    if (!mode.empty()) {
        auto *handle =
            reinterpret_cast<HANDLE>(_atoi64(argv[2])); // NOLINT(performance-no-int-to-ptr)
        return mode == "sleep" ? (WaitForSingleObject(go, 20000) == WAIT_OBJECT_0 ? 3 : 4)
                               : (WaitForSingleObject(handle, 0) == WAIT_TIMEOUT ? 1 : 0);
    }

    for (int id : {0, -4, -1, 0x7ffffffc}) {
        check(open_process_for_wait(id) == no_process && !wait_for_process_end(no_process),
              "no process for 0, negative and unused ids");
    }

    ResetEvent(go);
    HANDLE watched = start("sleep");
    intptr_t process = open_process_for_wait(static_cast<int>(GetProcessId(watched)));
    HANDLE inheritable = nullptr;
    DuplicateHandle(GetCurrentProcess(), reinterpret_cast<HANDLE>(process), // NOLINT
                    GetCurrentProcess(), &inheritable, 0, TRUE, DUPLICATE_SAME_ACCESS);
    check(exit_code(start("holds", reinterpret_cast<intptr_t>(inheritable))) == 1,
          "the probe sees an inherited handle");
    check(exit_code(start("holds", process)) == 0,
          "a child started with handle inheritance holds no handle to the watched process");
    SetEvent(go);
    AllocConsole(); // a console, as the host's is for the guardian; one more only once it is left
    leave_console();
    check(AllocConsole() != 0, "leave_console leaves the console");
    ResetEvent(go);
    SetConsoleCtrlHandler(nullptr, TRUE); // the events are the other group's
    check(interrupted_copy() == 3,
          "Ctrl+C reaches the handler as an interrupt, also in a process group of its own");
    printf("%d passed, %d failed\n", passed, failed);
    return failed != 0 ? 1 : 0;
}
