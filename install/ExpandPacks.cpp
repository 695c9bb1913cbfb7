#include "install/ExpandPacks.h"

#include <utility>
#include <vector>

#include "afx/afxhandle.h"
#include "app/SetupDlg.h"
#include "install/ArchiveIndex.h"
#include "install/HeldFiles.h"
#include "install/HiddenConsole.h"
#include "install/InstallPaths.h"
#include "install/StartInstall.h"
#include "pages/InstallPage.h"
#include "res/resource.h"

namespace {

// The expanders started and not yet seen ending; their handles are closed when the
// object goes, at the latest when the program ends.
class Expanders {
public:
    Expanders() = default;
    ~Expanders() { Close(); }
    Expanders(const Expanders&) = delete;
    Expanders& operator=(const Expanders&) = delete;
    void Add(CProcess process) { m_running.push_back(std::move(process)); }
    bool AllEnded() {
        while (!m_running.empty()) {
            if (WaitForSingleObject(m_running.back().Get(), 0) == WAIT_TIMEOUT) return false;
            m_running.pop_back();
        }
        return true;
    }
    void Close() { m_running.clear(); }

private:
    std::vector<CProcess> m_running;
};

Expanders g_expanders;

} // namespace

int ExpandPackedLibraries(const char* lpszInstallDir, const char* lpszPackDir, const ExpectedFile* expected) {
    char pattern[MAX_PATH];
    if (!PackSearchPattern(pattern, sizeof(pattern), lpszPackDir)) return 0;
    WIN32_FIND_DATAA found;
    const CFindHandle search(FindFirstFileA(pattern, &found));
    if (!search) return 0;
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
        if (const HANDLE process = StartWithoutWindow(command, nullptr, &pid)) g_expanders.Add(CProcess(process, pid));
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
