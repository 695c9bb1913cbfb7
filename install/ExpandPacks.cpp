#include "install/ExpandPacks.h"

#include "app/SetupDlg.h"
#include "install/InstallPaths.h"
#include "pages/InstallPage.h"

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

}  // namespace

int ExpandPackedLibraries(const char* lpszInstallDir, const char* lpszPackDir) {
    char pattern[MAX_PATH];
    if (!PackSearchPattern(pattern, sizeof(pattern), lpszPackDir)) return 0;
    WIN32_FIND_DATAA found;
    FindHandle search(FindFirstFileA(pattern, &found));
    if (!search.IsValid()) return 0;
    int started = 0;
    do {
        // Only files lying directly in the folder; a folder named *.pack.gz is no library.
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        CString outName;
        if (!PackOutputName(found.cFileName, outName)) continue;
        char command[1024];
        if (!ExpanderCommandLine(command, sizeof(command), lpszInstallDir, lpszPackDir, found.cFileName, outName))
            continue;
        WinExec(command, SW_HIDE);
        ++started;
        Sleep(100);
    } while (FindNextFileA(search.Get(), &found));
    return started;
}

void CInstallPage::ExpandPacks(CString strDir) {
    ExpandPackedLibraries(GetFrame()->m_pageFolder.m_strFolder, strDir);
}
