// Drives a running setup.exe from another process: starts it, finds its windows,
// presses its buttons by message and reads back texts, states and pixels.
// Every wait is bounded; a failed wait reports what it saw last.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "afx/afxhandle.h"

namespace e2e {

// ---- text -----------------------------------------------------------------------------

std::string Utf8(const std::wstring& w);
std::wstring Wide(const std::string& utf8);
// A Unix path (/x/y) as the Windows path Wine maps it to (Z:\x\y); other paths unchanged.
std::wstring WinPath(const std::wstring& path);
// The value of an environment variable, empty when unset.
std::wstring Env(const wchar_t* name);

// ---- processes ------------------------------------------------------------------------

// One started program. Its process tree lives in a job that is killed when the object
// goes away, so a failed test never leaves a setup.exe (or its children) running.
class Process {
public:
    Process() = default;
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    // How the program is started: as from the desktop (no console, no standard handles),
    // or as from a launcher that captures its output (standard output and error are one
    // pipe, drained by a thread of this program).
    enum class Launcher { kDesktop, kPipes };
    void SetLauncher(Launcher l) { launcher_ = l; }
    // What the program wrote to its pipe (kPipes), once it has ended.
    std::string PipeOutput();
    // False when CreateProcess fails (GetLastError tells why).
    bool Start(const std::wstring& exe, const std::wstring& workdir, const std::wstring& args = L"");
    DWORD Id() const { return process_.Id(); }
    HANDLE Handle() const { return process_.Get(); }
    bool Running() const;
    // False when the process still runs after timeout_ms; *code then is STILL_ACTIVE.
    bool WaitExit(DWORD timeout_ms, DWORD* code);
    // Terminates the process and everything it started; waits up to 5 s for it to go.
    void Kill();

private:
    CHandle job_;
    CProcess process_;
    Launcher launcher_ = Launcher::kDesktop;
    CHandle pipe_;    // read end
    CHandle drainer_; // thread reading it into output_
    std::string output_;
    static DWORD WINAPI Drain(void* self);
};

// ---- windows (never owned) ------------------------------------------------------------

// Top-level windows of a process, in Z order (topmost first).
std::vector<HWND> TopLevelWindows(DWORD pid);
// The window's own caption text, read without sending it a message.
std::wstring Caption(HWND h);
// The text a control reports to WM_GETTEXT (the only way to read an edit of another
// process under Wine); empty when the window does not answer within 2 s.
std::wstring Text(HWND h);
std::wstring ClassName(HWND h);
bool IsShown(HWND h);
bool IsEnabled(HWND h);
// BM_GETCHECK; -1 when the window does not answer.
int CheckState(HWND h);
// Sets a control's text with WM_SETTEXT; false when it does not answer within 2 s.
bool SetText(HWND h, const std::wstring& text);
// Presses a button as a click does (BM_CLICK, posted so that a modal loop it opens does
// not block the caller).
bool Click(HWND button);
// Posts WM_SYSCOMMAND with the given command (SC_CLOSE, SC_MINIMIZE, 0x10 ...).
bool SysCommand(HWND h, WPARAM command);
// Returns when h has processed every message sent before (false: no answer in timeout).
bool Sync(HWND h, DWORD timeout_ms = 2000);
// The window rectangle of h in the client coordinates of root.
RECT RectIn(HWND h, HWND root);
// A one-line description: class, id, caption/text, shown, enabled, rectangle.
std::string Describe(HWND h);

// Polls cond every 20 ms for up to timeout_ms. On time-out the failure message names
// what was awaited and what seen() reports at that moment.
::testing::AssertionResult WaitUntil(const std::function<bool()>& cond, DWORD timeout_ms, const std::string& what,
                                     const std::function<std::string()>& seen = nullptr);

// ---- the wizard -----------------------------------------------------------------------

enum class Page { kNone, kWelcome, kFolder, kInstalling, kFinish, kSeveral };
const char* PageName(Page p);

// Frame controls and those of the other dialogs that scenarios touch.
enum : int {
    kNext = 1000,
    kCancel = 1001,
    kBack = 1003,
    kYes = 1000,
    kNo = 1001,
    kQuestion = 1008,
    kFolderEdit = 1004,
    kBrowse = 1000,
    kProgress = 1005,
    kStatusEdit = 1004,
    kChkStartMenu = 1006,
    kChkStartup = 1007,
    kChkDesktop = 1008,
    kChkRunNow = 1009,
    kAboutCommand = 0x10,
};

extern const wchar_t kFrameCaption[];   // "QuillmateV1.0.0614 beta版 安装"
extern const wchar_t kMessageCaption[]; // "setup", the display name
extern const wchar_t kAboutCaption[];   // template 100's caption
// The caption of the frame and of the exit question to look for: another product's
// (empty: kFrameCaption again).
void SetFrameCaption(const std::wstring& caption);

// The program under test: $SETUP_EXE, else the first argument after --setup=.
std::wstring SetupExePath();
void SetSetupExePath(const std::wstring& path);
// Where screenshots go: $E2E_SCREENSHOTS (created when missing), else the working folder.
std::wstring ScreenshotDir();

class Wizard {
public:
    Wizard() = default;
    Wizard(const Wizard&) = delete;
    Wizard& operator=(const Wizard&) = delete;

    // Starts setup.exe in workdir (empty: the current folder) and waits for its frame.
    ::testing::AssertionResult Launch(const std::wstring& workdir = L"", DWORD timeout_ms = 20000);
    Process& process() { return process_; }
    HWND frame() const { return frame_; }
    HWND Button(int id) const { return GetDlgItem(frame_, id); }
    // The page dialog of that kind, shown or not (nullptr when there is none).
    HWND PageWindow(Page p) const;
    HWND PageControl(Page p, int id) const { return GetDlgItem(PageWindow(p), id); }
    // Which page is visible; kSeveral when more than one is.
    Page VisiblePage() const;
    ::testing::AssertionResult WaitForPage(Page p, DWORD timeout_ms = 10000) const;
    // The exit confirmation: a dialog of this process owned by the frame, with the frame's
    // caption and the question control.
    HWND FindExitConfirm() const;
    // A message box of this process (a dialog captioned "setup").
    HWND FindMessageBox() const;
    // The texts of a message box's static controls, joined by " | ".
    static std::string MessageBoxText(HWND box);
    // The about box, template 100.
    HWND FindAbout() const;
    ::testing::AssertionResult WaitForWindow(const std::function<HWND()>& find, HWND* out, const std::string& what,
                                             DWORD timeout_ms = 10000) const;
    // Waits for the program to end; false (and a note of what is on screen) on time-out.
    ::testing::AssertionResult WaitExit(DWORD timeout_ms, DWORD* code);
    // Pages, buttons and top-level windows, for failure messages.
    std::string State() const;

private:
    Process process_;
    HWND frame_ = nullptr;
};

// A progress bar's position; -1 when its window does not answer.
int ProgressPos(HWND bar);

// The demo application's tree as archived, and its packed libraries before packing.
std::wstring StageDir();
std::wstring ExpectedDir();
// What is wrong with the payload installed in dir (ending in a backslash): a file
// missing or other than archived, a packed library not expanded to its original, the
// archive or the archiver left behind. Empty when nothing is.
std::vector<std::string> PayloadFaults(const std::wstring& dir);

// ---- pixels ---------------------------------------------------------------------------

// The pixels of a window's rectangle as the screen shows them.
class Capture {
public:
    // Brings the top-level window of h to the front, lets it repaint and grabs its
    // rectangle until two grabs agree (at most timeout_ms). False when nothing could be read.
    bool Grab(HWND h, DWORD timeout_ms = 3000);
    // Grabs at once, without raising or repainting.
    bool GrabNow(HWND h);
    // A window of another program that lay over the captured one when it was taken
    // (empty when none); its pixels may then be in the picture.
    const std::string& covered_by() const { return covered_by_; }
    int width() const { return width_; }
    int height() const { return height_; }
    HWND window() const { return window_; }
    // Pixel at window coordinates of the captured window; CLR_INVALID outside.
    COLORREF At(int x, int y) const;
    // Pixel at client coordinates of any window inside the captured one.
    COLORREF AtClient(HWND h, int x, int y) const;
    // The client rectangle of h in the capture's coordinates.
    RECT ClientRect(HWND h) const;
    // Number of pixels of exactly that colour in r (capture coordinates).
    int Count(const RECT& r, COLORREF c) const;
    // Bounding box of the pixels in r for which pred holds; empty when none.
    RECT Bounds(const RECT& r, const std::function<bool(COLORREF)>& pred) const;
    bool SaveBmp(const std::wstring& path) const;

private:
    int width_ = 0, height_ = 0;
    HWND window_ = nullptr;
    bool GrabPainted(HWND h, HWND top, DWORD timeout_ms);

    POINT origin_{}; // screen position of pixel 0,0
    std::string covered_by_;
    std::vector<COLORREF> px_;
};

std::string ColourText(COLORREF c);
// Saves a capture of h as <ScreenshotDir>/<name>.bmp; false when it could not.
bool Screenshot(HWND h, const std::wstring& name);

} // namespace e2e
