#include "reliability_support.h"

#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <ctime>

#include "driver.h"

namespace reliability {

using e2e::Utf8;

// ---- files --------------------------------------------------------------------------------

bool IsDir(const std::wstring& path) {
    const DWORD a = GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool MakeDirs(const std::wstring& path) {
    const std::wstring p = NoSlash(path);
    if (p.empty() || IsDir(p)) return true;
    const size_t cut = p.find_last_of(L'\\');
    if (cut != std::wstring::npos && cut > 2 && !MakeDirs(p.substr(0, cut))) return false;
    return CreateDirectoryW(p.c_str(), nullptr) || IsDir(p);
}

namespace {

// FNV-1a over the file's bytes; a file that cannot be opened hashes to 1.
uint64_t HashFile(const std::wstring& path) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (h == INVALID_HANDLE_VALUE) return 1;
    uint64_t hash = 1469598103934665603ull;
    static std::vector<unsigned char> buf(1 << 18);
    DWORD got = 0;
    while (ReadFile(h, buf.data(), static_cast<DWORD>(buf.size()), &got, nullptr) && got > 0)
        for (DWORD i = 0; i < got; ++i) hash = (hash ^ buf[i]) * 1099511628211ull;
    CloseHandle(h);
    return hash;
}

bool Skipped(const std::wstring& lowerPath, const std::vector<std::wstring>& skipLower) {
    for (const std::wstring& s : skipLower)
        if (lowerPath.compare(0, s.size(), s) == 0) return true;
    return false;
}

bool Under(const std::wstring& lowerPath, const std::vector<std::wstring>& prefixes) {
    for (const std::wstring& p : prefixes)
        if ((lowerPath + L"\\").compare(0, p.size(), p) == 0) return true;
    return false;
}

} // namespace

std::wstring Lower(std::wstring s) {
    if (!s.empty()) CharLowerBuffW(&s[0], static_cast<DWORD>(s.size()));
    return s;
}

std::wstring NoSlash(const std::wstring& dir) {
    std::wstring d = dir;
    while (d.size() > 3 && d.back() == L'\\') d.pop_back();
    return d;
}

void SnapTree(const std::wstring& root, const std::vector<std::wstring>& skipLower, bool recursive, Snapshot* out,
              const wchar_t* onlySuffix) {
    WIN32_FIND_DATAW fd;
    const std::wstring base = root.back() == L'\\' ? root : root + L"\\";
    HANDLE find = FindFirstFileW((base + L"*").c_str(), &fd);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        const std::wstring name = fd.cFileName;
        if (name == L"." || name == L"..") continue;
        const std::wstring path = base + name;
        std::wstring key = Lower(path);
        if (key.compare(0, 4, L"\\\\?\\") == 0) key.erase(0, 4);
        if (Skipped(key + ((fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? L"\\" : L""), skipLower)) continue;
        Entry e;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            // a link leads out of the tree being looked at
            if (!recursive || (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) continue;
            e.dir = true;
            (*out)[key] = e;
            SnapTree(path, skipLower, true, out, onlySuffix);
        } else {
            if (onlySuffix) {
                const std::wstring suffix = onlySuffix;
                if (key.size() < suffix.size() || key.compare(key.size() - suffix.size(), suffix.size(), suffix) != 0)
                    continue;
            }
            e.size = (static_cast<ULONGLONG>(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow;
            e.hash = HashFile(path);
            (*out)[key] = e;
        }
    } while (FindNextFileW(find, &fd));
    FindClose(find);
}

std::vector<std::string> CompareSnapshots(const Snapshot& before, const Snapshot& after,
                                          const std::vector<std::wstring>& allowedLower,
                                          const std::vector<std::wstring>& mayChangeLower) {
    std::vector<std::string> problems;
    for (const auto& [path, e] : before) {
        if (std::find(mayChangeLower.begin(), mayChangeLower.end(), path) != mayChangeLower.end()) continue;
        auto it = after.find(path);
        if (it == after.end()) {
            problems.push_back("gone: " + Utf8(path));
        } else if (it->second.dir != e.dir || it->second.size != e.size || it->second.hash != e.hash) {
            problems.push_back("changed: " + Utf8(path) + " (" + std::to_string(e.size) + " -> " +
                               std::to_string(it->second.size) + " bytes)");
        }
    }
    for (const auto& [path, e] : after) {
        if (before.count(path) || Under(path, allowedLower)) continue;
        // the folders made on the way to an install folder
        bool above = false;
        for (const std::wstring& a : allowedLower) above |= e.dir && a.compare(0, path.size() + 1, path + L"\\") == 0;
        if (!above) problems.push_back("written outside: " + Utf8(path));
    }
    return problems;
}

// ---- registry -------------------------------------------------------------------------------

std::vector<std::wstring> RegSubKeys(const wchar_t* subKey) {
    std::vector<std::wstring> names;
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, subKey, 0, KEY_ENUMERATE_SUB_KEYS, &key) != ERROR_SUCCESS) return names;
    wchar_t name[256];
    for (DWORD i = 0;; ++i) {
        DWORD len = ARRAYSIZE(name);
        if (RegEnumKeyExW(key, i, name, &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        names.push_back(Lower(name));
    }
    RegCloseKey(key);
    std::sort(names.begin(), names.end());
    return names;
}

// ---- processes ------------------------------------------------------------------------------

bool TerminateFirst(const wchar_t* exeName, UINT code) {
    const std::vector<DWORD> ids = ProcessIds(exeName);
    if (ids.empty()) return false;
    HANDLE h = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, ids[0]);
    if (!h) return false;
    const bool ok = TerminateProcess(h, code) != FALSE;
    WaitForSingleObject(h, 5000);
    CloseHandle(h);
    return ok;
}

// ---- the results table ---------------------------------------------------------------------------

namespace {

std::string g_what, g_expected;

// One table cell: no bars or line breaks, bounded length.
std::string Cell(std::string s, size_t max = 400) {
    for (char& c : s)
        if (c == '\n' || c == '\r' || c == '\t') c = ' ';
    std::string out;
    for (char c : s) {
        if (c == '|')
            out += "\\|";
        else
            out += c;
    }
    if (out.size() > max) {
        size_t cut = max;
        while (cut > 0 && (static_cast<unsigned char>(out[cut]) & 0xC0) == 0x80) --cut; // whole UTF-8 characters
        out = out.substr(0, cut) + " ...";
    }
    return out;
}

double Seconds(const LARGE_INTEGER& from) {
    LARGE_INTEGER now, freq;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&freq);
    return static_cast<double>(now.QuadPart - from.QuadPart) / static_cast<double>(freq.QuadPart);
}

} // namespace

void Describe(const std::string& what, const std::string& expected) {
    g_what = what;
    g_expected = expected;
}

void TableWriter::OnTestStart(const ::testing::TestInfo&) {
    g_what.clear();
    g_expected.clear();
    failure_.clear();
    QueryPerformanceCounter(&start_);
}

void TableWriter::OnTestPartResult(const ::testing::TestPartResult& result) {
    if (!result.failed() && !result.skipped()) return;
    std::string msg = result.message();
    const size_t cut = msg.find("\nGoogle Test trace:");
    if (cut != std::string::npos) msg = msg.substr(0, cut);
    if (!failure_.empty()) failure_ += "; ";
    failure_ += msg;
}

void TableWriter::OnTestEnd(const ::testing::TestInfo& info) {
    Row row;
    row.name = std::string(info.test_suite_name()) + "." + info.name();
    row.what = g_what;
    row.expected = g_expected;
    row.passed = info.result()->Passed();
    row.skipped = info.result()->Skipped();
    row.failure = failure_;
    row.seconds = Seconds(start_);
    rows_.push_back(row);
}

void TableWriter::OnTestProgramEnd(const ::testing::UnitTest& unit) {
    int passed = 0, failed = 0, skipped = 0;
    for (const Row& r : rows_) (r.skipped ? skipped : r.passed ? passed : failed)++;
    std::string md = "# " + title_ + "\n\n";
    md += "Written by `e2e_reliability` (ctest label `reliability`) on every run and copied here by "
          "`tools/publish-reliability.sh`; do not edit by hand.\n\n";
    char line[256];
    std::snprintf(line, sizeof(line), "**%d cases: %d passed, %d failed, %d not run.** Total time %.0f s.\n\n",
                  static_cast<int>(rows_.size()), passed, failed, skipped,
                  static_cast<double>(unit.elapsed_time()) / 1000.0);
    md += line;
    md += "Every case runs the real setup.exe under Wine and also checks: it ends within its bound, "
          "with a normal exit code and no crash handler; no file was written outside the install folder; "
          "every file that existed before (C:\\ outside C:\\windows and the profile folders Wine links to the "
          "Unix home, the top of C:\\windows, the small drives, the install folder's own files) is byte-identical "
          "afterwards; the uninstall "
          "entry has a DisplayName only after a completed installation, and no other uninstall entry "
          "appeared; no UHARC.EXE or unpack200.exe is left running.\n\n";
    md += "| # | Case | What | Expected | Result | Time (s) |\n|---|---|---|---|---|---|\n";
    int i = 0;
    for (const Row& r : rows_) {
        std::snprintf(line, sizeof(line), "%.1f", r.seconds);
        std::string result = r.skipped ? "not run" : r.passed ? "passed" : "**FAILED**: " + Cell(r.failure, 600);
        if (r.skipped && !r.failure.empty()) result += ": " + Cell(r.failure, 200);
        md += "| " + std::to_string(++i) + " | `" + Cell(r.name, 120) + "` | " + Cell(r.what) + " | " +
              Cell(r.expected) + " | " + result + " | " + line + " |\n";
    }
    const std::wstring tmp = path_ + L".tmp";
    if (WriteBytes(tmp, md) && MoveFileExW(tmp.c_str(), path_.c_str(), MOVEFILE_REPLACE_EXISTING))
        std::printf("reliability table: %s\n", Utf8(path_).c_str());
    else
        std::printf("could not write the reliability table %s\n", Utf8(path_).c_str());
}

} // namespace reliability
