// The machine as another program sees it: files and folders, values below
// HKEY_LOCAL_MACHINE and running processes. Shared by the scenario programs.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace e2e {

bool Exists(const std::wstring& path);
std::string ReadBytes(const std::wstring& path); // "<missing>" when unreadable
bool WriteBytes(const std::wstring& path, const std::string& data);
// Whether an existing file can be opened for writing (nobody holds it against that).
bool CanOpenForWriting(const std::wstring& path);
// Deletes a tree, read-only files and folders included; dir without a trailing backslash.
void RemoveTree(const std::wstring& dir);
// Files below dir (no trailing backslash), as paths relative to it, sorted.
std::vector<std::wstring> FilesBelow(const std::wstring& dir);

// REG_SZ below HKEY_LOCAL_MACHINE in UTF-8 without its NULs; "<missing>" when absent,
// "<type n>" for another type.
std::string RegString(const wchar_t* subKey, const wchar_t* name);
void RegDeleteValue(const wchar_t* subKey, const wchar_t* name);

// Processes by executable name (any case).
std::vector<DWORD> ProcessIds(const wchar_t* exeName);
// Terminates every process of that name and waits up to 5 s for each.
void KillProcesses(const wchar_t* exeName);

// A fresh folder under %TEMP% (ending in a backslash), removed with everything in it.
class TempFolder {
public:
    explicit TempFolder(const std::wstring& tag);
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::wstring& path() const { return path_; }

private:
    std::wstring path_;
};

// A shortcut read back: the target, working folder and description through the shell's
// link object, the show command from the file's own header (ShellLinkHeader
// ShowCommand), since Wine's link object reads a saved SW_SHOW back as SW_SHOWNORMAL.
struct Link {
    bool loaded = false;
    std::string path, workingDir, description; // in the ANSI code page
    int showCmd = -1;
};
Link ReadLink(const std::wstring& linkPath);

// One command line recorded by the stand-in browser.
struct Recording {
    ULONGLONG created = 0;
    std::wstring commandLine;
};
// Recordings in dir, oldest first; waits up to timeout_ms for count of them.
std::vector<Recording> WaitForRecordings(const std::wstring& dir, size_t count, DWORD timeout_ms);

// A recording copy of this program as the browser for the object's lifetime. kFixedPath:
// at Internet Explorer's fixed path; kDefault: that path empty and the copy registered
// as the handler of http addresses (the shell's default browser). The prefix's own
// browser and handler are put back afterwards.
class BrowserStandIn {
public:
    enum Where { kFixedPath, kDefault };
    explicit BrowserStandIn(Where where = kFixedPath);
    ~BrowserStandIn();
    BrowserStandIn(const BrowserStandIn&) = delete;
    BrowserStandIn& operator=(const BrowserStandIn&) = delete;
    bool ok() const { return ok_; }
    const std::wstring& recordDir() const { return records_.path(); }

private:
    TempFolder records_{L"e2e-browser"};
    TempFolder program_{L"e2e-default-browser"};
    bool ok_ = false;
    bool moved_ = false;
    bool registered_ = false, hadHandler_ = false;
    std::wstring handler_;
};
// The browser's part when this program runs as the stand-in: TRUE (exit code in *code)
// when it is one.
bool PlayBrowser(int* code);
// A stand-in's record: its creation time and command line, as WaitForRecordings reads
// them, in the folder the environment variable names. The exit code: 0, or 3 when the
// variable is unset and 5 when the record could not be written.
int RecordCommandLine(const wchar_t* folderVariable);

} // namespace e2e
