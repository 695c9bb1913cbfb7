#include "finish/ShellLink.h"

#include <objbase.h>
#include <objidl.h>
#include <shellapi.h>
#include <shlobj.h>

#include <string>

#include "afx/afxhandle.h"
#include "finish/DesktopUser.h"
#include "finish/FinishPaths.h"

BOOL CreateShellLink(const char* lpszTarget, const char* lpszLinkPath) {
    WCHAR wszLink[MAX_PATH] = {};
    if (MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, lpszLinkPath, -1, wszLink, MAX_PATH) == 0) return FALSE;

    CComPtr<IShellLinkA> link;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA, link.Out())))
        return FALSE;
    link->SetPath(lpszTarget);
    link->SetWorkingDirectory(LinkWorkingDirectory(lpszTarget));
    link->SetDescription(product::kShortcutsDescription);
    link->SetShowCmd(SW_SHOW);

    CComPtr<IPersistFile> file;
    if (FAILED(link->QueryInterface(IID_IPersistFile, file.Out()))) return FALSE;
    return SUCCEEDED(file->Save(wszLink, TRUE)) ? TRUE : FALSE;
}

int StartBrowser(const char* lpszApplication, const char* lpszCmdLine) {
    PROCESS_INFORMATION pi = {};
    if (!StartForDesktopUser(lpszApplication, lpszCmdLine, pi)) return 0;
    CProcess(pi).Close();
    return 1;
}

CString BrowserErrorText(DWORD dwError) {
    CLocalPtr<char*> message;
    FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM, nullptr, dwError,
                   MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<char*>(message.Out()), 0, nullptr);
    CString text;
    text.Format(product::kTextsBrowserError, message.Get() ? message.Get() : "");
    return text;
}

BOOL OpenWithDefaultBrowser(const char* lpszCmdLine) {
    const char* address = lpszCmdLine ? lpszCmdLine : "";
    while (*address == ' ') ++address;
    if (*address == '\0') return FALSE;
    const HINSTANCE h = ShellExecuteA(nullptr, "open", address, nullptr, nullptr, SW_SHOW);
    return reinterpret_cast<INT_PTR>(h) > 32 ? TRUE : FALSE;
}

int OpenSuccessPage(const char* lpszCmdLine) {
    if (StartBrowser(SETUP_BROWSER_PATH, lpszCmdLine)) return 1;
    const CString error = BrowserErrorText(GetLastError());
    OutputDebugStringA(error);
    OpenWithDefaultBrowser(lpszCmdLine);
    return 0;
}

BOOL IsOsMajorVersion5(const OSVERSIONINFOA& vi) { return vi.dwMajorVersion == 5 ? TRUE : FALSE; }

BOOL IsOsMajorVersion5() {
    OSVERSIONINFOA vi = {};
    vi.dwOSVersionInfoSize = sizeof(vi);
    if (!GetVersionExA(&vi)) return FALSE;
    return IsOsMajorVersion5(vi);
}
