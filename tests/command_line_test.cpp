#include "command_line.h"
#include "diagnostics.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const std::string usage = "^Usage: brimel \\[flags\\] cmdline\n"
                          "Flags:\n"
                          "-n Turns off echoing.\n"
                          "-a Set up SSH_ASKPASS and DISPLAY env vars if necessary.\n"
                          "-v Verbose debug output.\n$";

// A null-terminated argument vector over string literals, as the platform's start-up gives one.
std::vector<char *> vector_of(const std::vector<const char *> &words) {
    std::vector<char *> argv;
    argv.reserve(words.size() + 1);
    for (const char *word : words) {
        argv.push_back(const_cast<char *>(word)); // never written to
    }
    argv.push_back(nullptr);
    return argv;
}

char **parse(std::vector<char *> &argv) {
    verbose = askpass = noecho = false;
    return parse_command_line(static_cast<int>(argv.size()) - 1, argv.data());
}

TEST(CommandLineDeathTest, BadCommandLinesPrintTheUsageTextAndExitOne) {
    for (const auto &words :
         std::vector<std::vector<const char *>>{{},
                                                {"brimel"},
                                                {"brimel", "-v"},
                                                {"brimel", "-v", "-n"},
                                                {"brimel", "-x", "ls"},
                                                {"brimel", "-", "ls"},
                                                {"brimel", "--", "ls"},
                                                {"brimel", "--verbose", "ls"}}) {
        std::vector<char *> argv = vector_of(words); // {} is an argument count of 0
        EXPECT_EXIT(parse(argv), testing::ExitedWithCode(1), usage) << words.size();
    }
}

TEST(CommandLine, FlagsSetTheSwitchesByTheirSecondCharacterOnly) {
    auto argv = vector_of({"brimel", "-vn", "-assorted", "-a", "ls"});
    EXPECT_EQ(parse(argv), argv.data() + 4);
    EXPECT_TRUE(verbose);
    EXPECT_TRUE(askpass);
    EXPECT_FALSE(noecho); // -vn is -v alone
}

TEST(CommandLine, FirstNonFlagEndsTheFlagsAndTheRestIsAViewOfTheVector) {
    auto argv = vector_of({"brimel", "-n", "ls", "-v", "--", "-"});
    char **command = parse(argv);
    EXPECT_EQ(command, argv.data() + 2);
    EXPECT_EQ(command[4], nullptr);
    EXPECT_TRUE(noecho);
    EXPECT_FALSE(verbose);

    auto empty = vector_of({"brimel", ""});
    EXPECT_STREQ(parse(empty)[0], "");
}

} // namespace
