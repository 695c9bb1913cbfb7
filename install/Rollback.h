// Undoing a started installation: used by the exit question's Yes, by a failed
// start and by an archiver that ended without finishing.
#pragma once
#include <windows.h>

// The archiver's process and file name, and the archive's file name.
#define SETUP_ARCHIVER_NAME "UHARC.EXE"
#define SETUP_ARCHIVE_NAME "fenrow.uha"

// Terminates the first running process named UHARC.EXE (any letter case) with exit
// code 4 and waits at most dwWaitMs for it to end. FALSE when there was none or it
// could not be terminated.
BOOL StopArchiver(DWORD dwWaitMs = 5000);

// Waits at most dwWaitMs until no process named UHARC.EXE runs; TRUE when none runs.
BOOL WaitForArchiverEnd(DWORD dwWaitMs);

// The uninstall entry's three values, so that the list of installed programs does
// not show what was not installed. The key and "Path" stay.
void RemoveUninstallEntry();

// Lets the held archive and archiver go (HeldFiles.h), then deletes dir + "fenrow.uha"
// and dir + "UHARC.EXE" (dir ends in a backslash) and the uninstall entry's
// DisplayName, DisplayVersion and UninstallString. Files and values
// that are missing are passed over. Stop the archiver first (StopArchiver), or its
// files may still be in use.
void RollBackInstallation(const char* lpszInstallDir);
