#pragma once
#include "afx/afxwin.h"

class CFolderPage : public CDialog {
public:
    explicit CFolderPage(CWnd* pParent = nullptr);
    ~CFolderPage() override;
    BOOL OnInitDialog() override;

    HBRUSH OnCtlColor(CDC* pDC, CWnd* pWnd, UINT nCtlColor);
    void OnBrowse();

    CString m_strFolder;
    CFont m_fontTitle;
    CFont m_fontText;
    CFont m_fontLight;
    CBrush m_brWhite;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    DECLARE_MESSAGE_MAP()
};
