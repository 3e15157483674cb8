#include "environment/askpass_env.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string component(const char *path) {
    return last_component(path);
}

TEST(LastComponent, ExamplesOfEachSeparator) {
    EXPECT_EQ(component("C:\\tools\\brimel.exe"), "brimel.exe");
    EXPECT_EQ(component("/usr/local/bin/brimel"), "brimel");
    EXPECT_EQ(component("C:brimel.exe"), "brimel.exe");
    EXPECT_EQ(component("brimel.exe"), "brimel.exe");
    EXPECT_EQ(component("/opt/tools/"), "tools/");
}

TEST(LastComponent, MixedSeparatorsAndEdges) {
    EXPECT_EQ(component("C:\\tools/bin\\brimel.exe"), "brimel.exe");
    EXPECT_EQ(component("/home/me\\bin/brimel"), "brimel");
    EXPECT_EQ(component("a\\b\\"), "b\\");
    EXPECT_EQ(component("/"), "/");
    EXPECT_EQ(component("C:"), "C:");
    EXPECT_EQ(component(""), "");
    EXPECT_EQ(component("//x"), "x");
    // An image deleted since its start: the mark stays in the component that gets replaced.
    EXPECT_EQ(component("/usr/bin/brimel (deleted)"), "brimel (deleted)");
}

TEST(LastComponent, OnlyTheThreeSeparatorsCount) {
    for (int c = 1; c < 256; ++c) {
        bool expected = c == '/' || c == '\\' || c == ':';
        EXPECT_EQ(is_path_separator(static_cast<char>(c)), expected) << c;
    }
}

} // namespace
