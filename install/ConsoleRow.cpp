#include "install/ConsoleRow.h"

#include <cstring>

int ConsoleReadRight(int cursorX) {
    if (cursorX < 0) return 0;
    return cursorX < kConsoleRowCells - 1 ? cursorX : kConsoleRowCells - 1;
}

CString ConsoleRowText(const char (&cells)[kConsoleRowCells]) {
    char text[kConsoleRowCells] = {};
    std::memcpy(text, cells, kConsoleRowShown);
    return CString(text);
}

int ConsoleRowRawPercent(const char (&cells)[kConsoleRowCells]) {
    const int tens = static_cast<signed char>(cells[kPercentTensCell]);
    const int units = static_cast<signed char>(cells[kPercentUnitsCell]);
    const int tensTerm = tens == ' ' ? 0 : (tens - '0') * 10;
    return tensTerm + (units - '0');
}

int ClampPercent(int raw) {
    if (raw < 0) return 0;
    return raw > 100 ? 100 : raw;
}

bool IsArchiverDone(const char* row, const char* previous, int nTicks) {
    return std::strcmp(row, uharc_row::kCompletedRow) == 0 && std::strcmp(previous, "") != 0 &&
           std::strcmp(previous, uharc_row::kCompletedRow) != 0 && nTicks != 0;
}

bool IsLivenessTick(int nTicks) { return nTicks > 0 && nTicks % kLivenessTicks == 0; }
