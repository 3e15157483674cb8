#include "command_line.h"
#include "diagnostics.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

namespace {

const char usage_text[] = "Usage: brimel \\[flags\\] cmdline\n"
                          "Flags:\n"
                          "-n Turns off echoing.\n"
                          "-a Set up SSH_ASKPASS and DISPLAY env vars if necessary.\n"
                          "-v Verbose debug output.\n";

// Keeps the strings and a null-terminated vector pointing into them.
struct Args {
    std::vector<std::string> words;
    std::vector<char *> argv;
    Args(std::initializer_list<const char *> list) : Args(std::vector<const char *>(list)) {}
    explicit Args(const std::vector<const char *> &list) : words(list.begin(), list.end()) {
        for (std::string &word : words) {
            argv.push_back(word.data());
        }
        argv.push_back(nullptr);
    }
    int argc() const {
        return static_cast<int>(words.size());
    }
};

class CommandLine : public testing::Test {
  protected:
    void SetUp() override {
        verbose = askpass = noecho = false;
    }
    char **parse(Args &args) {
        return parse_command_line(args.argc(), args.argv.data());
    }
};

using CommandLineDeathTest = CommandLine;

TEST_F(CommandLineDeathTest, BadCommandLinesPrintUsageAndExitOne) {
    for (const auto &list : std::vector<std::vector<const char *>>{{"brimel"},
                                                                   {"brimel", "-v"},
                                                                   {"brimel", "-v", "-n"},
                                                                   {"brimel", "-x", "ls"},
                                                                   {"brimel", "-", "ls"},
                                                                   {"brimel", "--", "ls"},
                                                                   {"brimel", "--verbose", "ls"}}) {
        Args args(list);
        EXPECT_EXIT(parse(args), testing::ExitedWithCode(1), std::string("^") + usage_text + "$")
            << args.words.back();
    }
}

TEST_F(CommandLineDeathTest, ArgumentCountOfZeroPrintsUsage) {
    char *argv[] = {nullptr};
    EXPECT_EXIT(parse_command_line(0, argv), testing::ExitedWithCode(1),
                std::string("^") + usage_text + "$");
}

TEST_F(CommandLine, OnlyTheSecondCharacterOfAFlagCounts) {
    Args args{"brimel", "-vn", "ls"};
    EXPECT_EQ(parse(args), args.argv.data() + 2);
    EXPECT_TRUE(verbose);
    EXPECT_FALSE(noecho);
    EXPECT_FALSE(askpass);

    Args long_flag{"brimel", "-assorted", "-nothing", "ls"};
    parse(long_flag);
    EXPECT_TRUE(askpass);
    EXPECT_TRUE(noecho);
}

TEST_F(CommandLine, RepeatedFlagsActAsOne) {
    Args args{"brimel", "-a", "-a", "ls"};
    char **command = parse(args);
    EXPECT_STREQ(command[0], "ls");
    EXPECT_EQ(command[1], nullptr);
    EXPECT_TRUE(askpass);
}

TEST_F(CommandLine, FirstNonFlagEndsTheFlags) {
    Args args{"brimel", "-v", "ls", "-n", "--", "-"};
    char **command = parse(args);
    EXPECT_EQ(command, args.argv.data() + 2); // a view, not a copy
    EXPECT_STREQ(command[1], "-n");
    EXPECT_STREQ(command[3], "-");
    EXPECT_EQ(command[4], nullptr);
    EXPECT_FALSE(noecho);
}

TEST_F(CommandLine, EmptyArgumentIsTheCommandName) {
    Args args{"brimel", ""};
    char **command = parse(args);
    EXPECT_STREQ(command[0], "");
}

} // namespace
