// SPDX-License-Identifier: MIT
// The services the relay takes from the operating system itself rather than from the POSIX layer:
// a native thread, a wait for a process given by its native id, the console's control events and
// the path of the relay's own executable. Linux and Win32 each implement them; nothing above this
// layer differs.
#pragma once

#include <cstdint>

// A process opened for waiting only: never inherited by the command, never closed (the end of the
// relay releases it). A descriptor on Linux, a HANDLE on Windows.
using process_handle = intptr_t;
constexpr process_handle no_process = -1;

// Starts a detached thread with the default stack size running body(argument). False when the
// thread cannot be created.
bool start_native_thread(void (*body)(intptr_t), intptr_t argument);

// The native id of the calling process: its pid on Linux, its Windows pid on Windows.
int own_native_id();

// Opens the process with this native id for waiting only; no_process when it cannot be opened.
// Ids of 0 and below name no process and reach no system call.
process_handle open_process_for_wait(int native_id);

// Waits, without a time limit, for the end of an opened process. True once the end has been
// seen (an ended process nobody has reaped yet counts as ended); false for no_process or when
// the wait fails.
bool wait_for_process_end(process_handle process);

// What a control event of the console asks of the relay: Ctrl+C, Ctrl+Break, or the console's
// close, the user's logoff or the system's shutdown.
enum class console_event { interrupt, quit, end };

// From now on each control event of the console the process shares with its host calls on_event,
// on a thread of the system's, in place of the default that ends the process; Ctrl+C is taken even
// where the process leads a group of its own (Windows). Nothing elsewhere.
void catch_console_events(void (*on_event)(console_event));

// Leaves the console the process shares with its host (Windows), so that the host's console
// events no longer reach it. Nothing elsewhere.
void leave_console();

// The full path of the relay's own executable file, as the system knows the running image, in
// storage from malloc that holds a path of any length. Null when the path cannot be found.
char *own_executable_path();
