// The framework layer: the small subset of the classic dialog-application classes
// that setup.exe uses, written on the raw Win32 API (ANSI functions).
//
// Window wrappers (CWnd and its descendants) never own their HWND. GDI wrappers own
// their handle, delete it in their destructor and cannot be copied.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <type_traits>

#include "afx/afxstr.h"

class CWnd;
class CDialog;
class CDC;
class CMenu;
class CWinApp;

#define AFX_NONCOPYABLE(cls)                                                                                           \
    cls(const cls&) = delete;                                                                                          \
    cls& operator=(const cls&) = delete

// ---------------------------------------------------------------------------
// GDI objects

class CGdiObject {
public:
    CGdiObject() = default;
    virtual ~CGdiObject() { DeleteObject(); }
    AFX_NONCOPYABLE(CGdiObject);

    HGDIOBJ GetSafeHandle() const { return m_hObject; }
    // Returns FALSE when there was nothing to delete.
    BOOL DeleteObject();

protected:
    // Takes ownership of h; FALSE (and nothing kept) when h is NULL.
    BOOL Attach(HGDIOBJ h);
    HGDIOBJ m_hObject = nullptr;
};

class CPen : public CGdiObject {
public:
    CPen() = default;
    CPen(int nPenStyle, int nWidth, COLORREF crColor) { CreatePen(nPenStyle, nWidth, crColor); }
    // FALSE when the pen cannot be made; the object then stays empty.
    BOOL CreatePen(int nPenStyle, int nWidth, COLORREF crColor);
    operator HPEN() const { return static_cast<HPEN>(m_hObject); }
};

class CBrush : public CGdiObject {
public:
    CBrush() = default;
    explicit CBrush(COLORREF crColor) { CreateSolidBrush(crColor); }
    // FALSE when the brush cannot be made; the object then stays empty.
    BOOL CreateSolidBrush(COLORREF crColor);
    operator HBRUSH() const { return static_cast<HBRUSH>(m_hObject); }
};

class CFont : public CGdiObject {
public:
    // FALSE when the font cannot be made; the object then stays empty.
    BOOL CreateFont(int nHeight, int nWidth, int nEscapement, int nOrientation, int nWeight, BYTE bItalic,
                    BYTE bUnderline, BYTE cStrikeOut, BYTE nCharSet, BYTE nOutPrecision, BYTE nClipPrecision,
                    BYTE nQuality, BYTE nPitchAndFamily, const char* lpszFacename);
    operator HFONT() const { return static_cast<HFONT>(m_hObject); }
};

// Device context wrapper. A CDC made from an HDC does not own it.
class CDC {
public:
    CDC() = default;
    explicit CDC(HDC hDC) : m_hDC(hDC) {}
    virtual ~CDC() = default;
    AFX_NONCOPYABLE(CDC);

    HDC GetSafeHdc() const { return m_hDC; }
    operator HDC() const { return m_hDC; }
    void Attach(HDC hDC) { m_hDC = hDC; }
    HDC Detach() {
        HDC h = m_hDC;
        m_hDC = nullptr;
        return h;
    }

    int SaveDC() { return ::SaveDC(m_hDC); }
    BOOL RestoreDC(int nSavedDC) { return ::RestoreDC(m_hDC, nSavedDC); }
    HGDIOBJ SelectObject(HGDIOBJ h) { return ::SelectObject(m_hDC, h); }
    COLORREF SetBkColor(COLORREF c) { return ::SetBkColor(m_hDC, c); }
    int SetBkMode(int nBkMode) { return ::SetBkMode(m_hDC, nBkMode); }
    COLORREF GetPixel(int x, int y) const { return ::GetPixel(m_hDC, x, y); }
    BOOL RoundRect(int x1, int y1, int x2, int y2, int x3, int y3) {
        return ::RoundRect(m_hDC, x1, y1, x2, y2, x3, y3);
    }
    POINT MoveTo(int x, int y);
    BOOL LineTo(int x, int y) { return ::LineTo(m_hDC, x, y); }
    POINT GetCurrentPosition() const;
    void FillRect(const RECT* lpRect, HBRUSH hBrush) { ::FillRect(m_hDC, lpRect, hBrush); }
    void DrawFocusRect(const RECT* lpRect) { ::DrawFocusRect(m_hDC, lpRect); }
    BOOL DrawIcon(int x, int y, HICON hIcon) { return ::DrawIcon(m_hDC, x, y, hIcon); }
    SIZE GetTextExtent(const char* psz, int nCount) const;

protected:
    HDC m_hDC = nullptr;
};

// BeginPaint/EndPaint for the lifetime of the object.
class CPaintDC : public CDC {
public:
    explicit CPaintDC(CWnd* pWnd);
    ~CPaintDC() override;
    AFX_NONCOPYABLE(CPaintDC);

    PAINTSTRUCT m_ps{};

private:
    HWND m_hWnd;
};

// Selects a GDI object into a device context and puts the previous one back when the
// scope ends.
class CSelectScope {
public:
    CSelectScope(HDC hDC, HGDIOBJ hObject) : m_hDC(hDC), m_hOld(::SelectObject(hDC, hObject)) {}
    ~CSelectScope() {
        if (m_hOld && m_hOld != HGDI_ERROR) ::SelectObject(m_hDC, m_hOld);
    }
    AFX_NONCOPYABLE(CSelectScope);

private:
    HDC m_hDC;
    HGDIOBJ m_hOld;
};

// ---------------------------------------------------------------------------
// Menus (non-owning: the system menu belongs to its window)

class CMenu {
public:
    explicit CMenu(HMENU hMenu = nullptr) : m_hMenu(hMenu) {}
    HMENU GetSafeHmenu() const { return m_hMenu; }
    BOOL AppendMenu(UINT nFlags, UINT_PTR nIDNewItem = 0, const char* lpszNewItem = nullptr) {
        return ::AppendMenuA(m_hMenu, nFlags, nIDNewItem, lpszNewItem);
    }
    // Previous state, or -1 when the item does not exist.
    UINT EnableMenuItem(UINT nIDEnableItem, UINT nEnable) { return ::EnableMenuItem(m_hMenu, nIDEnableItem, nEnable); }
    UINT GetMenuState(UINT nID, UINT nFlags) const { return ::GetMenuState(m_hMenu, nID, nFlags); }

    HMENU m_hMenu;
};

// ---------------------------------------------------------------------------
// Data exchange

class CDataExchange {
public:
    CDataExchange(CWnd* pDlgWnd, BOOL bSaveAndValidate) : m_bSaveAndValidate(bSaveAndValidate), m_pDlgWnd(pDlgWnd) {}
    BOOL m_bSaveAndValidate;
    CWnd* m_pDlgWnd;
};

void DDX_Text(CDataExchange* pDX, int nIDC, CString& value);
void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl);

// ---------------------------------------------------------------------------
// Windows

class CWnd {
public:
    CWnd() = default;
    virtual ~CWnd();
    AFX_NONCOPYABLE(CWnd);

    HWND m_hWnd = nullptr;
    operator HWND() const { return m_hWnd; }
    HWND GetSafeHwnd() const { return m_hWnd; }

    // The object attached to hWnd, or a temporary wrapper that lives until the
    // outermost message being dispatched has been handled. NULL for a NULL handle.
    static CWnd* FromHandle(HWND hWnd);
    // The object attached to hWnd, or NULL.
    static CWnd* FromHandlePermanent(HWND hWnd);

    // Attaches this object to an existing window; FALSE when hWnd is NULL or the
    // object already has a window.
    BOOL Attach(HWND hWnd);
    HWND Detach();
    // Routes the window's messages through this object; FALSE when the window
    // cannot be subclassed (nothing changes then).
    BOOL SubclassWindow(HWND hWnd);
    BOOL SubclassDlgItem(UINT nID, CWnd* pParent);
    HWND UnsubclassWindow();

    // Window operations: thin calls, results as the platform gives them.
    BOOL ShowWindow(int nCmdShow) { return ::ShowWindow(m_hWnd, nCmdShow); }
    BOOL EnableWindow(BOOL bEnable = TRUE) { return ::EnableWindow(m_hWnd, bEnable); }
    BOOL IsWindowEnabled() const { return ::IsWindowEnabled(m_hWnd); }
    BOOL IsWindowVisible() const { return ::IsWindowVisible(m_hWnd); }
    BOOL IsIconic() const { return ::IsIconic(m_hWnd); }
    void SetWindowText(const char* lpszString) { ::SetWindowTextA(m_hWnd, lpszString); }
    void GetWindowText(CString& rString) const;
    int GetDlgCtrlID() const { return ::GetDlgCtrlID(m_hWnd); }
    // nID -1 finds the first control without an id of its own, in template order.
    CWnd* GetDlgItem(int nID) const;
    CWnd* GetParent() const;
    CMenu* GetSystemMenu(BOOL bRevert);
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const {
        return ::SendMessageA(m_hWnd, message, wParam, lParam);
    }
    BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const {
        return ::PostMessageA(m_hWnd, message, wParam, lParam);
    }
    void MoveWindow(int x, int y, int nWidth, int nHeight, BOOL bRepaint = TRUE) {
        ::MoveWindow(m_hWnd, x, y, nWidth, nHeight, bRepaint);
    }
    void GetWindowRect(LPRECT lpRect) const { ::GetWindowRect(m_hWnd, lpRect); }
    void GetClientRect(LPRECT lpRect) const { ::GetClientRect(m_hWnd, lpRect); }
    void ScreenToClient(LPRECT lpRect) const;
    void Invalidate(BOOL bErase = TRUE) { ::InvalidateRect(m_hWnd, nullptr, bErase); }
    void InvalidateRect(const RECT* lpRect, BOOL bErase = TRUE) { ::InvalidateRect(m_hWnd, lpRect, bErase); }
    HICON SetIcon(HICON hIcon, BOOL bBigIcon) {
        return reinterpret_cast<HICON>(
                SendMessage(WM_SETICON, bBigIcon ? ICON_BIG : ICON_SMALL, reinterpret_cast<LPARAM>(hIcon)));
    }
    // FALSE when the style did not change.
    BOOL ModifyStyle(DWORD dwRemove, DWORD dwAdd, UINT nFlags = 0);
    UINT_PTR SetTimer(UINT_PTR nIDEvent, UINT nElapse) { return ::SetTimer(m_hWnd, nIDEvent, nElapse, nullptr); }
    BOOL KillTimer(UINT_PTR nIDEvent) { return ::KillTimer(m_hWnd, nIDEvent); }
    HFONT GetFont() const { return reinterpret_cast<HFONT>(SendMessage(WM_GETFONT)); }
    BOOL DestroyWindow();

    // Runs the data exchange; FALSE when it could not run (no window).
    BOOL UpdateData(BOOL bSaveAndValidate = TRUE);

    // Every message to the window passes here first; the default dispatches to the
    // message map (OnWndMsg) and then to the default processing.
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // The default processing of the message being handled.
    LRESULT Default();

    // The one window procedure of every attached window.
    static LRESULT CALLBACK AfxWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

protected:
    virtual void DoDataExchange(CDataExchange* pDX);
    virtual void PreSubclassWindow() {}
    // The message map: TRUE when a handler took the message (its result in *pResult).
    virtual BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);
    // A notification a parent passes back to the control that sent it (owner draw).
    virtual BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);
    virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // Called after the last message (WM_NCDESTROY), once the object is detached.
    virtual void PostNcDestroy() {}

    // The framework's default colour processing.
    HBRUSH OnCtlColor(CDC* pDC, CWnd* pWnd, UINT nCtlColor);

    WNDPROC m_pfnSuper = nullptr;

private:
    friend class CDialog;
    CMenu m_menuSystem;
};

class CButton : public CWnd {
public:
    int GetCheck() const { return static_cast<int>(SendMessage(BM_GETCHECK)); }
    void SetCheck(int nCheck) { SendMessage(BM_SETCHECK, static_cast<WPARAM>(nCheck)); }
    // Owner-drawn buttons paint here: their parent passes WM_DRAWITEM back to them.
    virtual void DrawItem(LPDRAWITEMSTRUCT lpDrawItemStruct);

protected:
    BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;
};

class CProgressCtrl : public CWnd {
public:
    void SetRange(short nLower, short nUpper) { SendMessage(PBM_SETRANGE, 0, MAKELPARAM(nLower, nUpper)); }
    int SetPos(int nPos) { return static_cast<int>(SendMessage(PBM_SETPOS, static_cast<WPARAM>(nPos))); }
    int GetPos() const { return static_cast<int>(SendMessage(PBM_GETPOS)); }
};

class CDialog : public CWnd {
public:
    explicit CDialog(UINT nIDTemplate, CWnd* pParentWnd = nullptr)
        : m_nIDTemplate(nIDTemplate), m_pParentWnd(pParentWnd) {}
    ~CDialog() override;

    // Runs the dialog modally: the owner (the parent, else the application's main
    // window) is disabled while it runs and the thread's other messages keep being
    // dispatched. -1 when the template is missing or the dialog cannot be made.
    virtual INT_PTR DoModal();
    // Creates the dialog modelessly as a child of pParentWnd; FALSE on failure.
    virtual BOOL Create(UINT nIDTemplate, CWnd* pParentWnd = nullptr);
    void EndDialog(int nResult);

    virtual BOOL OnInitDialog();

protected:
    virtual void OnOK();
    virtual void OnCancel();
    BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;
    void PostNcDestroy() override;

    UINT m_nIDTemplate;
    CWnd* m_pParentWnd;

private:
    static INT_PTR CALLBACK AfxDlgProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
    bool m_bModal = false;
};

// ---------------------------------------------------------------------------
// The application

class CWinApp {
public:
    explicit CWinApp(const char* lpszAppName = nullptr);
    virtual ~CWinApp();
    AFX_NONCOPYABLE(CWinApp);

    virtual BOOL InitInstance() { return TRUE; }
    virtual int ExitInstance() { return 0; }
    // The help command: the product carries no help file, so it shows nothing.
    void OnHelp() {}
    void Enable3dControls() {}

    HINSTANCE m_hInstance = nullptr;
    CWnd* m_pMainWnd = nullptr;
    // The executable's file name without its extension, unless a name was given.
    CString m_strAppName;

    // Called by the entry point.
    int AfxWinMain(HINSTANCE hInstance);
};

CWinApp* AfxGetApp();
CWnd* AfxGetMainWnd();
HINSTANCE AfxGetResourceHandle();
// Loads the common controls this program uses. InitCommonControlsEx and
// _TrackMouseEvent come from comctl32 in the system folder (afx/afxdll.h); FALSE when
// that library or the function is missing.
BOOL AfxEnableControlContainer();
BOOL AfxTrackMouseEvent(LPTRACKMOUSEEVENT lpEventTrack);
// A message box owned by the main window, captioned with the application's name.
int AfxMessageBox(const char* lpszText, UINT nType = MB_OK, UINT nIDHelp = 0);

// ---------------------------------------------------------------------------
// Message maps.
//
// DECLARE_MESSAGE_MAP() in the class; BEGIN_MESSAGE_MAP(cls, base) ... END_MESSAGE_MAP()
// in its source file. The entries expand into direct calls of the handlers, so each
// handler is checked against the signature written above its macro at compile time.

#define DECLARE_MESSAGE_MAP()                                                                                          \
protected:                                                                                                             \
    BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                                                         \
    BOOL theClass::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {                            \
        using ThisClass = theClass;                                                                                    \
        using TheBaseClass = baseClass;                                                                                \
        (void)sizeof(ThisClass*);                                                                                      \
        if (false) {}

#define END_MESSAGE_MAP()                                                                                              \
    return TheBaseClass::OnWndMsg(message, wParam, lParam, pResult);                                                   \
    }

#define AFX_CHECK_HANDLER(fn, type)                                                                                    \
    static_assert(std::is_same<decltype(&ThisClass::fn), type>::value, #fn " has the wrong signature")

// void fn()
#define ON_BN_CLICKED(id, fn)                                                                                          \
    else if (message == WM_COMMAND && LOWORD(wParam) == (id) && HIWORD(wParam) == BN_CLICKED) {                        \
        AFX_CHECK_HANDLER(fn, void (ThisClass::*)());                                                                  \
        this->fn();                                                                                                    \
        *pResult = 0;                                                                                                  \
        return TRUE;                                                                                                   \
    }

// void OnSysCommand(UINT nID, LPARAM lParam)
#define ON_WM_SYSCOMMAND()                                                                                             \
    else if (message == WM_SYSCOMMAND) {                                                                               \
        AFX_CHECK_HANDLER(OnSysCommand, void (ThisClass::*)(UINT, LPARAM));                                            \
        this->OnSysCommand(static_cast<UINT>(wParam), lParam);                                                         \
        *pResult = 0;                                                                                                  \
        return TRUE;                                                                                                   \
    }

// void OnPaint()
#define ON_WM_PAINT()                                                                                                  \
    else if (message == WM_PAINT) {                                                                                    \
        AFX_CHECK_HANDLER(OnPaint, void (ThisClass::*)());                                                             \
        this->OnPaint();                                                                                               \
        *pResult = 0;                                                                                                  \
        return TRUE;                                                                                                   \
    }

// HCURSOR OnQueryDragIcon()
#define ON_WM_QUERYDRAGICON()                                                                                          \
    else if (message == WM_QUERYDRAGICON) {                                                                            \
        AFX_CHECK_HANDLER(OnQueryDragIcon, HCURSOR (ThisClass::*)());                                                  \
        *pResult = reinterpret_cast<LRESULT>(this->OnQueryDragIcon());                                                 \
        return TRUE;                                                                                                   \
    }

// void OnDestroy()
#define ON_WM_DESTROY()                                                                                                \
    else if (message == WM_DESTROY) {                                                                                  \
        AFX_CHECK_HANDLER(OnDestroy, void (ThisClass::*)());                                                           \
        this->OnDestroy();                                                                                             \
        *pResult = 0;                                                                                                  \
        return TRUE;                                                                                                   \
    }

// void OnTimer(UINT_PTR nIDEvent)
#define ON_WM_TIMER()                                                                                                  \
    else if (message == WM_TIMER) {                                                                                    \
        AFX_CHECK_HANDLER(OnTimer, void (ThisClass::*)(UINT_PTR));                                                     \
        this->OnTimer(static_cast<UINT_PTR>(wParam));                                                                  \
        *pResult = 0;                                                                                                  \
        return TRUE;                                                                                                   \
    }

// HBRUSH OnCtlColor(CDC* pDC, CWnd* pWnd, UINT nCtlColor), for every WM_CTLCOLOR* message
#define ON_WM_CTLCOLOR()                                                                                               \
    else if (message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC) {                                           \
        AFX_CHECK_HANDLER(OnCtlColor, HBRUSH (ThisClass::*)(CDC*, CWnd*, UINT));                                       \
        CDC dc(reinterpret_cast<HDC>(wParam));                                                                         \
        *pResult = reinterpret_cast<LRESULT>(                                                                          \
                this->OnCtlColor(&dc, CWnd::FromHandle(reinterpret_cast<HWND>(lParam)), message - WM_CTLCOLORMSGBOX)); \
        return TRUE;                                                                                                   \
    }

// void OnMouseMove(UINT nFlags, POINT point)
#define ON_WM_MOUSEMOVE()                                                                                              \
    else if (message == WM_MOUSEMOVE) {                                                                                \
        AFX_CHECK_HANDLER(OnMouseMove, void (ThisClass::*)(UINT, POINT));                                              \
        POINT pt = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};                           \
        this->OnMouseMove(static_cast<UINT>(wParam), pt);                                                              \
        *pResult = 0;                                                                                                  \
        return TRUE;                                                                                                   \
    }

// LRESULT fn(WPARAM wParam, LPARAM lParam)
#define ON_MESSAGE(msg, fn)                                                                                            \
    else if (message == (msg)) {                                                                                       \
        AFX_CHECK_HANDLER(fn, LRESULT (ThisClass::*)(WPARAM, LPARAM));                                                 \
        *pResult = this->fn(wParam, lParam);                                                                           \
        return TRUE;                                                                                                   \
    }
