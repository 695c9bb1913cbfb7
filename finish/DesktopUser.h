// Starting a program for the user at the desktop: an elevated installer would otherwise
// hand its administrator rights to what it starts at the end (the installed program, the
// browser).
#pragma once
#include <windows.h>

// Starts lpszApplication (may be null: then the command line's first token names it)
// with lpszCmdLine, shown with SW_SHOW, in our working folder, as CreateProcessA would.
// When this process is elevated and the desktop's shell process is known, the program
// gets that process's rights instead (CreateProcessWithTokenW with a copy of its
// token); otherwise, or when that start fails, it starts with ours. FALSE when no
// process was created (GetLastError tells why); pi's handles are the caller's to close.
BOOL StartForDesktopUser(const char* lpszApplication, const char* lpszCmdLine, PROCESS_INFORMATION& pi);
