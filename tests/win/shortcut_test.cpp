// Shortcut files, the start-up folder choice, the installed program's start and the browser.
#include <gtest/gtest.h>

#include <objbase.h>
#include <shlobj.h>

#include <memory>
#include <string>

#include "engine_support.h"
#include "machine.h"
#include "finish/FinishPaths.h"
#include "finish/ShellLink.h"
#include "finish/Shortcuts.h"

using namespace engine_test;

namespace {

e2e::Link ReadLink(const std::string& linkPath) {
    WCHAR wide[MAX_PATH] = {};
    MultiByteToWideChar(CP_ACP, 0, linkPath.c_str(), -1, wide, MAX_PATH);
    return e2e::ReadLink(wide);
}

class ComTest : public ::testing::Test {
protected:
    void SetUp() override { CoInitialize(nullptr); }
    void TearDown() override { CoUninitialize(); }
};

TEST_F(ComTest, ShellLinkFields) {
    TempDir dir("links");
    ASSERT_TRUE(WriteText(dir + "pkl.exe", "MZ"));
    const std::string link = dir + "Quillmate.lnk";
    ASSERT_TRUE(CreateShellLink((dir + "pkl.exe").c_str(), link.c_str()));
    const e2e::Link f = ReadLink(link);
    ASSERT_TRUE(f.loaded);
    EXPECT_STRCASEEQ((dir + "pkl.exe").c_str(), f.path.c_str());
    EXPECT_EQ(dir.path().substr(0, dir.path().size() - 1), f.workingDir);
    EXPECT_EQ("Shortcut", f.description);
    EXPECT_EQ(SW_SHOW, f.showCmd);
}

TEST_F(ComTest, ShellLinkAtADriveRootWorksInTheDriveItself) {
    TempDir dir("links");
    const std::string link = dir + "root.lnk";
    ASSERT_TRUE(CreateShellLink("D:\\pkl.exe", link.c_str()));
    const e2e::Link f = ReadLink(link);
    ASSERT_TRUE(f.loaded);
    EXPECT_EQ("D:", f.workingDir);
}

TEST_F(ComTest, ExistingShortcutIsReplaced) {
    TempDir dir("links");
    const std::string link = dir + "Quillmate.lnk";
    ASSERT_TRUE(WriteText(link, "not a shortcut"));
    ASSERT_TRUE(CreateShellLink("C:\\Program Files\\dunmerra\\pkl.exe", link.c_str()));
    EXPECT_EQ("C:\\Program Files\\dunmerra", ReadLink(link).workingDir);
}

TEST_F(ComTest, ShellLinkFailures) {
    TempDir dir("links");
    EXPECT_FALSE(CreateShellLink("C:\\x\\pkl.exe", (dir + "no-such-folder\\Quillmate.lnk").c_str()));
    const std::string tooLong = dir.path() + std::string(MAX_PATH, 'l') + ".lnk";
    EXPECT_FALSE(CreateShellLink("C:\\x\\pkl.exe", tooLong.c_str()));
}

// Stand-in resolvers: which CSIDL was asked for, and what each gives.
int g_asked[4];
int g_askedCount;
BOOL WINAPI ResolveBoth(HWND, LPSTR path, int csidl, BOOL) {
    g_asked[g_askedCount++ & 3] = csidl;
    lstrcpyA(path, csidl == CSIDL_ALTSTARTUP ? "X:\\alt startup" : "X:\\common startup");
    return TRUE;
}
BOOL WINAPI ResolveCommonOnly(HWND, LPSTR path, int csidl, BOOL) {
    g_asked[g_askedCount++ & 3] = csidl;
    if (csidl == CSIDL_ALTSTARTUP) return FALSE;
    lstrcpyA(path, "X:\\common startup");
    return TRUE;
}
// Claims success without filling the buffer.
BOOL WINAPI ResolveNothing(HWND, LPSTR, int csidl, BOOL) {
    g_asked[g_askedCount++ & 3] = csidl;
    return TRUE;
}

TEST(StartupFolder, VersionFiveTakesTheCommonStartupFolder) {
    char path[MAX_PATH];
    int csidl = 0;
    g_askedCount = 0;
    ASSERT_TRUE(GetStartupFolder(TRUE, path, &csidl, ResolveBoth));
    EXPECT_EQ(CSIDL_COMMON_STARTUP, csidl);
    EXPECT_STREQ("X:\\common startup", path);
    EXPECT_EQ(1, g_askedCount);
}

TEST(StartupFolder, OtherVersionsTakeTheAlternateStartupFolder) {
    char path[MAX_PATH];
    int csidl = 0;
    g_askedCount = 0;
    ASSERT_TRUE(GetStartupFolder(FALSE, path, &csidl, ResolveBoth));
    EXPECT_EQ(CSIDL_ALTSTARTUP, csidl);
    EXPECT_STREQ("X:\\alt startup", path);
}

TEST(StartupFolder, UnresolvableAlternateFolderFallsBackToCommonStartup) {
    char path[MAX_PATH];
    int csidl = 0;
    g_askedCount = 0;
    ASSERT_TRUE(GetStartupFolder(FALSE, path, &csidl, ResolveCommonOnly));
    EXPECT_EQ(CSIDL_COMMON_STARTUP, csidl);
    EXPECT_STREQ("X:\\common startup", path);
    ASSERT_EQ(2, g_askedCount);
    EXPECT_EQ(CSIDL_ALTSTARTUP, g_asked[0]);
    EXPECT_EQ(CSIDL_COMMON_STARTUP, g_asked[1]);
}

TEST(StartupFolder, AnUnfilledBufferIsNeverUsed) {
    char path[MAX_PATH];
    memset(path, 'J', sizeof(path)); // what an unfilled buffer holds
    int csidl = 0;
    EXPECT_FALSE(GetStartupFolder(FALSE, path, &csidl, ResolveNothing));
    EXPECT_STREQ("", path);
    EXPECT_EQ(-1, csidl);
}

TEST(StartupFolder, TheSystemsFolders) {
    char path[MAX_PATH];
    int csidl = 0;
    ASSERT_TRUE(GetStartupFolder(FALSE, path, &csidl));
    char common[MAX_PATH] = "";
    SHGetSpecialFolderPathA(nullptr, common, CSIDL_COMMON_STARTUP, FALSE);
    if (OnWine()) {
        EXPECT_EQ(CSIDL_COMMON_STARTUP, csidl) << "Wine does not resolve CSIDL_ALTSTARTUP";
        EXPECT_STREQ(common, path);
    }
    ASSERT_TRUE(GetStartupFolder(TRUE, path, &csidl));
    EXPECT_EQ(CSIDL_COMMON_STARTUP, csidl);
    EXPECT_STREQ(common, path);
}

TEST(OsVersion, MajorVersionFiveOnly) {
    const struct {
        DWORD major;
        BOOL five;
    } cases[] = {{4, FALSE}, {5, TRUE}, {6, FALSE}, {10, FALSE}, {0, FALSE}};
    for (const auto& c : cases) {
        OSVERSIONINFOA vi = {};
        vi.dwOSVersionInfoSize = sizeof(vi);
        vi.dwMajorVersion = c.major;
        vi.dwMinorVersion = 1;
        EXPECT_EQ(c.five, IsOsMajorVersion5(vi)) << "major " << c.major;
    }
    if (OnWine()) {
        EXPECT_FALSE(IsOsMajorVersion5()) << "Wine reports 6.1";
    }
}

// Stand-ins for the browser and the installed program record their command lines.
class StandInTest : public ::testing::Test {
protected:
    void SetUp() override {
        MakeFolders(Log());
        SetEnvironmentVariableA("ENGINE_TEST_LOG", Log().c_str());
    }
    void TearDown() override { SetEnvironmentVariableA("ENGINE_TEST_LOG", nullptr); }
    std::string Log() const { return m_dir + "log\\"; }
    TempDir m_dir{"standin"};
};

extern "C" BOOL WINAPI SetShellWindow(HWND);

// This process's window as the desktop's shell window, for as long as the object lives:
// the programs started at the end then get a copy of this process's token.
class DesktopShell {
public:
    DesktopShell() : m_wnd(CreateWindowA("STATIC", "shell", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr)) {
        m_ok = m_wnd && SetShellWindow(m_wnd) && GetShellWindow() == m_wnd;
    }
    ~DesktopShell() {
        if (m_wnd) DestroyWindow(m_wnd);
    }
    DesktopShell(const DesktopShell&) = delete;
    DesktopShell& operator=(const DesktopShell&) = delete;
    bool Ok() const { return m_ok; }

private:
    HWND m_wnd;
    bool m_ok = false;
};

// Started as now, and with the shell's token: the same command line either way.
TEST_F(StandInTest, BrowserGetsOneBlankAndTheAddress) {
    const std::string browser = m_dir + "Internet Explorer\\iexplore.exe";
    ASSERT_TRUE(InstallStandIn(browser));
    for (bool shell : {false, true}) {
        std::unique_ptr<DesktopShell> desktop(shell ? new DesktopShell : nullptr);
        if (desktop) {
            ASSERT_TRUE(desktop->Ok()) << "no shell window could be set";
        }
        EXPECT_EQ(1, StartBrowser(browser.c_str(), kSuccessPageCommandLine));
        const std::vector<Recorded> seen = WaitForRecordings(Log(), shell ? 2 : 1, 20000);
        ASSERT_EQ(shell ? 2u : 1u, seen.size());
        EXPECT_EQ(" http://www.dunmerra.example/suc.html", seen.back().commandLine) << shell;
    }
}

TEST_F(StandInTest, MissingBrowserGivesZeroAndTheErrorText) {
    SetLastError(0);
    EXPECT_EQ(0, StartBrowser((m_dir + "none\\iexplore.exe").c_str(), kSuccessPageCommandLine));
    const DWORD err = GetLastError();
    EXPECT_TRUE(err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND) << err;
    const std::string prefix = "执行软件时出错：";
    const std::string text(BrowserErrorText(err));
    EXPECT_EQ(prefix, text.substr(0, prefix.size()));
    EXPECT_GT(text.size(), prefix.size()) << "the system's message follows";
    EXPECT_EQ(0u, WaitForRecordings(Log(), 1, 500).size());
}

TEST_F(StandInTest, InstalledProgramStartsWithItsPathQuoted) {
    const std::string dir = m_dir + "Program Files\\dunmerra\\";
    ASSERT_TRUE(InstallStandIn(dir + "pkl.exe"));
    for (bool shell : {false, true}) {
        std::unique_ptr<DesktopShell> desktop(shell ? new DesktopShell : nullptr);
        if (desktop) {
            ASSERT_TRUE(desktop->Ok()) << "no shell window could be set";
        }
        EXPECT_TRUE(RunProgramIn(dir.c_str()));
        const std::vector<Recorded> seen = WaitForRecordings(Log(), shell ? 2 : 1, 20000);
        ASSERT_EQ(shell ? 2u : 1u, seen.size());
        EXPECT_EQ("\"" + dir + "pkl.exe\"", seen.back().commandLine) << shell;
    }
}

TEST_F(StandInTest, TooLongProgramPathIsNotStarted) {
    const std::string dir = "C:\\" + std::string(250, 'p') + "\\";
    EXPECT_FALSE(RunProgramIn(dir.c_str()));
}

TEST(FinishingShortcuts, StartMenuGroupAndStartupAndDesktop) {
    TempDir dir("group");
    char menu[MAX_PATH] = "", startup[MAX_PATH] = "", desktop[MAX_PATH] = "";
    ASSERT_TRUE(SHGetSpecialFolderPathA(nullptr, menu, CSIDL_COMMON_STARTMENU, FALSE));
    ASSERT_TRUE(GetStartupFolder(IsOsMajorVersion5(), startup));
    ASSERT_TRUE(SHGetSpecialFolderPathA(nullptr, desktop, CSIDL_DESKTOP, FALSE));
    const std::string group = std::string(menu) + "\\Quillmate";
    const std::string links[] = {group + "\\Quillmate.lnk", group + "\\卸载.lnk",
                                 std::string(startup) + "\\Quillmate.lnk", std::string(desktop) + "\\Quillmate.lnk"};
    for (const std::string& l : links) ASSERT_FALSE(FileExists(l)) << l << " exists before the test";
    CreateDirectoryA(group.c_str(), nullptr);
    ASSERT_TRUE(WriteText(group + "\\user note.txt", "mine")); // an existing folder is used as it is

    EXPECT_TRUE(CreateStartMenuGroup(dir.path().c_str()));
    EXPECT_TRUE(CreateStartupShortcut(dir.path().c_str()));
    EXPECT_TRUE(CreateDesktopShortcut(dir.path().c_str()));

    CoInitialize(nullptr);
    const std::string targets[] = {dir + "pkl.exe", dir + "Uninstall.exe", dir + "pkl.exe", dir + "pkl.exe"};
    for (size_t i = 0; i < 4; ++i) {
        const e2e::Link f = ReadLink(links[i]);
        EXPECT_TRUE(f.loaded) << links[i];
        EXPECT_STRCASEEQ(targets[i].c_str(), f.path.c_str()) << links[i];
        EXPECT_EQ(dir.path().substr(0, dir.path().size() - 1), f.workingDir) << links[i];
        EXPECT_EQ("Shortcut", f.description) << links[i];
    }
    CoUninitialize();
    // The uninstaller's shortcut carries its Chinese name in UTF-16 on disk.
    WCHAR wide[MAX_PATH];
    MultiByteToWideChar(CP_ACP, 0, group.c_str(), -1, wide, MAX_PATH);
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((std::wstring(wide) + L"\\\x5378\x8F7D.lnk").c_str()));
    EXPECT_EQ("mine", ReadText(group + "\\user note.txt"));

    for (const std::string& l : links) DeleteFileA(l.c_str());
    DeleteFileA((group + "\\user note.txt").c_str());
    RemoveDirectoryA(group.c_str());
}

TEST(FinishingShortcuts, PathsThatDoNotFitGiveNoShortcut) {
    const std::string dir = "C:\\" + std::string(246, 'q') + "\\"; // 250 bytes: "pkl.exe" does not fit
    EXPECT_FALSE(CreateDesktopShortcut(dir.c_str()));
    char desktop[MAX_PATH] = "";
    SHGetSpecialFolderPathA(nullptr, desktop, CSIDL_DESKTOP, FALSE);
    EXPECT_FALSE(FileExists(std::string(desktop) + "\\Quillmate.lnk"));
}

} // namespace
