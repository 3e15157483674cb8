#include "process.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using clock_type = std::chrono::steady_clock;

int ms_left(clock_type::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - clock_type::now());
    return std::max(0, static_cast<int>(left.count()));
}

clock_type::time_point deadline_after(int timeout_ms) {
    return clock_type::now() + std::chrono::milliseconds(timeout_ms);
}

void collect(int &fd, std::string &text) {
    char buffer[65536];
    ssize_t count = read(fd, buffer, sizeof buffer);
    if (count > 0) {
        text.append(buffer, static_cast<size_t>(count));
    } else if (count == 0 || errno != EINTR) {
        close(fd);
        fd = -1;
    }
}

// One wait on both outputs, and on the input while `input` holds bytes; false on timeout.
bool pump(Process &process, clock_type::time_point deadline, std::string_view &input) {
    pollfd ready[3] = {{process.out, POLLIN, 0},
                       {process.err, POLLIN, 0},
                       {input.empty() ? -1 : process.in, POLLOUT, 0}};
    int marked = poll(ready, 3, ms_left(deadline));
    if (marked <= 0) {
        return marked < 0 && errno == EINTR;
    }
    if (ready[0].revents != 0) {
        collect(process.out, process.out_text);
    }
    if (ready[1].revents != 0) {
        collect(process.err, process.err_text);
    }
    if (ready[2].revents != 0) {
        ssize_t written = write(process.in, input.data(), input.size());
        if (written > 0) {
            input.remove_prefix(static_cast<size_t>(written));
        } else if (errno != EAGAIN && errno != EINTR) {
            input = {}; // the program no longer reads
        }
    }
    return true;
}

void kill_and_reap(Process &process) {
    kill(process.pid, SIGKILL);
    waitpid(process.pid, nullptr, 0);
    process.pid = -1;
}

} // namespace

Process::~Process() {
    for (int fd : {in, out, err}) {
        if (fd >= 0) {
            close(fd);
        }
    }
    if (pid > 0) {
        kill_and_reap(*this);
    }
}

std::vector<std::string> relay_args(std::vector<std::string> args) {
    args.insert(args.begin(), BRIMEL_BINARY);
    return args;
}

void spawn(Process &process, const std::vector<std::string> &argv, const SpawnOptions &options) {
    signal(SIGPIPE, SIG_IGN); // a program that stops reading must not end the test
    int in[2];
    int out[2];
    int err[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) {
        abort();
    }
    if (options.slow_output) {
        fcntl(out[1], F_SETPIPE_SZ, 4096);
        fcntl(out[1], F_SETFL, O_NONBLOCK);
    }
    std::vector<char *> args;
    args.reserve(argv.size() + 1);
    for (const std::string &arg : argv) {
        args.push_back(const_cast<char *>(arg.c_str()));
    }
    args.push_back(nullptr);
    process.pid = fork();
    if (process.pid == 0) {
        if (options.new_session) {
            setsid();
        }
        dup2(options.stdin_fd >= 0 ? options.stdin_fd : in[0], 0);
        dup2(out[1], 1);
        dup2(err[1], 2);
        for (int fd : options.close_fds) {
            close(fd);
        }
        signal(SIGPIPE, SIG_DFL);
        if (options.run_as >= 0 && (setgroups(0, nullptr) != 0 || setgid(options.run_as) != 0 ||
                                    setuid(options.run_as) != 0)) {
            _exit(126);
        }
        if (options.process_limit >= 0) {
            auto limit = static_cast<rlim_t>(options.process_limit);
            rlimit limits{limit, limit};
            setrlimit(RLIMIT_NPROC, &limits);
        }
        for (const EnvChange &change : options.env) {
            change.value ? setenv(change.name.c_str(), change.value->c_str(), 1)
                         : unsetenv(change.name.c_str());
        }
        execv(args[0], args.data());
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    close(err[1]);
    fcntl(in[1], F_SETFL, O_NONBLOCK);
    process.in = in[1];
    process.out = out[0];
    process.err = err[0];
}

bool read_until(Process &process, std::string_view needle, bool on_error, int timeout_ms) {
    const std::string &text = on_error ? process.err_text : process.out_text;
    auto deadline = deadline_after(timeout_ms);
    std::string_view no_input;
    while (text.find(needle) == std::string::npos) {
        if ((process.out < 0 && process.err < 0) || !pump(process, deadline, no_input)) {
            return false;
        }
    }
    return true;
}

bool wait_until_gone(pid_t pid, int timeout_ms) {
    int pidfd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    if (pidfd < 0) {
        return errno == ESRCH;
    }
    pollfd ended{pidfd, POLLIN, 0};
    int marked = poll(&ended, 1, timeout_ms);
    close(pidfd);
    return marked > 0;
}

int wait_for_exit(Process &process, int timeout_ms) {
    if (!wait_until_gone(process.pid, timeout_ms)) {
        kill_and_reap(process);
        return -1;
    }
    int status = 0;
    rusage usage{};
    wait4(process.pid, &status, 0, &usage);
    process.pid = -1;
    process.cpu_seconds =
        static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
        static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int communicate(Process &process, std::string_view input, bool close_input, int timeout_ms) {
    auto deadline = deadline_after(timeout_ms);
    while (!input.empty() || process.out >= 0 || process.err >= 0) {
        if (input.empty() && close_input && process.in >= 0) {
            close(process.in);
            process.in = -1;
        }
        if (!pump(process, deadline, input)) {
            kill_and_reap(process);
            return -1;
        }
    }
    return wait_for_exit(process, ms_left(deadline));
}

RelayResult run_relay(const std::vector<std::string> &args, std::string_view input,
                      const SpawnOptions &options, int timeout_ms) {
    Process process;
    spawn(process, relay_args(args), options);
    int status = communicate(process, input, true, timeout_ms);
    return {status, process.out_text, process.err_text};
}

std::string on_terminal(std::string_view text) {
    std::string shown;
    for (char c : text) {
        shown += c == '\n' ? "\r\n" : std::string(1, c);
    }
    return shown;
}

std::string seq_on_terminal(int count) {
    std::string shown;
    for (int i = 1; i <= count; ++i) {
        shown += std::to_string(i) + "\r\n";
    }
    return shown;
}
