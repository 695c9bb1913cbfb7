#include "app/SetupDlg.h"
#include "finish/FinishPaths.h"
#include "finish/Registry.h"
#include "finish/ShellLink.h"
#include "finish/Shortcuts.h"
#include "pages/FinishPage.h"

void CSetupDlg::RunFinishingActions() {
    WriteVersionRecord();
    ShowWindow(SW_HIDE);
    m_pageFinish.AddStartupShortcut(m_pageFinish.m_chkStartup.GetCheck() != 0);
    m_pageFinish.AddDesktopShortcut(m_pageFinish.m_chkDesktop.GetCheck() != 0);
    m_pageFinish.AddStartMenuGroup(m_pageFinish.m_chkStartMenu.GetCheck() != 0);
    m_pageFinish.RunInstalledProgram(m_pageFinish.m_chkRunNow.GetCheck() != 0);
    OpenSuccessPage(kSuccessPageCommandLine);
    Sleep(1000);
    SendMessage(WM_CLOSE, 0, 0);
}

void CFinishPage::AddStartupShortcut(BOOL bChecked) {
    if (bChecked) CreateStartupShortcut(GetInstallDir());
}

void CFinishPage::AddDesktopShortcut(BOOL bChecked) {
    if (bChecked) CreateDesktopShortcut(GetInstallDir());
}

void CFinishPage::AddStartMenuGroup(BOOL bChecked) {
    if (bChecked) CreateStartMenuGroup(GetInstallDir());
}

void CFinishPage::RunInstalledProgram(BOOL bChecked) {
    if (bChecked) RunProgramIn(GetInstallDir());
}
