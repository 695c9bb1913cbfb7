#pragma once
#include "afx/afxwin.h"

class CFinishPage : public CDialog {
public:
    explicit CFinishPage(CWnd* pParent = nullptr);
    ~CFinishPage() override;
    BOOL OnInitDialog() override;

    HBRUSH OnCtlColor(CDC* pDC, CWnd* pWnd, UINT nCtlColor);

    // finish/FinishingActions.cpp: each does nothing at all when bChecked is FALSE.
    void AddStartupShortcut(BOOL bChecked);
    void AddDesktopShortcut(BOOL bChecked);
    void AddStartMenuGroup(BOOL bChecked);
    void RunInstalledProgram(BOOL bChecked);

    CButton m_chkRunNow;
    CButton m_chkDesktop;
    CButton m_chkStartup;
    CButton m_chkStartMenu;
    CFont m_fontTitle;
    CFont m_fontText;
    CBrush m_brWhite;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    // The install directory (the folder page's text, ending in a backslash).
    CString GetInstallDir() const;
    DECLARE_MESSAGE_MAP()
};
