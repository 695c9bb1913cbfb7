#include "install/InstallFolder.h"

#include <sddl.h>
#include <shlobj.h>
#include <shlwapi.h>

#include "afx/afxhandle.h"
#include "afx/afxstr.h"

const char kMadeFolderAccess[] = "D:PAI(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)";

namespace {

bool IsInFolder(const char* path, const char* folder) {
    int n = lstrlenA(folder);
    if (n > 0 && folder[n - 1] == '\\') --n;
    if (n == 0 || lstrlenA(path) < n) return false;
    if (CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, path, n, folder, n) != CSTR_EQUAL) return false;
    return path[n] == '\0' || path[n] == '\\';
}

// The index just past the root: "X:\" or "\\server\share\".
int RootLength(const char* dir) {
    if (dir[0] != '\\' || dir[1] != '\\') return dir[0] != '\0' && dir[1] == ':' && dir[2] == '\\' ? 3 : 0;
    int separators = 0;
    for (const char* p = dir + 2; *p; p = CharNextA(p))
        if (*p == '\\' && ++separators == 2) return static_cast<int>(p - dir) + 1;
    return lstrlenA(dir);
}

} // namespace

bool IsInProgramFiles(const char* path) {
    char full[MAX_PATH] = "";
    const DWORD n = GetFullPathNameA(path, sizeof(full), full, nullptr);
    if (n == 0 || n >= sizeof(full)) return false;
    const int folders[] = {CSIDL_PROGRAM_FILES, CSIDL_PROGRAM_FILESX86};
    for (int csidl : folders) {
        char folder[MAX_PATH] = "";
        if (SUCCEEDED(SHGetFolderPathA(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, folder)) &&
            IsInFolder(full, folder))
            return true;
    }
    char native[MAX_PATH] = "";
    const DWORD len = GetEnvironmentVariableA("ProgramW6432", native, sizeof(native));
    return len > 0 && len < sizeof(native) && IsInFolder(full, native);
}

bool MakeSureFolderExists(const char* dir) {
    if (!PathFileExistsA(dir)) {
        CLocalPtr<PSECURITY_DESCRIPTOR> access;
        ConvertStringSecurityDescriptorToSecurityDescriptorA(kMadeFolderAccess, SDDL_REVISION_1, access.Out(), nullptr);
        bool madeOne = false;
        for (const char* p = dir + RootLength(dir); *p; p = CharNextA(p)) {
            if (*p != '\\') continue;
            const CString level(dir, static_cast<int>(p - dir));
            SECURITY_ATTRIBUTES sa = {};
            sa.nLength = sizeof(sa);
            sa.lpSecurityDescriptor = access.Get();
            // Only the top-most level made needs a list; an existing level ignores it.
            const bool own = !madeOne && !IsInProgramFiles(level);
            if (own && !access.Get()) return false;
            if (CreateDirectoryA(level, own ? &sa : nullptr))
                madeOne = true;
            else if (GetLastError() != ERROR_ALREADY_EXISTS)
                return false;
        }
    }
    return PathIsDirectoryA(dir) != FALSE;
}
