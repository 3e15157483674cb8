// -a through the real binary: what DISPLAY and SSH_ASKPASS the command sees.
#include "process.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string real_directory(const std::string &path) {
    char resolved[PATH_MAX];
    std::string real = realpath(path.c_str(), resolved) != nullptr ? resolved : "";
    return real.substr(0, real.rfind('/') + 1);
}

// Runs `relay` (a path to the relay binary) with the two variables set as given.
std::string seen(const std::vector<std::string> &flags, std::optional<std::string> display,
                 std::optional<std::string> askpass, const std::string &relay = BRIMEL_BINARY) {
    SpawnOptions options;
    options.env = {{"DISPLAY", std::move(display)}, {"SSH_ASKPASS", std::move(askpass)}};
    std::vector<std::string> argv = {relay};
    argv.insert(argv.end(), flags.begin(), flags.end());
    argv.insert(argv.end(), {probe, "env", "DISPLAY", "SSH_ASKPASS"});
    Process process;
    spawn(process, argv, options);
    EXPECT_EQ(communicate(process, {}), 0);
    return process.out_text;
}

std::string expected_askpass(const std::string &relay = BRIMEL_BINARY) {
    return "SSH_ASKPASS=" + real_directory(relay) + "brimel-auth.exe\r\n";
}

void copy_file(const std::string &from, const std::string &to) {
    std::ifstream in(from, std::ios::binary);
    std::ofstream out(to, std::ios::binary);
    out << in.rdbuf();
    out.close();
    chmod(to.c_str(), 0755);
}

TEST(Askpass, UnsetVariablesAreFilledAndSetOnesEvenEmptyAreLeftAlone) {
    EXPECT_EQ(seen({"-a"}, std::nullopt, std::nullopt), "DISPLAY=:0.0\r\n" + expected_askpass());
    EXPECT_EQ(seen({"-a"}, "", std::nullopt), "DISPLAY=\r\n" + expected_askpass());
    EXPECT_EQ(seen({"-a"}, ":7", ""), "DISPLAY=:7\r\nSSH_ASKPASS=\r\n");
    EXPECT_EQ(seen({"-a"}, std::nullopt, "/bin/prompt"),
              "DISPLAY=:0.0\r\nSSH_ASKPASS=/bin/prompt\r\n");
}

TEST(Askpass, WithoutTheFlagNeitherIsTouched) {
    EXPECT_EQ(seen({"-v"}, std::nullopt, std::nullopt),
              "About to exec " + probe + ".\r\nDISPLAY unset\r\nSSH_ASKPASS unset\r\n");
}

class AskpassCopies : public testing::Test {
  protected:
    std::string root = testing::TempDir() + "brimel-askpass-" + std::to_string(getpid());
    void SetUp() override {
        mkdir(root.c_str(), 0755);
    }
    void TearDown() override {
        std::string command = "rm -rf '" + root + "'";
        ASSERT_EQ(system(command.c_str()), 0);
    }
};

TEST_F(AskpassCopies, PathOfAnyLengthIsGivenWholeAndCorrect) {
    std::string directory = root;
    while (directory.size() < 600) {
        directory += "/" + std::string(120, static_cast<char>('a' + directory.size() % 26));
        ASSERT_EQ(mkdir(directory.c_str(), 0755), 0);
    }
    std::string relay = directory + "/brimel";
    copy_file(BRIMEL_BINARY, relay);
    EXPECT_EQ(seen({"-a"}, ":1", std::nullopt, relay), "DISPLAY=:1\r\n" + expected_askpass(relay));
}

TEST_F(AskpassCopies, SymlinkGivesTheDirectoryOfTheRealFile) {
    std::string real_dir = root + "/real";
    std::string link_dir = root + "/link";
    ASSERT_EQ(mkdir(real_dir.c_str(), 0755), 0);
    ASSERT_EQ(mkdir(link_dir.c_str(), 0755), 0);
    copy_file(BRIMEL_BINARY, real_dir + "/brimel");
    ASSERT_EQ(symlink((real_dir + "/brimel").c_str(), (link_dir + "/brimel").c_str()), 0);
    EXPECT_EQ(seen({"-a"}, ":1", std::nullopt, link_dir + "/brimel"),
              "DISPLAY=:1\r\nSSH_ASKPASS=" + real_directory(real_dir + "/brimel") +
                  "brimel-auth.exe\r\n");
}

} // namespace
