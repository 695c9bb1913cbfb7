// The program's entry point; linked into setup.exe only (the tests have their own).
#include "afx/afxwin.h"

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int) {
    CWinApp* pApp = AfxGetApp();
    return pApp ? pApp->AfxWinMain(hInstance) : -1;
}
