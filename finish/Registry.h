// Every registry key and value that setup.exe writes or deletes (HKEY_LOCAL_MACHINE).
#pragma once
#include <windows.h>

#include "afx/afxstr.h"
#include "product.h"

// The installation directory as the folder page and the frame's Next last set it; empty
// at program start. Kept here, beside its one reader, WriteVersionRecord.
extern CString g_strInstallDir;

// The install directory in the product key and the uninstall entry (DisplayName,
// DisplayVersion, UninstallString). Failures are silent.
void WriteInstallRecords(const char* lpszInstallDir);
// The build, the install directory (g_strInstallDir) and the type in the version key.
void WriteVersionRecord();
// TRUE when the key opened and the value was deleted.
BOOL DeleteRegistryValue(const char* lpszSubKey, const char* lpszValueName);

#define SETUP_UNINSTALL_KEY product::kRegistryUninstallKey
