#include "pages/WelcomePage.h"

#include "pages/PageFonts.h"
#include "res/resource.h"

CWelcomePage::CWelcomePage(CWnd* pParent) : CDialog(IDD_WELCOME, pParent) {}

CWelcomePage::~CWelcomePage() = default;

// HBRUSH OnCtlColor(CDC*, CWnd*, UINT)               ON_WM_CTLCOLOR
BEGIN_MESSAGE_MAP(CWelcomePage, CDialog)
    ON_WM_CTLCOLOR()
END_MESSAGE_MAP()

BOOL CWelcomePage::OnInitDialog() {
    CDialog::OnInitDialog();
    return TRUE;
}

HBRUSH CWelcomePage::OnCtlColor(CDC* pDC, CWnd* pWnd, UINT nCtlColor) {
    CDialog::OnCtlColor(pDC, pWnd, nCtlColor);
    pDC->SetBkColor(RGB(255, 255, 255));
    if (nCtlColor == CTLCOLOR_STATIC && pWnd) {
        const int id = pWnd->GetDlgCtrlID();
        if (id == IDC_WELCOME_HEADING) pDC->SelectObject(EnsurePageFont(m_fontTitle, 17, FW_SEMIBOLD));
        if (id == IDC_WELCOME_TEXT) pDC->SelectObject(EnsurePageFont(m_fontText, 13, FW_NORMAL));
    }
    return EnsureWhiteBrush(m_brWhite);
}
