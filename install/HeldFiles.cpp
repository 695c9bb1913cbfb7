#include "install/HeldFiles.h"

#include "afx/afxhandle.h"
#include "install/ArchiveIndex.h"

namespace {

CHandle g_held[static_cast<int>(HeldFile::Count)];

CHandle& Slot(HeldFile which) { return g_held[static_cast<int>(which)]; }

// Read access, sharing only reading. It opens only while no other handle may write the
// file, and while it is open no handle that writes, renames or deletes can be opened.
HANDLE OpenForHolding(const char* path) {
    return CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool HoldsExactly(HANDLE h, const void* data, DWORD size) {
    LARGE_INTEGER length;
    if (!GetFileSizeEx(h, &length) || length.QuadPart != static_cast<LONGLONG>(size)) return false;
    if (SetFilePointer(h, 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER) return false;
    const unsigned char* expected = static_cast<const unsigned char*>(data);
    static unsigned char chunk[1 << 16];
    for (DWORD done = 0; done < size;) {
        const DWORD want = size - done < sizeof(chunk) ? size - done : static_cast<DWORD>(sizeof(chunk));
        DWORD got = 0;
        if (!ReadFile(h, chunk, want, &got, nullptr) || got != want) return false;
        if (memcmp(chunk, expected + done, want) != 0) return false;
        done += got;
    }
    return true;
}

} // namespace

BOOL WriteHeldFile(HeldFile which, const char* path, const void* data, DWORD size) {
    ReleaseHeldFile(which);
    if (!data) return FALSE;
    CHandle writer(
            CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!writer.Get()) return FALSE;
    DWORD written = 0;
    if (!WriteFile(writer.Get(), data, size, &written, nullptr) || written != size) return FALSE;
    // The holding handle cannot open while the writer is open, so a bridge that shares
    // writing but not deletion keeps the name from being renamed or deleted in between.
    // Anyone who wrote in that moment still holds the file open (the holding handle then
    // fails) or has changed its bytes (the read-back fails).
    CHandle bridge(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!bridge.Get()) return FALSE;
    writer.Close();
    CHandle held(OpenForHolding(path));
    bridge.Close();
    if (!held.Get() || !HoldsExactly(held.Get(), data, size)) return FALSE;
    Slot(which).Attach(held.Detach());
    return TRUE;
}

BOOL HoldFile(HeldFile which, const char* path) {
    ReleaseHeldFile(which);
    Slot(which).Attach(OpenForHolding(path));
    return IsFileHeld(which);
}

BOOL HoldFileMatching(HeldFile which, const char* path, ULONGLONG bytes, DWORD crc) {
    if (!HoldFile(which, path)) return FALSE;
    const HANDLE h = Slot(which).Get();
    LARGE_INTEGER length;
    bool same = GetFileSizeEx(h, &length) && static_cast<ULONGLONG>(length.QuadPart) == bytes;
    uint32_t sum = 0;
    static unsigned char chunk[1 << 16];
    for (DWORD got = 0; same && ReadFile(h, chunk, sizeof(chunk), &got, nullptr) && got != 0;)
        sum = Crc32(sum, chunk, got);
    if (!same || sum != crc) {
        ReleaseHeldFile(which);
        return FALSE;
    }
    return TRUE;
}

BOOL IsFileHeld(HeldFile which) { return Slot(which).Get() != nullptr; }

void ReleaseHeldFile(HeldFile which) { Slot(which).Close(); }
