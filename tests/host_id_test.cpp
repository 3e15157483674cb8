#include "platform/linux/process_wait.h"
#include "watch/host_watcher.h"

#include <gtest/gtest.h>

#include <climits>
#include <sys/wait.h>
#include <unistd.h>

namespace {

TEST(HostId, ConvertsAsAtoiDoesWithinTheRangeOfAnInt) {
    EXPECT_EQ(parse_host_id(nullptr), 0);
    EXPECT_EQ(parse_host_id(""), 0);
    EXPECT_EQ(parse_host_id("abc"), 0);
    EXPECT_EQ(parse_host_id("-"), 0);
    EXPECT_EQ(parse_host_id(" \t\n42xyz"), 42);
    EXPECT_EQ(parse_host_id("+17"), 17);
    EXPECT_EQ(parse_host_id("-17"), -17);
    EXPECT_EQ(parse_host_id("12 34"), 12);
    EXPECT_EQ(parse_host_id("2147483647"), INT_MAX);
    EXPECT_EQ(parse_host_id("-2147483648"), INT_MIN);
    EXPECT_EQ(parse_host_id("2147483648"), 0);
    EXPECT_EQ(parse_host_id("4294967297"), 0);
    EXPECT_EQ(parse_host_id("-2147483649"), 0);
    EXPECT_EQ(parse_host_id("000000000000000000000000123"), 123);
}

// Both waits on Linux: an ended process that is not yet reaped counts as ended, and an id that
// no process has is a failed wait.
TEST(ProcessWait, SeesTheEndOfAProcessAndFailsForNoProcess) {
    for (auto wait : {wait_with_pidfd, wait_by_polling}) {
        int gate[2];
        ASSERT_EQ(pipe(gate), 0);
        pid_t child = fork();
        if (child == 0) {
            char byte = 0;
            close(gate[1]);
            (void)!read(gate[0], &byte, 1);
            _exit(0);
        }
        close(gate[0]);
        close(gate[1]); // lets the child end while the wait below runs or before it starts
        EXPECT_TRUE(wait(child));
        waitpid(child, nullptr, 0);
        EXPECT_FALSE(wait(child)); // reaped: the id names nothing now
    }
}

} // namespace
