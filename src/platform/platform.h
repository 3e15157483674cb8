// The services the relay takes from the operating system itself rather than from the POSIX layer:
// a native thread, a wait for a process given by its native id, and the path of the relay's own
// executable. Linux and Win32 each implement them; nothing above this layer differs.
#pragma once

// Starts a detached thread with the default stack size running body(argument). False when the
// thread cannot be created.
bool start_native_thread(void (*body)(int), int argument);

// Opens the process with this native id for waiting only (the opening is never inherited by the
// command) and waits, without a time limit, for its end. True once the end has been seen; false
// when the process cannot be opened or the wait fails. Ids of 0 and below name no process.
bool wait_for_process_end(int native_id);

// The full path of the relay's own executable file, as the system knows the running image, in
// storage from malloc that holds a path of any length. Null when the path cannot be found.
char *own_executable_path();
