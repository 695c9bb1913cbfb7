#include "install/ArchiverWatch.h"

#include "install/Rollback.h"
#include "pages/InstallPage.h"
#include "product.h"

namespace {

// The one watched process of this program's one installation; closed at exit.
class WatchedProcess {
public:
    WatchedProcess() = default;
    ~WatchedProcess() { Close(); }
    WatchedProcess(const WatchedProcess&) = delete;
    WatchedProcess& operator=(const WatchedProcess&) = delete;
    BOOL Open(DWORD pid) {
        Close();
        m_h = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
        return m_h != nullptr;
    }
    void Close() {
        if (m_h) CloseHandle(m_h);
        m_h = nullptr;
    }
    HANDLE Get() const { return m_h; }

private:
    HANDLE m_h = nullptr;
};

WatchedProcess g_archiver;

}  // namespace

BOOL WatchArchiver(DWORD pid) { return pid != 0 && g_archiver.Open(pid); }

BOOL IsArchiverRunning() {
    if (!g_archiver.Get()) return FindProcessByName(product::kFilesArchiver) != 0;
    return WaitForSingleObject(g_archiver.Get(), 0) == WAIT_TIMEOUT;
}

BOOL GetArchiverExitCode(DWORD dwWaitMs, DWORD* pdwExitCode) {
    if (!g_archiver.Get() || WaitForSingleObject(g_archiver.Get(), dwWaitMs) != WAIT_OBJECT_0) return FALSE;
    DWORD code = 0;
    if (!GetExitCodeProcess(g_archiver.Get(), &code)) return FALSE;
    if (pdwExitCode) *pdwExitCode = code;
    return TRUE;
}

void ForgetArchiver() { g_archiver.Close(); }
