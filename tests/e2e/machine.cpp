#include "machine.h"

#include <objbase.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdlib>

#include "afx/afxhandle.h"
#include "driver.h"

namespace e2e {

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool CanOpenForWriting(const std::wstring& path) {
    return static_cast<bool>(
            CHandle(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, 0, nullptr)));
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

} // namespace

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

TempFolder::TempFolder(const std::wstring& tag) {
    wchar_t temp[MAX_PATH + 1] = L"";
    GetTempPathW(MAX_PATH + 1, temp);
    static unsigned counter = 0;
    path_ = std::wstring(temp) + tag + L"-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
            std::to_wstring(++counter);
    RemoveTree(path_);
    for (size_t pos = path_.find(L'\\', 3); pos != std::wstring::npos; pos = path_.find(L'\\', pos + 1))
        CreateDirectoryW(path_.substr(0, pos).c_str(), nullptr);
    CreateDirectoryW(path_.c_str(), nullptr);
    path_ += L'\\';
}

TempFolder::~TempFolder() { RemoveTree(path_.substr(0, path_.size() - 1)); }

Link ReadLink(const std::wstring& linkPath) {
    Link f;
    const std::string header = ReadBytes(linkPath);
    const size_t kShowCommand = 0x3C;
    if (header.size() >= kShowCommand + 4)
        f.showCmd = static_cast<int>(static_cast<unsigned char>(header[kShowCommand]) |
                                     static_cast<unsigned char>(header[kShowCommand + 1]) << 8 |
                                     static_cast<unsigned char>(header[kShowCommand + 2]) << 16 |
                                     static_cast<unsigned>(static_cast<unsigned char>(header[kShowCommand + 3])) << 24);
    const HRESULT com = CoInitialize(nullptr);
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
        }
        if (file) file->Release();
        link->Release();
    }
    if (SUCCEEDED(com)) CoUninitialize();
    return f;
}

namespace {

ULONGLONG Ticks(const FILETIME& ft) { return (static_cast<ULONGLONG>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime; }

const wchar_t kBrowserPath[] = L"C:\\Program Files\\Internet Explorer\\iexplore.exe";
const wchar_t kBrowserAside[] = L"C:\\Program Files\\Internet Explorer\\iexplore.exe.e2e-original";
const wchar_t kHttpHandler[] = L"Software\\Classes\\http\\shell\\open\\command";

} // namespace

std::vector<Recording> WaitForRecordings(const std::wstring& dir, size_t count, DWORD timeout_ms) {
    std::vector<Recording> found;
    for (DWORD waited = 0;; waited += 100) {
        found.clear();
        WIN32_FIND_DATAW fd;
        HANDLE find = FindFirstFileW((dir + L"*.done").c_str(), &fd);
        if (find != INVALID_HANDLE_VALUE) {
            do {
                const std::wstring text = Wide(ReadBytes(dir + fd.cFileName));
                const size_t tab = text.find(L'\t');
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

BrowserStandIn::BrowserStandIn(Where where) {
    SetEnvironmentVariableW(L"E2E_RECORD_DIR", records_.path().c_str());
    if (Exists(kBrowserAside)) {
        // A run that was killed left the prefix's browser aside and a stand-in in its place.
        DeleteFileW(kBrowserPath);
        moved_ = true;
    } else if (Exists(kBrowserPath)) {
        if (!MoveFileW(kBrowserPath, kBrowserAside)) return;
        moved_ = true;
    }
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    if (where == kFixedPath) {
        CreateDirectoryW(L"C:\\Program Files\\Internet Explorer", nullptr);
        ok_ = CopyFileW(self, kBrowserPath, FALSE) != FALSE;
        return;
    }
    const std::wstring program = program_.path() + L"iexplore.exe";
    if (!CopyFileW(self, program.c_str(), FALSE)) return;
    const std::string handler = RegString(kHttpHandler, nullptr);
    hadHandler_ = handler != "<missing>";
    handler_ = Wide(handler);
    HKEY key;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kHttpHandler, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return;
    const std::wstring command = L"\"" + program + L"\" \"%1\"";
    registered_ = true;
    ok_ = RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                         static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
    RegCloseKey(key);
}

BrowserStandIn::~BrowserStandIn() {
    KillProcesses(L"iexplore.exe");
    DeleteFileW(kBrowserPath);
    if (moved_) MoveFileW(kBrowserAside, kBrowserPath);
    if (!registered_) {
    } else if (!hadHandler_) {
        RegDeleteValue(kHttpHandler, nullptr);
    } else {
        HKEY key;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kHttpHandler, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
            RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(handler_.c_str()),
                           static_cast<DWORD>((handler_.size() + 1) * sizeof(wchar_t)));
            RegCloseKey(key);
        }
    }
    SetEnvironmentVariableW(L"E2E_RECORD_DIR", nullptr);
}

bool PlayBrowser(int* code) {
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    const wchar_t* base = wcsrchr(self, L'\\');
    if (_wcsicmp(base ? base + 1 : self, L"iexplore.exe") != 0) return false;
    *code = RecordCommandLine(L"E2E_RECORD_DIR");
    return true;
}

int RecordCommandLine(const wchar_t* folderVariable) {
    // "<creation time>\t<command line>", written under another name first.
    const std::wstring dir = Env(folderVariable);
    if (dir.empty()) return 3;
    FILETIME c{}, e{}, k{}, u{};
    GetProcessTimes(GetCurrentProcess(), &c, &e, &k, &u);
    const std::wstring name = dir + std::to_wstring(GetCurrentProcessId());
    WriteBytes(name + L".tmp", std::to_string(Ticks(c)) + "\t" + Utf8(GetCommandLineW()));
    return MoveFileW((name + L".tmp").c_str(), (name + L".done").c_str()) ? 0 : 5;
}

} // namespace e2e
