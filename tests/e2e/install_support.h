// Helpers of the installation scenarios: the payload's trees, files and folders,
// registry values and processes as another program sees them, and the recording
// stand-ins (browser, unrelated archiver) played by the scenario program itself.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace install_e2e {

// The demo application's tree as archived, and its packed libraries before packing.
std::wstring StageDir();
std::wstring ExpectedDir();
// A setup.exe variant built beside the default one ("setup_flipped" ...).
std::wstring VariantExe(const wchar_t* variant);

bool Exists(const std::wstring& path);
std::string ReadBytes(const std::wstring& path);  // "<missing>" when unreadable
bool WriteBytes(const std::wstring& path, const std::string& data);
void RemoveTree(const std::wstring& dirNoSlash);
// Files below dir (no trailing backslash), as paths relative to it.
std::vector<std::wstring> FilesBelow(const std::wstring& dir);
// A folder path under %TEMP% that does not exist yet (ends in a backslash).
std::wstring FreshTempPath(const wchar_t* tag);
// FILETIME as a number of 100 ns units.
ULONGLONG Ticks(const FILETIME& ft);
ULONGLONG Now();
ULONGLONG CreationTime(const std::wstring& path);
// Last write time; 0 when the file is missing.
ULONGLONG WriteTime(const std::wstring& path);

// REG_SZ below HKEY_LOCAL_MACHINE in UTF-8 without its NUL; "<missing>" when absent.
std::string RegString(const wchar_t* subKey, const wchar_t* name);
void RegDelete(const wchar_t* subKey, const wchar_t* name);
ULONGLONG RegKeyWriteTime(const wchar_t* subKey);

// Processes by executable name (any case).
std::vector<DWORD> ProcessIds(const wchar_t* exeName);
ULONGLONG ProcessCreationTime(DWORD pid);
void KillProcesses(const wchar_t* exeName);

// One command line recorded by a stand-in browser.
struct Recording {
  ULONGLONG created = 0;
  std::wstring commandLine;
};
// Recordings in the folder named by E2E_RECORD_DIR, oldest first; waits up to
// timeout_ms for count of them.
std::vector<Recording> WaitForRecordings(const std::wstring& dir, size_t count, DWORD timeout_ms);

// Puts a recording copy of this program at the browser's fixed path for the object's
// lifetime; the prefix's own browser is put back afterwards.
class BrowserStandIn {
 public:
  explicit BrowserStandIn(bool install = true);
  ~BrowserStandIn();
  BrowserStandIn(const BrowserStandIn&) = delete;
  BrowserStandIn& operator=(const BrowserStandIn&) = delete;
  bool ok() const { return ok_; }
  const std::wstring& recordDir() const { return recordDir_; }

 private:
  bool ok_ = false;
  bool moved_ = false;
  std::wstring recordDir_;
};

// A shortcut read back through the shell's link object.
struct Link {
  bool loaded = false;
  std::string path, workingDir, description;
  int showCmd = -1;
};
Link ReadLink(const std::wstring& linkPath);
std::wstring SpecialFolder(int csidl);

// Copies setupExe to out with archive as its resource 132 (the payload), for timing
// installations of other payloads. FALSE when a step failed.
bool MakeSetupWithArchive(const std::wstring& setupExe, const std::wstring& archive, const std::wstring& out);
// The same for any payload resource: 132 the archive, 133 the archiver.
bool MakeSetupWithResource(const std::wstring& setupExe, int id, const std::wstring& file, const std::wstring& out);

// The roles of this program as a child: TRUE (exit code in *code) when it played one.
bool RunChildRole(int argc, wchar_t** argv, int* code);

}  // namespace install_e2e
