// The monitor's reading of the archiver's console row, table-driven.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "install/ConsoleRow.h"

namespace {

// A row as ReadCursorRow leaves it: text up to and including the cursor column, the
// rest zero.
struct Row {
    char cells[kConsoleRowCells] = {};
    explicit Row(const std::string& text) {
        std::memcpy(cells, text.data(), text.size() < sizeof(cells) ? text.size() : sizeof(cells));
    }
};

// An archiver's progress row: text, then the percentage right-aligned so that its
// last digit stands in column 77, the cursor after it.
std::string ProgressRow(const std::string& text, const std::string& percent) {
    std::string row = text;
    row.resize(static_cast<size_t>(kPercentUnitsCell + 1) - percent.size(), ' ');
    row += percent;
    return row + "%";
}

TEST(ConsoleRow, CompletionTest) {
    struct Case {
        const char* row;
        const char* previous;
        int ticks;
        bool done;
    } const cases[] = {
            {" ", "", 0, false},               // first tick, blank row
            {" ", "", 5, false},               // nothing was ever shown
            {" ", " ", 3, false},              // two blank rows on consecutive ticks
            {" ", "Extracting jre", 0, false}, // no tick counted yet
            {" ", "Extracting jre", 1, true},  // text, then blank
            {"", "Extracting jre", 4, false},  // unreadable console: never a single blank
            {"  ", "Extracting", 4, false},    // two blanks are not the end
            {"x", "Extracting", 4, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.done, IsArchiverDone(c.row, c.previous, c.ticks))
                << "row \"" << c.row << "\" previous \"" << c.previous << "\" ticks " << c.ticks;
    }
}

TEST(ConsoleRow, PercentFromCells76And77) {
    struct Case {
        std::string row;
        int raw;
        int shown;
    } const cases[] = {
            {ProgressRow("pkl.exe", "5"), 5, 5},
            {ProgressRow("pkl.exe", "42"), 42, 42},
            {ProgressRow("pkl.exe", "99"), 99, 99},
            {ProgressRow("jre\\lib\\rt.jar.pack.gz", "0"), 0, 0},
            {ProgressRow("done", "100"), 0, 0}, // the hundreds digit stands in column 75
            {std::string(77, 'a') + "7", (('a' - '0') * 10) + 7, 100},
            {"short row", -528, 0},         // cursor left of 77: zero cells
            {std::string(77, ' '), -48, 0}, // cursor on column 76: units cell zero
    };
    for (const Case& c : cases) {
        const Row r(c.row);
        EXPECT_EQ(c.raw, ConsoleRowRawPercent(r.cells)) << "row \"" << c.row << "\"";
        EXPECT_EQ(c.shown, ClampPercent(ConsoleRowRawPercent(r.cells))) << "row \"" << c.row << "\"";
    }
}

TEST(ConsoleRow, CellsAreSignedBytes) {
    Row r("");
    r.cells[kPercentTensCell] = static_cast<char>(0xB0); // a double-byte character's lead byte
    r.cells[kPercentUnitsCell] = '1';
    EXPECT_EQ((-80 - 48) * 10 + 1, ConsoleRowRawPercent(r.cells));
    EXPECT_EQ(0, ClampPercent(ConsoleRowRawPercent(r.cells)));
}

TEST(ConsoleRow, TextIsTheFirstSixtyCharactersUpToTheCursor) {
    const std::string longRow = ProgressRow(std::string(70, 'x'), "37");
    struct Case {
        std::string row;
        std::string text;
    } const cases[] = {
            {" ", " "},
            {"", ""},
            {"Extracting pkl.exe", "Extracting pkl.exe"},
            {std::string(59, 'y'), std::string(59, 'y')},
            {std::string(60, 'y'), std::string(60, 'y')},
            {std::string(61, 'y'), std::string(60, 'y')},
            {longRow, longRow.substr(0, 60)},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.text, std::string(ConsoleRowText(Row(c.row).cells))) << "row of " << c.row.size();
    }
}

TEST(ConsoleRow, ReadStopsAtColumn79) {
    const int cases[][2] = {{0, 0}, {1, 1}, {77, 77}, {78, 78}, {79, 79}, {80, 79}, {119, 79}, {-1, 0}};
    for (const auto& c : cases) EXPECT_EQ(c[1], ConsoleReadRight(c[0])) << "cursor column " << c[0];
}

TEST(ConsoleRow, LivenessAboutOnceASecond) {
    EXPECT_FALSE(IsLivenessTick(0));
    EXPECT_FALSE(IsLivenessTick(9));
    EXPECT_TRUE(IsLivenessTick(10));
    EXPECT_FALSE(IsLivenessTick(11));
    EXPECT_TRUE(IsLivenessTick(20));
}

} // namespace
