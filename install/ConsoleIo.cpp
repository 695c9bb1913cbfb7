#include "install/ConsoleMonitor.h"

#include "pages/InstallPage.h"

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
    SMALL_RECT source = {0, info.dwCursorPosition.Y,
                         static_cast<SHORT>(ConsoleReadRight(info.dwCursorPosition.X)),
                         info.dwCursorPosition.Y};
    if (!ReadConsoleOutputA(hOut, row, size, origin, &source)) return FALSE;
    for (int i = 0; i < kConsoleRowCells; ++i) cells[i] = row[i].Char.AsciiChar;
    return TRUE;
}

MonitorResult MonitorTick(HANDLE hOut, int nTicks, const char* lpszArchiver, CString& strStatus,
                          int& nPercent) {
    char cells[kConsoleRowCells];
    ReadCursorRow(hOut, cells);
    const CString previous = strStatus;
    strStatus = ConsoleRowText(cells);
    nPercent = ClampPercent(ConsoleRowRawPercent(cells));
    if (IsArchiverDone(strStatus, previous, nTicks)) return MonitorResult::Completed;
    if (!IsLivenessTick(nTicks) || FindProcessByName(lpszArchiver) != 0) return MonitorResult::Progress;

    // The archiver is gone, so its screen no longer changes: a last blank row that it
    // printed just after the read above still counts as finishing.
    ReadCursorRow(hOut, cells);
    const CString last = ConsoleRowText(cells);
    if (IsArchiverDone(last, strStatus, nTicks)) {
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
