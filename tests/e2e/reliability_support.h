// What the reliability cases check around every run of setup.exe: the file trees
// before and after (sizes and content hashes), the product's registry values, stray
// processes, and the Markdown table of the results.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "machine.h"

namespace reliability {

// ---- files --------------------------------------------------------------------------------

using e2e::CanOpenForWriting;
using e2e::Exists;
using e2e::FilesBelow;
using e2e::ReadBytes;
using e2e::RemoveTree;
using e2e::WriteBytes;
bool IsDir(const std::wstring& path);
// Creates every missing folder of path (no trailing backslash needed).
bool MakeDirs(const std::wstring& path);
std::wstring Lower(std::wstring s);
std::wstring NoSlash(const std::wstring& dir);

// One entry of a tree: a folder (size 0, hash 0) or a file with its size and hash.
struct Entry {
    bool dir = false;
    ULONGLONG size = 0;
    uint64_t hash = 0;
};
// Keyed by the lower-cased full path.
using Snapshot = std::map<std::wstring, Entry>;

// Adds root (no trailing backslash) and everything below it; paths starting with one of
// skipLower (lower case, folders ending in a backslash) are left out. recursive false:
// the files directly in root. onlySuffix (lower case): only files whose names end so,
// the others are neither listed nor read.
void SnapTree(const std::wstring& root, const std::vector<std::wstring>& skipLower, bool recursive, Snapshot* out,
              const wchar_t* onlySuffix = nullptr);

// Differences that break the rules: an entry of before that is gone or changed, and a
// new entry outside every prefix of allowedLower (lower case, ending in a backslash),
// other than the folders above one of them.
// Entries listed in mayChangeLower may differ.
std::vector<std::string> CompareSnapshots(const Snapshot& before, const Snapshot& after,
                                          const std::vector<std::wstring>& allowedLower,
                                          const std::vector<std::wstring>& mayChangeLower);

// ---- registry (HKEY_LOCAL_MACHINE) -----------------------------------------------------------

using e2e::RegDeleteValue;
using e2e::RegString;
// Sub-key names of a key, lower case and sorted.
std::vector<std::wstring> RegSubKeys(const wchar_t* subKey);

// ---- processes --------------------------------------------------------------------------------

using e2e::KillProcesses;
using e2e::ProcessIds;
// Terminates the first process of that name with the code; false when none ran.
bool TerminateFirst(const wchar_t* exeName, UINT code);

// ---- the results table ---------------------------------------------------------------------------

// What a case is and what it expects; shown in the table. Call at the start of a case.
void Describe(const std::string& what, const std::string& expected);

// Collects every case's result and writes the Markdown table when the program ends.
class TableWriter : public ::testing::EmptyTestEventListener {
public:
    // path: where the table goes (Windows path); title: its heading.
    TableWriter(std::wstring path, std::string title) : path_(std::move(path)), title_(std::move(title)) {}
    void OnTestStart(const ::testing::TestInfo& info) override;
    void OnTestPartResult(const ::testing::TestPartResult& result) override;
    void OnTestEnd(const ::testing::TestInfo& info) override;
    void OnTestProgramEnd(const ::testing::UnitTest& unit) override;

private:
    struct Row {
        std::string name, what, expected, failure;
        bool passed = false, skipped = false;
        double seconds = 0;
    };
    std::wstring path_;
    std::string title_;
    std::vector<Row> rows_;
    std::string failure_;
    LARGE_INTEGER start_{};
};

} // namespace reliability
