// What the command finds on its terminal, and how the relay itself stands to signals and to its
// own terminal.
#include "process.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <sstream>
#include <termios.h>
#include <unistd.h>

namespace {

const std::string probe = BRIMEL_PROBE;

void expect_command_owns_its_terminal(const std::string &facts) {
    EXPECT_NE(facts.find("terminals=111\r\n"), std::string::npos) << facts;
    EXPECT_NE(facts.find("session_leader=1\r\n"), std::string::npos) << facts;
    EXPECT_NE(facts.find("controlling_terminal=1\r\n"), std::string::npos) << facts;
    EXPECT_NE(facts.find("sigint_ignored=1\r\n"), std::string::npos) << facts;
}

TEST(Command, LeadsItsOwnSessionOnTheTerminalWithSigintIgnored) {
    RelayResult run = run_relay({probe, "facts"});
    EXPECT_EQ(run.status, 0);
    expect_command_owns_its_terminal(run.out);
}

TEST(Command, GetsTheTerminalAlsoWhenTheRelayLeadsASessionWithoutOne) {
    SpawnOptions options;
    options.new_session = true;
    RelayResult run = run_relay({probe, "facts"}, {}, options);
    EXPECT_EQ(run.status, 0); // letting go of the terminal did not hang the relay up
    expect_command_owns_its_terminal(run.out);
}

TEST(Relay, SigintLeavesItRelaying) {
    Process relay;
    spawn(relay, relay_args({"-v", "-n", "cat"}));
    ASSERT_TRUE(read_err_until(relay, "Begin loop.\n"));
    kill(relay.pid, SIGINT);
    EXPECT_EQ(exit_code(communicate(relay, "still here\n")), 0);
    EXPECT_NE(relay.out_text.find("still here\r\n"), std::string::npos) << relay.out_text;
}

TEST(Relay, TerminalStandardInputLosesSignalGenerationAndPassesTheInterruptByte) {
    int outer = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(outer, 0);
    ASSERT_EQ(grantpt(outer), 0);
    ASSERT_EQ(unlockpt(outer), 0);
    int terminal = open(ptsname(outer), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(terminal, 0);
    termios modes{};
    ASSERT_EQ(tcgetattr(terminal, &modes), 0);
    ASSERT_NE(modes.c_lflag & ISIG, 0U);

    SpawnOptions options;
    options.stdin_fd = terminal;
    Process relay;
    spawn(relay, relay_args({"-n", "sh", "-c", "stty raw; echo ready; head -c 1 | od -An -tx1"}),
          options);
    ASSERT_TRUE(read_until(relay, "ready"));
    ASSERT_EQ(tcgetattr(terminal, &modes), 0);
    EXPECT_EQ(modes.c_lflag & ISIG, 0U);
    ASSERT_EQ(write(outer, "\x03\n", 2), 2);
    EXPECT_EQ(exit_code(communicate(relay, {}, false)), 0);
    EXPECT_NE(relay.out_text.find(" 03"), std::string::npos) << relay.out_text;
    ASSERT_EQ(tcgetattr(terminal, &modes), 0);
    EXPECT_EQ(modes.c_lflag & ISIG, 0U); // never restored
    close(terminal);
    close(outer);
}

TEST(StandardDescriptors, ClosedInputReadsAsEndOfInput) {
    SpawnOptions options;
    options.close_fds = {0};
    RelayResult run = run_relay({"-n", "cat"}, {}, options);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "");
}

TEST(StandardDescriptors, ClosedErrorKeepsTracesOutOfTheTerminal) {
    SpawnOptions options;
    options.close_fds = {2};
    RelayResult run = run_relay({"-v", "-n", "cat"}, "x\n", options);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "About to exec cat.\r\nx\r\n");
}

TEST(StandardDescriptors, SlowNonBlockingOutputGetsEveryByte) {
    SpawnOptions options;
    options.slow_output = true;
    RelayResult run = run_relay({"seq", "1", "200000"}, {}, options, 30000);
    std::ostringstream expected;
    for (int i = 1; i <= 200000; ++i) {
        expected << i << "\r\n";
    }
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(run.out == expected.str()) << "got " << run.out.size() << " bytes";
}

} // namespace
