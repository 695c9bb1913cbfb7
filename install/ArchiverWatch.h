// The archiver's process as the installation start saw it. A handle is kept, so that
// its end and its exit code can still be read once it has gone: a program that prints
// a line and stops is not taken for a finished extraction.
#pragma once
#include <windows.h>

// Keeps a handle on process pid, replacing any earlier one. FALSE when it cannot be
// opened; the checks below then fall back to the process list.
BOOL WatchArchiver(DWORD pid);

// TRUE while the watched archiver runs; without one, while any process with the archiver's name
// runs.
BOOL IsArchiverRunning();

// Waits at most dwWaitMs for the watched archiver to end. TRUE with *pdwExitCode set when
// it has ended; FALSE when it still runs or no archiver is watched.
BOOL GetArchiverExitCode(DWORD dwWaitMs, DWORD* pdwExitCode);

// Closes the handle.
void ForgetArchiver();
