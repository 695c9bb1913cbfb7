// What the installation start shares with the rest of the engine: the running
// processes by name and the payload resources of the program's own executable.
#pragma once
#include <windows.h>

// Process id of the first running process whose executable name equals lpszName
// without regard to case, or 0.
DWORD FindProcessByName(const char* lpszName);

struct ResourceBytes {
    const void* data = nullptr;
    DWORD size = 0;
};
// The bytes of resource id of type "setup" (the archive, the archiver) in the running
// executable; empty when the resource is missing.
ResourceBytes LoadPayload(UINT id);
