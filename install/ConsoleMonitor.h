// The installing page's view of the archiver's console, apart from the page itself.
#pragma once
#include <windows.h>

#include "afx/afxstr.h"
#include "install/ConsoleRow.h"

// Hides this program's own console window, if it has one.
void HideOwnConsole();

// Reads the cursor row of the screen buffer hOut into cells: columns 0 to the cursor,
// never past column 79; the rest stays zero. FALSE when the buffer cannot be read
// (cells are then all zero).
BOOL ReadCursorRow(HANDLE hOut, char (&cells)[kConsoleRowCells]);

enum class MonitorResult {
    Progress,  // the archiver works: show strStatus and nPercent
    Completed, // the archiver has finished
    Failed,    // the archiver has ended without finishing; strStatus holds its last row
};

// Tells whether the archiver still runs.
using ArchiverRunsFn = BOOL (*)();

// One tick of the monitor. strStatus holds the previous tick's text on entry and this
// tick's on return. On liveness ticks (IsLivenessTick(nTicks)) it asks archiverRuns;
// when the archiver has gone, the screen is read again, now final, to tell a finished
// archiver from a failed one.
MonitorResult MonitorTick(HANDLE hOut, int nTicks, ArchiverRunsFn archiverRuns, CString& strStatus, int& nPercent);
