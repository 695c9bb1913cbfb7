#include "install/Rollback.h"

#include "afx/afxstr.h"
#include "finish/Registry.h"
#include "install/HeldFiles.h"
#include "pages/InstallPage.h"
#include "product.h"

namespace {

// A process handle, closed when the object goes.
class ProcessHandle {
public:
    explicit ProcessHandle(HANDLE h) : m_h(h) {}
    ~ProcessHandle() {
        if (m_h) CloseHandle(m_h);
    }
    ProcessHandle(const ProcessHandle&) = delete;
    ProcessHandle& operator=(const ProcessHandle&) = delete;
    HANDLE Get() const { return m_h; }

private:
    HANDLE m_h;
};

// A file the archiver held open can stay locked for a moment after its process has
// ended; retried briefly, a missing file is done at once.
void DeleteWithRetry(const char* path) {
    for (int attempt = 0; attempt < 20; ++attempt) {
        if (DeleteFileA(path)) return;
        const DWORD err = GetLastError();
        if (err != ERROR_ACCESS_DENIED && err != ERROR_SHARING_VIOLATION) return;
        Sleep(50);
    }
}

}  // namespace

BOOL StopArchiver(DWORD dwWaitMs) {
    const DWORD pid = FindProcessByName(product::kFilesArchiver);
    if (pid == 0) return FALSE;
    ProcessHandle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid));
    if (!process.Get()) return FALSE;
    const BOOL terminated = TerminateProcess(process.Get(), 4);
    WaitForSingleObject(process.Get(), dwWaitMs);
    return terminated;
}

BOOL WaitForArchiverEnd(DWORD dwWaitMs) {
    const DWORD pid = FindProcessByName(product::kFilesArchiver);
    if (pid == 0) return TRUE;
    ProcessHandle process(OpenProcess(SYNCHRONIZE, FALSE, pid));
    if (!process.Get()) return FALSE;
    return WaitForSingleObject(process.Get(), dwWaitMs) == WAIT_OBJECT_0;
}

void RemoveUninstallEntry() {
    DeleteRegistryValue(SETUP_UNINSTALL_KEY, "DisplayName");
    DeleteRegistryValue(SETUP_UNINSTALL_KEY, "DisplayVersion");
    DeleteRegistryValue(SETUP_UNINSTALL_KEY, "UninstallString");
}

void RollBackInstallation(const char* lpszInstallDir) {
    const CString dir(lpszInstallDir);
    // Without a directory the names would be taken relative to the working directory.
    ReleaseHeldFile(HeldFile::Archive);
    ReleaseHeldFile(HeldFile::Archiver);
    if (!dir.IsEmpty()) {
        DeleteWithRetry(dir + product::kFilesArchive);
        DeleteWithRetry(dir + product::kFilesArchiver);
    }
    RemoveUninstallEntry();
}
