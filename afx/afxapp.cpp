#include "afx/afxwin.h"

#include "afx/afxdll.h"

namespace {
CWinApp* g_pApp = nullptr;

// comctl32 is not a Known DLL: taken from the system folder, never imported at load time.
const CSystemLibrary& ComCtl32() {
    static const CSystemLibrary library("comctl32.dll");
    return library;
}
} // namespace

CWinApp::CWinApp(const char* lpszAppName) {
    if (lpszAppName) m_strAppName = lpszAppName;
    g_pApp = this;
}

CWinApp::~CWinApp() {
    if (g_pApp == this) g_pApp = nullptr;
}

int CWinApp::AfxWinMain(HINSTANCE hInstance) {
    m_hInstance = hInstance;
    if (m_strAppName.IsEmpty()) {
        // No title string in the resources: the display name is the executable's
        // file name without its extension.
        char path[MAX_PATH] = "";
        ::GetModuleFileNameA(hInstance, path, sizeof(path));
        CString name(path);
        const int slash = name.ReverseFind('\\');
        if (slash >= 0) name = name.Mid(slash + 1);
        const int dot = name.ReverseFind('.');
        if (dot > 0) name = name.Left(dot);
        m_strAppName = name;
    }
    if (!InitInstance()) return ExitInstance();
    MSG msg;
    while (::GetMessageA(&msg, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
    ExitInstance();
    return static_cast<int>(msg.wParam);
}

CWinApp* AfxGetApp() { return g_pApp; }

CWnd* AfxGetMainWnd() { return g_pApp ? g_pApp->m_pMainWnd : nullptr; }

HINSTANCE AfxGetResourceHandle() {
    return g_pApp && g_pApp->m_hInstance ? g_pApp->m_hInstance : ::GetModuleHandleA(nullptr);
}

BOOL AfxEnableControlContainer() {
    INITCOMMONCONTROLSEX icc{};
    icc.dwSize = sizeof(icc);
    icc.dwICC = ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS | ICC_WIN95_CLASSES;
    auto* init = ComCtl32().GetProc<decltype(::InitCommonControlsEx)>("InitCommonControlsEx");
    return init && init(&icc);
}

BOOL AfxTrackMouseEvent(LPTRACKMOUSEEVENT lpEventTrack) {
    auto* track = ComCtl32().GetProc<decltype(::_TrackMouseEvent)>("_TrackMouseEvent");
    return track && track(lpEventTrack);
}

int AfxMessageBox(const char* lpszText, UINT nType, UINT) {
    CWnd* pMain = AfxGetMainWnd();
    HWND hOwner = pMain && ::IsWindow(pMain->m_hWnd) ? pMain->m_hWnd : nullptr;
    const char* caption = g_pApp ? g_pApp->m_strAppName.GetString() : "";
    return ::MessageBoxA(hOwner, lpszText, caption, nType);
}
