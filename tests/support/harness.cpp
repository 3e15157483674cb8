#include "harness.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using deadline_clock = std::chrono::steady_clock;

int ms_until(deadline_clock::time_point deadline) {
    auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - deadline_clock::now());
    return std::max(0, static_cast<int>(left.count()));
}

// Reads what is there without waiting; closes the descriptor at its end.
void drain(int &fd, std::string &text) {
    char buffer[65536];
    ssize_t count = -1;
    while (fd >= 0 && (count = read(fd, buffer, sizeof buffer)) > 0) {
        text.append(buffer, static_cast<size_t>(count));
    }
    if (count == 0) {
        close(fd);
        fd = -1;
    }
}

// Whatever a script leaves behind comes back to the test process, a subreaper. Each gets until the
// deadline to end by itself, as a command does once its terminal hangs up; the rest are killed.
int end_leftovers(deadline_clock::time_point deadline) {
    for (int killed = 0;;) {
        while (waitpid(-1, nullptr, WNOHANG) > 0) {
        }
        std::ifstream list("/proc/self/task/" + std::to_string(getpid()) + "/children");
        std::vector<pid_t> pids{std::istream_iterator<pid_t>(list), {}};
        std::vector<pollfd> ends;
        for (pid_t pid : pids) {
            ends.push_back({static_cast<int>(syscall(SYS_pidfd_open, pid, 0)), POLLIN, 0});
        }
        if (pids.empty() || poll(ends.data(), ends.size(), ms_until(deadline)) == 0) {
            for (pid_t pid : pids) {
                kill(pid, SIGKILL);
                waitpid(pid, nullptr, 0);
            }
            killed += static_cast<int>(pids.size());
        }
        for (const pollfd &end : ends) {
            close(end.fd);
        }
        if (pids.empty()) {
            return killed;
        }
    }
}

} // namespace

Outcome run(const std::string &script, std::string_view input, std::string_view ready,
            int timeout_ms) {
    auto deadline = deadline_clock::now() + std::chrono::milliseconds(timeout_ms);
    int in[2];
    int out[2];
    int err[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) {
        abort();
    }
    fcntl(out[1], F_SETPIPE_SZ, 4096);
    fcntl(out[1], F_SETFL, O_NONBLOCK);
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(in[0], 0);
        dup2(out[1], 1);
        dup2(err[1], 2);
        signal(SIGPIPE, SIG_DFL);
        execl("/bin/sh", "sh", "-c", script.c_str(), nullptr);
        _exit(127);
    }
    int fds[4] = {out[0], err[0], in[1], static_cast<int>(syscall(SYS_pidfd_open, pid, 0))};
    for (int fd : {in[0], out[1], err[1]}) {
        close(fd);
    }
    for (int fd : fds) {
        fcntl(fd, F_SETFL, O_NONBLOCK);
    }
    Outcome seen{-1, {}, {}, 0};
    for (int marked = 1; marked > 0;) {
        const bool offer = fds[2] >= 0 && seen.out.find(ready) != std::string::npos;
        if (offer && input.empty()) {
            close(fds[2]);
            fds[2] = -1;
        }
        pollfd marks[4] = {{fds[0], POLLIN, 0},
                           {fds[1], POLLIN, 0},
                           {offer ? fds[2] : -1, POLLOUT, 0},
                           {fds[3], POLLIN, 0}};
        marked = poll(marks, 4, ms_until(deadline));
        drain(fds[0], seen.out);
        drain(fds[1], seen.err);
        if (marks[2].revents != 0) {
            ssize_t written = write(fds[2], input.data(), input.size());
            input = written >= 0 ? input.substr(static_cast<size_t>(written)) : std::string_view{};
        }
        if (marks[3].revents != 0) {
            int status = 0;
            waitpid(pid, &status, 0);
            drain(fds[0], seen.out);
            drain(fds[1], seen.err);
            seen.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            break;
        }
    }
    for (int fd : fds) {
        close(fd);
    }
    seen.left = end_leftovers(deadline_clock::now() + std::chrono::seconds(2));
    return seen;
}

int main(int argc, char **argv) {
    prctl(PR_SET_CHILD_SUBREAPER, 1);
    setenv("B", BRIMEL_BINARY, 1);
    signal(SIGPIPE, SIG_IGN); // a script that stops reading must not end the test
    testing::InitGoogleTest(&argc, argv);
    int failed = RUN_ALL_TESTS();
    if (int left = end_leftovers(deadline_clock::now()); left > 0) {
        fprintf(stderr, "%d processes of the suite were still running at its end\n", left);
        return 1;
    }
    return failed;
}
