#include "install/ConsoleMonitor.h"

#include "app/SetupDlg.h"
#include "install/ArchiverWatch.h"
#include "install/ExpandPacks.h"
#include "install/HeldFiles.h"
#include "install/HiddenConsole.h"
#include "install/Rollback.h"
#include "pages/InstallPage.h"
#include "product.h"

namespace {

// A moment for the archiver's process to go after its last row: its exit code tells
// whether that row ended an extraction, and its files can be deleted once it is gone.
const DWORD kArchiverExitWaitMs = 2000;
// The expander's file is let go once the last expansion has ended, looked at this often.
const UINT_PTR kExpanderTimer = 2;
const UINT kExpanderCheckMs = 250;

void CompleteInstallation(CInstallPage& page, CSetupDlg& frame) {
    page.m_strStatus = product::kTextsCompleting;
    page.UpdateData(FALSE);
    page.m_progress.SetPos(100);
    const CString dir = frame.m_pageFolder.m_strFolder;
    page.ExpandPacks(dir + "jre\\lib\\");
    page.ExpandPacks(dir + "jre\\lib\\ext\\");
    if (!ReleaseExpanderWhenDone()) page.SetTimer(kExpanderTimer, kExpanderCheckMs);
    WaitForArchiverEnd(kArchiverExitWaitMs);
    ForgetArchiver();
    ReleaseHeldFile(HeldFile::Archive);
    ReleaseHeldFile(HeldFile::Archiver);
    DeleteFileA(dir + product::kFilesArchive);
    DeleteFileA(dir + product::kFilesArchiver);
    frame.m_btnBack.EnableWindow(FALSE);
    frame.m_btnNext.EnableWindow(TRUE);
    frame.m_btnCancel.EnableWindow(FALSE);
}

// The archiver ended without its last row: say so with what it left on screen, undo
// the installation's start and end the program. Nothing claims success.
void AbandonInstallation(CInstallPage& page, CSetupDlg& frame) {
    page.UpdateData(FALSE);
    CString text;
    text.Format(product::kTextsArchiverEnded, product::kFilesArchiver, page.m_strStatus.GetString());
    AfxMessageBox(text, MB_OK | MB_ICONSTOP);
    ForgetArchiver();
    StopArchiver();
    RollBackInstallation(frame.m_pageFolder.m_strFolder);
    frame.SendMessage(WM_CLOSE, 0, 0);
}

} // namespace

void CInstallPage::OnTimer(UINT_PTR nIDEvent) {
    if (nIDEvent == kExpanderTimer) {
        if (ReleaseExpanderWhenDone()) KillTimer(nIDEvent);
        return;
    }
    HideOwnConsole();
    int nPercent = 0;
    const CString before = m_strStatus;
    MonitorResult result = MonitorTick(ArchiverScreen(), m_nTicks, IsArchiverRunning, m_strStatus, nPercent);
    if (result == MonitorResult::Progress) {
        UpdateData(FALSE);
        m_progress.SetPos(nPercent);
        ++m_nTicks;
        Default();
        return;
    }
    // The timer goes first, so that no tick arrives while the message box or the
    // expansions run.
    KillTimer(nIDEvent);
    // A blank row after text is also what any program leaves that prints one line and
    // stops: only an archiver that ends well has finished.
    DWORD exitCode = 0;
    if (result == MonitorResult::Completed && GetArchiverExitCode(kArchiverExitWaitMs, &exitCode) && exitCode != 0) {
        result = MonitorResult::Failed;
        m_strStatus = before;
    }
    DetachArchiverConsole();
    CSetupDlg* frame = GetFrame();
    if (result == MonitorResult::Completed)
        CompleteInstallation(*this, *frame);
    else
        AbandonInstallation(*this, *frame);
}
