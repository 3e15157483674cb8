// Starting the relay (or any program) through pipes, with a bound on every wait.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <utility>
#include <vector>

constexpr int default_timeout_ms = 10000;

struct EnvChange {
    std::string name;
    std::optional<std::string> value; // nullopt: unset
};

struct SpawnOptions {
    std::vector<EnvChange> env;
    int stdin_fd = -1;          // use this descriptor as standard input instead of a pipe
    bool new_session = false;   // start the program as a session leader without a terminal
    std::vector<int> close_fds; // standard descriptors to leave closed in the program
    bool slow_output = false;   // standard output a one-page, non-blocking pipe
    int run_as = -1;            // user and group id to switch to before the exec
    int process_limit = -1;     // RLIMIT_NPROC to set after switching
};

// A started program. Its pid is killed and reaped when the value goes, unless it has been waited
// for.
struct Process {
    pid_t pid = -1;
    int in = -1;  // the program's standard input, non-blocking
    int out = -1; // its standard output
    int err = -1; // its standard error
    std::string out_text;
    std::string err_text;
    double cpu_seconds = 0; // user and system time, once waited for
    Process() = default;
    Process(const Process &) = delete;
    Process &operator=(const Process &) = delete;
    ~Process();
};

std::vector<std::string> relay_args(std::vector<std::string> args);

// argv[0] is the path of the program.
void spawn(Process &process, const std::vector<std::string> &argv,
           const SpawnOptions &options = {});

// Reads standard output and error into the texts until `needle` appears in standard output.
bool read_until(Process &process, std::string_view needle, int timeout_ms = default_timeout_ms);
// The same on standard error.
bool read_err_until(Process &process, std::string_view needle, int timeout_ms = default_timeout_ms);

// Writes `input` while reading both outputs; closes standard input once it is written when
// `close_input` holds; then reads until both outputs end and waits for the program. Returns the
// wait status, or -1 after the timeout (the program is then killed).
int communicate(Process &process, std::string_view input, bool close_input = true,
                int timeout_ms = default_timeout_ms);

// Waits for the program's end alone. -1 after the timeout.
int wait_for_exit(Process &process, int timeout_ms = default_timeout_ms);

// Exit status of a wait status, or -1 when the program did not exit normally.
int exit_code(int wait_status);

// Starts the relay with `args` and the input, and runs it to its end.
struct RelayResult {
    int status;
    std::string out;
    std::string err;
};
RelayResult run_relay(const std::vector<std::string> &args, std::string_view input = {},
                      const SpawnOptions &options = {}, int timeout_ms = default_timeout_ms);

// Kills a process by its pid, if it still runs.
void kill_pid(pid_t pid);

// Waits until `pid` no longer exists (or is a zombie of another parent). False on timeout.
bool wait_until_gone(pid_t pid, int timeout_ms = default_timeout_ms);
