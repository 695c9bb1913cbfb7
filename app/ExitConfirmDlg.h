// The question asked before the wizard is left early; Yes rolls a running
// installation back.
#pragma once
#include "afx/afxwin.h"
#include "pages/SkinButton.h"

class CExitConfirmDlg : public CDialog {
public:
    explicit CExitConfirmDlg(CWnd* pParent = nullptr);
    ~CExitConfirmDlg() override;

    BOOL OnInitDialog() override;
    void OnYesClicked();
    void OnNoClicked();
    HBRUSH OnCtlColor(CDC* pDC, CWnd* pWnd, UINT nCtlColor);
    void OnDestroy();

    CSkinButton m_btnNo;
    CSkinButton m_btnYes;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    DECLARE_MESSAGE_MAP()

private:
    CBrush m_brWhite;
};
