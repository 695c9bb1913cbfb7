// Whether a text can be one name of a Windows path (a file or folder between two
// separators), by the strictest of the system's rules: the name made must be the name
// recorded, and never a device. Portable and header-only: the install-folder check, the
// archiver (its native build too) and uninstall.exe share it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Why chars cannot be one name, or nullptr when it can. chars are code points: UTF-16
// code units or UTF-32 code points; a double-byte character of a code page is any
// value from 0x100 up. Refused:
// - "", "." and "..";
// - a character below 0x20, DEL, or one of < > : " | ? * and both separators / and \;
// - a trailing dot or blank, which the file system drops;
// - a device name, alone or before an extension, blanks before the dot included:
//   CON PRN AUX NUL CONIN$ CONOUT$ CLOCK$, and COM and LPT followed by 0-9 or by a
//   superscript 1, 2 or 3;
// - more than 255 UTF-16 code units.
template <class Char>
const char* AfxNameFault(const Char* chars, size_t count) {
    auto at = [chars](size_t i) { return static_cast<uint32_t>(chars[i]); };
    if (count == 0) return "empty name";
    if (at(0) == '.' && (count == 1 || (count == 2 && at(1) == '.'))) return "relative component";
    if (at(count - 1) == '.' || at(count - 1) == ' ') return "name ends in a dot or blank";

    size_t base = 0;
    while (base < count && at(base) != '.') ++base;
    while (base > 0 && at(base - 1) == ' ') --base;
    auto upper = [&at](size_t i) {
        const uint32_t c = at(i);
        return c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c;
    };
    auto baseIs = [&](const char* name) {
        size_t i = 0;
        for (; name[i]; ++i)
            if (i >= base || upper(i) != static_cast<unsigned char>(name[i])) return false;
        return i == base;
    };
    static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$", "CLOCK$"};
    for (const char* device : kDevices)
        if (baseIs(device)) return "device name";
    if (base == 4 && ((upper(0) == 'C' && upper(1) == 'O' && upper(2) == 'M') ||
                      (upper(0) == 'L' && upper(1) == 'P' && upper(2) == 'T'))) {
        const uint32_t digit = at(3);
        if ((digit >= '0' && digit <= '9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3) return "device name";
    }

    size_t units = 0;
    for (size_t i = 0; i < count; ++i) {
        const uint32_t c = at(i);
        if (c < 0x20 || c == 0x7F) return "control character";
        if (c == ':') return "colon (drive or stream)";
        if (c == '\\' || c == '/') return "separator in a name";
        if (c == '<' || c == '>' || c == '"' || c == '|' || c == '?' || c == '*')
            return "character not allowed in file names";
        units += c >= 0x10000 ? 2 : 1;
    }
    if (units > 255) return "name too long";
    return nullptr;
}

// The same for a name in UTF-8, which must be valid: no overlong forms, no surrogates,
// nothing above U+10FFFF.
inline const char* AfxUtf8NameFault(const std::string& name) {
    std::vector<uint32_t> chars;
    const unsigned char* s = reinterpret_cast<const unsigned char*>(name.data());
    for (size_t i = 0, n = name.size(); i < n;) {
        const unsigned char c = s[i];
        size_t len = 1;
        uint32_t cp = c, min = 0;
        if (c >= 0x80) {
            if ((c & 0xE0) == 0xC0) {
                len = 2, cp = c & 0x1F, min = 0x80;
            } else if ((c & 0xF0) == 0xE0) {
                len = 3, cp = c & 0x0F, min = 0x800;
            } else if ((c & 0xF8) == 0xF0) {
                len = 4, cp = c & 0x07, min = 0x10000;
            } else {
                return "invalid UTF-8";
            }
            if (n - i < len) return "invalid UTF-8";
            for (size_t k = 1; k < len; ++k) {
                if ((s[i + k] & 0xC0) != 0x80) return "invalid UTF-8";
                cp = (cp << 6) | (s[i + k] & 0x3F);
            }
            if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return "invalid UTF-8";
        }
        chars.push_back(cp);
        i += len;
    }
    return AfxNameFault(chars.data(), chars.size());
}
