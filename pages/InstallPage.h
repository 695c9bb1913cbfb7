// The installing page. Its look is in pages/InstallPage.cpp; the installation itself
// (start, console monitor, pack expansion) is in install/.
#pragma once
#include "afx/afxwin.h"

class CSetupDlg;

class CInstallPage : public CDialog {
public:
    explicit CInstallPage(CWnd* pParent = nullptr);
    ~CInstallPage() override;
    BOOL OnInitDialog() override;

    HBRUSH OnCtlColor(CDC* pDC, CWnd* pWnd, UINT nCtlColor);
    void OnTimer(UINT_PTR nIDEvent);

    // install/StartInstall.cpp
    void StartInstall();
    void WriteArchiver();
    // install/ExpandPacks.cpp
    void ExpandPacks(CString strDir);

    CFont m_fontTitle;
    CFont m_fontText;
    CBrush m_brWhite;

    int m_nTicks;
    CProgressCtrl m_progress;
    CString m_strStatus;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    // The frame that owns this page.
    CSetupDlg* GetFrame() const;
    DECLARE_MESSAGE_MAP()
};
