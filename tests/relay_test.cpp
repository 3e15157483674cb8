// The relay as a host sees it: its usage text, its traces, and the bytes it relays each way.
#include "process.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

namespace {

const std::string probe = BRIMEL_PROBE;

const std::string usage_text = "Usage: brimel [flags] cmdline\n"
                               "Flags:\n"
                               "-n Turns off echoing.\n"
                               "-a Set up SSH_ASKPASS and DISPLAY env vars if necessary.\n"
                               "-v Verbose debug output.\n";

const std::string verbose_traces =
    "Opening pty.\nOpened pty.\nReady to fork.\nBegin loop.\nDone, exiting.\n";

// The terminal's output processing turns each newline into carriage return and newline.
std::string on_terminal(const std::string &text) {
    std::string out;
    for (char c : text) {
        if (c == '\n') {
            out += '\r';
        }
        out += c;
    }
    return out;
}

std::string temporary_path(const std::string &name) {
    return testing::TempDir() + "brimel-" + std::to_string(getpid()) + "-" + name;
}

TEST(FrontEnd, BadCommandLinesGiveTheUsageTextAndStatusOne) {
    for (const auto &args : std::vector<std::vector<std::string>>{
             {}, {"-v"}, {"-v", "-n"}, {"-x", "ls"}, {"-", "ls"}, {"--", "ls"}}) {
        RelayResult run = run_relay(args);
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.err, usage_text); // byte for byte, and nothing else: no terminal was opened
        EXPECT_EQ(run.out, "");
    }
}

TEST(FrontEnd, ArgumentsAfterTheCommandNameReachItUnchanged) {
    RelayResult run = run_relay({"-n", "sh", "-c", "printf '%s|' \"$@\"", "sh", "-n", "--", "-v"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "-n|--|-v|");
}

TEST(Traces, VerboseStartAndEndGoToStandardErrorAndExecLineThroughTheTerminal) {
    RelayResult run = run_relay({"-v", "true"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, verbose_traces);
    EXPECT_EQ(run.out, on_terminal("About to exec true.\n"));

    RelayResult quiet = run_relay({"true"});
    EXPECT_EQ(quiet.status, 0);
    EXPECT_EQ(quiet.err, "");
    EXPECT_EQ(quiet.out, "");
}

TEST(Traces, FailedExecIsReportedOnlyWithVerboseAndStillEndsWithZero) {
    RelayResult run = run_relay({"-v", "brimel-no-such-command"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, verbose_traces);
    EXPECT_EQ(run.out, on_terminal("About to exec brimel-no-such-command.\nExec failed, 2.\n"));

    RelayResult quiet = run_relay({""});
    EXPECT_EQ(quiet.status, 0);
    EXPECT_EQ(quiet.out, "");
    EXPECT_EQ(quiet.err, "");
}

TEST(Traces, LongCommandNameIsWrittenWhole) {
    std::string name(3000, 'x');
    RelayResult run = run_relay({"-v", name});
    EXPECT_EQ(run.out, on_terminal("About to exec " + name + ".\nExec failed, 36.\n")); // too long
}

TEST(Relay, CommandStatusNeverBecomesTheRelays) {
    EXPECT_EQ(run_relay({"sh", "-c", "exit 7"}).status, 0);
}

TEST(Relay, TerminalEchoesUnlessNoEcho) {
    RelayResult echoing = run_relay({"cat"}, "hello\n");
    EXPECT_EQ(echoing.status, 0);
    EXPECT_EQ(echoing.out, on_terminal("hello\nhello\n"));

    RelayResult silent = run_relay({"-n", "cat"}, "hello\n");
    EXPECT_EQ(silent.status, 0);
    EXPECT_EQ(silent.out, on_terminal("hello\n"));
}

TEST(Relay, EndOfInputEndsCatAlsoAfterAPartialLine) {
    RelayResult run = run_relay({"-n", "cat"}, "one\ntwo\nabc");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, on_terminal("one\ntwo\n") + "abc");

    RelayResult empty = run_relay({"-n", "cat"});
    EXPECT_EQ(empty.status, 0);
    EXPECT_EQ(empty.out, "");
}

TEST(Relay, EveryByteTheCommandWroteBeforeItEndedArrives) {
    RelayResult run = run_relay({"seq", "1", "300000"}, {}, {}, 30000);
    std::ostringstream expected;
    for (int i = 1; i <= 300000; ++i) {
        expected << i << "\r\n";
    }
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(run.out == expected.str()) << "got " << run.out.size() << " bytes";
}

TEST(Relay, CommandThatWritesWithoutReadingNeitherStallsNorLosesInput) {
    // 8 MiB of output while the host writes 1 MiB that nobody reads yet; then the command reads it.
    std::string input;
    for (int line = 0; input.size() < (1 << 20); ++line) {
        std::string text = std::to_string(line) + ":";
        text.resize(63, static_cast<char>('a' + line % 26));
        input += text + "\n";
    }
    std::string copy = temporary_path("input-copy");
    RelayResult run = run_relay(
        {"-n", "sh", "-c", "head -c 8388608 /dev/zero; cat > '" + copy + "'"}, input, {}, 60000);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out.size(), 8388608U);
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\0'), 8388608);
    std::ifstream file(copy, std::ios::binary);
    std::string received((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    EXPECT_TRUE(received == input)
        << "the command read " << received.size() << " of " << input.size() << " bytes";
    unlink(copy.c_str());
}

TEST(Relay, EndOfInputIsPacedAndCostsNoCpu) {
    Process relay;
    spawn(relay, relay_args({probe, "count-input", "2"}));
    ASSERT_TRUE(read_until(relay, "ready\n"));
    int status = communicate(relay, {}, true);
    EXPECT_EQ(exit_code(status), 0);
    unsigned long eot = 0;
    unsigned long other = 99;
    auto at = relay.out_text.find("eot=");
    ASSERT_NE(at, std::string::npos) << relay.out_text;
    sscanf(relay.out_text.c_str() + at, "eot=%lu other=%lu", &eot, &other);
    EXPECT_GE(eot, 1U);  // the command gets its end of input
    EXPECT_LE(eot, 30U); // a few, not one per spin of a busy loop
    EXPECT_EQ(other, 0U);
    // A busy loop spends the whole two seconds on the processor.
    EXPECT_LT(relay.cpu_seconds, 0.2);
}

TEST(Relay, InterruptByteReachesTheTerminalAsAByte) {
    Process relay;
    spawn(relay, relay_args({"-n", "sh", "-c", "stty raw; echo ready; head -c 1 | od -An -tx1"}));
    ASSERT_TRUE(read_until(relay, "ready"));
    EXPECT_EQ(exit_code(communicate(relay, "\x03")), 0);
    EXPECT_NE(relay.out_text.find(" 03"), std::string::npos) << relay.out_text;
}

} // namespace
