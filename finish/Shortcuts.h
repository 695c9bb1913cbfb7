// The finishing actions on an install directory (ending in a backslash). The finish
// page's options call these with the folder page's directory.
#pragma once
#include <windows.h>
#include <shlobj.h>

// Resolves a special folder: SHGetSpecialFolderPathA or a stand-in with its signature.
using SpecialFolderResolver = decltype(&SHGetSpecialFolderPathA);

// The start-up folder: CSIDL_COMMON_STARTUP when bOsMajor5, else CSIDL_ALTSTARTUP;
// when that one cannot be resolved (it no longer exists after version 5),
// CSIDL_COMMON_STARTUP. FALSE, with path emptied, when no folder could be resolved.
// *pnCsidl (optional) receives the CSIDL used.
BOOL GetStartupFolder(BOOL bOsMajor5, char (&path)[MAX_PATH], int* pnCsidl = nullptr,
                      SpecialFolderResolver resolve = SHGetSpecialFolderPathA);

// Each returns TRUE when its shortcut files were saved. They initialise COM themselves.
// Paths that do not fit their buffers give no shortcut.
BOOL CreateStartupShortcut(const char* lpszInstallDir);
BOOL CreateDesktopShortcut(const char* lpszInstallDir);
// The product's folder in the all-users Start Menu with the program's and the
// uninstaller's shortcuts (an existing folder is used as it is).
BOOL CreateStartMenuGroup(const char* lpszInstallDir);
// Starts the installed program, its path quoted; TRUE when WinExec started it.
BOOL RunProgramIn(const char* lpszInstallDir);
