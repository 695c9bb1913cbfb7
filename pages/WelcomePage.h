#pragma once
#include "afx/afxwin.h"

class CWelcomePage : public CDialog {
public:
    explicit CWelcomePage(CWnd* pParent = nullptr);
    ~CWelcomePage() override;
    BOOL OnInitDialog() override;

    HBRUSH OnCtlColor(CDC* pDC, CWnd* pWnd, UINT nCtlColor);

    CFont m_fontTitle;
    CFont m_fontText;
    CBrush m_brWhite;

protected:
    DECLARE_MESSAGE_MAP()
};
