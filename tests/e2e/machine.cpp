#include "machine.h"

#include <tlhelp32.h>

#include <algorithm>

#include "driver.h"

namespace e2e {

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool CanOpenForWriting(const std::wstring& path) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  CloseHandle(h);
  return true;
}

std::string ReadBytes(const std::wstring& path) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return "<missing>";
  std::string data;
  std::vector<char> buf(1 << 16);
  DWORD got = 0;
  while (ReadFile(h, buf.data(), static_cast<DWORD>(buf.size()), &got, nullptr) && got > 0) data.append(buf.data(), got);
  CloseHandle(h);
  return data;
}

bool WriteBytes(const std::wstring& path, const std::string& data) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  DWORD done = 0;
  const bool ok = data.empty() ||
                  (WriteFile(h, data.data(), static_cast<DWORD>(data.size()), &done, nullptr) && done == data.size());
  return CloseHandle(h) && ok;
}

void RemoveTree(const std::wstring& dir) {
  WIN32_FIND_DATAW fd;
  HANDLE find = FindFirstFileW((dir + L"\\*").c_str(), &fd);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = fd.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring path = dir + L"\\" + name;
      SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        RemoveTree(path);
      else
        DeleteFileW(path.c_str());
    } while (FindNextFileW(find, &fd));
    FindClose(find);
  }
  SetFileAttributesW(dir.c_str(), FILE_ATTRIBUTE_NORMAL);
  RemoveDirectoryW(dir.c_str());
}

namespace {

void Collect(const std::wstring& root, const std::wstring& rel, std::vector<std::wstring>* out) {
  WIN32_FIND_DATAW fd;
  HANDLE find = FindFirstFileW((root + L"\\" + rel + L"*").c_str(), &fd);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    const std::wstring name = fd.cFileName;
    if (name == L"." || name == L"..") continue;
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
      Collect(root, rel + name + L"\\", out);
    else
      out->push_back(rel + name);
  } while (FindNextFileW(find, &fd));
  FindClose(find);
}

}  // namespace

std::vector<std::wstring> FilesBelow(const std::wstring& dir) {
  std::vector<std::wstring> files;
  Collect(dir, L"", &files);
  std::sort(files.begin(), files.end());
  return files;
}

std::string RegString(const wchar_t* subKey, const wchar_t* name) {
  HKEY key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, subKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return "<missing>";
  wchar_t buf[2048];
  DWORD type = 0, size = sizeof(buf) - sizeof(wchar_t);
  const LONG r = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buf), &size);
  RegCloseKey(key);
  if (r != ERROR_SUCCESS) return "<missing>";
  if (type != REG_SZ) return "<type " + std::to_string(type) + ">";
  size_t n = size / sizeof(wchar_t);
  buf[n] = L'\0';
  while (n > 0 && buf[n - 1] == L'\0') --n;
  return Utf8(std::wstring(buf, n));
}

void RegDeleteValue(const wchar_t* subKey, const wchar_t* name) {
  HKEY key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, subKey, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return;
  RegDeleteValueW(key, name);
  RegCloseKey(key);
}

std::vector<DWORD> ProcessIds(const wchar_t* exeName) {
  std::vector<DWORD> ids;
  HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snap == INVALID_HANDLE_VALUE) return ids;
  PROCESSENTRY32W e;
  e.dwSize = sizeof(e);
  for (BOOL more = Process32FirstW(snap, &e); more; more = Process32NextW(snap, &e))
    if (_wcsicmp(e.szExeFile, exeName) == 0) ids.push_back(e.th32ProcessID);
  CloseHandle(snap);
  return ids;
}

void KillProcesses(const wchar_t* exeName) {
  for (DWORD pid : ProcessIds(exeName)) {
    HANDLE h = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
    if (!h) continue;
    TerminateProcess(h, 255);
    WaitForSingleObject(h, 5000);
    CloseHandle(h);
  }
}

}  // namespace e2e
