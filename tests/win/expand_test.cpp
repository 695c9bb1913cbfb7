// Expanding the packed libraries: which files start the expander, with which command line.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine_support.h"
#include "install/ExpandPacks.h"

using namespace engine_test;

namespace {

// An install folder with a recording stand-in at jre\bin\unpack200.exe; the stand-in's
// recordings go to log\.
class ExpandTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(InstallStandIn(m_dir + "jre\\bin\\unpack200.exe"));
        MakeFolders(m_dir + "jre\\lib\\ext\\");
        MakeFolders(Log());
        SetEnvironmentVariableA("ENGINE_TEST_LOG", Log().c_str());
    }
    void TearDown() override { SetEnvironmentVariableA("ENGINE_TEST_LOG", nullptr); }
    std::string D() const { return m_dir.path(); }
    std::string Lib() const { return m_dir + "jre\\lib\\"; }
    std::string Log() const { return m_dir + "log\\"; }

    TempDir m_dir{"expand"};
};

// The names FindFirstFileA lists for pattern, files only, in its order.
std::vector<std::string> Listing(const std::string& pattern) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA fd;
    const HANDLE h = FindFirstFileA(pattern.c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return names;
    do {
        if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(fd.cFileName);
    } while (FindNextFileA(h, &fd));
    FindClose(h);
    return names;
}

TEST_F(ExpandTest, ThreePackedFilesGiveThreeStartsInListingOrder) {
    const struct {
        const char* name;
        const char* out;
    } packs[] = {{"rt.jar.pack.gz", "rt.jar"}, {"data.pack.gz", "data"}, {"lib.PACK.GZ", "lib"}};
    for (const auto& p : packs) ASSERT_TRUE(WriteText(Lib() + p.name, "packed"));
    ASSERT_TRUE(WriteText(Lib() + "other.jar", "plain"));
    ASSERT_TRUE(WriteText(Lib() + ".pack.gz", "no name left"));
    ASSERT_TRUE(CreateDirectoryA((Lib() + "dir.pack.gz").c_str(), nullptr));

    std::vector<std::string> expected;
    for (const std::string& name : Listing(Lib() + "*.pack.gz")) {
        for (const auto& p : packs) {
            if (name == p.name)
                expected.push_back("\"" + D() + "jre\\bin\\unpack200\" \"" + Lib() + p.name + "\" \"" + Lib() + p.out + "\"");
        }
    }
    ASSERT_EQ(3u, expected.size());

    const DWORD start = GetTickCount();
    EXPECT_EQ(3, ExpandPackedLibraries(D().c_str(), Lib().c_str()));
    EXPECT_GE(GetTickCount() - start, 280u) << "starts are 100 ms apart";

    const std::vector<Recorded> seen = WaitForRecordings(Log(), 3, 20000);
    ASSERT_EQ(3u, seen.size());
    for (size_t i = 0; i < seen.size(); ++i) EXPECT_EQ(expected[i], seen[i].commandLine) << "start " << i;
    // Nothing for the lone suffix, the folder or the other file.
    EXPECT_EQ(3u, WaitForRecordings(Log(), 4, 1000).size());
}

TEST_F(ExpandTest, OnlyTheGivenFolderNotItsSubfolders) {
    ASSERT_TRUE(WriteText(m_dir + "jre\\lib\\ext\\localedata.jar.pack.gz", "packed"));
    EXPECT_EQ(0, ExpandPackedLibraries(D().c_str(), Lib().c_str()));
    EXPECT_EQ(1, ExpandPackedLibraries(D().c_str(), (Lib() + "ext\\").c_str()));
    const std::vector<Recorded> seen = WaitForRecordings(Log(), 1, 20000);
    ASSERT_EQ(1u, seen.size());
    EXPECT_EQ("\"" + D() + "jre\\bin\\unpack200\" \"" + Lib() + "ext\\localedata.jar.pack.gz\" \"" + Lib() +
                  "ext\\localedata.jar\"",
              seen[0].commandLine);
}

TEST_F(ExpandTest, MissingOrEmptyFolderStartsNothing) {
    EXPECT_EQ(0, ExpandPackedLibraries(D().c_str(), (D() + "no-such-folder\\").c_str()));
    EXPECT_EQ(0, ExpandPackedLibraries(D().c_str(), Lib().c_str()));
    ASSERT_TRUE(WriteText(Lib() + ".pack.gz", "x"));
    EXPECT_EQ(0, ExpandPackedLibraries(D().c_str(), Lib().c_str()));
    EXPECT_EQ(0u, WaitForRecordings(Log(), 1, 1500).size());
}

TEST_F(ExpandTest, PathsTooLongForTheBuffersStartNothing) {
    const std::string longDir = "C:\\" + std::string(260, 'x') + "\\";
    EXPECT_EQ(0, ExpandPackedLibraries(D().c_str(), longDir.c_str()));
}

}  // namespace
