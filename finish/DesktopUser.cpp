#include "finish/DesktopUser.h"

#include <string>

#include "afx/afxhandle.h"

namespace {

bool IsElevated() {
    CHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Out())) return false;
    TOKEN_ELEVATION elevation = {};
    DWORD size = 0;
    return GetTokenInformation(token.Get(), TokenElevation, &elevation, sizeof(elevation), &size) &&
           elevation.TokenIsElevated != 0;
}

// A primary token like the desktop shell's (Explorer's), into token; false when there
// is no shell window or its process cannot be opened.
bool DesktopUserToken(CHandle& token) {
    const HWND shell = GetShellWindow();
    DWORD pid = 0;
    if (!shell || !GetWindowThreadProcessId(shell, &pid) || pid == 0) return false;
    const CHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    if (!process.Get()) return false;
    CHandle shellToken;
    if (!OpenProcessToken(process.Get(), TOKEN_DUPLICATE | TOKEN_QUERY | TOKEN_ASSIGN_PRIMARY, shellToken.Out()))
        return false;
    const DWORD access =
            TOKEN_QUERY | TOKEN_DUPLICATE | TOKEN_ASSIGN_PRIMARY | TOKEN_ADJUST_DEFAULT | TOKEN_ADJUST_SESSIONID;
    return DuplicateTokenEx(shellToken.Get(), access, nullptr, SecurityImpersonation, TokenPrimary, token.Out()) !=
           FALSE;
}

std::wstring Widen(const char* s) {
    const int n = MultiByteToWideChar(CP_ACP, 0, s, -1, nullptr, 0);
    if (n <= 0) return std::wstring();
    std::wstring w(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, s, -1, &w[0], n);
    w.resize(static_cast<size_t>(n - 1));
    return w;
}

} // namespace

BOOL StartForDesktopUser(const char* lpszApplication, const char* lpszCmdLine, PROCESS_INFORMATION& pi) {
    pi = PROCESS_INFORMATION();
    // Both calls may write into the command line: they get copies.
    CHandle token;
    if (IsElevated() && DesktopUserToken(token)) {
        STARTUPINFOW si = {};
        si.cb = sizeof(si);
        si.dwFlags = STARTF_USESHOWWINDOW;
        si.wShowWindow = SW_SHOW;
        const std::wstring app = lpszApplication ? Widen(lpszApplication) : std::wstring();
        std::wstring cmd = Widen(lpszCmdLine ? lpszCmdLine : "");
        cmd.push_back(L'\0');
        if (CreateProcessWithTokenW(token.Get(), 0, lpszApplication ? app.c_str() : nullptr, &cmd[0], 0, nullptr,
                                    nullptr, &si, &pi))
            return TRUE;
    }
    STARTUPINFOA si = {};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_SHOW;
    std::string cmd(lpszCmdLine ? lpszCmdLine : "");
    cmd.push_back('\0');
    return CreateProcessA(lpszApplication, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi);
}
