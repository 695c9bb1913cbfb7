#include "finish/Registry.h"

#include "afx/afxhandle.h"
#include "finish/FinishPaths.h"

CString g_strInstallDir;

namespace {

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

} // namespace

void WriteInstallRecords(const char* lpszInstallDir) {
    const char* dir = lpszInstallDir ? lpszInstallDir : "";
    {
        CRegKey key;
        if (EnsureAndOpen(key, product::kRegistryProductKey)) key.SetString(product::kRegistryPathValue, dir);
    }
    CRegKey key;
    if (EnsureAndOpen(key, SETUP_UNINSTALL_KEY)) {
        key.SetString("DisplayName", product::kRegistryDisplayName);
        key.SetString("DisplayVersion", product::kRegistryDisplayVersion);
        key.SetString("UninstallString", UninstallCommandLine(dir));
    }
}

void WriteVersionRecord() {
    {
        CRegKey created;
        if (created.Create(HKEY_LOCAL_MACHINE, product::kRegistryVersionKeyCreate) != ERROR_SUCCESS) return;
    }
    struct Value {
        const char* name;
        const char* data;
    };
    const Value values[] = {
            {product::kRegistryVersionValue, product::kProductBuild},
            {product::kRegistryFolderValue, g_strInstallDir},
            {product::kRegistryTypeValue, product::kRegistryType},
    };
    for (const Value& v : values) {
        CRegKey key;
        if (key.Open(HKEY_LOCAL_MACHINE, product::kRegistryVersionKey) == ERROR_SUCCESS) key.SetString(v.name, v.data);
    }
}

BOOL DeleteRegistryValue(const char* lpszSubKey, const char* lpszValueName) {
    CRegKey key;
    if (key.Open(HKEY_LOCAL_MACHINE, lpszSubKey, KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_ENUMERATE_SUB_KEYS) !=
        ERROR_SUCCESS)
        return FALSE;
    return key.DeleteValue(lpszValueName) == ERROR_SUCCESS ? TRUE : FALSE;
}
