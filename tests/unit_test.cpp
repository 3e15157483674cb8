// Pure functions whose inputs the binary on Linux cannot reach.
#include "environment/askpass_env.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace {

TEST(LastComponent, AnyMixOfTheThreeSeparatorsButNotATrailingOne) {
    for (auto [path, last] : {std::pair{"C:\\tools\\brimel.exe", "brimel.exe"},
                              {"/usr/local/bin/brimel", "brimel"},
                              {"C:brimel.exe", "brimel.exe"},
                              {"brimel.exe", "brimel.exe"},
                              {"/opt/tools/", "tools/"},
                              {"C:\\tools/bin\\brimel.exe", "brimel.exe"},
                              {"a\\b\\", "b\\"},
                              {"/", "/"},
                              {"", ""},
                              {"/usr/bin/brimel (deleted)", "brimel (deleted)"}}) {
        EXPECT_EQ(std::string(last_component(path)), last) << path;
    }
}

} // namespace
