// The machine as another program sees it: files and folders, values below
// HKEY_LOCAL_MACHINE and running processes. Shared by the scenario programs.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace e2e {

bool Exists(const std::wstring& path);
std::string ReadBytes(const std::wstring& path);  // "<missing>" when unreadable
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

}  // namespace e2e
