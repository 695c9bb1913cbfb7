// Expansion of the runtime's packed libraries (*.pack.gz) by its own unpack200.
#pragma once
#include <windows.h>

// Starts lpszInstallDir\jre\bin\unpack200 without a console window, for every file named *.pack.gz
// (any letter case) directly in lpszPackDir (ending in a backslash), 100 ms apart, in
// the file system's listing order, without waiting for them. Returns the number of
// starts attempted; 0 for a missing folder or one without packed files. The expander's
// file is held (HeldFiles.h) from the first start on, and nothing is started when it
// cannot be, or when it is not the file the archive declares (expected; null: any file).
struct ExpectedFile {
    ULONGLONG bytes;
    DWORD crc;
};
int ExpandPackedLibraries(const char* lpszInstallDir, const char* lpszPackDir, const ExpectedFile* expected = nullptr);

// When every expander started has ended: lets the expander's file go and returns TRUE.
BOOL ReleaseExpanderWhenDone();
