#include <windows.h>
#include <imagehlp.h>
#include <shlwapi.h>
#include <tlhelp32.h>

#include "app/SetupDlg.h"
#include "finish/Registry.h"
#include "install/ArchiverWatch.h"
#include "install/ConsoleMonitor.h"
#include "install/InstallFolder.h"
#include "install/InstallPaths.h"
#include "install/Rollback.h"
#include "pages/InstallPage.h"
#include "res/resource.h"

namespace {

const char kResourceType[] = "setup";
const DWORD kAfterWriteMs = 100;
const DWORD kPollMs = 300;
// How long the archiver may take to appear before the start is given up.
const DWORD kArchiverAppearMs = 10000;

// A kernel handle (file, snapshot), closed when the object goes.
class KernelHandle {
public:
    explicit KernelHandle(HANDLE h) : m_h(h == INVALID_HANDLE_VALUE ? nullptr : h) {}
    ~KernelHandle() {
        if (m_h) CloseHandle(m_h);
    }
    KernelHandle(const KernelHandle&) = delete;
    KernelHandle& operator=(const KernelHandle&) = delete;
    HANDLE Get() const { return m_h; }

private:
    HANDLE m_h;
};

struct ResourceBytes {
    const void* data = nullptr;
    DWORD size = 0;
};

// The bytes of resource id of type "setup" in the running executable; empty when the
// resource is missing.
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

// One WriteFile of the whole resource; an existing file is replaced. FALSE when the
// file cannot be created or not all bytes were written.
bool WritePayloadFile(const char* path, const ResourceBytes& bytes) {
    bool ok = false;
    {
        KernelHandle file(CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file.Get()) {
            DWORD written = 0;
            ok = WriteFile(file.Get(), bytes.data, bytes.size, &written, nullptr) && written == bytes.size;
        }
    }
    Sleep(kAfterWriteMs);
    return ok;
}

// True when the file exists with the resource's size (and the resource is not empty).
bool HasPayloadSize(const char* path, const ResourceBytes& bytes) {
    WIN32_FILE_ATTRIBUTE_DATA info;
    if (!bytes.data || !GetFileAttributesExA(path, GetFileExInfoStandard, &info)) return false;
    return info.nFileSizeHigh == 0 && info.nFileSizeLow == bytes.size;
}

// Back to the folder page with its buttons usable, after a start that did not happen.
void ReturnToFolderPage(CSetupDlg& frame) {
    --frame.m_nStep;
    frame.ShowStep();
    frame.m_btnBack.EnableWindow(TRUE);
    frame.m_btnNext.EnableWindow(TRUE);
    frame.m_btnCancel.EnableWindow(TRUE);
}

// Polls every 300 ms, for at most kArchiverAppearMs, until the archiver's process is
// seen; its id, or 0.
DWORD WaitForArchiverStart() {
    for (DWORD waited = 0;; waited += kPollMs) {
        const DWORD pid = FindProcessByName(SETUP_ARCHIVER_NAME);
        if (pid != 0 || waited >= kArchiverAppearMs) return pid;
        Sleep(kPollMs);
    }
}

}  // namespace

void CInstallPage::StartInstall() {
    CSetupDlg& frame = *GetFrame();
    frame.m_btnBack.EnableWindow(FALSE);
    frame.m_btnNext.EnableWindow(FALSE);
    frame.m_btnCancel.EnableWindow(FALSE);

    const ResourceBytes archive = LoadPayload(IDR_ARCHIVE);
    const CString dir = frame.m_pageFolder.m_strFolder;
    WriteInstallRecords(dir);

    if (!IsUsableInstallDir(dir) || !MakeSureFolderExists(dir)) {
        RemoveUninstallEntry();
        AfxMessageBox("文件夹路径错误!", MB_OK, 0);
        ReturnToFolderPage(frame);
        return;
    }

    const bool archiveWritten = WritePayloadFile(dir + "\\" SETUP_ARCHIVE_NAME, archive);
    WriteArchiver();
    // A full disk or a folder without write access: nothing is started on a partial payload.
    if (!archiveWritten || !HasPayloadSize(dir + "\\" SETUP_ARCHIVER_NAME, LoadPayload(IDR_ARCHIVER))) {
        AfxMessageBox("无法写入安装文件夹，安装没有进行。\r\n请检查磁盘空间和写入权限后重试。", MB_OK | MB_ICONSTOP);
        RollBackInstallation(dir);
        ReturnToFolderPage(frame);
        return;
    }
    SetCurrentDirectoryA(dir);
    const CString command = ArchiverCommandLine(dir);

    AllocConsole();  // fails harmlessly when the program has a console already
    HideOwnConsole();
    const UINT started = WinExec(command, SW_HIDE);
    const DWORD pid = started > 31 ? WaitForArchiverStart() : 0;
    if (pid == 0) {
        CString text;
        text.Format("无法启动解压程序 %s，安装没有进行。\r\n请检查安装文件夹后重试。", SETUP_ARCHIVER_NAME);
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
    WritePayloadFile(dir + "\\" SETUP_ARCHIVER_NAME, LoadPayload(IDR_ARCHIVER));
}

DWORD FindProcessByName(const char* lpszName) {
    if (!lpszName) return 0;
    KernelHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot.Get()) return 0;
    PROCESSENTRY32 entry;
    ZeroMemory(&entry, sizeof(entry));
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32First(snapshot.Get(), &entry); more; more = Process32Next(snapshot.Get(), &entry)) {
        if (lstrcmpiA(entry.szExeFile, lpszName) == 0) return entry.th32ProcessID;
    }
    return 0;
}
