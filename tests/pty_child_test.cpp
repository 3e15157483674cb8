// What the command finds on its terminal, and how the relay stands to signals, to its own
// terminal and to closed standard descriptors.
#include "process.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace {

TEST(Command, LeadsItsOwnSessionOnTheTerminalWithSigintIgnored) {
    SpawnOptions relay_leads_a_session;
    relay_leads_a_session.new_session = true;
    for (const SpawnOptions &options : {SpawnOptions{}, relay_leads_a_session}) {
        RelayResult run = run_relay({probe, "facts"}, {}, options);
        EXPECT_EQ(run.status, 0); // letting go of the terminal did not hang the relay up
        EXPECT_NE(run.out.find("terminals=111\r\nsession_leader=1\r\ncontrolling_terminal=1\r\n"
                               "sigint_ignored=1\r\n"),
                  std::string::npos)
            << run.out;
    }
}

TEST(Relay, SigintLeavesItRelaying) {
    Process relay;
    spawn(relay, relay_args({"-v", "-n", "cat"}));
    ASSERT_TRUE(read_until(relay, "Begin loop.\n", true));
    kill(relay.pid, SIGINT);
    EXPECT_EQ(communicate(relay, "still here\n"), 0);
    EXPECT_NE(relay.out_text.find("still here\r\n"), std::string::npos) << relay.out_text;
}

TEST(Relay, TerminalStandardInputLosesSignalGenerationAndPassesTheInterruptByte) {
    int outer = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_TRUE(outer >= 0 && grantpt(outer) == 0 && unlockpt(outer) == 0);
    int terminal = open(ptsname(outer), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios modes{};
    ASSERT_EQ(tcgetattr(terminal, &modes), 0);
    ASSERT_NE(modes.c_lflag & ISIG, 0U);

    SpawnOptions options;
    options.stdin_fd = terminal;
    Process relay;
    spawn(relay, relay_args({"-n", "sh", "-c", "stty raw; echo ready; head -c 1 | od -An -tx1"}),
          options);
    ASSERT_TRUE(read_until(relay, "ready"));
    ASSERT_EQ(write(outer, "\x03\n", 2), 2);
    EXPECT_EQ(communicate(relay, {}, false), 0);
    EXPECT_NE(relay.out_text.find(" 03"), std::string::npos) << relay.out_text;
    ASSERT_EQ(tcgetattr(terminal, &modes), 0);
    EXPECT_EQ(modes.c_lflag & ISIG, 0U); // and never restored
    close(terminal);
    close(outer);
}

TEST(StandardDescriptors, ClosedOnesNeverBecomeTheTerminal) {
    SpawnOptions no_input;
    no_input.close_fds = {0};
    RelayResult run = run_relay({"-n", "cat"}, {}, no_input); // reads as end of input
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "");

    SpawnOptions no_error;
    no_error.close_fds = {2};
    run = run_relay({"-v", "-n", "cat"}, "x\n", no_error); // no traces into the terminal
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "About to exec cat.\r\nx\r\n");
}

TEST(Relay, FailedForkIsReportedAfterTheTracesBeforeIt) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root to run the relay as another user under a process limit";
    }
    // Two tasks allowed: the relay and its watcher, which waits for this test's process.
    SpawnOptions options;
    options.env = {{"VELDRIN_PROCESS_ID", std::to_string(getpid())}};
    options.run_as = 65534;
    options.process_limit = 2;
    RelayResult run = run_relay({"-v", "true"}, {}, options);
    if (run.status == 126) {
        GTEST_SKIP() << "cannot switch to the user nobody here";
    }
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "Opening pty.\nOpened pty.\nReady to fork.\ncouldn't fork\n");
}

} // namespace
