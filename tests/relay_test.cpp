// The relay as a host sees it: its usage text, its traces, and the bytes it relays each way.
#include "process.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

const std::string traces =
    "Opening pty.\nOpened pty.\nReady to fork.\nBegin loop.\nDone, exiting.\n";

TEST(FrontEnd, BadCommandLineOpensNoTerminal) {
    RelayResult run = run_relay({"-v", "-n"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err.rfind("Usage: brimel [flags] cmdline\n", 0), 0U);
    EXPECT_EQ(run.err.find("Opening pty."), std::string::npos);
    EXPECT_EQ(run.out, "");
}

TEST(FrontEnd, ArgumentsAfterTheCommandNameReachItUnchanged) {
    RelayResult run = run_relay({"-n", "sh", "-c", "printf '%s|' \"$@\"", "sh", "-n", "--", "-v"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "-n|--|-v|");
}

TEST(Traces, StartAndEndOnStandardErrorExecLinesThroughTheTerminal) {
    const std::string long_name(3000, 'x');
    struct Case {
        std::vector<std::string> args;
        std::string out;
        std::string err;
    };
    for (const Case &c : std::vector<Case>{
             {{"-v", "true"}, "About to exec true.\n", traces},
             {{"true"}, "", ""},
             {{"-v", "brimel-no-such-command"},
              "About to exec brimel-no-such-command.\nExec failed, 2.\n",
              traces},
             {{""}, "", ""},
             {{"-v", long_name}, "About to exec " + long_name + ".\nExec failed, 36.\n", traces}}) {
        RelayResult run = run_relay(c.args);
        EXPECT_EQ(run.status, 0) << c.args.back().substr(0, 40);
        EXPECT_EQ(run.out, on_terminal(c.out)) << c.args.back().substr(0, 40);
        EXPECT_EQ(run.err, c.err) << c.args.back().substr(0, 40);
    }
}

TEST(Relay, CommandStatusNeverBecomesTheRelays) {
    EXPECT_EQ(run_relay({"sh", "-c", "exit 7"}).status, 0);
}

TEST(Relay, TerminalEchoesUnlessNoEchoAndEndOfInputEndsCat) {
    EXPECT_EQ(run_relay({"cat"}, "hello\n").out, on_terminal("hello\nhello\n"));
    EXPECT_EQ(run_relay({"-n", "cat"}, "hello\n").out, on_terminal("hello\n"));
    // A partial line needs a second end of input.
    RelayResult partial = run_relay({"-n", "cat"}, "one\nabc");
    EXPECT_EQ(partial.status, 0);
    EXPECT_EQ(partial.out, on_terminal("one\n") + "abc");
    EXPECT_EQ(run_relay({"-n", "cat"}).out, "");
}

TEST(Relay, EveryByteArrivesAlsoThroughAFullNonBlockingOutput) {
    EXPECT_TRUE(run_relay({"seq", "1", "300000"}, {}, {}, 30000).out == seq_on_terminal(300000));
    SpawnOptions slow;
    slow.slow_output = true;
    EXPECT_TRUE(run_relay({"seq", "1", "200000"}, {}, slow, 30000).out == seq_on_terminal(200000));
}

TEST(Relay, CommandThatWritesWithoutReadingNeitherStallsNorLosesInput) {
    // 8 MiB of output while the host writes 1 MiB that nobody reads yet; then the command reads it.
    std::string input;
    for (int line = 0; input.size() < (1 << 20); ++line) {
        std::string text = std::to_string(line) + ":";
        text.resize(63, static_cast<char>('a' + line % 26));
        input += text + "\n";
    }
    std::string copy = testing::TempDir() + "brimel-input-" + std::to_string(getpid());
    RelayResult run = run_relay(
        {"-n", "sh", "-c", "head -c 8388608 /dev/zero; cat > '" + copy + "'"}, input, {}, 60000);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\0'), 8388608);
    EXPECT_EQ(run.out.size(), 8388608U);
    std::ifstream file(copy, std::ios::binary);
    std::string received((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    EXPECT_TRUE(received == input) << "read " << received.size() << " of " << input.size();
    unlink(copy.c_str());
}

TEST(Relay, EndOfInputIsPacedAndCostsNoCpu) {
    Process relay;
    spawn(relay, relay_args({probe, "count-input", "2"}));
    ASSERT_TRUE(read_until(relay, "ready\n"));
    EXPECT_EQ(communicate(relay, {}), 0);
    unsigned long eot = 0;
    unsigned long other = 99;
    auto at = relay.out_text.find("eot=");
    ASSERT_NE(at, std::string::npos) << relay.out_text;
    sscanf(relay.out_text.c_str() + at, "eot=%lu other=%lu", &eot, &other);
    EXPECT_GE(eot, 1U);  // the command gets its end of input
    EXPECT_LE(eot, 30U); // a few, not one per spin of a busy loop
    EXPECT_EQ(other, 0U);
    EXPECT_LT(relay.cpu_seconds, 0.2); // a busy loop spends the whole two seconds
}

} // namespace
