// How the installing page reads the archiver's console: the cursor row, the
// percentage in its cells 76 and 77, and the end of the archiver's output. The row's
// layout is the archiver's (tools/uharc/console_row.h).
// Portable (no windows.h): the host tests run it under the sanitizers.
#pragma once
#include "afx/afxstr.h"
#include "tools/uharc/console_row.h"

// One console row as the monitor reads it: the character bytes of cells 0 to 79.
// Cells that were not read are zero.
constexpr int kConsoleRowCells = uharc_row::kReadCells;
// The edit shows at most this many characters of the row.
constexpr int kConsoleRowShown = uharc_row::kShownCells;
// Columns of the percentage's tens and units digits.
constexpr int kPercentTensCell = uharc_row::kTensColumn;
constexpr int kPercentUnitsCell = uharc_row::kUnitsColumn;

// Rightmost column to read for a cursor in column x: never past the row buffer.
int ConsoleReadRight(int cursorX);

// The row's text: cells 0 to 59 up to the first zero byte.
CString ConsoleRowText(const char (&cells)[kConsoleRowCells]);

// The position the cells give, before any clamping: cells taken as signed 8-bit
// values, a blank tens cell counts 0. Zero cells give -528.
int ConsoleRowRawPercent(const char (&cells)[kConsoleRowCells]);

// The bar's position: the raw value clamped to 0..100, as the progress control does.
int ClampPercent(int raw);

// The archiver has printed its last row: the cursor row is a single blank after a
// tick that showed text, and at least one tick has been counted.
bool IsArchiverDone(const char* row, const char* previous, int nTicks);

// Ticks between two checks that the archiver still runs (about once a second).
constexpr int kLivenessTicks = 10;
// True on the ticks at which the monitor looks for the archiver's process.
bool IsLivenessTick(int nTicks);
