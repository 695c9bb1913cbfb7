#include "afx/afxwin.h"

#include <map>
#include <memory>
#include <unordered_map>
#include <vector>

namespace {

// One user-interface thread: plain globals are enough.
std::unordered_map<HWND, CWnd*>& PermanentMap() {
    static std::unordered_map<HWND, CWnd*> map;
    return map;
}

std::map<HWND, std::unique_ptr<CWnd>>& TemporaryMap() {
    static std::map<HWND, std::unique_ptr<CWnd>> map;
    return map;
}

MSG g_lastMsg{};
int g_dispatchDepth = 0;

} // namespace

// ---------------------------------------------------------------------------
// Handle map

CWnd* CWnd::FromHandlePermanent(HWND hWnd) {
    auto it = PermanentMap().find(hWnd);
    return it == PermanentMap().end() ? nullptr : it->second;
}

CWnd* CWnd::FromHandle(HWND hWnd) {
    if (!hWnd) return nullptr;
    if (CWnd* p = FromHandlePermanent(hWnd)) return p;
    auto& temp = TemporaryMap()[hWnd];
    if (!temp) {
        temp.reset(new CWnd);
        temp->m_hWnd = hWnd;
    }
    return temp.get();
}

CWnd::~CWnd() {
    if (m_hWnd && FromHandlePermanent(m_hWnd) == this) UnsubclassWindow();
}

BOOL CWnd::Attach(HWND hWnd) {
    if (!hWnd || m_hWnd) return FALSE;
    m_hWnd = hWnd;
    PermanentMap()[hWnd] = this;
    TemporaryMap().erase(hWnd);
    return TRUE;
}

HWND CWnd::Detach() {
    HWND h = m_hWnd;
    if (h) {
        auto it = PermanentMap().find(h);
        if (it != PermanentMap().end() && it->second == this) PermanentMap().erase(it);
    }
    m_hWnd = nullptr;
    return h;
}

BOOL CWnd::SubclassWindow(HWND hWnd) {
    if (!Attach(hWnd)) return FALSE;
    PreSubclassWindow();
    auto old = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrA(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CWnd::AfxWndProc)));
    if (!old) {
        Detach();
        return FALSE;
    }
    m_pfnSuper = old;
    return TRUE;
}

BOOL CWnd::SubclassDlgItem(UINT nID, CWnd* pParent) {
    HWND hCtl = ::GetDlgItem(pParent->m_hWnd, static_cast<int>(nID));
    return hCtl ? SubclassWindow(hCtl) : FALSE;
}

HWND CWnd::UnsubclassWindow() {
    if (m_pfnSuper && m_hWnd &&
        GetWindowLongPtrA(m_hWnd, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(&CWnd::AfxWndProc)) {
        SetWindowLongPtrA(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnSuper));
    }
    m_pfnSuper = nullptr;
    return Detach();
}

// ---------------------------------------------------------------------------
// Dispatch

LRESULT CALLBACK CWnd::AfxWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    CWnd* pWnd = FromHandlePermanent(hWnd);
    if (!pWnd) return ::DefWindowProcA(hWnd, message, wParam, lParam);

    const MSG saved = g_lastMsg;
    g_lastMsg = MSG{hWnd, message, wParam, lParam, 0, {0, 0}};
    ++g_dispatchDepth;
    LRESULT result = pWnd->WindowProc(message, wParam, lParam);
    if (message == WM_NCDESTROY && FromHandlePermanent(hWnd) == pWnd) {
        pWnd->UnsubclassWindow();
        pWnd->PostNcDestroy();
    }
    --g_dispatchDepth;
    g_lastMsg = saved;
    if (g_dispatchDepth == 0) TemporaryMap().clear();
    return result;
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (!OnWndMsg(message, wParam, lParam, &result)) result = DefWindowProc(message, wParam, lParam);
    return result;
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (m_pfnSuper) return ::CallWindowProcA(m_pfnSuper, m_hWnd, message, wParam, lParam);
    return ::DefWindowProcA(m_hWnd, message, wParam, lParam);
}

LRESULT CWnd::Default() { return DefWindowProc(g_lastMsg.message, g_lastMsg.wParam, g_lastMsg.lParam); }

BOOL CWnd::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
    if (message == WM_DRAWITEM) {
        auto* dis = reinterpret_cast<LPDRAWITEMSTRUCT>(lParam);
        if (dis && dis->CtlType != ODT_MENU) {
            CWnd* pChild = FromHandlePermanent(dis->hwndItem);
            if (pChild && pChild->OnChildNotify(message, wParam, lParam, pResult)) return TRUE;
        }
    }
    return FALSE;
}

BOOL CWnd::OnChildNotify(UINT, WPARAM, LPARAM, LRESULT*) { return FALSE; }

HBRUSH CWnd::OnCtlColor(CDC*, CWnd*, UINT) { return reinterpret_cast<HBRUSH>(Default()); }

void CWnd::DoDataExchange(CDataExchange*) {}

BOOL CWnd::UpdateData(BOOL bSaveAndValidate) {
    if (!m_hWnd) return FALSE;
    CDataExchange dx(this, bSaveAndValidate);
    DoDataExchange(&dx);
    return TRUE;
}

// ---------------------------------------------------------------------------
// Window operations

void CWnd::GetWindowText(CString& rString) const {
    const int len = ::GetWindowTextLengthA(m_hWnd);
    std::vector<char> buf(static_cast<size_t>(len > 0 ? len : 0) + 1, '\0');
    ::GetWindowTextA(m_hWnd, buf.data(), static_cast<int>(buf.size()));
    rString = buf.data();
}

CWnd* CWnd::GetDlgItem(int nID) const {
    if (nID != -1) return FromHandle(::GetDlgItem(m_hWnd, nID));
    // Child windows keep template order; an id of -1 is stored as 0xFFFF or ~0.
    for (HWND h = ::GetWindow(m_hWnd, GW_CHILD); h; h = ::GetWindow(h, GW_HWNDNEXT)) {
        if (static_cast<WORD>(::GetWindowLongPtrA(h, GWLP_ID)) == 0xFFFF) return FromHandle(h);
    }
    return nullptr;
}

CWnd* CWnd::GetParent() const { return FromHandle(::GetParent(m_hWnd)); }

CMenu* CWnd::GetSystemMenu(BOOL bRevert) {
    m_menuSystem.m_hMenu = ::GetSystemMenu(m_hWnd, bRevert);
    return m_menuSystem.m_hMenu ? &m_menuSystem : nullptr;
}

void CWnd::ScreenToClient(LPRECT lpRect) const {
    ::MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<LPPOINT>(lpRect), 2);
}

BOOL CWnd::ModifyStyle(DWORD dwRemove, DWORD dwAdd, UINT nFlags) {
    const DWORD style = static_cast<DWORD>(::GetWindowLongA(m_hWnd, GWL_STYLE));
    const DWORD newStyle = (style & ~dwRemove) | dwAdd;
    if (style == newStyle) return FALSE;
    ::SetWindowLongA(m_hWnd, GWL_STYLE, static_cast<LONG>(newStyle));
    if (nFlags) {
        ::SetWindowPos(m_hWnd, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | nFlags);
    }
    return TRUE;
}

BOOL CWnd::DestroyWindow() { return m_hWnd ? ::DestroyWindow(m_hWnd) : FALSE; }

// ---------------------------------------------------------------------------
// Data exchange

void DDX_Text(CDataExchange* pDX, int nIDC, CString& value) {
    HWND hCtl = ::GetDlgItem(pDX->m_pDlgWnd->m_hWnd, nIDC);
    if (!hCtl) return;
    if (pDX->m_bSaveAndValidate) {
        CWnd::FromHandle(hCtl)->GetWindowText(value);
    } else {
        ::SetWindowTextA(hCtl, value);
    }
}

void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl) {
    if (rControl.m_hWnd) return;
    rControl.SubclassDlgItem(static_cast<UINT>(nIDC), pDX->m_pDlgWnd);
}

// ---------------------------------------------------------------------------
// Buttons

void CButton::DrawItem(LPDRAWITEMSTRUCT) {}

BOOL CButton::OnChildNotify(UINT message, WPARAM, LPARAM lParam, LRESULT* pResult) {
    if (message != WM_DRAWITEM) return FALSE;
    DrawItem(reinterpret_cast<LPDRAWITEMSTRUCT>(lParam));
    *pResult = TRUE;
    return TRUE;
}

// ---------------------------------------------------------------------------
// Dialogs

CDialog::~CDialog() = default;

INT_PTR CALLBACK CDialog::AfxDlgProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    // Messages before WM_INITDIALOG belong to the dialog manager; afterwards the
    // window is subclassed and this procedure only answers "not handled".
    if (message != WM_INITDIALOG) return FALSE;
    auto* pDlg = reinterpret_cast<CDialog*>(lParam);
    if (!pDlg || !pDlg->SubclassWindow(hWnd)) return TRUE;
    return static_cast<INT_PTR>(CWnd::AfxWndProc(hWnd, message, wParam, lParam));
}

INT_PTR CDialog::DoModal() {
    HINSTANCE hInst = AfxGetResourceHandle();
    if (!::FindResourceA(hInst, MAKEINTRESOURCEA(m_nIDTemplate), reinterpret_cast<LPCSTR>(RT_DIALOG))) return -1;
    HWND hOwner = nullptr;
    if (m_pParentWnd) {
        hOwner = m_pParentWnd->m_hWnd;
    } else if (CWnd* pMain = AfxGetMainWnd(); pMain && pMain != this && ::IsWindow(pMain->m_hWnd)) {
        hOwner = pMain->m_hWnd;
    }
    m_bModal = true;
    const INT_PTR result = ::DialogBoxParamA(hInst, MAKEINTRESOURCEA(m_nIDTemplate), hOwner, &CDialog::AfxDlgProc,
                                             reinterpret_cast<LPARAM>(this));
    m_bModal = false;
    return result;
}

BOOL CDialog::Create(UINT nIDTemplate, CWnd* pParentWnd) {
    m_nIDTemplate = nIDTemplate;
    if (pParentWnd) m_pParentWnd = pParentWnd;
    m_bModal = false;
    HWND h = ::CreateDialogParamA(AfxGetResourceHandle(), MAKEINTRESOURCEA(nIDTemplate),
                                  m_pParentWnd ? m_pParentWnd->m_hWnd : nullptr, &CDialog::AfxDlgProc,
                                  reinterpret_cast<LPARAM>(this));
    return h != nullptr;
}

void CDialog::EndDialog(int nResult) {
    if (m_bModal) ::EndDialog(m_hWnd, nResult);
}

BOOL CDialog::OnInitDialog() {
    UpdateData(FALSE);
    return TRUE;
}

// A modeless page ignores OK and Cancel: only a modal run can be ended by them.
void CDialog::OnOK() { EndDialog(IDOK); }
void CDialog::OnCancel() { EndDialog(IDCANCEL); }

BOOL CDialog::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
    if (message == WM_INITDIALOG) {
        *pResult = OnInitDialog();
        return TRUE;
    }
    if (message == WM_COMMAND && (lParam == 0 || HIWORD(wParam) == BN_CLICKED)) {
        if (LOWORD(wParam) == IDOK) {
            OnOK();
            *pResult = 0;
            return TRUE;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            OnCancel();
            *pResult = 0;
            return TRUE;
        }
    }
    return CWnd::OnWndMsg(message, wParam, lParam, pResult);
}

void CDialog::PostNcDestroy() {}
