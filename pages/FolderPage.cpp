#include "pages/FolderPage.h"

#include <shlobj.h>

#include "finish/Registry.h"
#include "pages/PageFonts.h"
#include "product.h"
#include "res/resource.h"

CFolderPage::CFolderPage(CWnd* pParent) : CDialog(IDD_FOLDER, pParent) {}

CFolderPage::~CFolderPage() = default;

void CFolderPage::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    DDX_Text(pDX, IDC_FOLDER_EDIT, m_strFolder);
}

// HBRUSH OnCtlColor(CDC*, CWnd*, UINT)               ON_WM_CTLCOLOR
// void OnBrowse()                                    ON_BN_CLICKED
BEGIN_MESSAGE_MAP(CFolderPage, CDialog)
    ON_WM_CTLCOLOR()
    ON_BN_CLICKED(IDC_BROWSE, OnBrowse)
END_MESSAGE_MAP()

BOOL CFolderPage::OnInitDialog() {
    CDialog::OnInitDialog();
    m_strFolder = product::kFolderDefault;
    UpdateData(FALSE);
    g_strInstallDir = m_strFolder;
    return TRUE;
}

HBRUSH CFolderPage::OnCtlColor(CDC* pDC, CWnd* pWnd, UINT nCtlColor) {
    HBRUSH hbr = CDialog::OnCtlColor(pDC, pWnd, nCtlColor);
    switch (pWnd ? pWnd->GetDlgCtrlID() : 0) {
    case IDC_FOLDER_SUBTITLE:
        pDC->SelectObject(EnsurePageFont(m_fontText, 13, FW_NORMAL));
        return PaintWhite(pDC, m_brWhite);
    case IDC_FOLDER_TITLE:
        pDC->SelectObject(EnsurePageFont(m_fontTitle, 14, FW_SEMIBOLD));
        return PaintWhite(pDC, m_brWhite);
    case IDC_FOLDER_TEXT:
        pDC->SelectObject(EnsurePageFont(m_fontText, 13, FW_NORMAL));
        return hbr;
    case IDC_FOLDER_GROUP:
    case IDC_BROWSE:
        pDC->SelectObject(EnsurePageFont(m_fontLight, 13, FW_EXTRALIGHT));
        return hbr;
    default:
        return hbr;
    }
}

void CFolderPage::OnBrowse() {
    char displayName[MAX_PATH] = "";
    BROWSEINFOA bi{};
    bi.hwndOwner = m_hWnd;
    bi.pidlRoot = nullptr;
    bi.pszDisplayName = displayName;
    bi.lpszTitle = product::kFolderBrowseTitle;
    bi.ulFlags = 0;
    LPITEMIDLIST pidl = ::SHBrowseForFolderA(&bi);
    if (!pidl) return;
    char path[MAX_PATH] = "";
    ::SHGetPathFromIDListA(pidl, path);
    ::CoTaskMemFree(pidl);
    m_strFolder = path;
    g_strInstallDir = m_strFolder;
    UpdateData(FALSE);
}
