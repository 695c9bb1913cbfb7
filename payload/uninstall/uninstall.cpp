// The product's uninstaller, in the install folder D under the product's name for it.
//
//   <uninstaller> [/S]     asks first (not with /S), then removes the installation
//
// It removes only what the installation made: the files and folders listed in
// D\uninstall.lst (the manifest the archiver stores in every archive), the expanded
// libraries beside listed *.pack.gz files, the shortcuts of the setup program when they
// point into D, and the setup program's registry values. A user's own files stay, and so
// do the folders holding them.
//
// A running program cannot delete its own file, so the last step hands over to a copy
// of this program (started with "/finish") in a folder of %TEMP% made for it under an
// unpredictable name, open to this user only (to Administrators and SYSTEM when
// elevated), which waits on a handle to this process, then deletes the uninstaller and the
// emptied D. That copy marks itself and its folder for deletion at the next restart. This works the same on Windows and under Wine, where a
// "cmd /c ping & del" delay would depend on timing instead of the process's end.
//
// Exit codes: 0 removed, 1 cancelled, 2 removed with leftovers, 3 no manifest.
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <ntsecapi.h>
#include <sddl.h>
#include <tlhelp32.h>

#include <cwchar>
#include <string>
#include <vector>

#include "afx/afxdll.h"
#include "afx/afxhandle.h"
#include "afx/afxpath.h"
#include "manifest.h"
#include "product.h"

namespace {

const wchar_t* const kTitle = product::kUninstallerTitleW;
const wchar_t kManifestName[] = L"uninstall.lst";

enum ExitCode { kDone = 0, kCancelled = 1, kLeftovers = 2, kNoManifest = 3 };

std::wstring ModulePath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
        if (n == 0) return std::wstring();
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

// Full, long-name form; `path` itself when it cannot be resolved.
std::wstring Canonical(const std::wstring& path) {
    DWORD need = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (need == 0) return path;
    std::wstring full(need, L'\0');
    DWORD got = GetFullPathNameW(path.c_str(), need, &full[0], nullptr);
    if (got == 0 || got >= need) return path;
    full.resize(got);
    need = GetLongPathNameW(full.c_str(), nullptr, 0);
    if (need == 0) return full; // does not exist (any more): the full form will do
    std::wstring long_form(need, L'\0');
    got = GetLongPathNameW(full.c_str(), &long_form[0], need);
    if (got == 0 || got >= need) return full;
    long_form.resize(got);
    return long_form;
}

std::wstring WithBackslash(std::wstring dir) {
    if (dir.empty() || dir.back() != L'\\') dir += L'\\';
    return dir;
}

std::wstring WithoutBackslash(std::wstring dir) {
    while (dir.size() > 3 && dir.back() == L'\\') dir.pop_back();
    return dir;
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool IsGone(DWORD err) { return err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND; }

std::wstring WithoutLongPrefix(const std::wstring& path) {
    if (path.compare(0, 8, L"\\\\?\\UNC\\") == 0) return L"\\\\" + path.substr(8);
    if (path.compare(0, 4, L"\\\\?\\") == 0) return path.substr(4);
    return path;
}

// Administrators and SYSTEM when elevated, else the user alone; empty when unknown.
std::wstring PrivateFolderAccess() {
    CHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Out())) return std::wstring();
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    if (GetTokenInformation(token.Get(), TokenElevation, &elevation, sizeof(elevation), &size) &&
        elevation.TokenIsElevated)
        return L"D:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)";
    std::vector<BYTE> user(256);
    if (!GetTokenInformation(token.Get(), TokenUser, user.data(), static_cast<DWORD>(user.size()), &size)) {
        user.resize(size);
        if (!GetTokenInformation(token.Get(), TokenUser, user.data(), static_cast<DWORD>(user.size()), &size))
            return std::wstring();
    }
    CLocalPtr<LPWSTR> sid;
    if (!ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid, sid.Out())) return std::wstring();
    return std::wstring(L"D:P(A;OICI;FA;;;") + sid.Get() + L")";
}

// A new folder below `parent` (ending in a backslash) with a name nobody can guess;
// empty when none could be made. CreateDirectory fails on anything already there.
std::wstring MakePrivateFolder(const std::wstring& parent) {
    CLocalPtr<PSECURITY_DESCRIPTOR> access;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(PrivateFolderAccess().c_str(), SDDL_REVISION_1,
                                                              access.Out(), nullptr))
        return std::wstring();
    SECURITY_ATTRIBUTES sa{};
    sa.nLength = sizeof(sa);
    sa.lpSecurityDescriptor = access.Get();
    for (int attempt = 0; attempt < 8; ++attempt) {
        unsigned char random[16];
        if (!RtlGenRandom(random, sizeof(random))) return std::wstring();
        std::wstring name = parent + product::kUninstallerTempPrefixW;
        for (unsigned char b : random) {
            static const wchar_t kHex[] = L"0123456789abcdef";
            name += kHex[b >> 4];
            name += kHex[b & 15];
        }
        if (CreateDirectoryW(name.c_str(), &sa)) return name;
        if (GetLastError() != ERROR_ALREADY_EXISTS) return std::wstring();
    }
    return std::wstring();
}

// Empty when the folder is unknown on this system (CSIDL_ALTSTARTUP under Wine, for one).
std::wstring SpecialFolder(int csidl) {
    wchar_t buf[MAX_PATH] = L"";
    if (!SHGetSpecialFolderPathW(nullptr, buf, csidl, FALSE)) return std::wstring();
    buf[MAX_PATH - 1] = L'\0';
    return buf;
}

// False when the manifest cannot be read; `text` then says nothing.
bool ReadSmallFile(const std::wstring& path, std::string* text) {
    CHandle h(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!h) return false;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(h.Get(), &size) || size.QuadPart > (64 << 20)) return false;
    text->assign(static_cast<size_t>(size.QuadPart), '\0');
    DWORD got = 0;
    if (size.QuadPart > 0 &&
        (!ReadFile(h.Get(), &(*text)[0], static_cast<DWORD>(size.QuadPart), &got, nullptr) || got != size.QuadPart))
        return false;
    return true;
}

class Uninstaller {
public:
    Uninstaller(std::wstring exe, std::wstring dir) : exe_(std::move(exe)), dir_(std::move(dir)) {
        CHandle d(CreateFileW(dir_.c_str(), FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        if (d) final_dir_ = WithBackslash(WithoutLongPrefix(AfxFinalPath(d.Get())));
    }

    void RemoveShortcuts();
    void RemoveFiles(const uninst::Manifest& manifest);
    void RemoveFolders(const uninst::Manifest& manifest);
    void RemoveRegistry();
    void CloseRunningProgram();
    void HandOverSelfDelete();

    const std::vector<std::wstring>& leftovers() const { return leftovers_; }

private:
    bool OwnedByThisInstall(const std::wstring& recorded_dir) const {
        return recorded_dir.empty() || uninst::SamePath(WithBackslash(Canonical(recorded_dir)), dir_);
    }
    void RemoveShortcut(const std::wstring& lnk);
    void RemoveFile(const std::wstring& rel);
    bool CrossesLink(const std::wstring& rel) const;
    bool ReachedDirectly(HANDLE h, const std::wstring& rel) const;
    void RemoveKeyValues(const wchar_t* path, const wchar_t* const* names, size_t count, const wchar_t* owner_value,
                         bool owner_is_file);

    std::wstring exe_;       // our own file
    std::wstring dir_;       // D, canonical, ending in a backslash
    std::wstring final_dir_; // D as the file system reaches it (links above it resolved)
    std::vector<std::wstring> leftovers_;
};

void Uninstaller::RemoveShortcut(const std::wstring& lnk) {
    if (!Exists(lnk)) return;
    CComPtr<IShellLinkW> link;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.Out()))) return;
    CComPtr<IPersistFile> file;
    if (FAILED(link->QueryInterface(IID_IPersistFile, file.Out()))) return;
    if (FAILED(file->Load(lnk.c_str(), STGM_READ))) return;
    wchar_t target[MAX_PATH] = L"";
    if (FAILED(link->GetPath(target, MAX_PATH, nullptr, SLGP_RAWPATH)) || target[0] == L'\0') return;
    target[MAX_PATH - 1] = L'\0';
    // A shortcut of the same name made for another copy of the program is not ours.
    if (!uninst::IsInside(Canonical(target), dir_)) return;
    if (!DeleteFileW(lnk.c_str()) && !IsGone(GetLastError())) leftovers_.push_back(lnk);
}

void Uninstaller::RemoveShortcuts() {
    CComApartment com;
    std::vector<std::wstring> startup_folders = {SpecialFolder(CSIDL_COMMON_STARTUP), SpecialFolder(CSIDL_ALTSTARTUP)};
    for (const std::wstring& folder : startup_folders)
        if (!folder.empty()) RemoveShortcut(WithBackslash(folder) + product::kShortcutsLinkW);
    std::wstring desktop = SpecialFolder(CSIDL_DESKTOP);
    if (!desktop.empty()) RemoveShortcut(WithBackslash(desktop) + product::kShortcutsLinkW);
    std::wstring start_menu = SpecialFolder(CSIDL_COMMON_STARTMENU);
    if (!start_menu.empty()) {
        std::wstring group = WithBackslash(start_menu) + product::kShortcutsGroupW;
        RemoveShortcut(group + L"\\" + product::kShortcutsLinkW);
        RemoveShortcut(group + L"\\" + product::kShortcutsUninstallLinkW);
        RemoveDirectoryW(group.c_str()); // only when empty: other shortcuts stay
    }
}

// A listed path whose folders were replaced by a junction could lead outside D.
bool Uninstaller::CrossesLink(const std::wstring& rel) const {
    for (size_t pos = rel.find(L'\\'); pos != std::wstring::npos; pos = rel.find(L'\\', pos + 1)) {
        DWORD attrs = GetFileAttributesW((dir_ + rel.substr(0, pos)).c_str());
        if (attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_REPARSE_POINT)) return true;
    }
    return false;
}

// What `h` opened is D + rel itself, reached through no link, junction or mount point on
// the way (Wine shows a POSIX symbolic link only in the final path of what it opened).
bool Uninstaller::ReachedDirectly(HANDLE h, const std::wstring& rel) const {
    BY_HANDLE_FILE_INFORMATION info;
    if (final_dir_.empty() || !GetFileInformationByHandle(h, &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return false;
    return uninst::SamePath(WithoutLongPrefix(AfxFinalPath(h)), final_dir_ + rel);
}

void Uninstaller::RemoveFile(const std::wstring& rel) {
    std::wstring path = dir_ + rel;
    if (uninst::SamePath(path, exe_)) return; // handed over at the very end
    // The name itself is opened, never what a link there points to, and what was opened
    // and checked is what is deleted.
    CHandle h(CreateFileW(path.c_str(), DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                          FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!h) {
        DWORD err = GetLastError();
        if (!IsGone(err)) leftovers_.push_back(path);
        return;
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(h.Get(), &info) || !ReachedDirectly(h.Get(), rel) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        leftovers_.push_back(path); // a link now, or a folder: not ours to follow or empty
        return;
    }
    if (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) {
        FILE_BASIC_INFO basic{};
        basic.FileAttributes = (info.dwFileAttributes & ~FILE_ATTRIBUTE_READONLY) | FILE_ATTRIBUTE_NORMAL;
        SetFileInformationByHandle(h.Get(), FileBasicInfo, &basic, sizeof(basic));
    }
    FILE_DISPOSITION_INFO gone{};
    gone.DeleteFile = TRUE;
    if (!SetFileInformationByHandle(h.Get(), FileDispositionInfo, &gone, sizeof(gone))) leftovers_.push_back(path);
}

void Uninstaller::RemoveFiles(const uninst::Manifest& manifest) {
    for (const std::wstring& rel : manifest.files) {
        RemoveFile(rel);
        std::wstring expanded = uninst::ExpandedName(rel);
        if (!expanded.empty()) RemoveFile(expanded);
    }
}

void Uninstaller::RemoveFolders(const uninst::Manifest& manifest) {
    for (const std::wstring& rel : uninst::DeepestFirst(manifest.folders)) {
        std::wstring path = dir_ + rel;
        if (!Exists(path) || CrossesLink(rel + L"\\")) continue;
        // A folder still holding the user's own files stays on purpose.
        if (!RemoveDirectoryW(path.c_str()) && !IsGone(GetLastError()) && GetLastError() != ERROR_DIR_NOT_EMPTY)
            leftovers_.push_back(path + L"\\");
    }
}

// Removes the named values when the key belongs to this installation (its `owner_value`
// names D, or is absent), then the key itself once nothing is left in it.
void Uninstaller::RemoveKeyValues(const wchar_t* path, const wchar_t* const* names, size_t count,
                                  const wchar_t* owner_value, bool owner_is_file) {
    CRegKey key;
    if (key.Open(HKEY_LOCAL_MACHINE, path, KEY_QUERY_VALUE | KEY_SET_VALUE) != ERROR_SUCCESS) return;
    wchar_t data[1024] = L"";
    DWORD type = 0, size = sizeof(data) - sizeof(wchar_t);
    LONG rc = RegQueryValueExW(key.Get(), owner_value, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
    if (rc == ERROR_SUCCESS) {
        data[size / sizeof(wchar_t)] = L'\0';
        std::wstring recorded = data;
        if (owner_is_file) {
            // A command line: the program's path, quoted (setup.exe's form, D usually holds a
            // blank) or bare; only the quoted form can be followed by arguments.
            if (!recorded.empty() && recorded[0] == L'"') recorded = recorded.substr(1, recorded.find(L'"', 1) - 1);
            recorded = recorded.substr(0, recorded.find_last_of(L'\\') + 1);
        }
        // Another installation's records (an install into another folder since) stay.
        if (recorded.empty() || !OwnedByThisInstall(recorded)) return;
    } else if (rc != ERROR_FILE_NOT_FOUND) {
        return; // unreadable or too long to be ours
    }
    for (size_t i = 0; i < count; ++i) {
        LONG del = RegDeleteValueW(key.Get(), names[i]);
        if (del != ERROR_SUCCESS && del != ERROR_FILE_NOT_FOUND)
            leftovers_.push_back(std::wstring(L"HKEY_LOCAL_MACHINE\\") + path + L" " + names[i]);
    }
    DWORD subkeys = 0, values = 0;
    bool empty = RegQueryInfoKeyW(key.Get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr,
                                  nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
                 subkeys == 0 && values == 0;
    key.Close();
    if (empty) RegDeleteKeyW(HKEY_LOCAL_MACHINE, path);
}

void Uninstaller::RemoveRegistry() {
    using namespace product;
    static const wchar_t* const kProduct[] = {kRegistryPathValueW};
    static const wchar_t* const kUninstall[] = {L"DisplayName", L"DisplayVersion", L"UninstallString"};
    static const wchar_t* const kVersion[] = {kRegistryVersionValueW, kRegistryFolderValueW, kRegistryTypeValueW};
    RemoveKeyValues(kRegistryUninstallKeyW, kUninstall, sizeof(kUninstall) / sizeof(kUninstall[0]), L"UninstallString",
                    true);
    RemoveKeyValues(kRegistryVersionKeyW, kVersion, sizeof(kVersion) / sizeof(kVersion[0]), kRegistryFolderValueW,
                    false);
    // Last, since it is the record the others are cross-checked against by other tools.
    RemoveKeyValues(kRegistryProductKeyW, kProduct, sizeof(kProduct) / sizeof(kProduct[0]), kRegistryPathValueW, false);
}

// The program's window: a running program would keep its file (and D) from going.
void Uninstaller::CloseRunningProgram() {
    for (int round = 0; round < 8; ++round) {
        HWND wnd = nullptr;
        bool found = false;
        while ((wnd = FindWindowExW(nullptr, wnd, product::kFilesProgramWindowClassW, nullptr)) != nullptr) {
            DWORD pid = 0;
            GetWindowThreadProcessId(wnd, &pid);
            CHandle process(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
            if (!process) continue;
            wchar_t image[MAX_PATH] = L"";
            DWORD len = MAX_PATH;
            if (!QueryFullProcessImageNameW(process.Get(), 0, image, &len)) continue;
            if (!uninst::IsInside(Canonical(image), dir_)) continue;
            found = true;
            PostMessageW(wnd, WM_CLOSE, 0, 0);
            WaitForSingleObject(process.Get(), 3000);
        }
        if (!found) return;
    }
}

void Uninstaller::HandOverSelfDelete() {
    // Both go at the next restart if the hand-over below cannot happen.
    auto at_restart = [this] {
        MoveFileExW(exe_.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
        MoveFileExW(WithoutBackslash(dir_).c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    };
    wchar_t temp[MAX_PATH + 1] = L"";
    DWORD n = GetTempPathW(MAX_PATH + 1, temp);
    if (n == 0 || n > MAX_PATH) return at_restart();
    std::wstring folder = MakePrivateFolder(temp);
    if (folder.empty()) return at_restart();
    std::wstring copy = folder + L"\\" + product::kFilesUninstallerW;
    auto drop_copy = [&] {
        DeleteFileW(copy.c_str());
        RemoveDirectoryW(folder.c_str());
    };
    if (!CopyFileW(exe_.c_str(), copy.c_str(), TRUE)) {
        RemoveDirectoryW(folder.c_str());
        return at_restart();
    }

    HANDLE self = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(), &self, SYNCHRONIZE, TRUE, 0)) {
        drop_copy();
        return at_restart();
    }
    CHandle self_owner(self);
    wchar_t handle_text[32];
    _snwprintf(handle_text, sizeof(handle_text) / sizeof(handle_text[0]) - 1, L"%llx",
               static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(self)));
    handle_text[sizeof(handle_text) / sizeof(handle_text[0]) - 1] = L'\0';
    // No trailing backslash inside the quotes: \" would escape the quote.
    std::wstring cmd =
            L"\"" + copy + L"\" /finish " + handle_text + L" \"" + exe_ + L"\" \"" + WithoutBackslash(dir_) + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(copy.c_str(), &cmd[0], nullptr, nullptr, TRUE, 0, nullptr, temp, &si, &pi)) {
        drop_copy();
        return at_restart();
    }
    CProcess(pi).Close();
}

// The copy in %TEMP%: waits for the uninstaller to end, then deletes it and the folder.
int FinishSelfDelete(const CArgv& argv) {
    if (argv.Count() != 5) return kLeftovers;
    const CHandle parent(reinterpret_cast<HANDLE>(static_cast<uintptr_t>(wcstoull(argv[2], nullptr, 16))));
    std::wstring exe = argv[3], dir = argv[4];
    if (WaitForSingleObject(parent.Get(), 60000) != WAIT_OBJECT_0) return kLeftovers;
    SetFileAttributesW(exe.c_str(), FILE_ATTRIBUTE_NORMAL);
    // The loader may hold the image a moment after the process has ended.
    bool deleted = false;
    for (int i = 0; i < 100 && !deleted; ++i) {
        deleted = DeleteFileW(exe.c_str()) || IsGone(GetLastError());
        if (!deleted) Sleep(100);
    }
    if (!deleted) MoveFileExW(exe.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    RemoveDirectoryW(dir.c_str()); // only when empty: a user's files keep it
    // A running image cannot go now; its folder follows it at the restart.
    std::wstring self = ModulePath();
    MoveFileExW(self.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    MoveFileExW(self.substr(0, self.find_last_of(L'\\')).c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    return deleted ? kDone : kLeftovers;
}

int Message(bool silent, const std::wstring& text, UINT flags) {
    return silent ? IDOK : MessageBoxW(nullptr, text.c_str(), kTitle, flags | MB_SETFOREGROUND);
}

int Run() {
    CArgv argv;
    if (argv.Count() >= 2 && uninst::SamePath(argv[1], L"/finish")) return FinishSelfDelete(argv);
    bool silent = false;
    for (int i = 1; i < argv.Count(); ++i)
        if (uninst::SamePath(argv[i], L"/S")) silent = true;

    std::wstring exe = Canonical(ModulePath());
    std::wstring dir = exe.substr(0, exe.find_last_of(L'\\') + 1);
    if (exe.empty() || dir.empty()) return kNoManifest;

    std::string text;
    uninst::Manifest manifest;
    if (!ReadSmallFile(dir + kManifestName, &text) || !uninst::ParseManifest(text, &manifest)) {
        std::wstring text = product::kUninstallerNoManifestW;
        const size_t at = text.find(L"%s");
        if (at != std::wstring::npos) text.replace(at, 2, dir);
        Message(silent, text, MB_OK | MB_ICONERROR);
        return kNoManifest;
    }
    if (!silent && MessageBoxW(nullptr, (product::kUninstallerConfirmW + dir).c_str(), kTitle,
                               MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2 | MB_SETFOREGROUND) != IDYES)
        return kCancelled;

    // Our working directory would keep D from being removed.
    wchar_t temp[MAX_PATH + 1] = L"";
    DWORD n = GetTempPathW(MAX_PATH + 1, temp);
    if (n > 0 && n <= MAX_PATH) SetCurrentDirectoryW(temp);

    Uninstaller u(exe, dir);
    u.CloseRunningProgram();
    u.RemoveShortcuts(); // while the targets exist, so that their names resolve alike
    u.RemoveFiles(manifest);
    u.RemoveFolders(manifest);
    u.RemoveRegistry();
    RemoveDirectoryW(WithoutBackslash(dir).c_str()); // only when empty
    u.HandOverSelfDelete();

    if (u.leftovers().empty()) {
        Message(silent, product::kUninstallerDoneW, MB_OK | MB_ICONINFORMATION);
        return kDone;
    }
    std::wstring list;
    size_t shown = 0;
    for (const std::wstring& item : u.leftovers()) {
        if (++shown > 10) {
            list += std::wstring(product::kUninstallerMoreW) + L"\n";
            break;
        }
        list += item + L"\n";
    }
    Message(silent, product::kUninstallerLeftoversW + list, MB_OK | MB_ICONWARNING);
    return kLeftovers;
}

} // namespace

// The C runtime's entry point (crt2u.o names it so with -municode too).
extern "C" int WinMainCRTStartup();

// The entry point (AFX_ENTRY_POINT): the uninstaller lies in D, and its copy in a temporary
// folder; neither folder's DLLs may load.
extern "C" __attribute__((force_align_arg_pointer)) int AfxEntryPoint() {
    AfxRestrictDllSearch();
    return WinMainCRTStartup();
}

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) { return Run(); }
