// The row that uharc keeps rewriting in a Windows console during extraction, and that
// the installer reads back from the console's screen buffer. Constants only: the
// archiver, the installer's monitor and the tests take the layout from here.
//
//   columns 0..74  the report's text (the rest blank up to column 75)
//   column 76      the percentage's tens digit, blank below 10
//   column 77      its units digit; the cursor stands in column 78 after it
//   completion     the cursor at column 0 of an empty row below the last report, so
//                  that a reader of the cursor's row up to the cursor sees one blank
#pragma once

namespace uharc_row {

constexpr int kTextColumns = 75;
constexpr int kTensColumn = 76;
constexpr int kUnitsColumn = 77;
// The cursor's column after a report; the narrowest console that holds the digits.
constexpr int kRowLength = 78;
// The highest percentage a row shows: two digits, and 100 would read as "00".
constexpr int kMaxPercent = 99;
// What a reader of the cursor's row, up to the cursor, sees on completion.
constexpr char kCompletedRow[] = " ";

// The reader's side: the cells of the row it reads, and how many of them it shows.
constexpr int kReadCells = 80;
constexpr int kShownCells = 60;

} // namespace uharc_row
