#include "pages/FinishPage.h"

#include "app/SetupDlg.h"
#include "finish/Registry.h"
#include "pages/PageFonts.h"
#include "res/resource.h"

CFinishPage::CFinishPage(CWnd* pParent) : CDialog(IDD_FINISH, pParent) {}

CFinishPage::~CFinishPage() = default;

void CFinishPage::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_CHK_RUNNOW, m_chkRunNow);
    DDX_Control(pDX, IDC_CHK_DESKTOP, m_chkDesktop);
    DDX_Control(pDX, IDC_CHK_STARTUP, m_chkStartup);
    DDX_Control(pDX, IDC_CHK_STARTMENU, m_chkStartMenu);
}

// HBRUSH OnCtlColor(CDC*, CWnd*, UINT)               ON_WM_CTLCOLOR
BEGIN_MESSAGE_MAP(CFinishPage, CDialog)
    ON_WM_CTLCOLOR()
END_MESSAGE_MAP()

BOOL CFinishPage::OnInitDialog() {
    CDialog::OnInitDialog();
    for (int id : {IDC_CHK_STARTMENU, IDC_CHK_STARTUP, IDC_CHK_DESKTOP, IDC_CHK_RUNNOW}) {
        ::SendDlgItemMessageA(m_hWnd, id, BM_SETCHECK, BST_CHECKED, 0);
    }
    return TRUE;
}

HBRUSH CFinishPage::OnCtlColor(CDC* pDC, CWnd* pWnd, UINT nCtlColor) {
    CDialog::OnCtlColor(pDC, pWnd, nCtlColor);
    switch (pWnd ? pWnd->GetDlgCtrlID() : 0) {
    case IDC_FINISH_TEXT:
    case IDC_CHK_STARTMENU:
    case IDC_CHK_STARTUP:
    case IDC_CHK_DESKTOP:
    case IDC_CHK_RUNNOW:
        pDC->SelectObject(EnsurePageFont(m_fontText, 14, FW_NORMAL));
        break;
    case IDC_FINISH_HEADING:
        pDC->SelectObject(EnsurePageFont(m_fontTitle, 17, FW_SEMIBOLD));
        break;
    default:
        break;
    }
    return PaintWhite(pDC, m_brWhite);
}

CString CFinishPage::GetInstallDir() const {
    CSetupDlg* pFrame = static_cast<CSetupDlg*>(CWnd::FromHandlePermanent(::GetParent(m_hWnd)));
    return pFrame ? pFrame->m_pageFolder.m_strFolder : g_strInstallDir;
}
