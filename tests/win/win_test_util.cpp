#include "win_test_util.h"

#include <commctrl.h>
#include <winternl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <utility>

namespace wt {

namespace {

// Every test of the program needs the common controls of the pages and the code page
// that the program's texts are written in.
class ShellEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        INITCOMMONCONTROLSEX icc{};
        icc.dwSize = sizeof(icc);
        icc.dwICC = ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS | ICC_WIN95_CLASSES;
        InitCommonControlsEx(&icc);
        ASSERT_EQ(GetACP(), 936u) << "the ANSI code page must be 936 (LC_ALL=zh_CN.UTF-8 under Wine, see "
                                     "tests/wine/env.sh): every text of the program is written in it";
    }
};

const bool g_environment = (::testing::AddGlobalTestEnvironment(new ShellEnvironment), true);

} // namespace

std::string Rgb(COLORREF c) {
    char buf[32];
    snprintf(buf, sizeof(buf), "%u,%u,%u", GetRValue(c), GetGValue(c), GetBValue(c));
    return buf;
}

void Pump(DWORD ms) {
    const DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        const DWORD spent = GetTickCount() - start;
        if (spent >= ms) break;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, ms - spent, QS_ALLINPUT);
    }
}

// ---------------------------------------------------------------------------
// Timers

namespace {

std::map<UINT_PTR, std::function<void()>>& Pending() {
    static std::map<UINT_PTR, std::function<void()>> pending;
    return pending;
}

void CALLBACK LaterProc(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    auto it = Pending().find(id);
    if (it == Pending().end()) return;
    std::function<void()> fn = std::move(it->second);
    Pending().erase(it);
    fn();
}

BOOL CALLBACK CollectThreadWindow(HWND hwnd, LPARAM lParam) {
    reinterpret_cast<std::vector<HWND>*>(lParam)->push_back(hwnd);
    return TRUE;
}

std::vector<HWND> ThreadWindows() {
    std::vector<HWND> windows;
    EnumThreadWindows(GetCurrentThreadId(), CollectThreadWindow, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

void CALLBACK WatchdogProc(HWND, UINT, UINT_PTR, DWORD) {
    ADD_FAILURE() << "a modal loop ran too long: closing every window of the thread";
    std::vector<HWND> windows = ThreadWindows();
    // Owned windows first: they were created last.
    std::reverse(windows.begin(), windows.end());
    for (HWND h : windows) {
        if (!IsWindowVisible(h)) continue;
        char title[128] = "";
        GetWindowTextA(h, title, sizeof(title));
        ADD_FAILURE() << "closing window [" << title << "]";
        PostMessageA(h, WM_CLOSE, 0, 0);
    }
}

} // namespace

void Later(UINT ms, std::function<void()> fn) {
    const UINT_PTR id = SetTimer(nullptr, 0, ms, LaterProc);
    ASSERT_NE(id, 0u) << "SetTimer failed, error " << GetLastError();
    Pending()[id] = std::move(fn);
}

void CancelLater() {
    for (auto& entry : Pending()) KillTimer(nullptr, entry.first);
    Pending().clear();
}

Watchdog::Watchdog(UINT ms) : m_id(SetTimer(nullptr, 0, ms, WatchdogProc)) {}

Watchdog::~Watchdog() {
    KillTimer(nullptr, m_id);
    CancelLater();
}

namespace {

void PollForDialog(HWND hOwner, std::shared_ptr<std::function<void(HWND)>> fn, DWORD deadline, bool required) {
    if (HWND h = FindOwnedDialog(hOwner)) {
        (*fn)(h);
        return;
    }
    if (static_cast<LONG>(GetTickCount() - deadline) >= 0) {
        if (required) ADD_FAILURE() << "no dialog owned by " << hOwner << " appeared";
        return;
    }
    Later(20, [=] { PollForDialog(hOwner, fn, deadline, required); });
}

} // namespace

void WhenDialog(HWND hOwner, std::function<void(HWND)> fn, UINT timeoutMs, bool required) {
    auto shared = std::make_shared<std::function<void(HWND)>>(std::move(fn));
    const DWORD deadline = GetTickCount() + timeoutMs;
    Later(20, [=] { PollForDialog(hOwner, shared, deadline, required); });
}

HWND FindOwnedDialog(HWND hOwner) {
    for (HWND h : ThreadWindows()) {
        char cls[16] = "";
        GetClassNameA(h, cls, sizeof(cls));
        if (lstrcmpA(cls, "#32770") == 0 && GetWindow(h, GW_OWNER) == hOwner && IsWindowVisible(h)) return h;
    }
    return nullptr;
}

// ---------------------------------------------------------------------------
// GDI objects

namespace {

// One entry of the GDI handle table that the PEB points to, as Wine lays it out.
struct GdiHandleEntry {
    UINT64 object;
    ULONG owner;
    USHORT unique;
    UCHAR type;
    UCHAR flags;
    UINT64 user;
};

// NtCurrentTeb reads the TEB through an intrinsic that GCC's bounds check misreads.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Warray-bounds"
const GdiHandleEntry* HandleTable() {
#ifdef _WIN64
    const size_t offset = 0xF8; // PEB.GdiSharedHandleTable
    auto* peb = reinterpret_cast<const char*>(NtCurrentTeb()->ProcessEnvironmentBlock);
    return *reinterpret_cast<const GdiHandleEntry* const*>(peb + offset);
#else
    return nullptr;
#endif
}

int CountHandleTable() {
    const GdiHandleEntry* table = HandleTable();
    if (!table) return -1;
    int n = 0;
    for (int i = 0; i < 0x10000; ++i) {
        if (table[i].type) ++n;
    }
    return n;
}
#pragma GCC diagnostic pop

} // namespace

std::map<DWORD, int> GdiObjectsByType() {
    std::map<DWORD, int> types;
    const GdiHandleEntry* table = HandleTable();
    if (!table) return types;
    for (int i = 0; i < 0x10000; ++i) {
        if (!table[i].type) continue;
        // A handle is its table index with the entry's unique word above it.
        const auto h =
                reinterpret_cast<HGDIOBJ>(static_cast<ULONG_PTR>(i | (static_cast<ULONG>(table[i].unique) << 16)));
        ++types[GetObjectType(h)];
    }
    return types;
}

int GdiObjectsInUse() {
    const DWORD n = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    if (n) return static_cast<int>(n);
    return CountHandleTable();
}

// ---------------------------------------------------------------------------
// Import patching

ImportPatch::ImportPatch(const char* dll, const char* function, void* replacement) {
    auto* base = reinterpret_cast<BYTE*>(GetModuleHandleA(nullptr));
    auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (!dir.VirtualAddress) return;
    for (auto* imp = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress); imp->Name; ++imp) {
        if (lstrcmpiA(reinterpret_cast<const char*>(base + imp->Name), dll) != 0) continue;
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + imp->OriginalFirstThunk);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + imp->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (lstrcmpA(reinterpret_cast<const char*>(byName->Name), function) != 0) continue;
            void** slot = reinterpret_cast<void**>(&slots->u1.Function);
            DWORD old = 0;
            if (!VirtualProtect(slot, sizeof(*slot), PAGE_READWRITE, &old)) return;
            m_original = *slot;
            *slot = replacement;
            VirtualProtect(slot, sizeof(*slot), old, &old);
            m_slot = slot;
            return;
        }
    }
}

ImportPatch::~ImportPatch() {
    if (!m_slot) return;
    DWORD old = 0;
    if (VirtualProtect(m_slot, sizeof(*m_slot), PAGE_READWRITE, &old)) {
        *m_slot = m_original;
        VirtualProtect(m_slot, sizeof(*m_slot), old, &old);
    }
}

// ---------------------------------------------------------------------------
// Message log

MessageLog* MessageLog::s_active = nullptr;

MessageLog::MessageLog(std::vector<HWND> windows) : m_windows(std::move(windows)) {
    s_active = this;
    m_hookSent = SetWindowsHookExA(WH_CALLWNDPROC, CallWndProc, nullptr, GetCurrentThreadId());
    m_hookPosted = SetWindowsHookExA(WH_GETMESSAGE, GetMsgProc, nullptr, GetCurrentThreadId());
}

MessageLog::~MessageLog() {
    if (m_hookSent) UnhookWindowsHookEx(m_hookSent);
    if (m_hookPosted) UnhookWindowsHookEx(m_hookPosted);
    if (s_active == this) s_active = nullptr;
}

LRESULT CALLBACK MessageLog::CallWndProc(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION && s_active) {
        const auto* cwp = reinterpret_cast<const CWPSTRUCT*>(lParam);
        const auto& w = s_active->m_windows;
        if (std::find(w.begin(), w.end(), cwp->hwnd) != w.end()) {
            s_active->m_seen.push_back({cwp->hwnd, cwp->message, cwp->wParam, cwp->lParam});
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

LRESULT CALLBACK MessageLog::GetMsgProc(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION && wParam == PM_REMOVE && s_active) {
        const auto* msg = reinterpret_cast<const MSG*>(lParam);
        const auto& w = s_active->m_windows;
        if (std::find(w.begin(), w.end(), msg->hwnd) != w.end()) {
            s_active->m_seen.push_back({msg->hwnd, msg->message, msg->wParam, msg->lParam});
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

int MessageLog::Count(HWND hwnd, UINT message) const {
    return static_cast<int>(std::count_if(m_seen.begin(), m_seen.end(),
                                          [&](const Seen& s) { return s.hwnd == hwnd && s.message == message; }));
}

std::string MessageLog::Dump() const {
    std::string out;
    char buf[64];
    for (const Seen& s : m_seen) {
        snprintf(buf, sizeof(buf), "%p:%04x ", static_cast<void*>(s.hwnd), s.message);
        out += buf;
    }
    return out;
}

std::string CompareSequence(const MessageLog& log, const std::vector<Expected>& expected) {
    auto known = [&](const Seen& s) {
        return std::any_of(expected.begin(), expected.end(),
                           [&](const Expected& e) { return e.hwnd == s.hwnd && e.message == s.message; });
    };
    std::vector<Seen> got;
    for (const Seen& s : log.seen()) {
        if (known(s)) got.push_back(s);
    }
    char buf[160];
    size_t i = 0, j = 0;
    while (i < expected.size()) {
        if (j < got.size() && got[j].hwnd == expected[i].hwnd && got[j].message == expected[i].message) {
            ++i;
            ++j;
        } else if (expected[i].optional) {
            ++i;
        } else {
            snprintf(buf, sizeof(buf), "expected message %04x at position %zu, got %04x; log: ", expected[i].message, i,
                     j < got.size() ? got[j].message : 0u);
            return buf + log.Dump();
        }
    }
    if (j < got.size()) {
        snprintf(buf, sizeof(buf), "unexpected message %04x after the sequence; log: ", got[j].message);
        return buf + log.Dump();
    }
    return "";
}

// ---------------------------------------------------------------------------
// Bitmaps

MemBitmap::MemBitmap(int width, int height, COLORREF fill) : m_width(width), m_height(height) {
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = width;
    bi.bmiHeader.biHeight = -height;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HDC screen = GetDC(nullptr);
    m_bitmap = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    m_dc = CreateCompatibleDC(screen);
    ReleaseDC(nullptr, screen);
    m_bits = static_cast<const DWORD*>(bits);
    m_old = SelectObject(m_dc, m_bitmap);
    HBRUSH brush = CreateSolidBrush(fill);
    RECT rc = {0, 0, width, height};
    FillRect(m_dc, &rc, brush);
    DeleteObject(brush);
}

MemBitmap::~MemBitmap() {
    if (m_dc) {
        SelectObject(m_dc, m_old);
        DeleteDC(m_dc);
    }
    if (m_bitmap) DeleteObject(m_bitmap);
}

COLORREF MemBitmap::At(int x, int y) const {
    if (!m_bits || x < 0 || y < 0 || x >= m_width || y >= m_height) return CLR_INVALID;
    GdiFlush();
    const DWORD v = m_bits[static_cast<size_t>(y) * static_cast<size_t>(m_width) + static_cast<size_t>(x)];
    return RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
}

bool MemBitmap::Save(const std::string& name) const {
    if (!m_bits) return false;
    GdiFlush();
    const std::string path = ScreenshotDir() + "\\" + name;
    const DWORD stride = (static_cast<DWORD>(m_width) * 3 + 3) & ~3u;
    BITMAPFILEHEADER fh{};
    BITMAPINFOHEADER ih{};
    ih.biSize = sizeof(ih);
    ih.biWidth = m_width;
    ih.biHeight = m_height;
    ih.biPlanes = 1;
    ih.biBitCount = 24;
    ih.biCompression = BI_RGB;
    ih.biSizeImage = stride * static_cast<DWORD>(m_height);
    fh.bfType = 0x4D42;
    fh.bfOffBits = sizeof(fh) + sizeof(ih);
    fh.bfSize = fh.bfOffBits + ih.biSizeImage;
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = fwrite(&fh, sizeof(fh), 1, f) == 1 && fwrite(&ih, sizeof(ih), 1, f) == 1;
    std::vector<BYTE> row(stride, 0);
    for (int y = m_height - 1; ok && y >= 0; --y) {
        for (int x = 0; x < m_width; ++x) {
            const DWORD v = m_bits[static_cast<size_t>(y) * static_cast<size_t>(m_width) + static_cast<size_t>(x)];
            row[static_cast<size_t>(x) * 3] = static_cast<BYTE>(v & 0xFF);
            row[static_cast<size_t>(x) * 3 + 1] = static_cast<BYTE>((v >> 8) & 0xFF);
            row[static_cast<size_t>(x) * 3 + 2] = static_cast<BYTE>((v >> 16) & 0xFF);
        }
        ok = fwrite(row.data(), 1, row.size(), f) == row.size();
    }
    return fclose(f) == 0 && ok;
}

void CaptureClient(HWND hwnd, MemBitmap& bmp) {
    HDC dc = GetDC(hwnd);
    BitBlt(bmp.dc(), 0, 0, bmp.width(), bmp.height(), dc, 0, 0, SRCCOPY);
    ReleaseDC(hwnd, dc);
}

std::string ScreenshotDir() {
    std::string dir = "Z:" INPROC_SCREENSHOTS;
    std::replace(dir.begin(), dir.end(), '/', '\\');
    for (size_t pos = dir.find('\\', 3); pos != std::string::npos; pos = dir.find('\\', pos + 1)) {
        CreateDirectoryA(dir.substr(0, pos).c_str(), nullptr);
    }
    CreateDirectoryA(dir.c_str(), nullptr);
    return dir;
}

} // namespace wt
