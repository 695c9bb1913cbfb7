// The console monitor, reading rows that this test or a scripted stand-in archiver
// prints into the console it shares with the code under test.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine_support.h"
#include "install/ConsoleMonitor.h"
#include "install/HiddenConsole.h"
#include "install/StartInstall.h"

using namespace engine_test;

namespace {

BOOL ArchiverGone() { return FALSE; }
BOOL ArchiverRuns() { return TRUE; }
BOOL ScriptedArchiverRuns() { return FindProcessByName("scripted-archiver.exe") != 0; }

class MonitorTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // A console of our own, as setup.exe allocates one; the test's output keeps going
        // to the handles it started with.
        FreeConsole();
        AllocConsole();
        HideOwnConsole();
        s_out = CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
    }
    static void TearDownTestSuite() {
        CloseHandle(s_out);
        FreeConsole();
    }
    void SetUp() override {
        ASSERT_NE(INVALID_HANDLE_VALUE, s_out);
        SetWidth(80);
        Clear();
    }

    static void SetWidth(SHORT width) {
        CONSOLE_SCREEN_BUFFER_INFO info;
        GetConsoleScreenBufferInfo(s_out, &info);
        const SMALL_RECT window = {0, 0, 39, 9};
        SetConsoleWindowInfo(s_out, TRUE, &window);
        const COORD size = {width, 50};
        SetConsoleScreenBufferSize(s_out, size);
    }
    static void Clear() {
        DWORD n = 0;
        const COORD home = {0, 0};
        FillConsoleOutputCharacterA(s_out, ' ', 200 * 50, home, &n);
        SetConsoleCursorPosition(s_out, home);
        s_row = 0;
    }
    // Prints text from column 0 of the current row; the cursor stays after it.
    static void Print(const std::string& text) {
        const COORD at = {0, s_row};
        SetConsoleCursorPosition(s_out, at);
        DWORD n = 0;
        WriteConsoleA(s_out, text.data(), static_cast<DWORD>(text.size()), &n, nullptr);
    }
    // Moves to the start of a fresh, empty row.
    static void NewRow() {
        ++s_row;
        const COORD at = {0, s_row};
        SetConsoleCursorPosition(s_out, at);
    }
    static SHORT CursorX() {
        CONSOLE_SCREEN_BUFFER_INFO info;
        GetConsoleScreenBufferInfo(s_out, &info);
        return info.dwCursorPosition.X;
    }
    // A progress row whose percentage ends in column 77, the cursor after the '%'.
    static std::string ProgressRow(const std::string& text, const std::string& percent) {
        std::string row = text;
        row.resize(78 - percent.size(), ' ');
        return row + percent + "%";
    }

    MonitorResult Tick(int ticks, CString& status, int& percent, ArchiverRunsFn runs = ArchiverGone) {
        return MonitorTick(s_out, ticks, runs, status, percent);
    }

    static HANDLE s_out;
    static SHORT s_row;
};

HANDLE MonitorTest::s_out = INVALID_HANDLE_VALUE;
SHORT MonitorTest::s_row = 0;

TEST_F(MonitorTest, FirstTickWithABlankRowDoesNotComplete) {
    CString status("");
    int percent = -1;
    EXPECT_EQ(MonitorResult::Progress, Tick(0, status, percent));
    EXPECT_STREQ(" ", status);
    EXPECT_EQ(0, percent);
}

TEST_F(MonitorTest, TwoBlankRowsDoNotComplete) {
    CString status("");
    int percent = -1;
    EXPECT_EQ(MonitorResult::Progress, Tick(0, status, percent));
    EXPECT_EQ(MonitorResult::Progress, Tick(1, status, percent));
    EXPECT_STREQ(" ", status);
}

TEST_F(MonitorTest, TextThenABlankRowCompletes) {
    CString status("");
    int percent = -1;
    Print(ProgressRow("Extracting pkl.exe", "42"));
    EXPECT_EQ(MonitorResult::Progress, Tick(0, status, percent));
    EXPECT_EQ(42, percent);
    NewRow();
    EXPECT_EQ(MonitorResult::Completed, Tick(1, status, percent));
    EXPECT_STREQ(" ", status);
}

TEST_F(MonitorTest, PercentageFromColumns76And77) {
    const struct {
        std::string percent;
        int shown;
    } cases[] = {{"5", 5}, {"42", 42}, {"99", 99}, {"100", 0}, {"0", 0}};
    for (const auto& c : cases) {
        Print(ProgressRow("Extracting jre\\lib\\rt.jar.pack.gz", c.percent));
        ASSERT_EQ(79, CursorX());
        CString status("x");
        int percent = -1;
        EXPECT_EQ(MonitorResult::Progress, Tick(3, status, percent));
        EXPECT_EQ(c.shown, percent) << "\"" << c.percent << "%\"";
        NewRow();
    }
}

TEST_F(MonitorTest, CursorLeftOfColumn77GivesZero) {
    Print(std::string(76, 'z')); // cursor in column 76: the units cell is not read
    CString status("x");
    int percent = -1;
    EXPECT_EQ(MonitorResult::Progress, Tick(3, status, percent));
    EXPECT_EQ(0, percent);
    EXPECT_EQ(std::string(60, 'z'), std::string(status));
}

TEST_F(MonitorTest, ShowsTheFirstSixtyCharacters) {
    const std::string row = ProgressRow("0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ-tail", "17");
    Print(row);
    CString status("x");
    int percent = -1;
    Tick(3, status, percent);
    EXPECT_EQ(row.substr(0, 60), std::string(status));
    EXPECT_EQ(17, percent);

    NewRow();
    Print("short");
    Tick(4, status, percent);
    EXPECT_STREQ("short ", status) << "up to and including the cursor's cell";
}

TEST_F(MonitorTest, WideConsoleIsReadUpToColumn79) {
    SetWidth(120);
    std::string row = ProgressRow("wide console", "63");
    row += std::string(30, '#') + "99"; // beyond column 79: never read
    Print(row);
    ASSERT_EQ(static_cast<SHORT>(row.size()), CursorX());
    CString status("x");
    int percent = -1;
    EXPECT_EQ(MonitorResult::Progress, Tick(3, status, percent));
    EXPECT_EQ(63, percent);
    EXPECT_EQ(row.substr(0, 60), std::string(status));
}

TEST_F(MonitorTest, ArchiverGoneWithoutItsLastRowFails) {
    Print("Error: CRC mismatch in pkl.exe");
    CString status("Extracting pkl.exe");
    int percent = -1;
    // Not a liveness tick: the process is not looked at.
    EXPECT_EQ(MonitorResult::Progress, Tick(9, status, percent));
    status = "Extracting pkl.exe";
    EXPECT_EQ(MonitorResult::Failed, Tick(10, status, percent));
    EXPECT_STREQ("Error: CRC mismatch in pkl.exe ", status);
}

TEST_F(MonitorTest, ArchiverGoneOnABlankRowKeepsItsLastText) {
    CString status(" ");
    int percent = -1;
    EXPECT_EQ(MonitorResult::Failed, Tick(20, status, percent)) << "a blank after a blank is no end";
}

TEST_F(MonitorTest, RunningArchiverIsLeftAlone) {
    Print("Error-looking row while it still runs");
    CString status("x");
    int percent = -1;
    EXPECT_EQ(MonitorResult::Progress, Tick(10, status, percent, ArchiverRuns));
}

// Ticks every 100 ms, as the page's timer does, until the monitor stops or timeoutMs.
struct FollowRun {
    MonitorResult result = MonitorResult::Progress;
    int ticks = 0;
    std::vector<int> percents;
    std::vector<std::string> texts;
    CString status;
};

FollowRun Follow(HANDLE out, ArchiverRunsFn archiver, DWORD timeoutMs) {
    FollowRun run;
    for (DWORD waited = 0; waited < timeoutMs; waited += 100) {
        Sleep(100);
        int percent = 0;
        run.result = MonitorTick(out, run.ticks, archiver, run.status, percent);
        if (run.result != MonitorResult::Progress) break;
        run.percents.push_back(percent);
        run.texts.push_back(std::string(run.status));
        ++run.ticks;
    }
    return run;
}

std::string Script(int steps, const std::string& ending) {
    std::string s = "sleep 400\n";
    for (int i = 1; i <= steps; ++i) {
        char pct[8];
        std::snprintf(pct, sizeof(pct), "%d", i * 100 / (steps + 1)); // 100 would read as 0
        std::string row = "Extracting file" + std::to_string(i) + ".dat";
        row.resize(78 - std::string(pct).size(), ' ');
        s += "print " + row + pct + "%\nsleep 250\n";
    }
    return s + ending;
}

TEST_F(MonitorTest, ScriptedArchiverRunsToItsEnd) {
    TempDir dir("monitor");
    const std::string archiver = dir + "scripted-archiver.exe";
    ASSERT_TRUE(InstallStandIn(archiver));
    ASSERT_TRUE(WriteText(dir + "script.txt", Script(8, "newline\nexit 0\n")));
    // Start on a fresh row, as the archiver's console does.
    NewRow();
    Child child;
    ASSERT_TRUE(child.Start(archiver, "--script \"" + (dir + "script.txt") + "\""));
    const FollowRun run = Follow(s_out, ScriptedArchiverRuns, 30000);
    EXPECT_EQ(MonitorResult::Completed, run.result) << "last text \"" << run.status << "\" after " << run.ticks;
    ASSERT_FALSE(run.percents.empty());
    int last = 0, moves = 0;
    for (int p : run.percents) {
        EXPECT_GE(p, last) << "the bar went back";
        if (p > last) ++moves;
        last = p;
    }
    EXPECT_GE(moves, 3) << "the bar moved along";
    bool sawText = false;
    for (const std::string& t : run.texts) sawText |= t.compare(0, 15, "Extracting file") == 0;
    EXPECT_TRUE(sawText);
}

TEST_F(MonitorTest, ScriptedArchiverThatFailsIsReportedWithItsRow) {
    TempDir dir("monitor");
    const std::string archiver = dir + "scripted-archiver.exe";
    ASSERT_TRUE(InstallStandIn(archiver));
    ASSERT_TRUE(WriteText(dir + "script.txt", Script(3, "print Error: archive is damaged\nexit 2\n")));
    NewRow();
    Child child;
    ASSERT_TRUE(child.Start(archiver, "--script \"" + (dir + "script.txt") + "\""));
    const FollowRun run = Follow(s_out, ScriptedArchiverRuns, 30000);
    EXPECT_EQ(MonitorResult::Failed, run.result) << "after " << run.ticks << " ticks";
    EXPECT_EQ(std::string("Error: archive is damaged "), std::string(run.status));
    DWORD code = 0;
    EXPECT_TRUE(child.Wait(5000, &code));
    EXPECT_EQ(2u, code);
}

// The archiver in a console without a window, read by attaching to it, while this
// program's own standard output is a pipe (as under a launcher that captures it): the
// archiver's rows, written to its standard output, land in its console all the same,
// and the console is still read after the archiver has ended.
TEST(WindowlessConsole, ArchiverRowsAreReadFromItsOwnConsole) {
    TempDir dir("windowless");
    const std::string archiver = dir + "scripted-archiver.exe";
    ASSERT_TRUE(InstallStandIn(archiver));
    std::string script = "sleep 300\n";
    for (int i = 1; i <= 4; ++i) script += "out Extracting part" + std::to_string(i) + "\nsleep 200\n";
    ASSERT_TRUE(WriteText(dir + "script.txt", script + "exit 0\n"));
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    SECURITY_ATTRIBUTES sa = {sizeof(sa), nullptr, TRUE};
    ASSERT_TRUE(CreatePipe(&readEnd, &writeEnd, &sa, 1 << 16));
    const HANDLE oldOut = GetStdHandle(STD_OUTPUT_HANDLE), oldErr = GetStdHandle(STD_ERROR_HANDLE);
    SetStdHandle(STD_OUTPUT_HANDLE, writeEnd);
    SetStdHandle(STD_ERROR_HANDLE, writeEnd);
    DWORD pid = 0;
    const HANDLE child = StartWithoutWindow(("\"" + archiver + "\" --script \"" + dir.path() + "script.txt\"").c_str(),
                                            dir.path().c_str(), &pid);
    const bool attached = child && AttachArchiverConsole(child, pid, 10000);
    SetStdHandle(STD_OUTPUT_HANDLE, oldOut);
    SetStdHandle(STD_ERROR_HANDLE, oldErr);
    CloseHandle(writeEnd);
    ASSERT_NE(nullptr, child);
    EXPECT_TRUE(attached);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(child, 20000));
    CloseHandle(child);
    DWORD inPipe = 0;
    PeekNamedPipe(readEnd, nullptr, 0, nullptr, &inPipe, nullptr);
    CloseHandle(readEnd);
    EXPECT_EQ(0u, inPipe) << "the archiver wrote into this program's pipe";
    // Ended, but its console is still there to read: the last row above a blank one.
    const HANDLE screen = ArchiverScreen();
    ASSERT_NE(nullptr, screen);
    CONSOLE_SCREEN_BUFFER_INFO info;
    ASSERT_TRUE(GetConsoleScreenBufferInfo(screen, &info));
    ASSERT_GE(info.dwCursorPosition.Y, 1);
    char row[80] = {};
    DWORD n = 0;
    const COORD at = {0, static_cast<SHORT>(info.dwCursorPosition.Y - 1)};
    ASSERT_TRUE(ReadConsoleOutputCharacterA(screen, row, 17, at, &n));
    EXPECT_EQ("Extracting part4", std::string(row, 16));
    EXPECT_EQ(nullptr, GetConsoleWindow()) << "the console has a window";
    DetachArchiverConsole();
    EXPECT_EQ(nullptr, ArchiverScreen());
}

} // namespace
