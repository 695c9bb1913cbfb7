// Making the installation folder: every missing level, and an access list of its own for
// a folder made outside the system's Program Files folders.
#pragma once
#include <windows.h>

// The folder exists, or has been made with every missing level (the levels that end in a
// backslash, as dir ends in one). An existing folder is used as it is. The top-most level
// made gets kMadeFolderAccess unless it lies in a Program Files folder, whose own access
// list is right there; the levels below it inherit. A file of that name is no folder.
bool MakeSureFolderExists(const char* dir);

// Like Program Files': Administrators and SYSTEM full control, Users read and execute,
// for everything below, and nothing inherited from the parent (users may create files in
// a drive's root, for one).
extern const char kMadeFolderAccess[];

// True when path (absolute) is, or lies below, the system's Program Files folder, its
// 32-bit twin or the 64-bit one that a 32-bit process is told of by ProgramW6432.
bool IsInProgramFiles(const char* path);
