#include "app/ExitConfirmDlg.h"

#include "app/SetupDlg.h"
#include "install/Rollback.h"
#include "res/resource.h"

CExitConfirmDlg::CExitConfirmDlg(CWnd* pParent) : CDialog(IDD_EXITCONFIRM, pParent) {}

CExitConfirmDlg::~CExitConfirmDlg() = default;

void CExitConfirmDlg::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_CONFIRM_NO, m_btnNo);
    DDX_Control(pDX, IDC_CONFIRM_YES, m_btnYes);
}

// void OnYesClicked(), OnNoClicked()                 ON_BN_CLICKED
// HBRUSH OnCtlColor(CDC*, CWnd*, UINT)               ON_WM_CTLCOLOR
// void OnDestroy()                                   ON_WM_DESTROY
BEGIN_MESSAGE_MAP(CExitConfirmDlg, CDialog)
    ON_BN_CLICKED(IDC_CONFIRM_YES, OnYesClicked)
    ON_BN_CLICKED(IDC_CONFIRM_NO, OnNoClicked)
    ON_WM_CTLCOLOR()
    ON_WM_DESTROY()
END_MESSAGE_MAP()

BOOL CExitConfirmDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    if (CMenu* pSysMenu = GetSystemMenu(FALSE)) pSysMenu->EnableMenuItem(SC_CLOSE, MF_BYCOMMAND | MF_GRAYED);
    return TRUE;
}

void CExitConfirmDlg::OnYesClicked() {
    CSetupDlg* pFrame = static_cast<CSetupDlg*>(CWnd::FromHandlePermanent(::GetParent(m_hWnd)));
    const bool installing = pFrame && pFrame->m_nStep == 3;
    // During the installation, wait (bounded) for the archiver to end so that its
    // file and the archive it holds open can be deleted.
    StopArchiver(installing ? 5000 : 0);
    if (installing) RollBackInstallation(pFrame->m_pageFolder.m_strFolder);
    if (pFrame) pFrame->SendMessage(WM_CLOSE);
    SendMessage(WM_CLOSE);
}

void CExitConfirmDlg::OnNoClicked() { SendMessage(WM_CLOSE); }

HBRUSH CExitConfirmDlg::OnCtlColor(CDC* pDC, CWnd* pWnd, UINT nCtlColor) {
    HBRUSH hbr = CDialog::OnCtlColor(pDC, pWnd, nCtlColor);
    if (pWnd && pWnd->GetDlgCtrlID() == IDC_QUESTION) {
        pDC->SetBkColor(RGB(255, 255, 255));
        if (!m_brWhite.GetSafeHandle()) m_brWhite.CreateSolidBrush(RGB(255, 255, 255));
        return m_brWhite;
    }
    return hbr;
}

// The picture control does not free the warning sign it loaded from the template;
// the question is asked again and again, so take it back and delete it.
void CExitConfirmDlg::OnDestroy() {
    if (CWnd* pPicture = GetDlgItem(-1)) {
        HGDIOBJ hBitmap = reinterpret_cast<HGDIOBJ>(pPicture->SendMessage(STM_SETIMAGE, IMAGE_BITMAP, 0));
        if (hBitmap) ::DeleteObject(hBitmap);
    }
    Default();
}
