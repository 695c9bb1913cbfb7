// Helpers for the tests of the payload programs (unpack200.exe, uninstall.exe): files,
// folders and child processes, all through the wide API so that CJK names work
// whatever the code page.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "machine.h"

namespace payload_test {

using e2e::Exists;
using e2e::ReadBytes;
using e2e::RemoveTree;
using e2e::TempFolder;
using e2e::WriteBytes;

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

inline bool IsFolder(const std::wstring& path) {
    DWORD a = GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

// Creates every missing folder of `path` (which ends in a backslash).
inline void MakeFolders(const std::wstring& path) {
    for (size_t pos = path.find(L'\\', 3); pos != std::wstring::npos; pos = path.find(L'\\', pos + 1))
        CreateDirectoryW(path.substr(0, pos).c_str(), nullptr);
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

struct RunResult {
    bool started = false;
    bool finished = false;
    DWORD exit_code = 0;
    DWORD start_error = 0; // GetLastError of a start that failed
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
                        cwd.empty() ? nullptr : cwd.c_str(), &si, &pi)) {
        r.start_error = GetLastError();
        return r;
    }
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

} // namespace payload_test
