#include "install/HiddenConsole.h"

#include <vector>

#include "afx/afxhandle.h"

namespace {

// The screen buffer of the console this program is attached to; closed, and the
// console left, when the program ends.
class AttachedScreen {
public:
    AttachedScreen() = default;
    ~AttachedScreen() { Detach(); }
    AttachedScreen(const AttachedScreen&) = delete;
    AttachedScreen& operator=(const AttachedScreen&) = delete;
    void Set(HANDLE h) {
        Detach();
        m_screen.Attach(h);
        m_attached = true;
    }
    void Detach() {
        m_screen.Close();
        if (m_attached) FreeConsole();
        m_attached = false;
    }
    HANDLE Get() const { return m_screen.Get(); }

private:
    CHandle m_screen;
    bool m_attached = false;
};

AttachedScreen g_screen;

const DWORD kAttachRetryMs = 10;

} // namespace

HANDLE StartWithoutWindow(const char* commandLine, const char* workDir, DWORD* pid) {
    if (pid) *pid = 0;
    if (!commandLine) return nullptr;
    std::vector<char> line(commandLine, commandLine + lstrlenA(commandLine) + 1);
    // Without these, a console child may be given duplicates of this program's standard
    // handles (a launcher's pipe or file) instead of its new console's; this program, a
    // windowed one, never uses them.
    SetStdHandle(STD_INPUT_HANDLE, nullptr);
    SetStdHandle(STD_OUTPUT_HANDLE, nullptr);
    SetStdHandle(STD_ERROR_HANDLE, nullptr);
    STARTUPINFOA si;
    ZeroMemory(&si, sizeof(si));
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi;
    ZeroMemory(&pi, sizeof(pi));
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, workDir, &si, &pi))
        return nullptr;
    CProcess child(pi);
    if (pid) *pid = child.Id();
    return child.Detach();
}

BOOL AttachArchiverConsole(HANDLE process, DWORD pid, DWORD waitMs) {
    g_screen.Detach();
    FreeConsole();
    for (DWORD waited = 0;; waited += kAttachRetryMs) {
        if (AttachConsole(pid)) break;
        if (waited >= waitMs || WaitForSingleObject(process, 0) != WAIT_TIMEOUT) return FALSE;
        Sleep(kAttachRetryMs);
    }
    const HANDLE screen = CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_EXISTING, 0, nullptr);
    g_screen.Set(screen);
    return g_screen.Get() != nullptr;
}

HANDLE ArchiverScreen() { return g_screen.Get(); }

void DetachArchiverConsole() { g_screen.Detach(); }
