// The relay as a host sees it, through the real binary: one row a case, grouped by what shows.
#include "harness.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

namespace {

struct Case {
    std::string name;
    std::string script; // $B is the relay
    int status;
    std::string out; // the exact text, or after "~" a regular expression for all of it
    std::string err = {};
    std::string input = {};
    std::string ready = {}; // the input waits for this on standard output
};

const std::string usage = "Usage: brimel [flags] cmdline\nFlags:\n-n Turns off echoing.\n"
                          "-a Set up SSH_ASKPASS and DISPLAY env vars if necessary.\n"
                          "-v Verbose debug output.\n";
const std::string to_fork = "Opening pty.\nOpened pty.\nReady to fork.\n";
const std::string traces = to_fork + "Begin loop.\nDone, exiting.\n";
const std::string facts =
    "sh -c 'test -t 0 && test -t 1 && test -t 2 && echo terminal; read -r p c s pp pg sid tty r"
    " </proc/$$/stat; [ $sid = $$ ] && echo leader; [ $tty != 0 ] && echo controlling; grep -q "
    "\"^SigIgn:.*[2367abef]$\" /proc/$$/status && echo sigint_ignored'";

// A host stand-in H, VELDRIN_PROCESS_ID set as `setting` says, and a command that ends H and
// then, when the relay has not ended with it, says so.
std::string host(const std::string &setting) {
    return "sleep 1000 >/dev/null 2>&1 & H=$!; export H VELDRIN_PROCESS_ID; " + setting +
           "; exec $B -n sh -c 'kill $H; sleep 0.5; echo alive'";
}

// What the command sees of DISPLAY and SSH_ASKPASS; a value that starts with $D, the directory
// of the real relay file, shows as @ and the rest.
std::string askpass(const std::string &setup, const std::string &relay = "exec $B -a",
                    const std::string &after = "") {
    return "export D=$(dirname $(readlink -f $B))/; " + setup + "; " + relay +
           " sh -c 'echo \"${DISPLAY-unset}|${SSH_ASKPASS+@}${SSH_ASKPASS#$D}\"'" + after;
}

const std::string long_directory = "T=$(mktemp -d); L=$T/$(printf %0200d 0)/$(printf %0200d 1)/"
                                   "$(printf %0200d 2); mkdir -p $L; cp $B $L/b; D=$L/";

const std::vector<Case> front_end = {
    {"no_command", "exec $B -v -n", 1, "", usage},
    {"unknown_flag", "exec $B -x ls", 1, "", usage},
    {"lone_dash", "exec $B - ls", 1, "", usage},
    {"double_dash", "exec $B -- ls", 1, "", usage},
    {"second_character_only", "exec $B -vn cat", 0, "About to exec cat.\r\nhi\r\nhi\r\n", traces,
     "hi\n", "cat."},
    {"flags_after_the_command_are_its_own", "exec $B cat -n", 0, "x\r\n     1\tx\r\n", "", "x\n"},
    {"empty_command_name", "exec $B ''", 0, ""},
};

const std::vector<Case> traces_cases = {
    {"verbose", "exec $B -v true", 0, "About to exec true.\r\n", traces},
    {"quiet", "exec $B true", 0, ""},
    {"exec_failed", "exec $B -v brimel-none", 0,
     "About to exec brimel-none.\r\nExec failed, 2.\r\n", traces},
    {"long_name", "exec $B -v $(printf %3000s | tr ' ' x)", 0,
     "~About to exec x{3000}\\.\r\nExec failed, 36\\.\r\n", traces},
    {"no_thread_then_no_fork",
     "[ $(id -u) = 0 ] || exit 77; N='setpriv --reuid=65534 --regid=65534 --clear-groups prlimit';"
     " $N --nproc=1 $B -v true; echo $?; VELDRIN_PROCESS_ID=$PPID $N --nproc=2 $B -v true; echo $?",
     0, "1\n1\n", "CreateThread error\n\n" + to_fork + "couldn't fork\n"},
};

const std::vector<Case> relaying = {
    {"echo", "exec $B cat", 0, "hello\r\nhello\r\n", "", "hello\n"},
    {"no_echo", "exec $B -n cat", 0, "hello\r\n", "", "hello\n"},
    {"partial_line_ends_on_a_second_end_of_input", "exec $B -n cat", 0, "one\r\nabc", "",
     "one\nabc"},
    {"no_input", "exec $B -n cat", 0, ""},
    {"command_status_is_not_the_relays", "exec $B sh -c 'exit 7'", 0, ""},
    {"end_of_input_is_paced",
     "exec $B -n sh -c 'stty raw min 0 time 0; echo ready; sleep 2; od -An -tx1 -v | grep -o 04 "
     "| wc -l'",
     0, "~ready\n([1-9]|[12][0-9]|30)\n"},
};

const std::vector<Case> terminal = {
    {"command_on_its_terminal", "exec $B " + facts, 0,
     "terminal\r\nleader\r\ncontrolling\r\nsigint_ignored\r\n"},
    {"relay_that_leads_a_session", "exec setsid -w $B " + facts, 0,
     "terminal\r\nleader\r\ncontrolling\r\nsigint_ignored\r\n"},
    {"sigint_leaves_the_relay_running", "exec $B -n sh -c 'kill -INT $PPID; echo alive'", 0,
     "alive\r\n"},
    {"terminal_input_loses_signal_generation",
     "exec $B -n sh -c '$B -n sh -c \"stty raw; echo ready; head -c 1 | od -An -tx1\"; stty -a | "
     "grep -o -- -isig'",
     0, "ready\r\n 03\r\n-isig\r\n", "", "\x03\n", "ready"},
    {"closed_input", "exec 0<&-; exec $B -n cat", 0, ""},
    {"closed_error", "exec 2>&-; exec $B -v -n cat", 0, "About to exec cat.\r\nx\r\n", "", "x\n"},
};

const std::vector<Case> host_watch = {
    {"host_ends", host("VELDRIN_PROCESS_ID=$H"), 1, ""},
    {"spaces_and_junk", host("VELDRIN_PROCESS_ID=\"  ${H}xyz\""), 1, ""},
    {"plus_sign", host("VELDRIN_PROCESS_ID=+$H"), 1, ""},
    {"unset", host("unset VELDRIN_PROCESS_ID"), 0, "alive\r\n"},
    {"empty", host("VELDRIN_PROCESS_ID="), 0, "alive\r\n"},
    {"not_a_number", host("VELDRIN_PROCESS_ID=host"), 0, "alive\r\n"},
    {"zero", host("VELDRIN_PROCESS_ID=0"), 0, "alive\r\n"},
    {"negative", host("VELDRIN_PROCESS_ID=-$H"), 0, "alive\r\n"},
    {"space_and_negative", host("VELDRIN_PROCESS_ID=\" -$H\""), 0, "alive\r\n"},
    {"no_such_process", host("VELDRIN_PROCESS_ID=$(sh -c 'echo $$')"), 0, "alive\r\n"},
    {"wraps_to_the_host", host("VELDRIN_PROCESS_ID=$((H + 4294967296))"), 0, "alive\r\n"},
    {"too_long", host("VELDRIN_PROCESS_ID=99999999999999999999$H"), 0, "alive\r\n"},
    {"no_call_for_ids_that_name_no_process",
     "for v in -$$ 0; do VELDRIN_PROCESS_ID=$v strace -f -qq -e trace=pidfd_open,kill,openat $B "
     "true; done 2>&1 >/dev/null | grep -c 'pidfd_open\\|kill(\\|/proc/-\\?[0-9]' || :",
     0, "0\n"},
    {"command_holds_no_watch",
     "export VELDRIN_PROCESS_ID=$PPID; exec $B sh -c 'echo $(ls -l /proc/$PPID/fd | grep -c "
     "pidfd) $(ls -l /proc/$$/fd | grep -c pidfd)'",
     0, "1 0\r\n"},
};

const std::vector<Case> askpass_cases = {
    {"both_unset", askpass("unset DISPLAY SSH_ASKPASS"), 0, ":0.0|@brimel-auth.exe\r\n"},
    {"display_empty", askpass("export DISPLAY=; unset SSH_ASKPASS"), 0, "|@brimel-auth.exe\r\n"},
    {"askpass_empty", askpass("export DISPLAY=:7 SSH_ASKPASS="), 0, ":7|@\r\n"},
    {"askpass_set", askpass("unset DISPLAY; export SSH_ASKPASS=/bin/p"), 0, ":0.0|@/bin/p\r\n"},
    {"without_the_flag", askpass("unset DISPLAY SSH_ASKPASS", "exec $B"), 0, "unset|\r\n"},
    {"long_path", askpass(long_directory + "; unset SSH_ASKPASS", "$L/b -a", "; rm -rf $T"), 0,
     "~.*\\|@brimel-auth.exe\r\n"},
    {"symbolic_link",
     askpass("T=$(mktemp -d); mkdir $T/r; cp $B $T/r/b; ln -s $T/r/b $T/s; D=$(readlink -f $T/r)/;"
             " unset SSH_ASKPASS",
             "$T/s -a", "; rm -rf $T"),
     0, "~.*\\|@brimel-auth.exe\r\n"},
};

class Relay : public testing::TestWithParam<Case> {};

void PrintTo(const Case &c, std::ostream *os) {
    *os << c.script;
}

TEST_P(Relay, ShowsWhatTheRowSays) {
    const Case &c = GetParam();
    Outcome seen = run(c.script, c.input, c.ready);
    if (seen.status == 77) {
        GTEST_SKIP() << "needs root";
    }
    EXPECT_EQ(seen.status, c.status);
    for (auto [text, expected] : {std::pair{&seen.out, &c.out}, {&seen.err, &c.err}}) {
        if (expected->rfind('~', 0) == 0) {
            EXPECT_TRUE(std::regex_match(*text, std::regex(expected->substr(1)))) << *text;
        } else {
            EXPECT_EQ(*text, *expected);
        }
    }
    EXPECT_EQ(seen.left, 0);
}

std::string row_name(const testing::TestParamInfo<Case> &info) {
    return info.param.name;
}

INSTANTIATE_TEST_SUITE_P(FrontEnd, Relay, testing::ValuesIn(front_end), row_name);
INSTANTIATE_TEST_SUITE_P(Traces, Relay, testing::ValuesIn(traces_cases), row_name);
INSTANTIATE_TEST_SUITE_P(Relaying, Relay, testing::ValuesIn(relaying), row_name);
INSTANTIATE_TEST_SUITE_P(Terminal, Relay, testing::ValuesIn(terminal), row_name);
INSTANTIATE_TEST_SUITE_P(HostWatch, Relay, testing::ValuesIn(host_watch), row_name);
INSTANTIATE_TEST_SUITE_P(Askpass, Relay, testing::ValuesIn(askpass_cases), row_name);

std::string seq_on_terminal(int count) {
    std::string shown;
    for (int i = 1; i <= count; ++i) {
        shown += std::to_string(i) + "\r\n";
    }
    return shown;
}

TEST(Bulk, EveryByteReachesAFullNonBlockingOutputBeforeTheEnd) {
    Outcome result = run("exec $B seq 1 300000", {}, {}, 60000);
    EXPECT_EQ(result.status, 0);
    EXPECT_TRUE(result.out == seq_on_terminal(300000)) << result.out.size();
}

TEST(Bulk, CommandThatWritesWithoutReadingNeitherStallsNorLosesInput) {
    std::string input; // 1 MiB that nobody reads while the command writes 8 MiB
    for (int line = 0; input.size() < (1 << 20); ++line) {
        input += std::string(63, static_cast<char>('a' + line % 26)) + "\n";
    }
    Outcome result = run("exec $B -n sh -c 'head -c 8388608 /dev/zero; wc -c'", input, {}, 60000);
    EXPECT_EQ(result.status, 0);
    EXPECT_TRUE(result.out == std::string(8388608, '\0') + "1048576\r\n") << result.out.size();
}

} // namespace
