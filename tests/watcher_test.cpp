// The relay ends with its host: VELDRIN_PROCESS_ID through the real binary.
#include "process.h"

#include <gtest/gtest.h>

#include <csignal>
#include <dirent.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const std::string probe = BRIMEL_PROBE;

// A host stand-in that runs until the test kills it.
void start_host(Process &host) {
    spawn(host, {probe, "wait"});
    ASSERT_TRUE(read_until(host, "\n"));
}

SpawnOptions host_env(const std::string &value) {
    SpawnOptions options;
    options.env = {{"VELDRIN_PROCESS_ID", value}};
    return options;
}

pid_t command_pid(const Process &relay) {
    auto at = relay.out_text.find("pid=");
    return at == std::string::npos ? -1 : std::stoi(relay.out_text.substr(at + 4));
}

void end_host(Process &host) {
    kill(host.pid, SIGKILL);
    wait_for_exit(host);
}

TEST(HostWatcher, RelayEndsWithStatusOneAndNoMessageWhenTheHostEnds) {
    for (auto [before, after] : {std::pair{"", ""}, std::pair{"  ", "xyz"}, std::pair{"+", ""}}) {
        Process host;
        start_host(host);
        std::string value = before + std::to_string(host.pid) + after;
        Process relay;
        spawn(relay, relay_args({probe, "wait"}), host_env(value));
        ASSERT_TRUE(read_until(relay, "\n")) << value;
        pid_t command = command_pid(relay);
        end_host(host);
        int status = wait_for_exit(relay);
        EXPECT_EQ(exit_code(status), 1) << value;
        EXPECT_EQ(relay.err_text, "") << value;
        // The command learns of it only through its terminal, which hangs up.
        EXPECT_TRUE(wait_until_gone(command));
        kill_pid(command);
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
    EXPECT_EQ(exit_code(wait_for_exit(relay)), 1);
    EXPECT_EQ(relay.err_text, "");
    waitpid(host, nullptr, 0);
    // The command may have started before the relay ended; it goes with the terminal.
    read_until(relay, "\n", 1000);
    pid_t command = command_pid(relay);
    if (command > 0) {
        EXPECT_TRUE(wait_until_gone(command));
        kill_pid(command);
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
    // A conversion that wrapped these into an int would watch the host, which is killed below.
    const std::string wrapped = std::to_string((1LL << 32) + host.pid);
    for (const std::string &value :
         {std::string("unset"), std::string(""), std::string("host"), std::string("0"), "-" + id,
          " -" + id, std::to_string(unused), wrapped, "99999999999999999999" + id}) {
        SpawnOptions options = host_env(value);
        if (value == "unset") {
            options.env[0].value.reset();
        }
        Process relay;
        spawn(relay, relay_args({"-v", "-n", "cat"}), options);
        ASSERT_TRUE(read_err_until(relay, "Begin loop.\n")) << value;
        if (value == wrapped) {
            end_host(host);
        }
        EXPECT_EQ(exit_code(communicate(relay, "x\n")), 0) << value;
        EXPECT_EQ(relay.out_text, "About to exec cat.\r\nx\r\n") << value;
    }
}

std::string descriptor_targets(pid_t pid) {
    std::string targets;
    DIR *dir = opendir(("/proc/" + std::to_string(pid) + "/fd").c_str());
    if (dir == nullptr) {
        return targets;
    }
    while (dirent *entry = readdir(dir)) {
        char target[256] = "";
        std::string link = "/proc/" + std::to_string(pid) + "/fd/" + entry->d_name;
        ssize_t length = readlink(link.c_str(), target, sizeof target - 1);
        target[length > 0 ? length : 0] = '\0';
        targets += std::string(target) + "\n";
    }
    closedir(dir);
    return targets;
}

TEST(HostWatcher, CommandDoesNotInheritTheWatch) {
    Process host;
    start_host(host);
    Process relay;
    spawn(relay, relay_args({probe, "wait"}), host_env(std::to_string(host.pid)));
    ASSERT_TRUE(read_until(relay, "\n"));
    pid_t command = command_pid(relay);
    EXPECT_NE(descriptor_targets(relay.pid).find("pidfd"), std::string::npos);
    EXPECT_EQ(descriptor_targets(command).find("pidfd"), std::string::npos);
    kill_pid(command);
    EXPECT_TRUE(wait_until_gone(command));
}

TEST(HostWatcher, ThreadThatCannotBeCreatedIsReported) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root to run the relay as another user under a process limit";
    }
    SpawnOptions options;
    options.env = {{"VELDRIN_PROCESS_ID", std::nullopt}};
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
