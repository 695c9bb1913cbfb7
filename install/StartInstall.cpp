#include <windows.h>
#include <imagehlp.h>
#include <shlwapi.h>
#include <tlhelp32.h>

#include "afx/afxhandle.h"
#include "app/SetupDlg.h"
#include "finish/Registry.h"
#include "install/ArchiveIndex.h"
#include "install/ArchiverWatch.h"
#include "install/ConsoleMonitor.h"
#include "install/HeldFiles.h"
#include "install/HiddenConsole.h"
#include "install/InstallFolder.h"
#include "install/InstallPaths.h"
#include "install/Rollback.h"
#include "install/StartInstall.h"
#include "pages/InstallPage.h"
#include "product.h"
#include "res/resource.h"

namespace {

const char kResourceType[] = "setup";
const DWORD kAfterWriteMs = 100;
const DWORD kPollMs = 300;
// How long the archiver may take to appear before the start is given up.
const DWORD kArchiverAppearMs = 10000;

// One WriteFile of the whole resource; an existing file is replaced. The file is then
// held (see HeldFiles.h) until the archiver has ended. FALSE when the file cannot be
// created, or does not hold exactly the resource's bytes.
bool WritePayloadFile(HeldFile which, const char* path, const ResourceBytes& bytes) {
    const bool ok = bytes.data && WriteHeldFile(which, path, bytes.data, bytes.size);
    Sleep(kAfterWriteMs);
    return ok;
}

// dir (ending in a backslash), or its nearest ancestor that exists, with a trailing
// backslash; empty when no level exists (a drive that is not there).
CString NearestExistingFolder(const char* dir) {
    char path[MAX_PATH];
    lstrcpynA(path, dir, sizeof(path));
    for (;;) {
        if (PathIsDirectoryA(path)) {
            PathAddBackslashA(path);
            return CString(path);
        }
        PathRemoveBackslashA(path);
        if (!PathRemoveFileSpecA(path) || path[0] == '\0') return CString();
    }
}

// FALSE only when the volume that dir lies on is known to lack the room that the
// archive, the archiver and what the archive declares need; a volume that cannot be
// asked is left to the folder check.
bool HasRoomForInstallation(const char* dir, const ResourceBytes& archive, const ResourceBytes& archiver) {
    const CString folder = NearestExistingFolder(dir);
    if (folder.IsEmpty()) return true;
    ULARGE_INTEGER freeToCaller;
    if (!GetDiskFreeSpaceExA(folder, &freeToCaller, nullptr, nullptr)) return true;
    // Every file takes whole clusters.
    uint32_t cluster = 4096;
    char root[MAX_PATH];
    DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, clusters = 0;
    if (GetVolumePathNameA(folder, root, sizeof(root)) &&
        GetDiskFreeSpaceA(root, &sectorsPerCluster, &bytesPerSector, &freeClusters, &clusters) &&
        sectorsPerCluster * bytesPerSector != 0)
        cluster = sectorsPerCluster * bytesPerSector;
    ArchiveNeeds needs;
    // An index that cannot be read is the archiver's to refuse, with its own message.
    if (!ReadArchiveNeeds(archive.data, archive.size, cluster, needs)) return true;
    return freeToCaller.QuadPart >= InstallationBytes(needs, archive.size, archiver.size, cluster);
}

// Back to the folder page with its buttons usable, after a start that did not happen.
void ReturnToFolderPage(CSetupDlg& frame) {
    --frame.m_nStep;
    frame.ShowStep();
    frame.m_btnBack.EnableWindow(TRUE);
    frame.m_btnNext.EnableWindow(TRUE);
    frame.m_btnCancel.EnableWindow(TRUE);
}

void ShowFolderError(CSetupDlg& frame) {
    AfxMessageBox(product::kTextsFolderError, MB_OK, 0);
    ReturnToFolderPage(frame);
}

// Polls every 300 ms, for at most kArchiverAppearMs, until the archiver's process is
// seen; its id, or 0.
DWORD WaitForArchiverStart() {
    for (DWORD waited = 0;; waited += kPollMs) {
        const DWORD pid = FindProcessByName(product::kFilesArchiver);
        if (pid != 0 || waited >= kArchiverAppearMs) return pid;
        Sleep(kPollMs);
    }
}

} // namespace

ResourceBytes LoadPayload(UINT id) {
    ResourceBytes bytes;
    const HMODULE hModule = GetModuleHandleA(nullptr);
    const HRSRC hRes = FindResourceA(hModule, MAKEINTRESOURCEA(id), kResourceType);
    if (!hRes) return bytes;
    const HGLOBAL hData = LoadResource(hModule, hRes);
    bytes.data = hData ? LockResource(hData) : nullptr;
    bytes.size = bytes.data ? SizeofResource(hModule, hRes) : 0;
    return bytes;
}

void CInstallPage::StartInstall() {
    CSetupDlg& frame = *GetFrame();
    frame.m_btnBack.EnableWindow(FALSE);
    frame.m_btnNext.EnableWindow(FALSE);
    frame.m_btnCancel.EnableWindow(FALSE);

    const ResourceBytes archive = LoadPayload(IDR_ARCHIVE);
    const CString dir = frame.m_pageFolder.m_strFolder;
    // A text that names no usable folder gets no records at all.
    if (!IsUsableInstallDir(dir)) {
        ShowFolderError(frame);
        return;
    }
    WriteInstallRecords(dir);
    if (!HasRoomForInstallation(dir, archive, LoadPayload(IDR_ARCHIVER))) {
        RemoveUninstallEntry();
        AfxMessageBox(product::kTextsDiskFull, MB_OK, 0);
        ReturnToFolderPage(frame);
        return;
    }
    if (!MakeSureFolderExists(dir)) {
        RemoveUninstallEntry();
        ShowFolderError(frame);
        return;
    }

    const bool archiveWritten = WritePayloadFile(HeldFile::Archive, dir + "\\" + product::kFilesArchive, archive);
    WriteArchiver();
    // A full disk, a folder without write access or a file changed under us: nothing is
    // started on a payload that is not exactly the carried one.
    if (!archiveWritten || !IsFileHeld(HeldFile::Archiver)) {
        AfxMessageBox(product::kTextsWriteFailed, MB_OK | MB_ICONSTOP);
        RollBackInstallation(dir);
        ReturnToFolderPage(frame);
        return;
    }
    SetCurrentDirectoryA(dir);
    const CString command = ArchiverCommandLine(dir);

    // The archiver's console has no window; this program reads it by attaching to it.
    DWORD childId = 0;
    const HANDLE childHandle = StartWithoutWindow(command, dir, &childId); // sets childId first
    CProcess child(childHandle, childId);
    const bool started = static_cast<bool>(child);
    if (started) AttachArchiverConsole(child.Get(), child.Id(), kArchiverAppearMs);
    child.Close();
    HideOwnConsole();
    const DWORD pid = started ? WaitForArchiverStart() : 0;
    if (pid == 0) {
        DetachArchiverConsole();
        CString text;
        text.Format(product::kTextsArchiverStartFailed, product::kFilesArchiver);
        AfxMessageBox(text, MB_OK | MB_ICONSTOP);
        RollBackInstallation(dir);
        ReturnToFolderPage(frame);
        return;
    }
    WatchArchiver(pid);
    Sleep(kPollMs);
    SetTimer(1, 100);
}

void CInstallPage::WriteArchiver() {
    const CString dir = GetFrame()->m_pageFolder.m_strFolder;
    WritePayloadFile(HeldFile::Archiver, dir + "\\" + product::kFilesArchiver, LoadPayload(IDR_ARCHIVER));
}

DWORD FindProcessByName(const char* lpszName) {
    if (!lpszName) return 0;
    const CHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot.Get()) return 0;
    PROCESSENTRY32 entry;
    ZeroMemory(&entry, sizeof(entry));
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32First(snapshot.Get(), &entry); more; more = Process32Next(snapshot.Get(), &entry)) {
        if (lstrcmpiA(entry.szExeFile, lpszName) == 0) return entry.th32ProcessID;
    }
    return 0;
}
