// SPDX-License-Identifier: MIT
#include "platform/platform.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

namespace {

struct ThreadStart {
    void (*body)(intptr_t);
    intptr_t argument;
};

void *run_thread(void *start_pointer) {
    ThreadStart start = *static_cast<ThreadStart *>(start_pointer);
    free(start_pointer);
    start.body(start.argument);
    return nullptr;
}

// Through the process's /proc directory, which keeps naming this process and no later one with
// its id: false once it has ended, also as a zombie nobody has reaped yet.
bool still_running(int process_directory) {
    int fd = openat(process_directory, "stat", O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false; // reaped
    }
    char stat[512];
    ssize_t length = read(fd, stat, sizeof stat - 1);
    close(fd);
    if (length <= 0) {
        return true;
    }
    stat[length] = '\0';
    // The state follows the command name, which may itself hold ") ".
    const char *name_end = strrchr(stat, ')');
    return name_end == nullptr || name_end[1] == '\0' || name_end[2] != 'Z';
}

} // namespace

bool start_native_thread(void (*body)(intptr_t), intptr_t argument) {
    auto *start = static_cast<ThreadStart *>(malloc(sizeof(ThreadStart)));
    if (start == nullptr) {
        return false;
    }
    start->body = body;
    start->argument = argument;
    // Signals are the main thread's: the new thread starts with all of them blocked, so a handler
    // never runs on it and the main thread sees every signal before acting on later input.
    sigset_t all;
    sigset_t previous;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &previous);
    pthread_t thread{};
    int failed = pthread_create(&thread, nullptr, run_thread, start);
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    if (failed != 0) {
        free(start);
        return false;
    }
    pthread_detach(thread);
    return true;
}

int own_native_id() {
    return getpid();
}

process_handle open_process_for_wait(int native_id) {
    // An id of 0 or below would name a process group or every process in some calls.
    if (native_id <= 0) {
        return no_process;
    }
    // Both are close-on-exec, so the command never inherits them.
    int fd = static_cast<int>(syscall(SYS_pidfd_open, native_id, 0));
    if (fd < 0 && errno == ENOSYS) {
        // Kernels before 5.3: the process's /proc directory, looked at every 50 ms.
        char path[32];
        snprintf(path, sizeof path, "/proc/%d", native_id);
        fd = open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    }
    return fd < 0 ? no_process : fd;
}

bool wait_for_process_end(process_handle process) {
    const auto fd = static_cast<int>(process);
    struct stat kind {};
    if (process == no_process || fstat(fd, &kind) != 0) {
        return false;
    }
    if (S_ISDIR(kind.st_mode)) {
        const timespec pause{0, 50L * 1000 * 1000};
        while (still_running(fd)) {
            nanosleep(&pause, nullptr);
        }
        return true;
    }
    pollfd ended{fd, POLLIN, 0};
    int marked = 0;
    do {
        marked = poll(&ended, 1, -1);
    } while (marked < 0 && errno == EINTR);
    return marked > 0 && (ended.revents & POLLIN) != 0;
}

void catch_console_events(void (* /*on_event*/)(console_event)) {}

void leave_console() {}

char *own_executable_path() {
    // The kernel's view of the running image, not argv[0], which the host may set to anything.
    // Symbolic links on the way are resolved; an image deleted since its start has " (deleted)"
    // after its last component.
    for (size_t size = 256; size <= (size_t{1} << 20); size *= 2) {
        auto *path = static_cast<char *>(malloc(size));
        if (path == nullptr) {
            return nullptr;
        }
        ssize_t length = readlink("/proc/self/exe", path, size);
        if (length > 0 && static_cast<size_t>(length) < size) {
            path[length] = '\0';
            return path;
        }
        free(path);
        if (length <= 0) {
            return nullptr;
        }
    }
    return nullptr;
}
