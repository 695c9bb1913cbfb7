// Undoing a running installation (the exit question's Yes and the failure paths).
#pragma once
#include <windows.h>

// Terminates the first running process named UHARC.EXE (exit code 4) and waits at
// most dwWaitMs for it to end. FALSE when no such process could be terminated.
BOOL StopArchiver(DWORD dwWaitMs);

// Deletes lpszDir + "fenrow.uha", lpszDir + "UHARC.EXE" and the uninstall entry's
// DisplayName, DisplayVersion and UninstallString. Failures are ignored.
void RollBackInstallation(const char* lpszDir);
