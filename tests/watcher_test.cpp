// The relay ends with its host: VELDRIN_PROCESS_ID through the real binary.
#include "process.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// A host stand-in that runs until the test kills it.
void start_host(Process &host) {
    spawn(host, {probe, "wait"});
    ASSERT_TRUE(read_until(host, "\n"));
}

SpawnOptions host_env(const std::optional<std::string> &value) {
    SpawnOptions options;
    options.env = {{"VELDRIN_PROCESS_ID", value}};
    return options;
}

// Starts the relay on `probe wait` and returns the command's pid once it runs.
pid_t start_watched_relay(Process &relay, const std::string &host_id) {
    spawn(relay, relay_args({probe, "wait"}), host_env(host_id));
    EXPECT_TRUE(read_until(relay, "\n"));
    auto at = relay.out_text.find("pid=");
    return at == std::string::npos ? -1 : std::stoi(relay.out_text.substr(at + 4));
}

void end_command(pid_t command) {
    if (command > 0) {
        kill(command, SIGKILL);
        EXPECT_TRUE(wait_until_gone(command));
    }
}

TEST(HostWatcher, RelayEndsWithStatusOneAndNoMessageWhenTheHostEnds) {
    for (auto [before, after] : {std::pair{"", ""}, std::pair{"  ", "xyz"}, std::pair{"+", ""}}) {
        Process host;
        start_host(host);
        Process relay;
        pid_t command = start_watched_relay(relay, before + std::to_string(host.pid) + after);
        kill(host.pid, SIGKILL);
        EXPECT_EQ(wait_for_exit(relay), 1) << before << host.pid << after;
        EXPECT_EQ(relay.err_text, "");
        EXPECT_TRUE(wait_until_gone(command)); // its terminal hung up
        end_command(command);
    }
}

TEST(HostWatcher, HostEndingAsTheRelayEndsGivesOneCleanEnd) {
    for (int run = 0; run < 20; ++run) {
        Process host;
        start_host(host);
        Process relay;
        spawn(relay, relay_args({"true"}), host_env(std::to_string(host.pid)));
        kill(host.pid, SIGKILL);
        int status = communicate(relay, {});
        EXPECT_TRUE(status == 0 || status == 1) << status; // whichever end came first, no crash
        EXPECT_EQ(relay.err_text, "");
    }
}

TEST(HostWatcher, HostGoneBeforeTheRelayStartsEndsItDuringStartUp) {
    pid_t host = fork();
    if (host == 0) {
        _exit(0);
    }
    ASSERT_TRUE(wait_until_gone(host)); // ended, not yet reaped: the id is still the host's
    Process relay;
    spawn(relay, relay_args({probe, "wait"}), host_env(std::to_string(host)));
    EXPECT_EQ(wait_for_exit(relay), 1);
    EXPECT_EQ(relay.err_text, "");
    waitpid(host, nullptr, 0);
    // The command may have started before the relay ended.
    if (read_until(relay, "\n", false, 1000)) {
        end_command(std::stoi(relay.out_text.substr(relay.out_text.find("pid=") + 4)));
    }
}

TEST(HostWatcher, ValuesThatNameNoHostLeaveTheRelayToItsNormalEnd) {
    Process host;
    start_host(host);
    pid_t unused = fork();
    if (unused == 0) {
        _exit(0);
    }
    waitpid(unused, nullptr, 0);
    const std::string id = std::to_string(host.pid);
    // A conversion that wrapped this into an int would watch the host, which is killed below.
    const std::string wrapped = std::to_string((1LL << 32) + host.pid);
    for (const std::optional<std::string> &value : std::vector<std::optional<std::string>>{
             std::nullopt, "", "host", "0", "-" + id, " -" + id, std::to_string(unused), wrapped,
             "99999999999999999999" + id}) {
        Process relay;
        spawn(relay, relay_args({"-v", "-n", "cat"}), host_env(value));
        ASSERT_TRUE(read_until(relay, "Begin loop.\n", true));
        if (value == wrapped) {
            kill(host.pid, SIGKILL);
            wait_for_exit(host);
        }
        EXPECT_EQ(communicate(relay, "x\n"), 0) << value.value_or("unset");
        EXPECT_EQ(relay.out_text, "About to exec cat.\r\nx\r\n");
    }
}

std::string descriptor_targets(pid_t pid) {
    std::string targets;
    std::error_code ignored;
    for (const auto &entry :
         std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ignored)) {
        targets += std::filesystem::read_symlink(entry.path(), ignored).string() + "\n";
    }
    return targets;
}

TEST(HostWatcher, CommandDoesNotInheritTheWatch) {
    Process host;
    start_host(host);
    Process relay;
    pid_t command = start_watched_relay(relay, std::to_string(host.pid));
    EXPECT_NE(descriptor_targets(relay.pid).find("pidfd"), std::string::npos);
    EXPECT_EQ(descriptor_targets(command).find("pidfd"), std::string::npos);
    end_command(command);
}

TEST(HostWatcher, ThreadThatCannotBeCreatedIsReported) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root to run the relay as another user under a process limit";
    }
    SpawnOptions options = host_env(std::nullopt);
    options.run_as = 65534; // nobody, who runs nothing else here
    options.process_limit = 1;
    RelayResult run = run_relay({"-v", "true"}, {}, options);
    if (run.status == 126) {
        GTEST_SKIP() << "cannot switch to the user nobody here";
    }
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "CreateThread error\n\n"); // before the command line is read
    EXPECT_EQ(run.out, "");
}

} // namespace
