#include "platform/linux/process_wait.h"
#include "platform/platform.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

namespace {

struct ThreadStart {
    void (*body)(int);
    int argument;
};

void *run_thread(void *start_pointer) {
    ThreadStart start = *static_cast<ThreadStart *>(start_pointer);
    free(start_pointer);
    start.body(start.argument);
    return nullptr;
}

// A zombie still exists: its id is not free for another process yet.
bool process_exists(int pid) {
    return kill(pid, 0) == 0 || errno != ESRCH;
}

// False when the process has ended, also when it is a zombie nobody has reaped yet.
bool still_running(int pid) {
    if (!process_exists(pid)) {
        return false;
    }
    char path[32];
    snprintf(path, sizeof path, "/proc/%d/stat", pid);
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return errno != ENOENT;
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

bool start_native_thread(void (*body)(int), int argument) {
    auto *start = static_cast<ThreadStart *>(malloc(sizeof(ThreadStart)));
    if (start == nullptr) {
        return false;
    }
    start->body = body;
    start->argument = argument;
    pthread_t thread{};
    if (pthread_create(&thread, nullptr, run_thread, start) != 0) {
        free(start);
        return false;
    }
    pthread_detach(thread);
    return true;
}

bool wait_with_pidfd(int pid) {
    // pidfd_open gives a close-on-exec descriptor, so the command never inherits it.
    int pidfd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    if (pidfd < 0) {
        return false;
    }
    pollfd ended{pidfd, POLLIN, 0};
    int marked = 0;
    do {
        marked = poll(&ended, 1, -1);
    } while (marked < 0 && errno == EINTR);
    // Never closed: the end of the relay releases it.
    return marked > 0 && (ended.revents & POLLIN) != 0;
}

bool wait_by_polling(int pid) {
    if (!process_exists(pid)) {
        return false; // as when no process can be opened under this id
    }
    const timespec pause{0, 50L * 1000 * 1000};
    while (still_running(pid)) {
        nanosleep(&pause, nullptr);
    }
    return true;
}

bool wait_for_process_end(int native_id) {
    // Never let an id of 0 or below reach a call where it names a process group or every process.
    if (native_id <= 0) {
        return false;
    }
    if (wait_with_pidfd(native_id)) {
        return true;
    }
    return errno == ENOSYS && wait_by_polling(native_id);
}

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
