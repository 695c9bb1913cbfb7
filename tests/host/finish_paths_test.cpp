// Paths and command lines of the finishing actions.
#include <gtest/gtest.h>

#include <string>

#include "finish/FinishPaths.h"

namespace {

TEST(FinishPaths, WorkingDirectoryIsTheTargetsFolder) {
    struct Case {
        const char* target;
        const char* dir;
    } const cases[] = {
            {"C:\\Program Files\\dunmerra\\pkl.exe", "C:\\Program Files\\dunmerra"},
            {"D:\\pkl.exe", "D:"},
            {"\\\\server\\share\\pkl.exe", "\\\\server\\share"},
            {"pkl.exe", ""},
            {"", ""},
            // "表" is B1 ED and "\x81\x5C" ends in the byte of '\': neither is a separator.
            {"C:\\\xB1\xED\\\x81\x5Cpkl.exe", "C:\\\xB1\xED"},
    };
    for (const Case& c : cases) EXPECT_STREQ(c.dir, LinkWorkingDirectory(c.target)) << c.target;
}

TEST(FinishPaths, JoinBoundedNeverCutsAPath) {
    char buf[255];
    EXPECT_TRUE(JoinBounded(buf, sizeof(buf), "C:\\Program Files\\dunmerra\\", "pkl.exe"));
    EXPECT_STREQ("C:\\Program Files\\dunmerra\\pkl.exe", buf);
    // With "pkl.exe" a directory of 247 bytes fits, 248 do not; with
    // "Uninstall.exe" 241 and 242.
    const struct {
        size_t dirLength;
        const char* name;
        bool fits;
    } cases[] = {{247, "pkl.exe", true},
                 {248, "pkl.exe", false},
                 {241, "Uninstall.exe", true},
                 {242, "Uninstall.exe", false}};
    for (const auto& c : cases) {
        const std::string dir(c.dirLength, 'd');
        EXPECT_EQ(c.fits, JoinBounded(buf, sizeof(buf), dir.c_str(), c.name)) << c.dirLength << " " << c.name;
        if (!c.fits) {
            EXPECT_STREQ("", buf);
        }
    }
    EXPECT_FALSE(JoinBounded(buf, sizeof(buf), nullptr, "x"));
    EXPECT_STREQ("", buf);
}

TEST(FinishPaths, CommandLinesAreQuoted) {
    EXPECT_STREQ("\"C:\\Program Files\\dunmerra\\pkl.exe\"", QuotedCommandLine("C:\\Program Files\\dunmerra\\pkl.exe"));
    EXPECT_STREQ("\"C:\\Program Files\\dunmerra\\uninstall.exe\"",
                 UninstallCommandLine("C:\\Program Files\\dunmerra\\"));
    EXPECT_STREQ("\"D:\\uninstall.exe\"", UninstallCommandLine("D:\\"));
}

TEST(FinishPaths, SuccessPageCommandLine) {
    EXPECT_STREQ(" http://www.dunmerra.example/suc.html", kSuccessPageCommandLine);
}

} // namespace
