// Expanding the packed libraries: which files start the expander, with which command line.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine_support.h"
#include "install/ArchiveIndex.h"
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
    void TearDown() override {
        SetEnvironmentVariableA("ENGINE_TEST_LOG", nullptr);
        // The expander stays held until its last expansion has ended.
        for (int i = 0; i < 400 && !ReleaseExpanderWhenDone(); ++i) Sleep(50);
        EXPECT_TRUE(ReleaseExpanderWhenDone()) << "an expander still runs";
    }
    std::string Expander() const { return m_dir + "jre\\bin\\unpack200.exe"; }
    // Whether another program could open the expander for writing, rename or delete it.
    bool CanBeChanged() const {
        const HANDLE h =
                CreateFileA(Expander().c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, 0, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            CloseHandle(h);
            return true;
        }
        const std::string aside = Expander() + ".aside";
        if (MoveFileA(Expander().c_str(), aside.c_str())) {
            MoveFileA(aside.c_str(), Expander().c_str());
            return true;
        }
        return false;
    }
    ExpectedFile Declared() const {
        const std::string bytes = ReadText(Expander());
        return ExpectedFile{bytes.size(), Crc32(0, bytes.data(), bytes.size())};
    }
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
                expected.push_back("\"" + D() + "jre\\bin\\unpack200\" \"" + Lib() + p.name + "\" \"" + Lib() + p.out +
                                   "\"");
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

TEST_F(ExpandTest, TheExpanderIsHeldUntilItsLastRunHasEnded) {
    ASSERT_TRUE(WriteText(Lib() + "rt.jar.pack.gz", "packed"));
    ASSERT_TRUE(WriteText(Lib() + "ext\\x.jar.pack.gz", "packed"));
    ASSERT_TRUE(CanBeChanged()) << "the test cannot tell a held file";
    const ExpectedFile declared = Declared();
    EXPECT_EQ(1, ExpandPackedLibraries(D().c_str(), Lib().c_str(), &declared));
    EXPECT_FALSE(CanBeChanged()) << "between the two folders";
    EXPECT_EQ(1, ExpandPackedLibraries(D().c_str(), (Lib() + "ext\\").c_str(), &declared));
    EXPECT_FALSE(CanBeChanged()) << "while the expansions may run";
    ASSERT_EQ(2u, WaitForRecordings(Log(), 2, 20000).size());
    bool released = false;
    for (int i = 0; i < 400 && !(released = ReleaseExpanderWhenDone()); ++i) {
        EXPECT_FALSE(CanBeChanged()) << "let go while an expansion runs";
        Sleep(50);
    }
    ASSERT_TRUE(released);
    EXPECT_TRUE(CanBeChanged()) << "still held after the last expansion ended";
}

TEST_F(ExpandTest, AnExpanderThatIsNotTheDeclaredFileIsNotStarted) {
    ASSERT_TRUE(WriteText(Lib() + "rt.jar.pack.gz", "packed"));
    ExpectedFile declared = Declared();
    declared.crc ^= 1;
    EXPECT_EQ(0, ExpandPackedLibraries(D().c_str(), Lib().c_str(), &declared));
    declared = Declared();
    declared.bytes += 1;
    EXPECT_EQ(0, ExpandPackedLibraries(D().c_str(), Lib().c_str(), &declared));
    EXPECT_EQ(0u, WaitForRecordings(Log(), 1, 1500).size());
    EXPECT_TRUE(CanBeChanged()) << "a refused expander stays held";
}

TEST_F(ExpandTest, PathsTooLongForTheBuffersStartNothing) {
    const std::string longDir = "C:\\" + std::string(260, 'x') + "\\";
    EXPECT_EQ(0, ExpandPackedLibraries(D().c_str(), longDir.c_str()));
}

} // namespace
