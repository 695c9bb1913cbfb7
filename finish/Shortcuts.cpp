#include "finish/Shortcuts.h"

#include <objbase.h>

#include "finish/DesktopUser.h"
#include "finish/FinishPaths.h"
#include "finish/ShellLink.h"

namespace {

// CoInitialize for the lifetime of the object; uninitialised only when it took.
class ComApartment {
public:
    ComApartment() : m_hr(CoInitialize(nullptr)) {}
    ~ComApartment() {
        if (SUCCEEDED(m_hr)) CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

private:
    HRESULT m_hr;
};

// A special folder's path, or FALSE with path emptied: the buffer is preset so that a
// resolver that reports success without filling it cannot yield a stale path.
BOOL ResolveFolder(SpecialFolderResolver resolve, int csidl, char (&path)[MAX_PATH]) {
    ZeroMemory(path, sizeof(path));
    if (!resolve(nullptr, path, csidl, FALSE) || path[0] == '\0') {
        path[0] = '\0';
        return FALSE;
    }
    path[MAX_PATH - 1] = '\0';
    return TRUE;
}

// One shortcut to installDir + program in folder\linkName, when both paths fit.
BOOL LinkProgram(const char* installDir, const char* program, const char* folder, const char* linkName) {
    char target[kTargetPathBytes];
    char link[kShortcutPathBytes];
    if (!JoinBounded(target, sizeof(target), installDir, program)) return FALSE;
    if (!JoinBounded(link, sizeof(link), folder, "\\", linkName)) return FALSE;
    return CreateShellLink(target, link);
}

}  // namespace

BOOL GetStartupFolder(BOOL bOsMajor5, char (&path)[MAX_PATH], int* pnCsidl, SpecialFolderResolver resolve) {
    int csidl = bOsMajor5 ? CSIDL_COMMON_STARTUP : CSIDL_ALTSTARTUP;
    BOOL ok = ResolveFolder(resolve, csidl, path);
    if (!ok && csidl == CSIDL_ALTSTARTUP) {
        csidl = CSIDL_COMMON_STARTUP;
        ok = ResolveFolder(resolve, csidl, path);
    }
    if (pnCsidl) *pnCsidl = ok ? csidl : -1;
    return ok;
}

BOOL CreateStartupShortcut(const char* lpszInstallDir) {
    ComApartment com;
    char folder[MAX_PATH];
    if (!GetStartupFolder(IsOsMajorVersion5(), folder)) return FALSE;
    return LinkProgram(lpszInstallDir, product::kFilesProgram, folder, product::kShortcutsLink);
}

BOOL CreateDesktopShortcut(const char* lpszInstallDir) {
    ComApartment com;
    char folder[MAX_PATH];
    if (!ResolveFolder(SHGetSpecialFolderPathA, CSIDL_DESKTOP, folder)) return FALSE;
    return LinkProgram(lpszInstallDir, product::kFilesProgram, folder, product::kShortcutsLink);
}

BOOL CreateStartMenuGroup(const char* lpszInstallDir) {
    char menu[MAX_PATH];
    char group[kShortcutPathBytes];
    if (!ResolveFolder(SHGetSpecialFolderPathA, CSIDL_COMMON_STARTMENU, menu)) return FALSE;
    if (!JoinBounded(group, sizeof(group), menu, "\\", product::kShortcutsGroup)) return FALSE;
    CreateDirectoryA(group, nullptr);  // an existing folder is simply used

    ComApartment com;
    const BOOL program = LinkProgram(lpszInstallDir, product::kFilesProgram, group, product::kShortcutsLink);
    const BOOL uninstaller =
        LinkProgram(lpszInstallDir, product::kFilesUninstallerLinkTarget, group, product::kShortcutsUninstallLink);
    return program && uninstaller;
}

BOOL RunProgramIn(const char* lpszInstallDir) {
    char target[kTargetPathBytes];
    if (!JoinBounded(target, sizeof(target), lpszInstallDir, product::kFilesProgram)) return FALSE;
    PROCESS_INFORMATION pi = {};
    if (!StartForDesktopUser(nullptr, QuotedCommandLine(target), pi)) return FALSE;
    // As WinExec does: the program gets up to 30 s to come up before the wizard goes on.
    WaitForInputIdle(pi.hProcess, 30000);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return TRUE;
}
