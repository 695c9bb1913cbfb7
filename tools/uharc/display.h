// How uharc reports extraction on its standard output.
//
// In a Windows console every report rewrites the cursor's row, laid out as
// console_row.h says; the installer that started us reads exactly that row. On
// failure the cursor stays behind the error text. Elsewhere (pipes, files, POSIX)
// plain lines are written instead.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace uharc {

class Display {
public:
    virtual ~Display() = default;
    // percent is clamped to 0..99: the reader of the row sees only two digits.
    virtual void progress(const std::string& text, int percent, bool force) = 0;
    virtual void done(const std::string& summary) = 0;
    virtual void fail(const std::string& message) = 0;
};

std::unique_ptr<Display> make_display();

// Prints a line of UTF-8 text on standard output in the console's code page if needed.
void print_line(const std::string& text);
void print_error(const std::string& text);

} // namespace uharc
