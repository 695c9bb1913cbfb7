// Helpers for the tests of the payload programs (unpack200.exe, uninstall.exe): files,
// folders and child processes, all through the wide API so that CJK names work
// whatever the code page.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace payload_test {

// A build path as CMake knows it (/work/...) in the form Wine's programs take (Z:\work\...).
inline std::wstring FromBuildPath(const char* path) {
  std::string p = path;
  std::wstring out = (p.size() > 0 && p[0] == '/') ? L"Z:" : L"";
  for (char c : p) out += c == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(c));
  return out;
}

inline std::string Narrow(const std::wstring& w) {
  int n = WideCharToMultiByte(CP_UTF8, 0, w.c_str(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
  std::string s(static_cast<size_t>(n > 0 ? n : 0), '\0');
  if (n > 0) WideCharToMultiByte(CP_UTF8, 0, w.c_str(), static_cast<int>(w.size()), &s[0], n, nullptr, nullptr);
  return s;
}

inline bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

inline bool IsFolder(const std::wstring& path) {
  DWORD a = GetFileAttributesW(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

// False when the file could not be written whole.
inline bool WriteBytes(const std::wstring& path, const std::string& data) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  DWORD done = 0;
  bool ok = data.empty() || (WriteFile(h, data.data(), static_cast<DWORD>(data.size()), &done, nullptr) &&
                             done == data.size());
  return CloseHandle(h) && ok;
}

// "<missing>" when the file cannot be read, so that a failed check shows it.
inline std::string ReadBytes(const std::wstring& path) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return "<missing>";
  std::string data;
  char buf[65536];
  DWORD got = 0;
  while (ReadFile(h, buf, sizeof(buf), &got, nullptr) && got > 0) data.append(buf, got);
  CloseHandle(h);
  return data;
}

// Creates every missing folder of `path` (which ends in a backslash).
inline void MakeFolders(const std::wstring& path) {
  for (size_t pos = path.find(L'\\', 3); pos != std::wstring::npos; pos = path.find(L'\\', pos + 1))
    CreateDirectoryW(path.substr(0, pos).c_str(), nullptr);
}

inline void RemoveTree(const std::wstring& dir) {
  WIN32_FIND_DATAW fd;
  HANDLE find = FindFirstFileW((dir + L"\\*").c_str(), &fd);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      std::wstring name = fd.cFileName;
      if (name == L"." || name == L"..") continue;
      std::wstring path = dir + L"\\" + name;
      if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(path);
      } else {
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(path.c_str());
      }
    } while (FindNextFileW(find, &fd));
    FindClose(find);
  }
  RemoveDirectoryW(dir.c_str());
}

// Names in a folder, without "." and "..".
inline std::vector<std::wstring> ListFolder(const std::wstring& dir) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW fd;
  HANDLE find = FindFirstFileW((dir + L"\\*").c_str(), &fd);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    std::wstring name = fd.cFileName;
    if (name != L"." && name != L"..") names.push_back(name);
  } while (FindNextFileW(find, &fd));
  FindClose(find);
  return names;
}

// A fresh folder under %TEMP% (ending in a backslash), removed with everything in it.
class TempFolder {
public:
  explicit TempFolder(const std::wstring& tag) {
    wchar_t temp[MAX_PATH + 1] = L"";
    GetTempPathW(MAX_PATH + 1, temp);
    static unsigned counter = 0;
    wchar_t name[96];
    _snwprintf(name, sizeof(name) / sizeof(name[0]) - 1, L"%ls-%lu-%u\\", tag.c_str(),
               static_cast<unsigned long>(GetCurrentProcessId()), ++counter);
    name[sizeof(name) / sizeof(name[0]) - 1] = L'\0';
    path_ = std::wstring(temp) + name;
    RemoveTree(path_.substr(0, path_.size() - 1));
    MakeFolders(path_);
  }
  ~TempFolder() { RemoveTree(path_.substr(0, path_.size() - 1)); }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::wstring& path() const { return path_; }

private:
  std::wstring path_;
};

struct RunResult {
  bool started = false;
  bool finished = false;
  DWORD exit_code = 0;
};

// Runs `exe` with `args` (already quoted as needed) in `cwd` (empty: ours) and waits
// up to `timeout_ms`; a child that overruns is killed and reported as not finished.
// `before_start` gets the child's process id while it is still suspended.
inline RunResult RunProgram(const std::wstring& exe, const std::wstring& args, DWORD timeout_ms = 30000,
                            const std::wstring& cwd = std::wstring(),
                            const std::function<void(DWORD)>& before_start = nullptr) {
  RunResult r;
  std::wstring cmd = L"\"" + exe + L"\"" + (args.empty() ? L"" : L" " + args);
  STARTUPINFOW si{};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(exe.c_str(), &cmd[0], nullptr, nullptr, FALSE,
                      CREATE_NO_WINDOW | (before_start ? CREATE_SUSPENDED : 0), nullptr,
                      cwd.empty() ? nullptr : cwd.c_str(), &si, &pi))
    return r;
  r.started = true;
  if (before_start) {
    before_start(pi.dwProcessId);
    ResumeThread(pi.hThread);
  }
  CloseHandle(pi.hThread);
  if (WaitForSingleObject(pi.hProcess, timeout_ms) == WAIT_OBJECT_0) {
    r.finished = true;
    GetExitCodeProcess(pi.hProcess, &r.exit_code);
  } else {
    TerminateProcess(pi.hProcess, 255);
  }
  CloseHandle(pi.hProcess);
  return r;
}

// Polls until `path` is gone or `timeout_ms` has passed; true when gone.
inline bool WaitUntilGone(const std::wstring& path, DWORD timeout_ms) {
  for (DWORD waited = 0; Exists(path); waited += 100) {
    if (waited >= timeout_ms) return false;
    Sleep(100);
  }
  return true;
}

// Deterministic, moderately compressible bytes.
inline std::string SampleBytes(size_t size, uint32_t seed) {
  std::string s(size, '\0');
  uint32_t x = seed * 2654435761u + 1;
  for (size_t i = 0; i < size; ++i) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    s[i] = (x & 3) ? static_cast<char>('a' + (x >> 8) % 16) : static_cast<char>(x >> 16);
  }
  return s;
}

}  // namespace payload_test
