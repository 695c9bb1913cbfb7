#include "machine.h"

#include <tlhelp32.h>

#include <algorithm>

#include "afx/afxhandle.h"
#include "driver.h"

namespace e2e {

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool CanOpenForWriting(const std::wstring& path) {
  return static_cast<bool>(CHandle(CreateFileW(path.c_str(), GENERIC_WRITE,
                                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                               OPEN_EXISTING, 0, nullptr)));
}

std::string ReadBytes(const std::wstring& path) {
  const CHandle h(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr));
  if (!h) return "<missing>";
  std::string data;
  std::vector<char> buf(1 << 16);
  DWORD got = 0;
  while (ReadFile(h.Get(), buf.data(), static_cast<DWORD>(buf.size()), &got, nullptr) && got > 0)
    data.append(buf.data(), got);
  return data;
}

bool WriteBytes(const std::wstring& path, const std::string& data) {
  CHandle h(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!h) return false;
  DWORD done = 0;
  const bool ok = data.empty() || (WriteFile(h.Get(), data.data(), static_cast<DWORD>(data.size()), &done, nullptr) &&
                                   done == data.size());
  return h.Close() && ok;
}

void RemoveTree(const std::wstring& dir) {
  WIN32_FIND_DATAW fd;
  const CFindHandle find(FindFirstFileW((dir + L"\\*").c_str(), &fd));
  if (find) {
    do {
      const std::wstring name = fd.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring path = dir + L"\\" + name;
      SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        RemoveTree(path);
      else
        DeleteFileW(path.c_str());
    } while (FindNextFileW(find.Get(), &fd));
  }
  SetFileAttributesW(dir.c_str(), FILE_ATTRIBUTE_NORMAL);
  RemoveDirectoryW(dir.c_str());
}

namespace {

void Collect(const std::wstring& root, const std::wstring& rel, std::vector<std::wstring>* out) {
  WIN32_FIND_DATAW fd;
  const CFindHandle find(FindFirstFileW((root + L"\\" + rel + L"*").c_str(), &fd));
  if (!find) return;
  do {
    const std::wstring name = fd.cFileName;
    if (name == L"." || name == L"..") continue;
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
      Collect(root, rel + name + L"\\", out);
    else
      out->push_back(rel + name);
  } while (FindNextFileW(find.Get(), &fd));
}

}  // namespace

std::vector<std::wstring> FilesBelow(const std::wstring& dir) {
  std::vector<std::wstring> files;
  Collect(dir, L"", &files);
  std::sort(files.begin(), files.end());
  return files;
}

std::string RegString(const wchar_t* subKey, const wchar_t* name) {
  CRegKey key;
  if (key.Open(HKEY_LOCAL_MACHINE, subKey, KEY_QUERY_VALUE) != ERROR_SUCCESS) return "<missing>";
  wchar_t buf[2048];
  DWORD type = 0, size = sizeof(buf) - sizeof(wchar_t);
  const LONG r = RegQueryValueExW(key.Get(), name, nullptr, &type, reinterpret_cast<BYTE*>(buf), &size);
  if (r != ERROR_SUCCESS) return "<missing>";
  if (type != REG_SZ) return "<type " + std::to_string(type) + ">";
  size_t n = size / sizeof(wchar_t);
  buf[n] = L'\0';
  while (n > 0 && buf[n - 1] == L'\0') --n;
  return Utf8(std::wstring(buf, n));
}

void RegDeleteValue(const wchar_t* subKey, const wchar_t* name) {
  CRegKey key;
  if (key.Open(HKEY_LOCAL_MACHINE, subKey, KEY_SET_VALUE) == ERROR_SUCCESS) key.DeleteValue(name);
}

std::vector<DWORD> ProcessIds(const wchar_t* exeName) {
  std::vector<DWORD> ids;
  const CHandle snap(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snap) return ids;
  PROCESSENTRY32W e;
  e.dwSize = sizeof(e);
  for (BOOL more = Process32FirstW(snap.Get(), &e); more; more = Process32NextW(snap.Get(), &e))
    if (_wcsicmp(e.szExeFile, exeName) == 0) ids.push_back(e.th32ProcessID);
  return ids;
}

void KillProcesses(const wchar_t* exeName) {
  for (DWORD pid : ProcessIds(exeName)) {
    const CProcess p = CProcess::Open(pid, PROCESS_TERMINATE | SYNCHRONIZE);
    if (!p) continue;
    TerminateProcess(p.Get(), 255);
    p.Wait(5000);
  }
}

}  // namespace e2e
