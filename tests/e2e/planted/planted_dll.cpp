// A DLL planted where a program must not look for libraries. Loaded into a process, it
// appends a line to "<its own path>.loaded": the path of that process's executable and
// "static" (loaded with the executable, for an import) or "dynamic" (LoadLibrary, a
// delay-load).
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID reserved) {
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    wchar_t marker[MAX_PATH + 16];
    const DWORD n = GetModuleFileNameW(self, marker, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return TRUE;
    lstrcatW(marker, L".loaded");
    char line[MAX_PATH + 16] = "";
    DWORD len = GetModuleFileNameA(nullptr, line, MAX_PATH);
    line[len] = 0;
    lstrcatA(line, reserved ? " static\n" : " dynamic\n");
    len = lstrlenA(line);
    HANDLE h =
            CreateFileW(marker, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, 0, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(h, line, len, &written, nullptr);
        CloseHandle(h);
    }
    return TRUE;
}
