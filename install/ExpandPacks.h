// Expansion of the runtime's packed libraries (*.pack.gz) by its own unpack200.
#pragma once
#include <windows.h>

// Starts lpszInstallDir\jre\bin\unpack200, hidden, for every file named *.pack.gz
// (any letter case) directly in lpszPackDir (ending in a backslash), 100 ms apart, in
// the file system's listing order, without waiting for them. Returns the number of
// starts attempted; 0 for a missing folder or one without packed files.
int ExpandPackedLibraries(const char* lpszInstallDir, const char* lpszPackDir);
