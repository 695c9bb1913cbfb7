#include "install/ExpandPacks.h"

#include <cstddef>
#include <vector>

#include "app/SetupDlg.h"
#include "install/ArchiveIndex.h"
#include "install/HeldFiles.h"
#include "install/HiddenConsole.h"
#include "install/InstallPaths.h"
#include "pages/InstallPage.h"
#include "res/resource.h"

namespace {

// A FindFirstFileA search, closed when the object goes.
class FindHandle {
public:
    explicit FindHandle(HANDLE h) : m_h(h) {}
    ~FindHandle() {
        if (m_h != INVALID_HANDLE_VALUE) FindClose(m_h);
    }
    FindHandle(const FindHandle&) = delete;
    FindHandle& operator=(const FindHandle&) = delete;
    HANDLE Get() const { return m_h; }
    bool IsValid() const { return m_h != INVALID_HANDLE_VALUE; }

private:
    HANDLE m_h;
};

// The expanders started and not yet seen ending; their handles are closed when the
// object goes, at the latest when the program ends.
class Expanders {
public:
    Expanders() = default;
    ~Expanders() { Close(); }
    Expanders(const Expanders&) = delete;
    Expanders& operator=(const Expanders&) = delete;
    void Add(HANDLE h) { m_running.push_back(h); }
    bool AllEnded() {
        for (size_t i = 0; i < m_running.size();) {
            if (WaitForSingleObject(m_running[i], 0) == WAIT_TIMEOUT) return false;
            CloseHandle(m_running[i]);
            m_running.erase(m_running.begin() + static_cast<std::ptrdiff_t>(i));
        }
        return true;
    }
    void Close() {
        for (HANDLE h : m_running) CloseHandle(h);
        m_running.clear();
    }

private:
    std::vector<HANDLE> m_running;
};

Expanders g_expanders;

}  // namespace

int ExpandPackedLibraries(const char* lpszInstallDir, const char* lpszPackDir, const ExpectedFile* expected) {
    char pattern[MAX_PATH];
    if (!PackSearchPattern(pattern, sizeof(pattern), lpszPackDir)) return 0;
    WIN32_FIND_DATAA found;
    FindHandle search(FindFirstFileA(pattern, &found));
    if (!search.IsValid()) return 0;
    // The expander runs elevated from a folder that others may write: it is started only
    // while nobody else can change it, and stays so until the last expansion has ended.
    const CString expander = CString(lpszInstallDir) + "jre\\bin\\unpack200.exe";
    if (!IsFileHeld(HeldFile::Expander) &&
        !(expected ? HoldFileMatching(HeldFile::Expander, expander, expected->bytes, expected->crc)
                   : HoldFile(HeldFile::Expander, expander)))
        return 0;
    int started = 0;
    do {
        // Only files lying directly in the folder; a folder named *.pack.gz is no library.
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        CString outName;
        if (!PackOutputName(found.cFileName, outName)) continue;
        char command[1024];
        if (!ExpanderCommandLine(command, sizeof(command), lpszInstallDir, lpszPackDir, found.cFileName, outName))
            continue;
        DWORD pid = 0;
        if (const HANDLE process = StartWithoutWindow(command, nullptr, &pid)) g_expanders.Add(process);
        ++started;
        Sleep(100);
    } while (FindNextFileA(search.Get(), &found));
    return started;
}

BOOL ReleaseExpanderWhenDone() {
    if (!g_expanders.AllEnded()) return FALSE;
    ReleaseHeldFile(HeldFile::Expander);
    return TRUE;
}

void CInstallPage::ExpandPacks(CString strDir) {
    // The archiver wrote the expander long before its end; what lies there now is run
    // only if it is still the file the archive declares.
    const ResourceBytes archive = LoadPayload(IDR_ARCHIVE);
    uint64_t bytes = 0;
    uint32_t crc = 0;
    if (!FindArchiveFile(archive.data, archive.size, "jre/bin/unpack200.exe", bytes, crc)) return;
    const ExpectedFile expected = {bytes, crc};
    ExpandPackedLibraries(GetFrame()->m_pageFolder.m_strFolder, strDir, &expected);
}
