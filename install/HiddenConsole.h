// Console programs started without a console window, and the archiver's console read
// from this program. A console that a program allocates, or that a console program
// gets at its start, may be handed to a terminal whose window cannot be hidden; a
// console created with CREATE_NO_WINDOW never has a window.
#pragma once
#include <windows.h>

// Starts commandLine (the program named by its first, quoted item; process creation
// supplies .exe) in workDir, or this program's working folder when null, in a console
// of its own that has no window. It inherits no handle, and its standard handles are
// that console's, never the ones a launcher gave this program. Returns the process
// handle (the caller closes it) with *pid set, or nullptr.
HANDLE StartWithoutWindow(const char* commandLine, const char* workDir, DWORD* pid);

// Leaves any console this program has, attaches to the console of process pid (whose
// handle is process), retrying for up to waitMs while that console is not there yet and
// the process runs, and opens the console's screen buffer ("CONOUT$") for reading. TRUE
// when the screen can be read. The console stays readable after its last process has
// ended, as long as this program stays attached.
BOOL AttachArchiverConsole(HANDLE process, DWORD pid, DWORD waitMs);

// The attached console's screen buffer, or nullptr.
HANDLE ArchiverScreen();

// Closes the screen buffer and leaves the console.
void DetachArchiverConsole();
