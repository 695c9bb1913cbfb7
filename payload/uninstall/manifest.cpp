#include "manifest.h"

#include <windows.h>

#include <algorithm>

#include "afx/afxname.h"

namespace uninst {
namespace {

bool IsSafeComponent(const std::wstring& c) { return AfxNameFault(c.data(), c.size()) == nullptr; }

int Depth(const std::wstring& rel) { return static_cast<int>(std::count(rel.begin(), rel.end(), L'\\')); }

} // namespace

bool IsSafeRelativePath(const std::wstring& rel) {
    if (rel.empty() || rel.size() > 32000) return false;
    size_t start = 0;
    for (;;) {
        size_t end = rel.find(L'\\', start);
        if (!IsSafeComponent(rel.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start)))
            return false;
        if (end == std::wstring::npos) return true;
        start = end + 1;
    }
}

bool ParseManifest(const std::string& text, Manifest* out) {
    *out = Manifest();
    size_t pos = 0;
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) pos = 3;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(pos, end - pos);
        pos = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        if (line.size() > 32000) {
            ++out->rejected;
            continue;
        }
        int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, line.data(), static_cast<int>(line.size()), nullptr,
                                    0);
        if (n <= 0) return false;
        std::wstring rel(static_cast<size_t>(n), L'\0');
        MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, line.data(), static_cast<int>(line.size()), &rel[0], n);
        std::replace(rel.begin(), rel.end(), L'/', L'\\');
        bool folder = rel.back() == L'\\';
        if (folder) rel.pop_back();
        if (!IsSafeRelativePath(rel)) {
            ++out->rejected;
            continue;
        }
        (folder ? out->folders : out->files).push_back(rel);
    }
    return true;
}

std::wstring ExpandedName(const std::wstring& rel) {
    static const std::wstring kSuffix = L".pack.gz";
    if (rel.size() <= kSuffix.size()) return std::wstring();
    std::wstring tail = rel.substr(rel.size() - kSuffix.size());
    if (!SamePath(tail, kSuffix)) return std::wstring();
    std::wstring stem = rel.substr(0, rel.size() - kSuffix.size());
    if (stem.back() == L'\\') return std::wstring();
    return stem;
}

std::vector<std::wstring> DeepestFirst(std::vector<std::wstring> folders) {
    std::stable_sort(folders.begin(), folders.end(), [](const std::wstring& a, const std::wstring& b) {
        int da = Depth(a), db = Depth(b);
        return da != db ? da > db : a.size() > b.size();
    });
    return folders;
}

bool SamePath(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

bool IsInside(const std::wstring& path, const std::wstring& folder) {
    if (folder.empty() || folder.back() != L'\\' || path.size() <= folder.size()) return false;
    if (!SamePath(path.substr(0, folder.size()), folder)) return false;
    std::wstring rest = path.substr(folder.size());
    return IsSafeRelativePath(rest);
}

} // namespace uninst
