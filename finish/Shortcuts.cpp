#include "finish/Shortcuts.h"

#include "afx/afxhandle.h"

#include "finish/DesktopUser.h"
#include "finish/FinishPaths.h"
#include "finish/ShellLink.h"

namespace {

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

} // namespace

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
    CComApartment com;
    char folder[MAX_PATH];
    if (!GetStartupFolder(IsOsMajorVersion5(), folder)) return FALSE;
    return LinkProgram(lpszInstallDir, product::kFilesProgram, folder, product::kShortcutsLink);
}

BOOL CreateDesktopShortcut(const char* lpszInstallDir) {
    CComApartment com;
    char folder[MAX_PATH];
    if (!ResolveFolder(SHGetSpecialFolderPathA, CSIDL_DESKTOP, folder)) return FALSE;
    return LinkProgram(lpszInstallDir, product::kFilesProgram, folder, product::kShortcutsLink);
}

BOOL CreateStartMenuGroup(const char* lpszInstallDir) {
    char menu[MAX_PATH];
    char group[kShortcutPathBytes];
    if (!ResolveFolder(SHGetSpecialFolderPathA, CSIDL_COMMON_STARTMENU, menu)) return FALSE;
    if (!JoinBounded(group, sizeof(group), menu, "\\", product::kShortcutsGroup)) return FALSE;
    CreateDirectoryA(group, nullptr); // an existing folder is simply used

    CComApartment com;
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
    const CProcess program(pi);
    // As WinExec does: the program gets up to 30 s to come up before the wizard goes on.
    WaitForInputIdle(program.Get(), 30000);
    return TRUE;
}
