#include "finish/Registry.h"

#include <cstring>

#include "finish/FinishPaths.h"
#include "pages/FolderPage.h"

namespace {

// An open registry key, closed when the object goes.
class RegKey {
public:
    RegKey() = default;
    ~RegKey() { Close(); }
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;

    // Creates the key below HKEY_LOCAL_MACHINE, or opens it when it exists; FALSE
    // (no handle kept) on failure.
    bool Create(const char* subKey) { return Adopt(RegCreateKeyA(HKEY_LOCAL_MACHINE, subKey, &m_h)); }
    // Opens an existing key with the access RegOpenKeyA grants; FALSE on failure.
    bool Open(const char* subKey) { return Adopt(RegOpenKeyA(HKEY_LOCAL_MACHINE, subKey, &m_h)); }
    bool OpenEx(const char* subKey, REGSAM access) {
        return Adopt(RegOpenKeyExA(HKEY_LOCAL_MACHINE, subKey, 0, access, &m_h));
    }
    // The value with its terminating NUL; the result is the registry's.
    LONG SetString(const char* name, const char* data) {
        return RegSetValueExA(m_h, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data),
                              static_cast<DWORD>(std::strlen(data) + 1));
    }
    LONG DeleteValue(const char* name) { return RegDeleteValueA(m_h, name); }
    void Close() {
        if (m_h) RegCloseKey(m_h);
        m_h = nullptr;
    }

private:
    bool Adopt(LONG result) {
        if (result != ERROR_SUCCESS) m_h = nullptr;
        return result == ERROR_SUCCESS;
    }
    HKEY m_h = nullptr;
};

// Makes sure the key exists, then opens it afresh for writing. Only the open decides
// whether values are written: a creation refused because the key exists read-only
// still lets an open succeed.
bool EnsureAndOpen(RegKey& key, const char* subKey) {
    {
        RegKey created;
        created.Create(subKey);
    }
    return key.Open(subKey);
}

}  // namespace

void WriteInstallRecords(const char* lpszInstallDir) {
    const char* dir = lpszInstallDir ? lpszInstallDir : "";
    {
        RegKey key;
        if (EnsureAndOpen(key, product::kRegistryProductKey)) key.SetString(product::kRegistryPathValue, dir);
    }
    RegKey key;
    if (EnsureAndOpen(key, SETUP_UNINSTALL_KEY)) {
        key.SetString("DisplayName", product::kRegistryDisplayName);
        key.SetString("DisplayVersion", product::kRegistryDisplayVersion);
        key.SetString("UninstallString", UninstallCommandLine(dir));
    }
}

void WriteVersionRecord() {
    {
        RegKey created;
        if (!created.Create(product::kRegistryVersionKeyCreate)) return;
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
        RegKey key;
        if (key.Open(product::kRegistryVersionKey)) key.SetString(v.name, v.data);
    }
}

BOOL DeleteRegistryValue(const char* lpszSubKey, const char* lpszValueName) {
    RegKey key;
    if (!key.OpenEx(lpszSubKey, KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_ENUMERATE_SUB_KEYS)) return FALSE;
    return key.DeleteValue(lpszValueName) == ERROR_SUCCESS ? TRUE : FALSE;
}
