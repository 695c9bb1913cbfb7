#include "pages/InstallPage.h"

#include "app/SetupDlg.h"
#include "pages/PageFonts.h"
#include "res/resource.h"

CInstallPage::CInstallPage(CWnd* pParent) : CDialog(IDD_INSTALL, pParent), m_strStatus("") {}

CInstallPage::~CInstallPage() = default;

void CInstallPage::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_PROGRESS, m_progress);
    DDX_Text(pDX, IDC_STATUS_EDIT, m_strStatus);
}

// void OnTimer(UINT_PTR)                             ON_WM_TIMER
// HBRUSH OnCtlColor(CDC*, CWnd*, UINT)               ON_WM_CTLCOLOR
BEGIN_MESSAGE_MAP(CInstallPage, CDialog)
    ON_WM_TIMER()
    ON_WM_CTLCOLOR()
END_MESSAGE_MAP()

BOOL CInstallPage::OnInitDialog() {
    CDialog::OnInitDialog();
    m_progress.SendMessage(PBM_SETRANGE, 0, MAKELPARAM(0, 100));
    m_strStatus = "";
    m_nTicks = 0;
    return TRUE;
}

CSetupDlg* CInstallPage::GetFrame() const {
    return static_cast<CSetupDlg*>(CWnd::FromHandlePermanent(::GetParent(m_hWnd)));
}

HBRUSH CInstallPage::OnCtlColor(CDC* pDC, CWnd* pWnd, UINT nCtlColor) {
    HBRUSH hbr = CDialog::OnCtlColor(pDC, pWnd, nCtlColor);
    switch (pWnd ? pWnd->GetDlgCtrlID() : 0) {
    case IDC_INSTALL_SUBTITLE:
        pDC->SelectObject(EnsurePageFont(m_fontText, 13, FW_NORMAL));
        return PaintWhite(pDC, m_brWhite);
    case IDC_INSTALL_TITLE:
        pDC->SelectObject(EnsurePageFont(m_fontTitle, 14, FW_SEMIBOLD));
        return PaintWhite(pDC, m_brWhite);
    default:
        return hbr;
    }
}
