// Undoing a started installation: used by the exit question's Yes, by a failed
// start and by an archiver that ended without finishing.
#pragma once
#include <windows.h>

// Terminates the first running process named as the archiver (any letter case) with exit
// code 4 and waits at most dwWaitMs for it to end. FALSE when there was none or it
// could not be terminated.
BOOL StopArchiver(DWORD dwWaitMs = 5000);

// Waits at most dwWaitMs until no process named as the archiver runs; TRUE when none runs.
BOOL WaitForArchiverEnd(DWORD dwWaitMs);

// The uninstall entry's three values, so that the list of installed programs does
// not show what was not installed. The key and "Path" stay.
void RemoveUninstallEntry();

// Lets the held archive and archiver go (HeldFiles.h), then deletes them from dir
// (ending in a backslash) and the uninstall entry's
// DisplayName, DisplayVersion and UninstallString. Files and values
// that are missing are passed over. Stop the archiver first (StopArchiver), or its
// files may still be in use.
void RollBackInstallation(const char* lpszInstallDir);
