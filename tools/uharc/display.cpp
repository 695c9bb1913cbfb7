#include "display.h"

#include "console_row.h"

#include <cstdio>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#endif

namespace uharc {

namespace {

int clamp_percent(int p) { return p < 0 ? 0 : (p > uharc_row::kMaxPercent ? uharc_row::kMaxPercent : p); }

class LineDisplay : public Display {
public:
    void progress(const std::string& text, int percent, bool force) override {
        percent = clamp_percent(percent);
        if (!force && text == last_) return;
        last_ = text;
        char pct[8];
        snprintf(pct, sizeof(pct), "%3d%% ", percent);
        print_line(pct + text);
    }
    void done(const std::string& summary) override { print_line(summary); }
    void fail(const std::string& message) override { print_error("uharc: " + message); }

private:
    std::string last_;
};

#ifdef _WIN32

constexpr uint32_t kMinInterval = 50; // ms between rows, unless the percentage moved

std::string to_codepage(const std::string& utf8, UINT cp) {
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    if (n <= 0) return utf8;
    std::wstring w(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &w[0], n);
    int m = WideCharToMultiByte(cp, 0, w.data(), n, nullptr, 0, nullptr, nullptr);
    if (m <= 0) return utf8;
    std::string out(static_cast<size_t>(m), '\0');
    WideCharToMultiByte(cp, 0, w.data(), n, &out[0], m, nullptr, nullptr);
    return out;
}

// Whether a standard handle is a console is asked once: under Wine every asking is a
// call to the server, and the C runtime asks again for every piece it writes.
bool is_console(DWORD which) {
    static int known[2] = {-1, -1};
    int& k = known[which == STD_ERROR_HANDLE];
    if (k < 0) {
        DWORD mode;
        k = GetConsoleMode(GetStdHandle(which), &mode) ? 1 : 0;
    }
    return k == 1;
}

// A line in one write, so that a reader on a pipe gets it whole.
void write_line(DWORD which, const std::string& text) {
    HANDLE h = GetStdHandle(which);
    DWORD n;
    if (is_console(which)) {
        std::string s = to_codepage(text + "\n", GetConsoleOutputCP());
        WriteConsoleA(h, s.data(), static_cast<DWORD>(s.size()), &n, nullptr);
    } else {
        std::string s = text + "\r\n";
        WriteFile(h, s.data(), static_cast<DWORD>(s.size()), &n, nullptr);
    }
}

// At most `limit` bytes of `utf8` in code page `cp`, cut between characters.
std::string clip_to_bytes(const std::string& utf8, UINT cp, size_t limit) {
    std::string out;
    size_t i = 0;
    while (i < utf8.size()) {
        size_t len = 1;
        unsigned char c = static_cast<unsigned char>(utf8[i]);
        if (c >= 0xF0)
            len = 4;
        else if (c >= 0xE0)
            len = 3;
        else if (c >= 0xC0)
            len = 2;
        std::string piece = c < 0x80 ? utf8.substr(i, 1) : to_codepage(utf8.substr(i, len), cp);
        if (out.size() + piece.size() > limit) break;
        out += piece;
        i += len;
    }
    return out;
}

class ConsoleDisplay : public Display {
public:
    ConsoleDisplay(HANDLE out, const CONSOLE_SCREEN_BUFFER_INFO& info) : out_(out) {
        width_ = info.dwSize.X;
        height_ = info.dwSize.Y;
        row_ = info.dwCursorPosition.Y;
        cp_ = GetConsoleOutputCP();
        if (cp_ == 0) cp_ = GetACP();
        // Our rows start on a row of their own; a row with other text is left alone.
        if (info.dwCursorPosition.X != 0) {
            if (row_ + 1 < height_) {
                ++row_;
                blank_row(row_);
            } else {
                DWORD n;
                WriteConsoleA(out_, "\n", 1, &n, nullptr);
                CONSOLE_SCREEN_BUFFER_INFO now;
                if (GetConsoleScreenBufferInfo(out_, &now)) row_ = now.dwCursorPosition.Y;
            }
        }
    }

    void progress(const std::string& text, int percent, bool force) override {
        percent = clamp_percent(percent);
        uint32_t t = GetTickCount();
        if (!force && shown_ && percent == percent_ && t - last_ms_ < kMinInterval) return;
        shown_ = true;
        percent_ = percent;
        last_ms_ = t;
        // Text, blanks up to column 75, then the digits: three writes that never overlap,
        // so the digits stay in their cells whether the console shows a double-byte
        // character in one cell or in two. The count written is in cells either way.
        std::string bytes = clip_to_bytes(text, cp_, kTextColumns);
        DWORD cells = 0;
        if (!bytes.empty())
            WriteConsoleOutputCharacterA(out_, bytes.data(), static_cast<DWORD>(bytes.size()), COORD{0, row_}, &cells);
        if (cells > kTensColumn) cells = kTensColumn;
        DWORD n;
        FillConsoleOutputCharacterA(out_, ' ', kTensColumn - cells, COORD{static_cast<SHORT>(cells), row_}, &n);
        char digits[2] = {percent >= 10 ? static_cast<char>('0' + percent / 10) : ' ',
                          static_cast<char>('0' + percent % 10)};
        write_at(digits, 2, kTensColumn);
        // With only 78 columns the cursor stands on the units digit; the reader takes
        // columns 0 up to the cursor's, so it still sees both digits.
        SHORT x = static_cast<SHORT>(width_ > kRowLength ? kRowLength : width_ - 1);
        SetConsoleCursorPosition(out_, COORD{x, row_});
    }

    void done(const std::string& summary) override {
        progress(summary, uharc_row::kMaxPercent, true);
        if (row_ + 1 < height_) {
            blank_row(static_cast<SHORT>(row_ + 1));
            SetConsoleCursorPosition(out_, COORD{0, static_cast<SHORT>(row_ + 1)});
        } else {
            // The last row of the buffer: a line feed scrolls and leaves a fresh empty row.
            DWORD n;
            WriteConsoleA(out_, "\n", 1, &n, nullptr);
        }
    }

    void fail(const std::string& message) override {
        // Short enough that the cursor stays left of the percentage cells.
        std::string bytes = clip_to_bytes("ERROR: " + message, cp_, kTensColumn - 1);
        DWORD cells = 0, n;
        WriteConsoleOutputCharacterA(out_, bytes.data(), static_cast<DWORD>(bytes.size()), COORD{0, row_}, &cells);
        if (cells > kTensColumn - 1) cells = kTensColumn - 1;
        // The cursor first, then the blanks behind it: a reader never sees the digits'
        // cells blank while they are still within the cursor's span.
        SetConsoleCursorPosition(out_, COORD{static_cast<SHORT>(cells), row_});
        FillConsoleOutputCharacterA(out_, ' ', static_cast<DWORD>(width_) - cells,
                                    COORD{static_cast<SHORT>(cells), row_}, &n);
        if (!is_console(STD_ERROR_HANDLE)) print_error("uharc: " + message);
    }

private:
    static constexpr int kRowLength = uharc_row::kRowLength;
    static constexpr DWORD kTensColumn = uharc_row::kTensColumn;
    static constexpr size_t kTextColumns = uharc_row::kTextColumns;

    void write_at(const char* text, DWORD size, SHORT column) {
        DWORD n;
        WriteConsoleOutputCharacterA(out_, text, size, COORD{column, row_}, &n);
    }
    void blank_row(SHORT row) {
        DWORD n;
        FillConsoleOutputCharacterA(out_, ' ', static_cast<DWORD>(width_), COORD{0, row}, &n);
    }

    HANDLE out_;
    SHORT width_, height_, row_;
    UINT cp_;
    bool shown_ = false;
    int percent_ = -1;
    uint32_t last_ms_ = 0;
};

#endif

} // namespace

std::unique_ptr<Display> make_display() {
#ifdef _WIN32
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (out != INVALID_HANDLE_VALUE && GetConsoleScreenBufferInfo(out, &info)) {
        // The percentage needs columns 76 and 77: a narrower buffer is widened (the
        // window may stay narrower than its buffer).
        if (info.dwSize.X < uharc_row::kRowLength) {
            COORD size = {uharc_row::kReadCells, info.dwSize.Y};
            if (SetConsoleScreenBufferSize(out, size)) GetConsoleScreenBufferInfo(out, &info);
        }
        if (info.dwSize.X >= uharc_row::kRowLength) return std::unique_ptr<Display>(new ConsoleDisplay(out, info));
    }
#endif
    return std::unique_ptr<Display>(new LineDisplay);
}

void print_line(const std::string& text) {
#ifdef _WIN32
    write_line(STD_OUTPUT_HANDLE, text);
#else
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fputc('\n', stdout);
#endif
}

void print_error(const std::string& text) {
#ifdef _WIN32
    write_line(STD_ERROR_HANDLE, text);
#else
    std::fflush(stdout);
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fputc('\n', stderr);
#endif
}

} // namespace uharc
