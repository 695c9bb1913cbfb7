// The shell's side of the finishing sequence: shortcut files, the system version test
// and the browser that shows the success page.
#pragma once
#include <windows.h>

#include "afx/afxstr.h"

// The browser started with the success page, at its fixed place.
#define SETUP_BROWSER_PATH "C:\\Program Files\\Internet Explorer\\iexplore.exe"

// Writes a shortcut to lpszTarget at lpszLinkPath (working directory: the target's
// folder, the product's description, show command SW_SHOW). The caller initialises COM.
// FALSE when the link object cannot be made, the path does not fit MAX_PATH UTF-16
// units, or the file cannot be saved (no file is then written).
BOOL CreateShellLink(const char* lpszTarget, const char* lpszLinkPath);

// Starts the browser with lpszCmdLine; 1 when its process was created. When it cannot
// be started, the error text is composed (sent to the debugger output: the wizard is
// hidden by then) and the address is opened with the user's default browser; the
// result is then 0.
int OpenSuccessPage(const char* lpszCmdLine);

// The parts of OpenSuccessPage. StartBrowser: 1 when lpszApplication's process was
// created, 0 otherwise (GetLastError tells why).
int StartBrowser(const char* lpszApplication, const char* lpszCmdLine);
// "执行软件时出错：" followed by the system's message for dwError.
CString BrowserErrorText(DWORD dwError);
// Hands the address in lpszCmdLine (leading blanks skipped) to the default browser;
// FALSE when the shell could not open it.
BOOL OpenWithDefaultBrowser(const char* lpszCmdLine);

// TRUE when the running system reports major version 5 (2000, XP, Server 2003).
BOOL IsOsMajorVersion5();
// The same test on a version record, for the tests.
BOOL IsOsMajorVersion5(const OSVERSIONINFOA& vi);
