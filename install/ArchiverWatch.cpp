#include "install/ArchiverWatch.h"

#include "afx/afxhandle.h"
#include "install/Rollback.h"
#include "install/StartInstall.h"
#include "product.h"

namespace {

// The one watched process of this program's one installation; closed at exit.
CProcess g_archiver;

} // namespace

BOOL WatchArchiver(DWORD pid) {
    if (pid == 0) return FALSE;
    g_archiver = CProcess::Open(pid, SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION);
    return g_archiver ? TRUE : FALSE;
}

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
