// The programs that run elevated from the installation folder (the archiver, the
// expander) and the archive the archiver reads: held open, sharing neither writing nor
// deletion, from the moment they are there until the processes that use them have
// ended, so that nobody who can write the folder can change, rename or delete them.
// Reading stays shared, so the archiver and the expander still open and run them.
#pragma once
#include <windows.h>

enum class HeldFile { Archive, Archiver, Expander, Count };

// Writes size bytes to path (an existing file is replaced) with one WriteFile, then
// holds the file as above and reads it back through the held handle. TRUE when the
// file holds exactly these bytes and is held; on FALSE nothing is held.
BOOL WriteHeldFile(HeldFile which, const char* path, const void* data, DWORD size);

// Holds an existing file as above. FALSE when another handle may write it, or it is
// missing.
BOOL HoldFile(HeldFile which, const char* path);

// The same, and only when the held file has exactly this size and CRC-32 (nothing is
// held otherwise).
BOOL HoldFileMatching(HeldFile which, const char* path, ULONGLONG bytes, DWORD crc);

BOOL IsFileHeld(HeldFile which);

// Lets the file go, so that it can be deleted.
void ReleaseHeldFile(HeldFile which);
