// Runs UHARC.EXE in a hidden console of its own, the way the installer does, and
// reads the console like the install page: the cursor's row up to the cursor's
// column, the percentage from cells 76 and 77, completion when the row turns blank
// after a row with text.
//
// usage: uharc_console_test UHARC.EXE ARCHIVE WORKDIR ok|fail [WIDTH]
// The report goes to WORKDIR\report.txt (a GUI program has no output of its own).
// Exit status 0 when every check held.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "afx/afxhandle.h"
#include "install/ConsoleMonitor.h"

namespace {

FILE* g_report = nullptr;
int g_failures = 0;

void check(bool ok, const char* what, const std::string& actual) {
    if (!ok) ++g_failures;
    std::fprintf(g_report, "%s: %s (actual: %s)\n", ok ? "ok" : "FAILED", what, actual.c_str());
}

struct Reading {
    std::string text; // what the page puts in its edit
    int x = 0, y = 0;
    int percent = 0; // what the page gives its progress bar, before the control clamps it
    bool blank() const { return text == uharc_row::kCompletedRow; }
};

// The cursor and the cells come from separate calls, between which the archiver may
// move on: a reading counts only when the cursor stood still across the cells' read.
bool read_row(HANDLE out, Reading& r) {
    for (;;) {
        CONSOLE_SCREEN_BUFFER_INFO before, after;
        if (!GetConsoleScreenBufferInfo(out, &before)) return false;
        char cells[kConsoleRowCells];
        ReadCursorRow(out, cells);
        if (!GetConsoleScreenBufferInfo(out, &after)) return false;
        if (before.dwCursorPosition.X != after.dwCursorPosition.X ||
            before.dwCursorPosition.Y != after.dwCursorPosition.Y)
            continue;
        r.x = before.dwCursorPosition.X;
        r.y = before.dwCursorPosition.Y;
        r.text = ConsoleRowText(cells);
        r.percent = ConsoleRowRawPercent(cells);
        return true;
    }
}

std::string quoted(const std::string& s) { return "\"" + s + "\""; }

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    int argc = __argc;
    char** argv = __argv;
    if (argc < 5) return 2;
    std::string uharc = argv[1], archive = argv[2], workdir = argv[3];
    bool expect_ok = std::strcmp(argv[4], "ok") == 0;
    int width = argc > 5 ? std::atoi(argv[5]) : 0;
    g_report = std::fopen((workdir + "\\report.txt").c_str(), "w");
    if (!g_report) return 3;

    AllocConsole();
    ShowWindow(GetConsoleWindow(), SW_HIDE);
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    if (width > 0) {
        // Narrow the window first: the buffer may not be narrower than the window.
        SMALL_RECT win = {0, 0, static_cast<SHORT>(width - 1), 24};
        SetConsoleWindowInfo(out, TRUE, &win);
        COORD size = {static_cast<SHORT>(width), 300};
        check(SetConsoleScreenBufferSize(out, size) != 0, "console buffer narrowed", std::to_string(width));
    }
    CONSOLE_SCREEN_BUFFER_INFO info;
    GetConsoleScreenBufferInfo(out, &info);
    check(width == 0 || info.dwSize.X == width, "console width", std::to_string(info.dwSize.X));

    SetCurrentDirectoryA(workdir.c_str());
    std::string cmd = quoted(uharc) + " x -y " + quoted(archive);
    std::vector<char> line(cmd.begin(), cmd.end());
    line.push_back('\0');
    STARTUPINFOA si;
    std::memset(&si, 0, sizeof(si));
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION pi;
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        check(false, "archiver started", std::to_string(GetLastError()));
        std::fclose(g_report);
        return 1;
    }
    CProcess archiver(pi);

    // Poll faster than the page does, so that more intermediate states are seen.
    std::vector<Reading> seen;
    std::string previous;
    int text_rows = 0, last_percent = -1, completions = 0, text_after_completion = 0;
    bool bad_percent = false, went_back = false;
    std::string bad_detail;
    for (;;) {
        const bool ended = archiver.Wait(5);
        Reading r;
        if (read_row(out, r)) {
            if (!r.blank() && !r.text.empty()) {
                if (completions > 0) ++text_after_completion;
                if (r.x >= uharc_row::kUnitsColumn) {
                    ++text_rows;
                    if (r.percent < 0 || r.percent > uharc_row::kMaxPercent) {
                        bad_percent = true;
                        bad_detail = r.text + " -> " + std::to_string(r.percent);
                    }
                    if (r.percent < last_percent) {
                        went_back = true;
                        bad_detail = std::to_string(last_percent) + " then " + std::to_string(r.percent);
                    }
                    last_percent = r.percent;
                }
            } else if (IsArchiverDone(r.text.c_str(), previous.c_str(), 1)) {
                ++completions;
            }
            previous = r.text;
            if (seen.empty() || seen.back().text != r.text || seen.back().x != r.x) seen.push_back(r);
        }
        if (ended) break;
    }
    const DWORD code = archiver.ExitCode();
    archiver.Close();
    Reading last;
    read_row(out, last);
    std::fprintf(g_report, "rows seen:\n");
    for (const Reading& r : seen)
        std::fprintf(g_report, "  x=%d y=%d pct=%d [%s]\n", r.x, r.y, r.percent, r.text.c_str());

    check(!bad_percent, "percentages on progress rows within 0..99", bad_detail);
    check(!went_back, "percentages never go back", bad_detail);
    check(text_after_completion == 0, "no text row after a completion was seen", std::to_string(text_after_completion));
    if (expect_ok) {
        check(code == 0, "exit code 0", std::to_string(code));
        check(text_rows > 0, "progress rows seen", std::to_string(text_rows));
        check(last.blank() && last.x == 0, "ends at column 0 of an empty row",
              "x=" + std::to_string(last.x) + " [" + last.text + "]");
        check(completions == 1, "completion seen once, at the end", std::to_string(completions));
    } else {
        check(code != 0, "non-zero exit code", std::to_string(code));
        check(!last.blank() && !last.text.empty(), "last row keeps text", "[" + last.text + "]");
        check(last.text.find("ERROR") == 0, "last row is the error", "[" + last.text + "]");
        check(completions == 0, "never looks complete", std::to_string(completions));
    }
    std::fprintf(g_report, "%s\n", g_failures ? "FAILED" : "PASSED");
    std::fclose(g_report);
    return g_failures ? 1 : 0;
}
