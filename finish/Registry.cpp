#include "finish/Registry.h"

#include "afx/afxhandle.h"
#include "finish/FinishPaths.h"

CString g_strInstallDir;

namespace {

const char kProductKey[] = "Software\\tesmarin";
const char kVersionKeyCreate[] = "SOFTWARE\\tsmVersion";
const char kVersionKeyOpen[] = "Software\\tsmVersion";

// Makes sure the key exists, then opens it afresh for writing. Only the open decides
// whether values are written: a creation refused because the key exists read-only
// still lets an open succeed.
bool EnsureAndOpen(CRegKey& key, const char* subKey) {
    {
        CRegKey created;
        created.Create(HKEY_LOCAL_MACHINE, subKey);
    }
    return key.Open(HKEY_LOCAL_MACHINE, subKey) == ERROR_SUCCESS;
}

}  // namespace

void WriteInstallRecords(const char* lpszInstallDir) {
    const char* dir = lpszInstallDir ? lpszInstallDir : "";
    {
        CRegKey key;
        if (EnsureAndOpen(key, kProductKey)) key.SetString("Path", dir);
    }
    CRegKey key;
    if (EnsureAndOpen(key, SETUP_UNINSTALL_KEY)) {
        key.SetString("DisplayName", "Orvane");
        key.SetString("DisplayVersion", "1.0.0");
        key.SetString("UninstallString", UninstallCommandLine(dir));
    }
}

void WriteVersionRecord() {
    {
        CRegKey created;
        if (created.Create(HKEY_LOCAL_MACHINE, kVersionKeyCreate) != ERROR_SUCCESS) return;
    }
    struct Value {
        const char* name;
        const char* data;
    };
    const Value values[] = {
        {"tsmVersion", "1.0.0614"},
        {"tsmFilePath", g_strInstallDir},
        {"tsmType", "xl"},
    };
    for (const Value& v : values) {
        CRegKey key;
        if (key.Open(HKEY_LOCAL_MACHINE, kVersionKeyOpen) == ERROR_SUCCESS) key.SetString(v.name, v.data);
    }
}

BOOL DeleteRegistryValue(const char* lpszSubKey, const char* lpszValueName) {
    CRegKey key;
    if (key.Open(HKEY_LOCAL_MACHINE, lpszSubKey, KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_ENUMERATE_SUB_KEYS) != ERROR_SUCCESS)
        return FALSE;
    return key.DeleteValue(lpszValueName) == ERROR_SUCCESS ? TRUE : FALSE;
}
