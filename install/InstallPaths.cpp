#include "install/InstallPaths.h"
#include "product.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

bool IsForbiddenByte(unsigned char c) {
    return c < 0x20 || std::strchr("<>\"|?*", c) != nullptr;
}

// CON, PRN, AUX, NUL, COM1..9, LPT1..9, CONIN$, CONOUT$: the system maps these to
// devices in any folder, with or without an extension.
bool IsDeviceName(const std::string& component) {
    std::string base = component.substr(0, component.find('.'));
    while (!base.empty() && base.back() == ' ') base.pop_back();
    for (char& c : base) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    for (const char* d : kDevices)
        if (base == d) return true;
    if (base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0) &&
        base[3] >= '1' && base[3] <= '9')
        return true;
    return false;
}

// Splits at backslashes that stand as whole characters. FALSE when a byte the file
// system rejects, or a colon outside the drive prefix, is found.
bool SplitComponents(const char* text, size_t colonAllowedAt, std::vector<std::string>& parts) {
    std::string current;
    const size_t n = std::strlen(text);
    for (size_t i = 0; i < n;) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (AfxIsLeadByte(c)) {
            if (i + 1 >= n) return false;  // a lead byte without its trail byte
            current.append(text + i, 2);
            i += 2;
            continue;
        }
        if (IsForbiddenByte(c)) return false;
        if (c == ':' && i != colonAllowedAt) return false;
        if (c == '\\') {
            parts.push_back(current);
            current.clear();
        } else {
            current += static_cast<char>(c);
        }
        ++i;
    }
    parts.push_back(current);
    return true;
}

}  // namespace

bool IsUsableInstallDir(const char* dir) {
    if (!dir) return false;
    const size_t n = std::strlen(dir);
    if (n == 0 || n > static_cast<size_t>(kMaxInstallDirBytes)) return false;

    std::vector<std::string> parts;
    size_t firstFolder = 0;  // index in parts of the first component below the root
    if (std::isalpha(static_cast<unsigned char>(dir[0])) && dir[1] == ':' && dir[2] == '\\') {
        if (!SplitComponents(dir, 1, parts)) return false;
        firstFolder = 1;  // parts[0] is "X:"
    } else if (dir[0] == '\\' && dir[1] == '\\') {
        if (!SplitComponents(dir + 2, static_cast<size_t>(-1), parts)) return false;
        // server and share must both be named; "." would be the device namespace
        if (parts.size() < 3 || parts[0].empty() || parts[1].empty() || parts[0] == ".") return false;
        firstFolder = 2;
    } else {
        return false;  // relative, root-relative ("\x") or empty
    }
    // The last separator must be a whole character, not a trail byte equal to '\'.
    if (!parts.back().empty()) return false;
    for (size_t i = firstFolder; i < parts.size(); ++i) {
        if (IsDeviceName(parts[i])) return false;
        // The file system drops a name's trailing dots and blanks: the folder made would
        // not be the one recorded.
        const std::string& name = parts[i];
        if (!name.empty() && (name.back() == '.' || name.back() == ' ')) return false;
    }
    return true;
}

CString ArchiverCommandLine(const char* dir) {
    CString line("\"");
    line += dir;
    line += "\\";
    line += product::kFilesArchiver;
    line += "\" x -y \"";
    line += dir;
    line += "\\";
    line += product::kFilesArchive;
    line += '"';
    return line;
}

bool PackOutputName(const char* name, CString& out) {
    static const char kSuffix[] = ".pack.gz";
    const size_t suffixLen = sizeof(kSuffix) - 1;
    out.Empty();
    if (!name) return false;
    const size_t n = std::strlen(name);
    if (n <= suffixLen) return false;
    for (size_t i = 0; i < suffixLen; ++i) {
        if (std::tolower(static_cast<unsigned char>(name[n - suffixLen + i])) != kSuffix[i]) return false;
    }
    out = CString(name, static_cast<int>(n - suffixLen));
    return true;
}

bool PackSearchPattern(char* buf, size_t size, const char* dirWithSlash) {
    if (!buf || size == 0) return false;
    const int n = std::snprintf(buf, size, "%s*.pack.gz", dirWithSlash);
    if (n < 0 || static_cast<size_t>(n) >= size) {
        buf[0] = '\0';
        return false;
    }
    return true;
}

bool ExpanderCommandLine(char* buf, size_t size, const char* installDir, const char* packDir,
                         const char* name, const char* outName) {
    if (!buf || size == 0) return false;
    const int n = std::snprintf(buf, size, "\"%sjre\\bin\\unpack200\" \"%s%s\" \"%s%s\"", installDir,
                                packDir, name, packDir, outName);
    if (n < 0 || static_cast<size_t>(n) >= size) {
        buf[0] = '\0';
        return false;
    }
    return true;
}
