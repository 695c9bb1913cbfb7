#include "install/Rollback.h"

#include "afx/afxwin.h"
#include "finish/Registry.h"
#include "pages/InstallPage.h"

namespace {

// Process handle that closes itself.
class CProcessHandle {
public:
    explicit CProcessHandle(HANDLE h) : m_h(h) {}
    ~CProcessHandle() { if (m_h) ::CloseHandle(m_h); }
    CProcessHandle(const CProcessHandle&) = delete;
    CProcessHandle& operator=(const CProcessHandle&) = delete;
    HANDLE Get() const { return m_h; }

private:
    HANDLE m_h;
};

}  // namespace

BOOL StopArchiver(DWORD dwWaitMs) {
    const DWORD pid = FindProcessByName("UHARC.EXE");
    CProcessHandle process(::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid));
    if (!process.Get()) return FALSE;
    const BOOL terminated = ::TerminateProcess(process.Get(), 4);
    // The archive and the archiver can only be deleted once the process is gone.
    if (terminated && dwWaitMs) ::WaitForSingleObject(process.Get(), dwWaitMs);
    return terminated;
}

void RollBackInstallation(const char* lpszDir) {
    CString dir(lpszDir);
    ::DeleteFileA(dir + "fenrow.uha");
    ::DeleteFileA(dir + "UHARC.EXE");
    DeleteRegistryValue(SETUP_UNINSTALL_KEY, "DisplayName");
    DeleteRegistryValue(SETUP_UNINSTALL_KEY, "DisplayVersion");
    DeleteRegistryValue(SETUP_UNINSTALL_KEY, "UninstallString");
}
