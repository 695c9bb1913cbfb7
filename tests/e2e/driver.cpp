#include "driver.h"

#include <commctrl.h>

#include <cstdio>
#include <cwchar>

#include "machine.h"

namespace e2e {

const wchar_t kFrameCaption[] = L"QuillmateV1.0.0614 beta\x7248 \x5B89\x88C5";
const wchar_t kMessageCaption[] = L"setup";
const wchar_t kAboutCaption[] = L"\x5173\x4E8E Quillmate";

namespace {

std::wstring g_setup_exe;
std::wstring g_frame_caption = kFrameCaption;

// Sends a message that must not hang the test when the target is busy.
bool SendBounded(HWND h, UINT msg, WPARAM wp, LPARAM lp, DWORD_PTR* result, DWORD timeout_ms = 2000) {
    DWORD_PTR r = 0;
    if (!SendMessageTimeoutW(h, msg, wp, lp, SMTO_ABORTIFHUNG, timeout_ms, &r)) return false;
    if (result) *result = r;
    return true;
}

std::string Hex(unsigned long v) {
    char buf[16];
    snprintf(buf, sizeof buf, "0x%lx", v);
    return buf;
}

} // namespace

// ---- text -----------------------------------------------------------------------------

std::string Utf8(const std::wstring& w) {
    if (w.empty()) return {};
    int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string s(n > 0 ? n : 0, '\0');
    if (n > 0) WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), &s[0], n, nullptr, nullptr);
    return s;
}

std::wstring Wide(const std::string& u) {
    if (u.empty()) return {};
    int n = MultiByteToWideChar(CP_UTF8, 0, u.data(), static_cast<int>(u.size()), nullptr, 0);
    std::wstring w(n > 0 ? n : 0, L'\0');
    if (n > 0) MultiByteToWideChar(CP_UTF8, 0, u.data(), static_cast<int>(u.size()), &w[0], n);
    return w;
}

std::wstring WinPath(const std::wstring& path) {
    if (path.empty() || path[0] != L'/') return path;
    std::wstring w = L"Z:" + path;
    for (auto& c : w)
        if (c == L'/') c = L'\\';
    return w;
}

std::wstring Env(const wchar_t* name) {
    wchar_t buf[1024];
    DWORD n = GetEnvironmentVariableW(name, buf, ARRAYSIZE(buf));
    if (n == 0 || n >= ARRAYSIZE(buf)) return {};
    return std::wstring(buf, n);
}

// ---- processes ------------------------------------------------------------------------

Process::~Process() {
    Kill();
    if (drainer_) WaitForSingleObject(drainer_.Get(), 5000);
    // Then the members close; the job's kill-on-close takes whatever is left.
}

DWORD WINAPI Process::Drain(void* self) {
    Process* p = static_cast<Process*>(self);
    char buf[4096];
    DWORD got = 0;
    while (ReadFile(p->pipe_.Get(), buf, sizeof buf, &got, nullptr) && got != 0) p->output_.append(buf, got);
    return 0;
}

std::string Process::PipeOutput() {
    if (drainer_) WaitForSingleObject(drainer_.Get(), 5000);
    return output_;
}

bool Process::Start(const std::wstring& exe, const std::wstring& workdir, const std::wstring& args) {
    if (process_) return false;
    job_.Attach(CreateJobObjectW(nullptr, nullptr));
    if (job_) {
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION info{};
        info.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        SetInformationJobObject(job_.Get(), JobObjectExtendedLimitInformation, &info, sizeof info);
    }
    std::wstring cmd = L"\"" + exe + L"\"";
    if (!args.empty()) cmd += L" " + args;
    std::vector<wchar_t> buf(cmd.begin(), cmd.end());
    buf.push_back(L'\0');
    // Like a program started from the desktop: no console and no standard handles, so
    // that the console setup.exe allocates for the archiver becomes its own (Wine would
    // otherwise hand it the test's pipes).
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    DWORD flags = CREATE_SUSPENDED | DETACHED_PROCESS;
    CHandle writeEnd;
    if (launcher_ == Launcher::kPipes) {
        SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
        if (!CreatePipe(pipe_.Out(), writeEnd.Out(), &sa, 0)) return false;
        SetHandleInformation(pipe_.Get(), HANDLE_FLAG_INHERIT, 0);
        si.hStdOutput = writeEnd.Get();
        si.hStdError = writeEnd.Get();
        flags = CREATE_SUSPENDED; // a console program's child: no flag that changes its console
    }
    PROCESS_INFORMATION pi{};
    const BOOL created = CreateProcessW(exe.c_str(), buf.data(), nullptr, nullptr, writeEnd ? TRUE : FALSE, flags,
                                        nullptr, workdir.empty() ? nullptr : workdir.c_str(), &si, &pi);
    writeEnd.Close();
    if (!created) return false;
    if (pipe_) drainer_.Attach(CreateThread(nullptr, 0, Drain, this, 0, nullptr));
    if (job_) AssignProcessToJobObject(job_.Get(), pi.hProcess);
    ResumeThread(pi.hThread);
    process_ = CProcess(pi);
    return true;
}

bool Process::Running() const { return process_ && WaitForSingleObject(process_.Get(), 0) == WAIT_TIMEOUT; }

bool Process::WaitExit(DWORD timeout_ms, DWORD* code) {
    if (code) *code = STILL_ACTIVE;
    if (!process_.Wait(timeout_ms)) return false;
    if (code) *code = process_.ExitCode();
    return true;
}

void Process::Kill() {
    if (job_) TerminateJobObject(job_.Get(), 1);
    if (Running()) {
        TerminateProcess(process_.Get(), 1);
        process_.Wait(5000);
    }
}

// ---- windows --------------------------------------------------------------------------

namespace {

struct WindowsOf {
    DWORD pid;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectWindowOf(HWND h, LPARAM lp) {
    auto* c = reinterpret_cast<WindowsOf*>(lp);
    DWORD owner = 0;
    GetWindowThreadProcessId(h, &owner);
    if (owner == c->pid) c->found.push_back(h);
    return TRUE;
}

} // namespace

std::vector<HWND> TopLevelWindows(DWORD pid) {
    WindowsOf ctx{pid, {}};
    EnumWindows(CollectWindowOf, reinterpret_cast<LPARAM>(&ctx));
    return ctx.found;
}

std::wstring Caption(HWND h) {
    wchar_t buf[512];
    int n = InternalGetWindowText(h, buf, ARRAYSIZE(buf));
    return std::wstring(buf, n > 0 ? n : 0);
}

std::wstring Text(HWND h) {
    DWORD_PTR len = 0;
    if (!SendBounded(h, WM_GETTEXTLENGTH, 0, 0, &len)) return {};
    std::vector<wchar_t> buf(len + 2, L'\0');
    DWORD_PTR got = 0;
    if (!SendBounded(h, WM_GETTEXT, buf.size(), reinterpret_cast<LPARAM>(buf.data()), &got)) return {};
    return std::wstring(buf.data(), got < buf.size() ? got : buf.size() - 1);
}

std::wstring ClassName(HWND h) {
    wchar_t buf[128];
    int n = GetClassNameW(h, buf, ARRAYSIZE(buf));
    return std::wstring(buf, n > 0 ? n : 0);
}

bool IsShown(HWND h) { return h && IsWindowVisible(h); }
bool IsEnabled(HWND h) { return h && IsWindowEnabled(h); }

int CheckState(HWND h) {
    DWORD_PTR r = 0;
    return SendBounded(h, BM_GETCHECK, 0, 0, &r) ? static_cast<int>(r) : -1;
}

bool SetText(HWND h, const std::wstring& text) {
    DWORD_PTR r = 0;
    return SendBounded(h, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), &r) && r;
}

bool Click(HWND button) { return button && PostMessageW(button, BM_CLICK, 0, 0); }

bool SysCommand(HWND h, WPARAM command) { return h && PostMessageW(h, WM_SYSCOMMAND, command, 0); }

bool Sync(HWND h, DWORD timeout_ms) { return SendBounded(h, WM_NULL, 0, 0, nullptr, timeout_ms); }

RECT RectIn(HWND h, HWND root) {
    RECT r{};
    GetWindowRect(h, &r);
    MapWindowPoints(HWND_DESKTOP, root, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

std::string Describe(HWND h) {
    if (!h) return "(no window)";
    if (!IsWindow(h)) return "(gone " + Hex(reinterpret_cast<uintptr_t>(h)) + ")";
    RECT r{};
    GetWindowRect(h, &r);
    bool child = GetWindowLongPtrW(h, GWL_STYLE) & WS_CHILD;
    std::wstring text = child ? Text(h) : Caption(h);
    char buf[256];
    snprintf(buf, sizeof buf, " id=%ld %s %s [%ld,%ld %ldx%ld]", child ? static_cast<long>(GetDlgCtrlID(h)) : -1L,
             IsShown(h) ? "shown" : "hidden", IsEnabled(h) ? "enabled" : "disabled", r.left, r.top, r.right - r.left,
             r.bottom - r.top);
    return Utf8(ClassName(h)) + " \"" + Utf8(text) + "\"" + buf;
}

::testing::AssertionResult WaitUntil(const std::function<bool()>& cond, DWORD timeout_ms, const std::string& what,
                                     const std::function<std::string()>& seen) {
    DWORD start = GetTickCount();
    for (;;) {
        if (cond()) return ::testing::AssertionSuccess();
        if (GetTickCount() - start >= timeout_ms) break;
        Sleep(20);
    }
    auto r = ::testing::AssertionFailure() << "timed out after " << timeout_ms << " ms waiting for " << what;
    if (seen) r << "; saw: " << seen();
    return r;
}

// ---- the wizard -----------------------------------------------------------------------

const char* PageName(Page p) {
    switch (p) {
    case Page::kNone:
        return "none";
    case Page::kWelcome:
        return "welcome";
    case Page::kFolder:
        return "folder";
    case Page::kInstalling:
        return "installing";
    case Page::kFinish:
        return "finish";
    case Page::kSeveral:
        return "several";
    }
    return "?";
}

void SetSetupExePath(const std::wstring& path) { g_setup_exe = path; }

void SetFrameCaption(const std::wstring& caption) { g_frame_caption = caption.empty() ? kFrameCaption : caption; }

std::wstring SetupExePath() {
    if (!g_setup_exe.empty()) return WinPath(g_setup_exe);
    return WinPath(Env(L"SETUP_EXE"));
}

std::wstring ScreenshotDir() {
    std::wstring dir = WinPath(Env(L"E2E_SCREENSHOTS"));
    if (dir.empty()) return L".";
    // Create each missing level.
    for (size_t i = 3; i <= dir.size(); ++i)
        if (i == dir.size() || dir[i] == L'\\') CreateDirectoryW(dir.substr(0, i).c_str(), nullptr);
    return dir;
}

namespace {

// A page is told apart by its controls: only the progress page has a progress bar,
// only the finish page has check box 1009, only the folder page has an edit without one.
Page KindOfPage(HWND page) {
    if (ClassName(page) != L"#32770") return Page::kNone;
    HWND progress = GetDlgItem(page, kProgress);
    if (progress && _wcsicmp(ClassName(progress).c_str(), L"msctls_progress32") == 0) return Page::kInstalling;
    if (GetDlgItem(page, kChkRunNow) && GetDlgItem(page, kChkStartMenu)) return Page::kFinish;
    HWND edit = GetDlgItem(page, kFolderEdit);
    if (edit && _wcsicmp(ClassName(edit).c_str(), L"Edit") == 0) return Page::kFolder;
    if (GetDlgItem(page, 1007) && GetDlgItem(page, 1008)) return Page::kWelcome;
    return Page::kNone;
}

std::vector<HWND> Pages(HWND frame) {
    std::vector<HWND> pages;
    for (HWND c = GetWindow(frame, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
        if (KindOfPage(c) != Page::kNone) pages.push_back(c);
    return pages;
}

} // namespace

::testing::AssertionResult Wizard::Launch(const std::wstring& workdir, DWORD timeout_ms) {
    std::wstring exe = SetupExePath();
    if (exe.empty()) return ::testing::AssertionFailure() << "no setup.exe given (SETUP_EXE or --setup=)";
    if (GetFileAttributesW(exe.c_str()) == INVALID_FILE_ATTRIBUTES)
        return ::testing::AssertionFailure() << "no such file: " << Utf8(exe);
    if (!process_.Start(exe, workdir))
        return ::testing::AssertionFailure() << "CreateProcess(" << Utf8(exe) << ") failed, error " << GetLastError();
    auto find = [this] {
        for (HWND h : TopLevelWindows(process_.Id()))
            if (IsWindowVisible(h) && Caption(h) == g_frame_caption && ClassName(h) == L"#32770" && !Pages(h).empty())
                return h;
        return HWND(nullptr);
    };
    auto r = WaitUntil([&] { return (frame_ = find()) != nullptr || !process_.Running(); }, timeout_ms,
                       "the wizard frame", [this] { return State(); });
    if (!r) return r;
    if (!frame_) {
        DWORD code = 0;
        process_.WaitExit(0, &code);
        return ::testing::AssertionFailure() << "setup.exe ended before showing its frame, exit code " << code;
    }
    // The frame shows while the dialog is still being set up; commands sent before its
    // modal loop runs can be undone by that set-up.
    WaitForInputIdle(process_.Handle(), timeout_ms);
    Sync(frame_);
    return ::testing::AssertionSuccess();
}

HWND Wizard::PageWindow(Page p) const {
    for (HWND h : Pages(frame_))
        if (KindOfPage(h) == p) return h;
    return nullptr;
}

Page Wizard::VisiblePage() const {
    Page seen = Page::kNone;
    for (HWND h : Pages(frame_)) {
        if (!IsWindowVisible(h)) continue;
        if (seen != Page::kNone) return Page::kSeveral;
        seen = KindOfPage(h);
    }
    return seen;
}

::testing::AssertionResult Wizard::WaitForPage(Page p, DWORD timeout_ms) const {
    return WaitUntil([&] { return VisiblePage() == p; }, timeout_ms, std::string("page ") + PageName(p),
                     [this] { return State(); });
}

HWND Wizard::FindExitConfirm() const {
    for (HWND h : TopLevelWindows(process_.Id()))
        if (h != frame_ && IsWindowVisible(h) && GetWindow(h, GW_OWNER) == frame_ && Caption(h) == g_frame_caption &&
            GetDlgItem(h, kQuestion) && GetDlgItem(h, kYes) && GetDlgItem(h, kNo))
            return h;
    return nullptr;
}

HWND Wizard::FindMessageBox() const {
    for (HWND h : TopLevelWindows(process_.Id()))
        if (IsWindowVisible(h) && ClassName(h) == L"#32770" && Caption(h) == kMessageCaption) return h;
    return nullptr;
}

std::string Wizard::MessageBoxText(HWND box) {
    std::string s;
    for (HWND c = GetWindow(box, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        if (_wcsicmp(ClassName(c).c_str(), L"Static") != 0) continue;
        std::wstring t = Text(c);
        if (t.empty()) continue;
        if (!s.empty()) s += " | ";
        s += Utf8(t);
    }
    return s;
}

HWND Wizard::FindAbout() const {
    for (HWND h : TopLevelWindows(process_.Id()))
        if (IsWindowVisible(h) && ClassName(h) == L"#32770" && Caption(h) == kAboutCaption) return h;
    return nullptr;
}

::testing::AssertionResult Wizard::WaitForWindow(const std::function<HWND()>& find, HWND* out, const std::string& what,
                                                 DWORD timeout_ms) const {
    HWND found = nullptr;
    auto r = WaitUntil([&] { return (found = find()) != nullptr; }, timeout_ms, what, [this] { return State(); });
    if (out) *out = found;
    return r;
}

::testing::AssertionResult Wizard::WaitExit(DWORD timeout_ms, DWORD* code) {
    if (process_.WaitExit(timeout_ms, code)) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "setup.exe still runs after " << timeout_ms << " ms; " << State();
}

std::string Wizard::State() const {
    std::string s;
    if (!process_.Handle()) return "(not started)";
    if (!process_.Running()) {
        DWORD code = 0;
        GetExitCodeProcess(process_.Handle(), &code);
        return "setup.exe has ended with exit code " + std::to_string(code);
    }
    s += "windows:";
    for (HWND h : TopLevelWindows(process_.Id()))
        if (IsWindowVisible(h)) s += "\n  " + Describe(h);
    if (frame_ && IsWindow(frame_)) {
        s += std::string("\n  visible page: ") + PageName(VisiblePage());
        for (int id : {kBack, kNext, kCancel}) s += "\n  button " + Describe(Button(id));
    }
    return s;
}

int ProgressPos(HWND bar) {
    DWORD_PTR pos = 0;
    if (!SendMessageTimeoutW(bar, PBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, 10000, &pos)) return -1;
    return static_cast<int>(pos);
}

std::wstring StageDir() { return WinPath(Env(L"PAYLOAD_STAGE_DIR")); }
std::wstring ExpectedDir() { return WinPath(Env(L"PAYLOAD_EXPECTED_DIR")); }

std::vector<std::string> PayloadFaults(const std::wstring& dir) {
    // Paths longer than MAX_PATH are reached through the \\?\ form.
    auto at = [&](const std::wstring& rel) {
        const std::wstring path = dir + rel;
        return path.size() < 200 || path.compare(0, 2, L"\\\\") == 0 ? path : L"\\\\?\\" + path;
    };
    std::vector<std::string> faults;
    const std::vector<std::wstring> files = FilesBelow(StageDir()), libs = FilesBelow(ExpectedDir());
    if (files.empty() || libs.empty())
        faults.push_back("no payload tree at " + Utf8(StageDir()) + " or " + Utf8(ExpectedDir()));
    for (const std::wstring& rel : files)
        if (ReadBytes(StageDir() + L"\\" + rel) != ReadBytes(at(rel)))
            faults.push_back(Utf8(dir + rel) + " differs or is missing");
    for (const std::wstring& lib : libs)
        if (ReadBytes(ExpectedDir() + L"\\" + lib) != ReadBytes(at(lib)))
            faults.push_back(Utf8(dir + lib) + " was not expanded to the original");
    for (const wchar_t* left : {L"fenrow.uha", L"UHARC.EXE"})
        if (Exists(at(left))) faults.push_back(Utf8(dir + left) + " was left behind");
    return faults;
}

// ---- pixels ---------------------------------------------------------------------------

std::string ColourText(COLORREF c) {
    if (c == CLR_INVALID) return "(outside)";
    char buf[32];
    snprintf(buf, sizeof buf, "(%d,%d,%d)", GetRValue(c), GetGValue(c), GetBValue(c));
    return buf;
}

bool Capture::GrabNow(HWND h) {
    RECT r{};
    if (!GetWindowRect(h, &r)) return false;
    int w = r.right - r.left, ht = r.bottom - r.top;
    if (w <= 0 || ht <= 0) return false;
    HDC screen = GetDC(nullptr);
    if (!screen) return false;
    HDC mem = CreateCompatibleDC(screen);
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -ht;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool ok = false;
    if (mem && dib) {
        HGDIOBJ old = SelectObject(mem, dib);
        ok = BitBlt(mem, 0, 0, w, ht, screen, r.left, r.top, SRCCOPY);
        GdiFlush();
        SelectObject(mem, old);
        if (ok) {
            px_.resize(static_cast<size_t>(w) * ht);
            const auto* src = static_cast<const DWORD*>(bits);
            for (size_t i = 0; i < px_.size(); ++i) {
                DWORD v = src[i];
                px_[i] = RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
            }
            width_ = w;
            height_ = ht;
            window_ = h;
            origin_ = {r.left, r.top};
        }
    }
    if (dib) DeleteObject(dib);
    if (mem) DeleteDC(mem);
    ReleaseDC(nullptr, screen);
    return ok;
}

namespace {

BOOL CALLBACK NotePendingPaint(HWND c, LPARAM lp) {
    if (IsWindowVisible(c) && GetUpdateRect(c, nullptr, FALSE)) *reinterpret_cast<bool*>(lp) = true;
    return TRUE;
}

// True while h or one of its descendants still has a region waiting to be painted.
bool PaintPending(HWND h) {
    if (GetUpdateRect(h, nullptr, FALSE)) return true;
    bool pending = false;
    EnumChildWindows(h, NotePendingPaint, reinterpret_cast<LPARAM>(&pending));
    return pending;
}

// The first visible window of another program that lies above top and overlaps it.
HWND CoveringWindow(HWND top) {
    RECT r{};
    GetWindowRect(top, &r);
    DWORD pid = 0;
    GetWindowThreadProcessId(top, &pid);
    for (HWND w = GetWindow(top, GW_HWNDPREV); w; w = GetWindow(w, GW_HWNDPREV)) {
        RECT o{}, both{};
        DWORD owner = 0;
        GetWindowThreadProcessId(w, &owner);
        if (owner != pid && IsWindowVisible(w) && GetWindowRect(w, &o) && IntersectRect(&both, &r, &o)) return w;
    }
    return nullptr;
}

} // namespace

bool Capture::Grab(HWND h, DWORD timeout_ms) {
    HWND top = GetAncestor(h, GA_ROOT);
    // Other programs on the same display (the installed program, a browser, another
    // test) must not hide any of it: topmost while the picture is taken.
    const bool was_topmost = GetWindowLongW(top, GWL_EXSTYLE) & WS_EX_TOPMOST;
    SetWindowPos(top, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    bool ok = GrabPainted(h, top, timeout_ms);
    if (!was_topmost) SetWindowPos(top, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    return ok;
}

bool Capture::GrabPainted(HWND h, HWND top, DWORD timeout_ms) {
    covered_by_.clear();
    if (HWND other = CoveringWindow(top)) covered_by_ = Describe(other);
    RedrawWindow(top, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
    DWORD start = GetTickCount();
    while (PaintPending(top) && GetTickCount() - start < timeout_ms) Sleep(20);
    // Wine hands a painted window to the X server when its thread next looks for
    // messages: a message answered means the last paint has been passed on.
    Sync(top);
    std::vector<COLORREF> last;
    for (int same = 0;;) {
        Sleep(120);
        if (!GrabNow(h)) return false;
        same = px_ == last ? same + 1 : 0;
        if (same >= 2) return true;
        if (GetTickCount() - start >= timeout_ms) return true; // still changing: keep the latest
        last = px_;
    }
}

COLORREF Capture::At(int x, int y) const {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return CLR_INVALID;
    return px_[static_cast<size_t>(y) * width_ + x];
}

RECT Capture::ClientRect(HWND h) const {
    RECT r{};
    GetClientRect(h, &r);
    MapWindowPoints(h, HWND_DESKTOP, reinterpret_cast<POINT*>(&r), 2);
    OffsetRect(&r, -origin_.x, -origin_.y);
    return r;
}

COLORREF Capture::AtClient(HWND h, int x, int y) const {
    RECT r = ClientRect(h);
    return At(r.left + x, r.top + y);
}

int Capture::Count(const RECT& r, COLORREF c) const {
    int n = 0;
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x)
            if (At(x, y) == c) ++n;
    return n;
}

RECT Capture::Bounds(const RECT& r, const std::function<bool(COLORREF)>& pred) const {
    RECT b{INT_MAX, INT_MAX, INT_MIN, INT_MIN};
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x) {
            COLORREF c = At(x, y);
            if (c == CLR_INVALID || !pred(c)) continue;
            if (x < b.left) b.left = x;
            if (y < b.top) b.top = y;
            if (x + 1 > b.right) b.right = x + 1;
            if (y + 1 > b.bottom) b.bottom = y + 1;
        }
    if (b.left == INT_MAX) return RECT{};
    return b;
}

bool Capture::SaveBmp(const std::wstring& path) const {
    if (width_ <= 0 || height_ <= 0) return false;
    const int stride = (width_ * 3 + 3) & ~3;
    BITMAPFILEHEADER fh{};
    BITMAPINFOHEADER ih{};
    ih.biSize = sizeof ih;
    ih.biWidth = width_;
    ih.biHeight = height_;
    ih.biPlanes = 1;
    ih.biBitCount = 24;
    ih.biCompression = BI_RGB;
    ih.biSizeImage = static_cast<DWORD>(stride) * height_;
    fh.bfType = 0x4D42;
    fh.bfOffBits = sizeof fh + sizeof ih;
    fh.bfSize = fh.bfOffBits + ih.biSizeImage;
    HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) return false;
    DWORD put = 0;
    bool ok = WriteFile(f, &fh, sizeof fh, &put, nullptr) && WriteFile(f, &ih, sizeof ih, &put, nullptr);
    std::vector<BYTE> row(stride, 0);
    for (int y = height_ - 1; ok && y >= 0; --y) {
        for (int x = 0; x < width_; ++x) {
            COLORREF c = At(x, y);
            row[x * 3] = GetBValue(c);
            row[x * 3 + 1] = GetGValue(c);
            row[x * 3 + 2] = GetRValue(c);
        }
        ok = WriteFile(f, row.data(), stride, &put, nullptr) && put == static_cast<DWORD>(stride);
    }
    CloseHandle(f);
    return ok;
}

bool Screenshot(HWND h, const std::wstring& name) {
    Capture c;
    if (!c.Grab(h)) return false;
    return c.SaveBmp(ScreenshotDir() + L"\\" + name + L".bmp");
}

} // namespace e2e
