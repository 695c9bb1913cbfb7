#include "app/SetupDlg.h"

#include "app/AboutDlg.h"
#include "app/ExitConfirmDlg.h"
#include "app/FolderText.h"
#include "finish/Registry.h"
#include "product.h"
#include "res/resource.h"

CSetupDlg::CSetupDlg(CWnd* pParent) : CDialog(IDD_SETUP_DIALOG, pParent), m_nStep(0) {
    m_hIcon = ::LoadIconA(AfxGetResourceHandle(), MAKEINTRESOURCEA(IDR_MAINFRAME));
}

CSetupDlg::~CSetupDlg() = default;

void CSetupDlg::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_CANCEL_SETUP, m_btnCancel);
    DDX_Control(pDX, IDC_BACK, m_btnBack);
    DDX_Control(pDX, IDC_NEXT, m_btnNext);
}

// void OnSysCommand(UINT, LPARAM)                    ON_WM_SYSCOMMAND
// void OnPaint()                                     ON_WM_PAINT
// HCURSOR OnQueryDragIcon()                          ON_WM_QUERYDRAGICON
// void OnNextClicked(), OnBackClicked(), OnCancelClicked()   ON_BN_CLICKED
BEGIN_MESSAGE_MAP(CSetupDlg, CDialog)
    ON_WM_SYSCOMMAND()
    ON_WM_PAINT()
    ON_WM_QUERYDRAGICON()
    ON_BN_CLICKED(IDC_NEXT, OnNextClicked)
    ON_BN_CLICKED(IDC_BACK, OnBackClicked)
    ON_BN_CLICKED(IDC_CANCEL_SETUP, OnCancelClicked)
END_MESSAGE_MAP()

BOOL CSetupDlg::OnInitDialog() {
    CDialog::OnInitDialog();

    if (CMenu* pSysMenu = GetSystemMenu(FALSE)) {
        char about[256] = "";
        ::LoadStringA(AfxGetResourceHandle(), IDS_ABOUTBOX, about, sizeof(about));
        if (about[0]) {
            pSysMenu->AppendMenu(MF_SEPARATOR);
            pSysMenu->AppendMenu(MF_STRING, IDM_ABOUTBOX, about);
        }
    }
    SetIcon(m_hIcon, TRUE);
    SetIcon(m_hIcon, FALSE);

    m_nStep = 1;
    m_pageWelcome.Create(IDD_WELCOME, this);
    m_pageFolder.Create(IDD_FOLDER, this);
    m_pageInstall.Create(IDD_INSTALL, this);
    m_pageFinish.Create(IDD_FINISH, this);

    RECT rc{0, 0, 0, 0};
    if (CWnd* pPlaceholder = GetDlgItem(-1)) {
        pPlaceholder->GetWindowRect(&rc);
        ScreenToClient(&rc);
        // The placeholder lies above the pages and would paint its text over them.
        pPlaceholder->ShowWindow(SW_HIDE);
    }
    for (CDialog* pPage : {static_cast<CDialog*>(&m_pageWelcome), static_cast<CDialog*>(&m_pageFolder),
                           static_cast<CDialog*>(&m_pageInstall), static_cast<CDialog*>(&m_pageFinish)}) {
        pPage->MoveWindow(rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, TRUE);
    }
    ShowStep();
    return TRUE;
}

void CSetupDlg::ShowStep() {
    switch (m_nStep) {
    case 1:
        m_btnBack.ShowWindow(SW_HIDE);
        m_pageWelcome.ShowWindow(SW_SHOW);
        m_pageFolder.ShowWindow(SW_HIDE);
        m_pageInstall.ShowWindow(SW_HIDE);
        m_pageFinish.ShowWindow(SW_HIDE);
        break;
    case 2:
        m_btnBack.ShowWindow(SW_SHOW);
        m_pageWelcome.ShowWindow(SW_HIDE);
        m_pageFolder.ShowWindow(SW_SHOW);
        m_pageInstall.ShowWindow(SW_HIDE);
        m_pageFinish.ShowWindow(SW_HIDE);
        break;
    case 3:
        if (CMenu* pSysMenu = GetSystemMenu(FALSE)) pSysMenu->EnableMenuItem(SC_CLOSE, MF_BYCOMMAND | MF_GRAYED);
        m_pageWelcome.ShowWindow(SW_HIDE);
        m_pageFolder.ShowWindow(SW_HIDE);
        m_pageInstall.ShowWindow(SW_SHOW);
        m_pageFinish.ShowWindow(SW_HIDE);
        break;
    case 4:
        m_btnNext.SetWindowText(product::kTextsFinish);
        m_pageWelcome.ShowWindow(SW_HIDE);
        m_pageFolder.ShowWindow(SW_HIDE);
        m_pageInstall.ShowWindow(SW_HIDE);
        m_pageFinish.ShowWindow(SW_SHOW);
        break;
    default:
        break;
    }
}

void CSetupDlg::OnNextClicked() {
    ++m_nStep;
    if (m_nStep == 3) {
        m_pageFolder.UpdateData(TRUE);
        NormalizeFolder(m_pageFolder.m_strFolder);
        g_strInstallDir = m_pageFolder.m_strFolder;
        m_pageInstall.StartInstall();
    }
    if (m_nStep == 5) RunFinishingActions();
    ShowStep();
}

void CSetupDlg::OnBackClicked() {
    --m_nStep;
    ShowStep();
}

void CSetupDlg::OnCancelClicked() {
    CExitConfirmDlg dlg;
    dlg.DoModal();
}

LRESULT CSetupDlg::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_SYSCOMMAND && wParam == SC_CLOSE) {
        OnCancelClicked();
        return 0;
    }
    // The default dialog handling turns WM_CLOSE into IDCANCEL; remember that the
    // cancel command which follows is a close request, not the Escape key.
    if (message == WM_CLOSE) m_bCloseRequested = true;
    return CDialog::WindowProc(message, wParam, lParam);
}

// Owner-drawn buttons are not push buttons to the dialog manager, so Enter arrives
// as IDOK: it presses the focused frame button and never ends the wizard.
void CSetupDlg::OnOK() {
    HWND hFocus = ::GetFocus();
    for (CSkinButton* pButton : {&m_btnNext, &m_btnBack, &m_btnCancel}) {
        if (pButton->m_hWnd == hFocus && pButton->IsWindowEnabled() && pButton->IsWindowVisible()) {
            SendMessage(WM_COMMAND, MAKEWPARAM(pButton->GetDlgCtrlID(), BN_CLICKED), reinterpret_cast<LPARAM>(hFocus));
            return;
        }
    }
}

// Escape does what Cancel does while Cancel is enabled, so no key skips the exit
// question and its roll-back. Only a close request ends the modal run.
void CSetupDlg::OnCancel() {
    if (m_bCloseRequested) {
        CDialog::OnCancel();
    } else if (m_btnCancel.IsWindowEnabled() && m_btnCancel.IsWindowVisible()) {
        OnCancelClicked();
    }
}

void CSetupDlg::OnSysCommand(UINT nID, LPARAM) {
    if ((nID & 0xFFF0) == IDM_ABOUTBOX) {
        CAboutDlg dlgAbout;
        dlgAbout.DoModal();
    } else {
        Default();
    }
}

void CSetupDlg::OnPaint() {
    if (IsIconic()) {
        CPaintDC dc(this);
        SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.GetSafeHdc()), 0);
        const int cxIcon = ::GetSystemMetrics(SM_CXICON);
        const int cyIcon = ::GetSystemMetrics(SM_CYICON);
        RECT rect;
        GetClientRect(&rect);
        const int x = (rect.right - rect.left - cxIcon + 1) / 2;
        const int y = (rect.bottom - rect.top - cyIcon + 1) / 2;
        dc.DrawIcon(x, y, m_hIcon);
    } else {
        Default();
    }
}

HCURSOR CSetupDlg::OnQueryDragIcon() { return static_cast<HCURSOR>(m_hIcon); }
