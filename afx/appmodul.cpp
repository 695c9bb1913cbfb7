// The program's entry point; linked into setup.exe only (the tests have their own).
#include "afx/afxwin.h"

#include "afx/afxdll.h"

// The C runtime's own entry point, which runs the static constructors and then WinMain.
extern "C" int WinMainCRTStartup();

// The executable's entry point (AFX_ENTRY_POINT in CMakeLists.txt): the DLL search is
// restricted before the C runtime or any static constructor can load a library.
extern "C" __attribute__((force_align_arg_pointer)) int AfxEntryPoint() {
    AfxRestrictDllSearch();
    return WinMainCRTStartup();
}

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int) {
    CWinApp* pApp = AfxGetApp();
    return pApp ? pApp->AfxWinMain(hInstance) : -1;
}
