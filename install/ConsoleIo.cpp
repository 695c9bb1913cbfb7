#include "install/ConsoleMonitor.h"

void HideOwnConsole() {
    const HWND hConsole = GetConsoleWindow();
    if (hConsole) ShowWindow(hConsole, SW_HIDE);
}

BOOL ReadCursorRow(HANDLE hOut, char (&cells)[kConsoleRowCells]) {
    ZeroMemory(cells, sizeof(cells));
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!GetConsoleScreenBufferInfo(hOut, &info)) return FALSE;
    CHAR_INFO row[kConsoleRowCells];
    ZeroMemory(row, sizeof(row));
    const COORD size = {static_cast<SHORT>(kConsoleRowCells), 1};
    const COORD origin = {0, 0};
    SMALL_RECT source = {0, info.dwCursorPosition.Y, static_cast<SHORT>(ConsoleReadRight(info.dwCursorPosition.X)),
                         info.dwCursorPosition.Y};
    if (!ReadConsoleOutputA(hOut, row, size, origin, &source)) return FALSE;
    for (int i = 0; i < kConsoleRowCells; ++i) cells[i] = row[i].Char.AsciiChar;
    return TRUE;
}

// TRUE when the screen shows what the archiver leaves when it has finished: the
// cursor at column 0 of a blank row, below a row of text. An archiver that finishes
// before the first tick leaves this too, without a text row ever being read.
static BOOL ShowsFinishedArchiver(HANDLE hOut) {
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!GetConsoleScreenBufferInfo(hOut, &info)) return FALSE;
    if (info.dwCursorPosition.X != 0 || info.dwCursorPosition.Y == 0) return FALSE;
    const SHORT width = info.dwSize.X < kConsoleRowCells ? info.dwSize.X : static_cast<SHORT>(kConsoleRowCells);
    CHAR_INFO rows[2][kConsoleRowCells];
    ZeroMemory(rows, sizeof(rows));
    const COORD size = {static_cast<SHORT>(kConsoleRowCells), 2};
    const COORD origin = {0, 0};
    SMALL_RECT source = {0, static_cast<SHORT>(info.dwCursorPosition.Y - 1), static_cast<SHORT>(width - 1),
                         info.dwCursorPosition.Y};
    if (!ReadConsoleOutputA(hOut, &rows[0][0], size, origin, &source)) return FALSE;
    bool textAbove = false;
    for (int i = 0; i < width; ++i) {
        const char above = rows[0][i].Char.AsciiChar;
        const char here = rows[1][i].Char.AsciiChar;
        if (here != ' ' && here != '\0') return FALSE;
        if (above != ' ' && above != '\0') textAbove = true;
    }
    return textAbove;
}

MonitorResult MonitorTick(HANDLE hOut, int nTicks, ArchiverRunsFn archiverRuns, CString& strStatus, int& nPercent) {
    char cells[kConsoleRowCells];
    ReadCursorRow(hOut, cells);
    const CString previous = strStatus;
    strStatus = ConsoleRowText(cells);
    nPercent = ClampPercent(ConsoleRowRawPercent(cells));
    if (IsArchiverDone(strStatus, previous, nTicks)) return MonitorResult::Completed;
    if (!IsLivenessTick(nTicks) || archiverRuns()) return MonitorResult::Progress;

    // The archiver is gone, so its screen no longer changes: a last blank row that it
    // printed just after the read above still counts as finishing.
    ReadCursorRow(hOut, cells);
    const CString last = ConsoleRowText(cells);
    if (IsArchiverDone(last, strStatus, nTicks) || ShowsFinishedArchiver(hOut)) {
        strStatus = last;
        return MonitorResult::Completed;
    }
    if (last != " " && !last.IsEmpty()) {
        strStatus = last;
    } else if (strStatus == " " || strStatus.IsEmpty()) {
        strStatus = previous;
    }
    return MonitorResult::Failed;
}
