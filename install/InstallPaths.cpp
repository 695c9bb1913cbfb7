#include "install/InstallPaths.h"
#include "product.h"

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "afx/afxname.h"

namespace {

// dir split at its separators, both kinds, where they stand as whole characters; a
// double-byte character becomes one value from 0x100 up, so that a trail byte equal to
// '\\' or '|' is neither a separator nor a forbidden character. FALSE for a lead byte
// without its trail byte.
bool SplitComponents(const char* text, std::vector<std::vector<uint32_t>>& parts) {
    parts.assign(1, {});
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p;) {
        if (AfxIsLeadByte(*p)) {
            if (p[1] == '\0') return false;
            parts.back().push_back(static_cast<uint32_t>(p[0]) << 8 | p[1]);
            p += 2;
        } else if (*p == '\\' || *p == '/') {
            parts.emplace_back();
            ++p;
        } else {
            parts.back().push_back(*p++);
        }
    }
    return true;
}

} // namespace

bool IsUsableInstallDir(const char* dir) {
    if (!dir) return false;
    const size_t n = std::strlen(dir);
    if (n == 0 || n > static_cast<size_t>(kMaxInstallDirBytes)) return false;

    std::vector<std::vector<uint32_t>> parts;
    if (!SplitComponents(dir, parts)) return false;
    size_t first = 0; // index in parts of the first name the rule applies to
    if (std::isalpha(static_cast<unsigned char>(dir[0])) && dir[1] == ':' && dir[2] == '\\') {
        first = 1; // parts[0] is "X:"
    } else if (dir[0] == '\\' && dir[1] == '\\') {
        first = 2; // parts[0] and [1] are the empty names before "\\"; server and share follow
        if (parts.size() < 5) return false;
    } else {
        return false; // relative, root-relative ("\x") or empty
    }
    // The last separator must be a whole character, not a trail byte equal to '\'.
    if (!parts.back().empty()) return false;
    for (size_t i = first; i + 1 < parts.size(); ++i)
        if (AfxNameFault(parts[i].data(), parts[i].size())) return false;
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

bool ExpanderCommandLine(char* buf, size_t size, const char* installDir, const char* packDir, const char* name,
                         const char* outName) {
    if (!buf || size == 0) return false;
    const int n = std::snprintf(buf, size, "\"%sjre\\bin\\unpack200\" \"%s%s\" \"%s%s\"", installDir, packDir, name,
                                packDir, outName);
    if (n < 0 || static_cast<size_t>(n) >= size) {
        buf[0] = '\0';
        return false;
    }
    return true;
}
