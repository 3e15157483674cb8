// The relay as a host sees it, through the real binary: each row runs a shell script and compares
// its status and outputs. Every process a row starts carries a marker of that row in its
// environment, so whatever it leaves behind is found through /proc (Linux and Cygwin alike) and
// ended by its pid, and the row fails.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <regex>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>
#if __has_include(<sys/prctl.h>)
#include <sys/prctl.h>
#endif

namespace {

using deadline_clock = std::chrono::steady_clock;
using std::chrono::milliseconds;
int child_ended[2] = {-1, -1}; // a pipe that SIGCHLD writes to
int rows_run = 0;

void note_child_end(int /*number*/) {
    int saved = errno;
    ssize_t ignored = write(child_ended[1], "", 1);
    (void)ignored;
    errno = saved;
}

// The exit code, or 128 plus the signal, -1 when the time ran out; both outputs; and how many
// processes were still running after the script ended and had to be killed.
struct Outcome {
    int status;
    std::string out, err;
    int left;
};

// Waits for `marks`, or the end of a child, for `longest` at most; false once the deadline has
// passed.
bool wait_until(std::vector<pollfd> &marks, deadline_clock::time_point deadline,
                milliseconds longest = milliseconds::max()) {
    auto left = std::chrono::ceil<milliseconds>(deadline - deadline_clock::now());
    marks.push_back({child_ended[0], POLLIN, 0});
    if (left.count() > 0) {
        poll(marks.data(), marks.size(), static_cast<int>(std::min(left, longest).count()));
    }
    char drained[64];
    while (read(child_ended[0], drained, sizeof drained) > 0) {
    }
    marks.pop_back();
    return deadline_clock::now() < deadline;
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

// The processes whose environment has an entry that begins with `marker`.
std::vector<pid_t> marked_processes(const std::string &marker) {
    std::vector<pid_t> found;
    std::error_code unreadable;
    for (const auto &entry : std::filesystem::directory_iterator("/proc", unreadable)) {
        std::ifstream environment(entry.path() / "environ");
        for (std::string variable; std::getline(environment, variable, '\0');) {
            if (variable.compare(0, marker.size(), marker) == 0) {
                found.push_back(atoi(entry.path().filename().c_str()));
                break;
            }
        }
    }
    return found;
}

// Marked processes get until the deadline to end by themselves, as a command does once its
// terminal hangs up; the rest are killed by pid. Returns how many were.
int end_leftovers(const std::string &marker, deadline_clock::time_point deadline) {
    int killed = 0; // or killed again, while a killed one is still seen
    for (const auto give_up = deadline + std::chrono::seconds(5);
         deadline_clock::now() < give_up;) {
        while (waitpid(-1, nullptr, WNOHANG) > 0) {
        }
        std::vector<pid_t> pids = marked_processes(marker);
        if (pids.empty()) {
            return killed;
        }
        for (pid_t pid : pids) {
            killed += deadline_clock::now() >= deadline && kill(pid, SIGKILL) == 0 ? 1 : 0;
        }
        // An adopted process's end is a SIGCHLD; where the suite cannot adopt (no subreaper),
        // nothing tells of it, so look again every 20 ms.
        std::vector<pollfd> none;
        wait_until(none, give_up, milliseconds(20));
    }
    return killed + 1; // some would not even end when killed
}

// Runs `script` with /bin/sh, /dev/null as standard input and the default dispositions of the
// signals the rows send, for 30 seconds at most. Standard output is a pipe, a one-page one where
// the system can say so, non-blocking unless `blocking_output`, so that every short write the
// relay meets must be completed.
Outcome run(const std::string &script, bool blocking_output = false) {
    const auto deadline = deadline_clock::now() + std::chrono::seconds(30);
    const std::string marker =
        "BRIMEL_TEST_ROW=" + std::to_string(getpid()) + "." + std::to_string(++rows_run) + ".";
    int out[2];
    char err_path[] = "/tmp/brimel-stderr-XXXXXX"; // standard error needs no reader
    int err = mkstemp(err_path);
    if (pipe2(out, O_CLOEXEC) != 0 || err < 0 || unlink(err_path) != 0 ||
        fcntl(err, F_SETFD, FD_CLOEXEC) != 0 || fcntl(out[0], F_SETFL, O_NONBLOCK) != 0) {
        abort();
    }
#ifdef F_SETPIPE_SZ
    fcntl(out[1], F_SETPIPE_SZ, 4096);
#endif
    const pid_t pid = fork();
    if (pid == 0) {
        for (int number : {SIGINT, SIGQUIT, SIGTSTP, SIGPIPE, SIGCHLD}) {
            signal(number, SIG_DFL); // whatever the suite inherited
        }
        putenv(const_cast<char *>(marker.c_str()));
        dup2(open("/dev/null", O_RDONLY | O_CLOEXEC), 0);
        dup2(out[1], 1);
        dup2(err, 2);
        fcntl(1, F_SETFL, blocking_output ? 0 : O_NONBLOCK);
        execl("/bin/sh", "sh", "-c", (". " BRIMEL_TESTS_DIR "/cases.sh; " + script).c_str(),
              nullptr);
        _exit(127);
    }
    close(out[1]);
    Outcome seen{-1, {}, {}, 0};
    std::vector<pollfd> marks{{out[0], POLLIN, 0}};
    int status = -1; // neither exited nor signalled
    for (bool ended = false; !ended;) {
        ended = waitpid(pid, &status, WNOHANG) != 0 || !wait_until(marks, deadline);
        drain(marks[0].fd, seen.out);
    }
    seen.status = WIFEXITED(status)     ? WEXITSTATUS(status)
                  : WIFSIGNALED(status) ? 128 + WTERMSIG(status)
                                        : -1;
    lseek(err, 0, SEEK_SET);
    drain(err, seen.err);
    close(marks[0].fd);
    close(err);
    seen.left = end_leftovers(marker, deadline_clock::now() + std::chrono::seconds(2));
    return seen;
}

const std::string usage = "Usage: brimel [flags] cmdline\nFlags:\n-n Turns off echoing.\n"
                          "-a Set up SSH_ASKPASS and DISPLAY env vars if necessary.\n"
                          "-v Verbose debug output.\n";
const std::string to_fork = "Opening pty.\nOpened pty.\nReady to fork.\n";
const std::string traces = to_fork + "Begin loop.\nDone, exiting.\n";

// A script run after cases.sh has been sourced ($B is the relay), its status, and its exact
// standard output and error; or after "~" a regular expression for all of it, or after "=" a
// command (also run after cases.sh) whose standard output it is.
struct Case {
    std::string name;
    int status;
    std::string script, out = {}, err = {};
};

// One row a line.
// clang-format off
const Case cases[] = {
    // FrontEnd
    {"FrontEnd_usage_errors_before_anything_else", 0, R"(for a in '-v -n' '-x ls' '- ls' '-- ls'; do BRIMEL_INTERRUPT=yes $B $a; echo $?; done)", "1\n1\n1\n1\n", usage + usage + usage + usage},
    {"FrontEnd_second_character_only", 0, R"(ready_fifo; after_ready 'hi\n' | $B -vn sh -c 'echo >$R; exec cat')", "About to exec sh.\r\nhi\r\nhi\r\n", traces},
    {"FrontEnd_flags_after_the_command_are_its_own", 0, R"(echo x | $B cat -n)", "x\r\n     1\tx\r\n"},
    // Traces
    {"Traces_verbose", 0, R"(exec $B -v true)", "About to exec true.\r\n", traces},
    {"Traces_exec_failed_and_none_without_the_flag", 0, R"($B -v brimel-none; $B true; $B '')", "About to exec brimel-none.\r\nExec failed, 2.\r\n", traces},
    {"Traces_long_name", 0, R"(exec $B -v $(printf %3000s | tr ' ' x))", "~About to exec x{3000}\\.\r\nExec failed, 36\\.\r\n", traces},
    {"Traces_no_thread_then_no_fork", 0, R"(needs root setpriv prlimit; N='setpriv --reuid=65534 --regid=65534 --clear-groups prlimit'; $N --nproc=1 $B -v true; echo $?; VELDRIN_PROCESS_ID=$PPID $N --nproc=2 $B -v true; echo $?)", "1\n1\n", "CreateThread error\n\n" + to_fork + "couldn't fork\n"},
    // Relaying
    {"Relaying_every_byte_through_a_full_non_blocking_output", 0, R"($B seq 300000; BRIMEL_EXIT_STATUS=1 $B seq 20000)", "=seq 300000 | sed 's/$/\r/'; seq 20000 | sed 's/$/\r/'"},
    {"Relaying_command_that_writes_without_reading_neither_stalls_nor_loses_input", 0, R"(seq 16384 | awk '{printf "%063d\n", $1}' | $B -n sh -c 'head -c 8388608 /dev/zero; wc -c')", "=head -c 8388608 /dev/zero; printf '1048576\r\n'"},
    {"Relaying_writes_never_exceed_the_block_size", 0, R"(needs strace; stdout_writes $B -n printf %300s | awk '{n++} $1 > 256 {o++} END {print (n >= 2), o + 0}'; stdout_writes env BRIMEL_BLOCK_SIZE=4096 $B -n head -c 100000 /dev/zero | awk '$1 > 4096 {o++} $1 > 256 {b++} END {print o + 0, (b > 0)}')", "1 0\n0 1\n"},
    {"Relaying_every_byte_at_any_block_size", 0, R"(for s in 1 65536 1048576; do seq 11264 | awk '{printf "%063d\n", $1}' | BRIMEL_BLOCK_SIZE=$s $B -n sh -c 'head -c 300000 /dev/zero; wc -c'; done)", "=for s in 1 2 3; do head -c 300000 /dev/zero; printf '720896\r\n'; done"},
    {"Relaying_echo_unless_no_echo", 0, R"(echo hello | $B cat; echo hello | $B -n cat)", "hello\r\nhello\r\nhello\r\n"},
    {"Relaying_partial_line_ends_on_a_second_end_of_input", 0, R"(printf 'one\nabc' | $B -n cat)", "one\r\nabc"},
    {"Relaying_end_of_input_is_paced", 0, R"(exec $B -n sh -c 'stty raw min 0 time 0; echo ready; sleep 2; od -An -tx1 -v | grep -o 04 | wc -l')", "~ready\n([1-9]|[12][0-9]|30)\n"},
    // Terminal
    {"Terminal_command_on_its_terminal_also_when_the_relay_leads_a_session", 0, R"($B sh -c "$facts"; setsid -w $B sh -c "$facts")", "terminal\r\nleader\r\ncontrolling\r\nsigint_ignored\r\nterminal\r\nleader\r\ncontrolling\r\nsigint_ignored\r\n"},
    {"Terminal_terminal_input_loses_signal_generation", 0, R"(ready_fifo; after_ready '\003\n' | $B -n sh -c '$B -n sh -c "stty raw; echo >$R; head -c 1 | od -An -tx1"; stty -a | grep -o -- -isig')", " 03\r\n-isig\r\n"},
    {"Terminal_relay_that_neither_leads_nor_has_a_terminal", 0, R"(setsid -w sh -c 'echo hi | $B -n cat; :')", "hi\r\n"},
    {"Terminal_slave_taken_by_the_relay_only_where_it_can_let_go", 0, R"(needs strace; f=$(setsid -w sh -c '{ strace -o /dev/fd/3 -e trace=openat $B true >/dev/null 2>&1; } 3>&1 | sed -n "s|.*/pts/[0-9]*\", \([A-Z_|]*\)).*|\1|p"'); [ "$f" = "$SLAVE_FLAGS" ] && echo ok || echo "$f")", "ok\n"},
    // The child stops after setsid; once a process of its own holds the relay's master (through
    // pidfd_getfd), the relay ends and the child goes on, as on Cygwin, to a terminal still alive.
    {"Terminal_command_not_started_once_the_relay_is_gone", 0, R"(needs strace pidfd python3; sleep 1000 >/dev/null 2>&1 & H=$!; T=$(mktemp -u); mkfifo $T; VELDRIN_PROCESS_ID=$H strace -f -o $T -e trace=setsid -e inject=setsid:signal=SIGSTOP $B true & while read -r p w; do case $w in *stopped*) C=$p; S=$(python3 -c 'import ctypes, os, subprocess, sys; r = int(sys.argv[1]); d = "/proc/%d/fd/" % r; m = ctypes.CDLL(None).syscall(438, os.pidfd_open(r), [int(f) for f in os.listdir(d) if os.readlink(d + f) == "/dev/ptmx"][0], 0); print(subprocess.Popen(["sleep", "1000"], pass_fds=[m], stdout=subprocess.DEVNULL).pid)' $(cut -d' ' -f4 /proc/$p/stat)); kill $H;; *exited*) [ $p = "$C" ] && echo "$w" || kill -CONT $C;; esac; done <$T; rm $T; kill $S)", "+++ exited with 1 +++\n"},
    {"Terminal_closed_standard_descriptors", 0, R"((exec 0<&-; exec $B -n cat); exec 2>&-; echo x | $B -v -n cat)", "About to exec cat.\r\nx\r\n"},
    // HostSignals: with BRIMEL_INTERRUPT=1 a host's SIGINT, SIGQUIT and SIGTSTP act on the command's foreground job
    {"HostSignals_interrupt_and_quit_end_the_command", 0, R"(ready_fifo; export BRIMEL_INTERRUPT=1 BRIMEL_EXIT_STATUS=1; for s in INT QUIT; do relay_fed -n sh -c 'trap "exit 7" QUIT; echo >$R; sleep 30 & wait'; ready; kill -$s $P; wait $P; echo $?; done)", "130\n7\n"},
    {"HostSignals_interactive_shell_answers_after_an_interrupt", 0, R"(ready_fifo; export BRIMEL_INTERRUPT=1; relay_fed -n sh -i; echo "$job" >&3; ready; kill -INT $P; echo 'echo answered; exit' >&3; wait $P)", "~[#$ \r\n]*answered\r\n[#$ \r\n]*"},
    {"HostSignals_suspend_stops_the_job_not_the_relay", 0, R"(ready_fifo; export BRIMEL_INTERRUPT=1; relay_fed -n sh -c 'set -m; sh -c "echo >\$R; exec sleep 30"; echo stopped $?; kill -9 %1'; ready; kill -TSTP $P; wait $P; echo $?)", "stopped 148\r\n0\n"},
    {"HostSignals_raw_reader_gets_the_byte_and_no_character_means_a_signal", 0, R"(ready_fifo; export BRIMEL_INTERRUPT=1 BRIMEL_EXIT_STATUS=1; relay_fed -n sh -c 'stty raw; echo >$R; head -c 1 | od -An -tx1'; ready; kill -INT $P; wait $P; relay_fed -n sh -c 'stty intr undef; echo >$R; exec sleep 30'; ready; kill -INT $P; wait $P; echo $?)", " 03\n130\n"},
    {"HostSignals_command_that_reads_nothing_is_interrupted", 0, R"(needs strace; T=$(mktemp -u); mkfifo $T; export BRIMEL_INTERRUPT=1 BRIMEL_EXIT_STATUS=1; seq 300000 | strace -f -o $T -e trace=write $B -n sleep 30 & while read -r p w; do case $w in *EAGAIN*) [ -n "$k" ] || kill -INT $p; k=1;; esac; done <$T; wait $!; echo $?; rm $T)", "130\n"},
    {"HostSignals_interrupt_before_the_command_holds_its_terminal", 0, R"(needs strace; T=$(mktemp -u); mkfifo $T; export BRIMEL_INTERRUPT=1 BRIMEL_EXIT_STATUS=1; strace -f -o $T -e trace=setsid,kill -e inject=setsid:signal=SIGSTOP $B -n sleep 30 & while read -r p w; do case $w in *stopped*) C=$p; kill -INT $(cut -d' ' -f4 /proc/$p/stat);; kill*) kill -CONT $C;; esac; done <$T; wait $!; echo $?; rm $T)", "130\n"},
    {"HostSignals_off_the_relay_keeps_what_it_inherited", 0, R"($B -n sh -c 'kill -INT $PPID; echo alive'; { BRIMEL_INTERRUPT=0 $B -n sh -c 'kill -QUIT $PPID; exec sleep 5'; echo $?; } 2>/dev/null; for i in 0 1; do (BRIMEL_INTERRUPT=$i $B yes; echo $? >&2) | head -c 2; done)", "alive\r\n131\ny\ry\r", "141\n141\n"},
    // HostWatch
    {"HostWatch_host_ends", 0, R"(for v in '$H' '"  ${H}xyz"' '+$H'; do (host "$v"); echo $?; done)", "1\n1\n1\n"},
    {"HostWatch_ids_that_watch_nothing", 0, R"((host); for v in '' '""' host 0 '-$H' '" -$H"' '$(sh -c "echo \$\$")' '$((H + 4294967296))' '99999999999999999999$H'; do (host "$v"); done)", "~(alive\r\n){10}"},
    {"HostWatch_host_opened_before_the_terminal_under_a_descriptor_limit", 0, R"(sleep 1000 >/dev/null 2>&1 & H=$!; for i in $(seq 50); do (ulimit -n 5; VELDRIN_PROCESS_ID=$H exec $B true) 2>/dev/null; echo $?; done | uniq -c; kill $H)", "~ *50 1\n"},
    {"HostWatch_command_never_left_without_its_terminal", 0, R"(for i in $(seq 50); do sh -c 'true & VELDRIN_PROCESS_ID=$! exec $B sleep 1000'; echo $?; done | uniq -c)", "~ *50 1\n"},
    {"HostWatch_host_watched_through_proc_without_pidfd_open", 1, R"(needs strace; sleep 1000 >/dev/null 2>&1 & export H=$!; VELDRIN_PROCESS_ID=$H strace -f -o /dev/null -e trace=pidfd_open -e inject=pidfd_open:error=ENOSYS $B -n sh -c 'for p in $PPID $$; do ls -l /proc/$p/fd 2>/dev/null | grep -c "/proc/$H\$"; done; kill $H; sleep 5; echo alive')", "1\r\n0\r\n"},
    {"HostWatch_command_holds_no_watch", 0, R"(needs pidfd; export VELDRIN_PROCESS_ID=$PPID; exec $B sh -c 'echo $(ls -l /proc/$PPID/fd | grep -c pidfd) $(ls -l /proc/$$/fd | grep -c pidfd)')", "1 0\r\n"},
    // Askpass
    {"Askpass_backslash_and_colon_separate_too", 0, R"(T=$(mktemp -d); cp $B "$T/a:b\\c"; unset SSH_ASKPASS; "$T/a:b\\c" -a sh -c 'printf %s "$SSH_ASKPASS"' | sed "s|^$T/||"; rm -rf $T)", "a:b\\brimel-auth.exe"},
    {"Askpass_set_only_when_unset", 0, R"(unset DISPLAY SSH_ASKPASS; seen_by $B -a; seen_by $B; DISPLAY= seen_by $B -a; DISPLAY=:7 SSH_ASKPASS= seen_by $B -a; SSH_ASKPASS=/bin/p seen_by $B -a)", ":0.0|@brimel-auth.exe\r\nunset|\r\n|@brimel-auth.exe\r\n:7|@\r\n:0.0|@/bin/p\r\n"},
    {"Askpass_long_path_and_symbolic_link", 0, R"(T=$(mktemp -d); L=$T/$(printf %0200d 0)/$(printf %0200d 1)/$(printf %0200d 2); mkdir -p $L; cp $B $L/b; unset SSH_ASKPASS; D=$L/ seen_by $L/b -a; rm -rf $T; T=$(mktemp -d); mkdir $T/r; cp $B $T/r/b; ln -s $T/r/b $T/s; unset SSH_ASKPASS; D=$(readlink -f $T/r)/ seen_by $T/s -a; rm -rf $T)", "~.*\\|@brimel-auth.exe\r\n.*\\|@brimel-auth.exe\r\n"},
    // HostOptions
    {"HostOptions_window_size_and_exit_statuses", 0, R"(BRIMEL_WINDOW_SIZE=120x40 $B stty size; BRIMEL_WINDOW_SIZE= $B stty size; $B sh -c 'exit 7'; echo $?; export BRIMEL_EXIT_STATUS=1; for c in true 'exit 7' 'kill $$'; do $B sh -c "$c"; echo $?; done; $B brimel-none; echo $?; BRIMEL_EXIT_STATUS=0 $B sh -c 'exit 7'; echo $?)", "40 120\r\n0 0\r\n0\n0\n7\n143\n1\n0\n"},
    {"HostOptions_interrupt", 0, R"(for i in 1 0; do ready_fifo; after_ready '\003' | BRIMEL_INTERRUPT=$i BRIMEL_EXIT_STATUS=1 $B -n sh -c 'echo >$R; sleep 2; echo survived'; echo $?; done)", "130\nsurvived\r\n0\n"},
    {"HostOptions_bad_values", 0, R"(for v in abc 120 120x x40 0x40 120x0 70000x40 4294967416x40 120x40x2 '120 x40' +120x40; do refused BRIMEL_WINDOW_SIZE "$v" COLUMNSxROWS; done; for v in yes 2 ' 1'; do refused BRIMEL_INTERRUPT "$v" '0 or 1'; refused BRIMEL_EXIT_STATUS "$v" '0 or 1'; done; for v in 0 1048577 64k -1 ' 256' '256 ' 18446744073709551872; do refused BRIMEL_BLOCK_SIZE "$v" '1 to 1048576'; done)"},
    {"HostOptions_host_ends_while_the_relay_waits_for_its_command", 1, R"(sleep 1000 >/dev/null 2>&1 & export H=$! BRIMEL_EXIT_STATUS=1; VELDRIN_PROCESS_ID=$H exec $B sh -c 'exec >/dev/null 2>&1 </dev/null; kill $H; sleep 5')"},
};
// clang-format on

class Relay : public testing::TestWithParam<Case> {};

TEST_P(Relay, ShowsWhatTheRowSays) {
    const Case &c = GetParam();
    Outcome seen = run(c.script);
    if (seen.status == 77) {
        GTEST_SKIP() << seen.err; // what the row needs that this system lacks
    }
    EXPECT_EQ(seen.status, c.status);
    for (auto [text, expected] : {std::pair{seen.out, c.out}, {seen.err, c.err}}) {
        if (expected[0] == '=') { // what a reference command prints
            expected = run(expected.substr(1), true).out;
        }
        EXPECT_TRUE(expected[0] == '~' ? std::regex_match(text, std::regex(expected.substr(1)))
                                       : text == expected)
            << "shown: " << text.substr(0, 4000);
    }
    EXPECT_EQ(seen.left, 0);
}

INSTANTIATE_TEST_SUITE_P(Rows, Relay, testing::ValuesIn(cases),
                         [](const testing::TestParamInfo<Case> &info) { return info.param.name; });

} // namespace

int main(int argc, char **argv) {
#ifdef PR_SET_CHILD_SUBREAPER
    prctl(PR_SET_CHILD_SUBREAPER, 1); // leftovers come back as children, and their ends as SIGCHLD
#endif
    if (pipe2(child_ended, O_CLOEXEC | O_NONBLOCK) != 0) {
        return 1;
    }
    signal(SIGCHLD, note_child_end);
    setenv("B", BRIMEL_BINARY, 1);
    // Where a terminal cannot be let go of, the relay never takes its slave.
#if !defined(TIOCNOTTY) || defined(BRIMEL_CYGWIN_TERMINALS)
    setenv("SLAVE_FLAGS", "O_RDWR|O_NOCTTY", 1);
#else
    setenv("SLAVE_FLAGS", "O_RDWR", 1);
#endif
    testing::InitGoogleTest(&argc, argv);
    int failed = RUN_ALL_TESTS();
    const std::string every_row = "BRIMEL_TEST_ROW=" + std::to_string(getpid()) + ".";
    if (int left = end_leftovers(every_row, deadline_clock::now()); left > 0) {
        fprintf(stderr, "%d processes of the suite were still running at its end\n", left);
        return 1;
    }
    return failed;
}
