#include "install_support.h"

#include <objbase.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cwchar>

#include "driver.h"

namespace install_e2e {

const wchar_t kBrowserPath[] = L"C:\\Program Files\\Internet Explorer\\iexplore.exe";
const wchar_t kBrowserAside[] = L"C:\\Program Files\\Internet Explorer\\iexplore.exe.e2e-original";

std::wstring StageDir() { return e2e::WinPath(e2e::Env(L"PAYLOAD_STAGE_DIR")); }
std::wstring ExpectedDir() { return e2e::WinPath(e2e::Env(L"PAYLOAD_EXPECTED_DIR")); }
std::wstring VariantExe(const wchar_t* variant) {
  return e2e::WinPath(e2e::Env(L"SETUP_INSTALLERS")) + L"\\" + variant + L"\\setup.exe";
}

std::wstring FreshTempPath(const wchar_t* tag) {
  wchar_t tmp[MAX_PATH];
  GetTempPathW(MAX_PATH, tmp);
  static unsigned counter = 0;
  wchar_t name[96];
  _snwprintf(name, ARRAYSIZE(name) - 1, L"%ls-%lu-%u", tag, GetCurrentProcessId(), ++counter);
  name[ARRAYSIZE(name) - 1] = L'\0';
  std::wstring path = std::wstring(tmp) + name;
  RemoveTree(path);
  return path + L"\\";
}

ULONGLONG Ticks(const FILETIME& ft) { return (static_cast<ULONGLONG>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime; }

ULONGLONG Now() {
  FILETIME ft;
  GetSystemTimeAsFileTime(&ft);
  return Ticks(ft);
}

ULONGLONG CreationTime(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA a;
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &a)) return 0;
  return Ticks(a.ftCreationTime);
}

ULONGLONG WriteTime(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA a;
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &a)) return 0;
  return Ticks(a.ftLastWriteTime);
}

ULONGLONG RegKeyWriteTime(const wchar_t* subKey) {
  HKEY h = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, subKey, 0, KEY_QUERY_VALUE, &h) != ERROR_SUCCESS) return 0;
  FILETIME ft{};
  RegQueryInfoKeyW(h, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &ft);
  RegCloseKey(h);
  return Ticks(ft);
}

ULONGLONG ProcessCreationTime(DWORD pid) {
  HANDLE h = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
  if (!h) return 0;
  FILETIME c{}, e{}, k{}, u{};
  GetProcessTimes(h, &c, &e, &k, &u);
  CloseHandle(h);
  return Ticks(c);
}

std::vector<Recording> WaitForRecordings(const std::wstring& dir, size_t count, DWORD timeout_ms) {
  std::vector<Recording> found;
  for (DWORD waited = 0;; waited += 100) {
    found.clear();
    WIN32_FIND_DATAW fd;
    HANDLE find = FindFirstFileW((dir + L"*.done").c_str(), &fd);
    if (find != INVALID_HANDLE_VALUE) {
      do {
        std::wstring text = e2e::Wide(ReadBytes(dir + fd.cFileName));
        size_t tab = text.find(L'\t');
        if (tab == std::wstring::npos) continue;
        Recording r;
        r.created = std::wcstoull(text.substr(0, tab).c_str(), nullptr, 10);
        r.commandLine = text.substr(tab + 1);
        found.push_back(r);
      } while (FindNextFileW(find, &fd));
      FindClose(find);
    }
    if (found.size() >= count || waited >= timeout_ms) break;
    Sleep(100);
  }
  std::sort(found.begin(), found.end(), [](const Recording& a, const Recording& b) { return a.created < b.created; });
  return found;
}

BrowserStandIn::BrowserStandIn(bool install) {
  recordDir_ = FreshTempPath(L"e2e-browser");
  CreateDirectoryW(recordDir_.c_str(), nullptr);
  SetEnvironmentVariableW(L"E2E_RECORD_DIR", recordDir_.c_str());
  if (Exists(kBrowserAside)) {
    // A run that was killed left the prefix's browser aside and a stand-in in its place.
    DeleteFileW(kBrowserPath);
    moved_ = true;
  } else if (Exists(kBrowserPath)) {
    if (!MoveFileW(kBrowserPath, kBrowserAside)) return;
    moved_ = true;
  }
  if (install) {
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    CreateDirectoryW(L"C:\\Program Files\\Internet Explorer", nullptr);
    if (!CopyFileW(self, kBrowserPath, FALSE)) return;
  }
  ok_ = true;
}

BrowserStandIn::~BrowserStandIn() {
  KillProcesses(L"iexplore.exe");
  DeleteFileW(kBrowserPath);
  if (moved_) MoveFileW(kBrowserAside, kBrowserPath);
  SetEnvironmentVariableW(L"E2E_RECORD_DIR", nullptr);
  RemoveTree(recordDir_.substr(0, recordDir_.size() - 1));
}

Link ReadLink(const std::wstring& linkPath) {
  Link f;
  CoInitialize(nullptr);
  IShellLinkA* link = nullptr;
  if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                 reinterpret_cast<void**>(&link)))) {
    IPersistFile* file = nullptr;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))) &&
        SUCCEEDED(file->Load(linkPath.c_str(), STGM_READ))) {
      f.loaded = true;
      char buf[MAX_PATH] = "";
      link->GetPath(buf, sizeof(buf), nullptr, SLGP_RAWPATH);
      f.path = buf;
      buf[0] = '\0';
      link->GetWorkingDirectory(buf, sizeof(buf));
      f.workingDir = buf;
      buf[0] = '\0';
      link->GetDescription(buf, sizeof(buf));
      f.description = buf;
      link->GetShowCmd(&f.showCmd);
    }
    if (file) file->Release();
    link->Release();
  }
  CoUninitialize();
  return f;
}

std::wstring SpecialFolder(int csidl) {
  wchar_t path[MAX_PATH] = L"";
  SHGetSpecialFolderPathW(nullptr, path, csidl, FALSE);
  return path;
}

bool MakeSetupWithResource(const std::wstring& setupExe, int id, const std::wstring& file, const std::wstring& out) {
  const std::string data = ReadBytes(file);
  if (data == "<missing>" || !CopyFileW(setupExe.c_str(), out.c_str(), FALSE)) return false;
  HANDLE update = BeginUpdateResourceW(out.c_str(), FALSE);
  if (!update) return false;
  const BOOL put = UpdateResourceW(update, L"SETUP", MAKEINTRESOURCEW(id), MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED),
                                   const_cast<char*>(data.data()), static_cast<DWORD>(data.size()));
  return EndUpdateResourceW(update, !put) && put;
}

bool MakeSetupWithArchive(const std::wstring& setupExe, const std::wstring& archive, const std::wstring& out) {
  return MakeSetupWithResource(setupExe, 132, archive, out);
}

bool RunChildRole(int argc, wchar_t** argv, int* code) {
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  const wchar_t* base = wcsrchr(self, L'\\');
  base = base ? base + 1 : self;
  if (_wcsicmp(base, L"iexplore.exe") == 0) {
    // "<creation time>\t<command line>", written under another name first.
    std::wstring dir = e2e::Env(L"E2E_RECORD_DIR");
    if (dir.empty()) {
      *code = 3;
      return true;
    }
    FILETIME c{}, e{}, k{}, u{};
    GetProcessTimes(GetCurrentProcess(), &c, &e, &k, &u);
    std::wstring base_name = dir + std::to_wstring(GetCurrentProcessId());
    std::string text = std::to_string(Ticks(c)) + "\t" + e2e::Utf8(GetCommandLineW());
    WriteBytes(base_name + L".tmp", text);
    *code = MoveFileW((base_name + L".tmp").c_str(), (base_name + L".done").c_str()) ? 0 : 5;
    return true;
  }
  if (argc >= 5 && wcscmp(argv[1], L"--make-setup") == 0) {
    *code = MakeSetupWithArchive(argv[2], argv[3], argv[4]) ? 0 : 1;
    return true;
  }
  if (argc >= 3 && wcscmp(argv[1], L"--sleep") == 0) {
    Sleep(static_cast<DWORD>(_wtoi(argv[2])));
    *code = 0;
    return true;
  }
  return false;
}

}  // namespace install_e2e
