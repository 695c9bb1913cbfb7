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

using e2e::Utf8;

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
    const BOOL put = UpdateResourceW(update, L"SETUP", MAKEINTRESOURCEW(id),
                                     MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED),
                                     const_cast<char*>(data.data()), static_cast<DWORD>(data.size()));
    return EndUpdateResourceW(update, !put) && put;
}

bool MakeSetupWithArchive(const std::wstring& setupExe, const std::wstring& archive, const std::wstring& out) {
    return MakeSetupWithResource(setupExe, 132, archive, out);
}

bool RunChildRole(int argc, wchar_t** argv, int* code) {
    if (e2e::PlayBrowser(code)) return true;
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

ProductLinks::ProductLinks()
    : startup(SpecialFolder(CSIDL_COMMON_STARTUP) + L"\\Quillmate.lnk"), // Wine has no CSIDL_ALTSTARTUP
      desktop(SpecialFolder(CSIDL_DESKTOP) + L"\\Quillmate.lnk"),
      group(SpecialFolder(CSIDL_COMMON_STARTMENU) + L"\\Quillmate"), program(group + L"\\Quillmate.lnk"),
      uninstaller(group + L"\\" + kUninstallLinkName) {}

void ProductLinks::Remove() const {
    for (const std::wstring& f : files()) DeleteFileW(f.c_str());
    RemoveDirectoryW(group.c_str());
}

void ExpectProductLinks(const ProductLinks& links, const std::wstring& dir, ULONGLONG madeAfter) {
    const std::string target = Utf8(dir) + "pkl.exe";
    const std::string workingDir = Utf8(dir.substr(0, dir.size() - 1));
    const struct {
        std::wstring file;
        std::string target;
    } expected[] = {{links.startup, target},
                    {links.desktop, target},
                    {links.program, target},
                    {links.uninstaller, Utf8(dir) + "Uninstall.exe"}};
    for (const auto& x : expected) {
        SCOPED_TRACE(Utf8(x.file));
        const Link link = ReadLink(x.file);
        EXPECT_TRUE(link.loaded);
        if (!link.loaded) continue;
        EXPECT_EQ(0, _stricmp(x.target.c_str(), link.path.c_str())) << link.path;
        EXPECT_EQ(workingDir, link.workingDir);
        EXPECT_EQ("Shortcut", link.description);
        EXPECT_EQ(SW_SHOW, link.showCmd);
        EXPECT_GE(WriteTime(x.file), madeAfter) << "made before Next was pressed";
    }
}

} // namespace install_e2e
