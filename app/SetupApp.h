#pragma once
#include "afx/afxwin.h"

class CSetupApp : public CWinApp {
public:
    CSetupApp();
    BOOL InitInstance() override;
};

extern CSetupApp theApp;
