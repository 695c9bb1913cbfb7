// The path the system reached when it opened a handle, to tell a name that was reached
// directly from one reached through a link (junction, symbolic link, mount point).
// Header-only: the archiver and the uninstaller use it without the rest of the framework.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// "\\?\" form, e.g. \\?\C:\Program Files\Vendor\app.exe; empty when it cannot be told.
// Some systems (Wine) refuse GetFinalPathNameByHandleW for paths longer than MAX_PATH;
// then the volume-relative name of the handle is put behind the one drive letter whose
// volume holds the handle, so a link to another volume never passes for a local name.
inline std::wstring AfxFinalPath(HANDLE h) {
    std::wstring buf(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetFinalPathNameByHandleW(h, &buf[0], static_cast<DWORD>(buf.size()), VOLUME_NAME_DOS);
        if (n == 0) break;
        if (n < buf.size()) {
            buf.resize(n);
            return buf;
        }
        buf.resize(n + 1);
    }

    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(h, &info)) return std::wstring();
    std::vector<BYTE> name(sizeof(FILE_NAME_INFO) + 32768 * sizeof(WCHAR));
    if (!GetFileInformationByHandleEx(h, FileNameInfo, name.data(), static_cast<DWORD>(name.size())))
        return std::wstring();
    const FILE_NAME_INFO* relative = reinterpret_cast<const FILE_NAME_INFO*>(name.data());
    if (relative->FileNameLength == 0 || relative->FileName[0] != L'\\') return std::wstring();

    // The drives' volume serials, read once: asking every drive for every file is slow.
    struct DriveSerials {
        DWORD serial[26] = {};
        bool known[26] = {};
        DriveSerials() {
            WCHAR root[] = L"A:\\";
            const DWORD drives = GetLogicalDrives();
            for (int i = 0; i < 26; ++i) {
                if (!(drives & (1u << i))) continue;
                root[0] = static_cast<WCHAR>(L'A' + i);
                known[i] = GetVolumeInformationW(root, nullptr, 0, &serial[i], nullptr, nullptr, nullptr, 0) != FALSE;
            }
        }
    };
    static const DriveSerials drives;
    std::wstring drive;
    for (int i = 0; i < 26; ++i) {
        if (!drives.known[i] || drives.serial[i] != info.dwVolumeSerialNumber) continue;
        if (!drive.empty()) return std::wstring(); // two drives share the serial: cannot tell
        drive = std::wstring(1, static_cast<WCHAR>(L'A' + i)) + L":";
    }
    if (drive.empty()) return std::wstring();
    return L"\\\\?\\" + drive + std::wstring(relative->FileName, relative->FileNameLength / sizeof(WCHAR));
}
