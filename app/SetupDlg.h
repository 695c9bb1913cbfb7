// The wizard frame: hosts the four pages, counts the steps and reacts to Next, Back
// and Cancel.
#pragma once
#include "afx/afxwin.h"
#include "pages/FinishPage.h"
#include "pages/FolderPage.h"
#include "pages/InstallPage.h"
#include "pages/SkinButton.h"
#include "pages/WelcomePage.h"

class CSetupDlg : public CDialog {
public:
    explicit CSetupDlg(CWnd* pParent = nullptr);
    ~CSetupDlg() override;

    BOOL OnInitDialog() override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    void ShowStep();
    void OnNextClicked();
    void OnBackClicked();
    void OnCancelClicked();
    void OnSysCommand(UINT nID, LPARAM lParam);
    void OnPaint();
    HCURSOR OnQueryDragIcon();
    // finish/FinishingActions.cpp
    void RunFinishingActions();

    int m_nStep;
    CSkinButton m_btnCancel;
    CSkinButton m_btnBack;
    CSkinButton m_btnNext;
    CWelcomePage m_pageWelcome;
    CFolderPage m_pageFolder;
    CInstallPage m_pageInstall;
    CFinishPage m_pageFinish;
    HICON m_hIcon;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    void OnOK() override;
    void OnCancel() override;
    DECLARE_MESSAGE_MAP()

private:
    bool m_bCloseRequested = false;
};
