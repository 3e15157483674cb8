// Starting the relay (or any program) through pipes, with a bound on every wait.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

constexpr int default_timeout_ms = 10000;

struct EnvChange {
    std::string name;
    std::optional<std::string> value; // nullopt: unset
};

struct SpawnOptions {
    std::vector<EnvChange> env;
    int stdin_fd = -1;          // use this descriptor as standard input instead of a pipe
    bool new_session = false;   // start as a session leader without a controlling terminal
    std::vector<int> close_fds; // standard descriptors to leave closed
    bool slow_output = false;   // standard output a one-page, non-blocking pipe
    int run_as = -1;            // user and group id to switch to before the exec
    int process_limit = -1;     // RLIMIT_NPROC to set after switching
};

// A started program; killed and reaped by its pid when the value goes, unless waited for.
struct Process {
    pid_t pid = -1;
    int in = -1; // non-blocking
    int out = -1;
    int err = -1;
    std::string out_text;
    std::string err_text;
    double cpu_seconds = 0; // user and system time, once waited for
    Process() = default;
    Process(const Process &) = delete;
    Process &operator=(const Process &) = delete;
    ~Process();
};

// The relay's path followed by `args`.
std::vector<std::string> relay_args(std::vector<std::string> args);

// argv[0] is the path of the program.
void spawn(Process &process, const std::vector<std::string> &argv,
           const SpawnOptions &options = {});

// Collects both outputs until `needle` appears in standard output (or standard error).
bool read_until(Process &process, std::string_view needle, bool on_error = false,
                int timeout_ms = default_timeout_ms);

// Writes `input` while collecting both outputs, closes standard input when `close_input` holds,
// collects until both outputs end and waits for the program. Returns its exit status; -1 when it
// did not exit normally or the time ran out (it is then killed).
int communicate(Process &process, std::string_view input, bool close_input = true,
                int timeout_ms = default_timeout_ms);

// Waits for the program's end alone; the exit status as above.
int wait_for_exit(Process &process, int timeout_ms = default_timeout_ms);

// Waits until a process that need not be ours has ended. False on timeout.
bool wait_until_gone(pid_t pid, int timeout_ms = default_timeout_ms);

struct RelayResult {
    int status;
    std::string out;
    std::string err;
};
// Runs the relay with `args` and the input to its end.
RelayResult run_relay(const std::vector<std::string> &args, std::string_view input = {},
                      const SpawnOptions &options = {}, int timeout_ms = default_timeout_ms);

inline const std::string probe = BRIMEL_PROBE;

// The terminal's output processing turns each newline into carriage return and newline.
std::string on_terminal(std::string_view text);

// What `seq 1 count` shows through the terminal.
std::string seq_on_terminal(int count);
