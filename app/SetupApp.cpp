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

#if defined(__i386__)
#include <tlhelp32.h>
// The 32-bit program hands these records to the system with these sizes.
static_assert(sizeof(PROCESSENTRY32) == 296, "PROCESSENTRY32");
static_assert(sizeof(OSVERSIONINFOA) == 148, "OSVERSIONINFOA");
static_assert(sizeof(STARTUPINFOA) == 68, "STARTUPINFOA");
static_assert(sizeof(TRACKMOUSEEVENT) == 16, "TRACKMOUSEEVENT");
#endif
