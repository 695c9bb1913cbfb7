#include "app/SetupApp.h"

#include "app/SetupDlg.h"

CSetupApp theApp;

CSetupApp::CSetupApp() : CWinApp(nullptr) {}

BOOL CSetupApp::InitInstance() {
    AfxEnableControlContainer();
    Enable3dControls();
    CSetupDlg dlg;
    m_pMainWnd = &dlg;
    dlg.DoModal();
    m_pMainWnd = nullptr;
    return FALSE;
}
