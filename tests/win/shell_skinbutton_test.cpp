// The skinned button's messages in Wine's style: which messages and calls a mouse
// move, a hover and a leave produce, and the state they leave behind.
#include "afx/afxwin.h"

#include <gtest/gtest.h>

#include "pages/SkinButton.h"
#include "res/resource.h"
#include "win_test_util.h"

namespace {

// Pseudo-message noted in the log when the button asks for mouse tracking.
constexpr UINT kTrackCall = WM_APP + 0x300;

int g_trackCalls = 0;
bool g_trackFails = false;
TRACKMOUSEEVENT g_lastTrack{};
void* g_originalTrack = nullptr;
void* g_originalGetProc = nullptr;
HMODULE g_trackModule = nullptr;

BOOL WINAPI RecordTrackMouseEvent(LPTRACKMOUSEEVENT tme) {
    ++g_trackCalls;
    g_lastTrack = *tme;
    if (wt::MessageLog::Active()) wt::MessageLog::Active()->Note(tme->hwndTrack, kTrackCall);
    if (g_trackFails) return FALSE;
    return reinterpret_cast<BOOL(WINAPI*)(LPTRACKMOUSEEVENT)>(g_originalTrack)(tme);
}

// The button takes _TrackMouseEvent from comctl32 through GetProcAddress; this answers
// with the recorder and notes the module it was asked in.
FARPROC WINAPI RecordingGetProcAddress(HMODULE module, LPCSTR name) {
    auto* real = reinterpret_cast<decltype(&::GetProcAddress)>(g_originalGetProc);
    if (HIWORD(reinterpret_cast<ULONG_PTR>(name)) == 0 || lstrcmpA(name, "_TrackMouseEvent") != 0)
        return real(module, name);
    g_trackModule = module;
    g_originalTrack = reinterpret_cast<void*>(real(module, name));
    return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(&RecordTrackMouseEvent));
}

class CSkinHost : public CDialog {
public:
    CSkinHost() : CDialog(IDD_SETUP_DIALOG) {}
    CSkinButton m_btnNext;

protected:
    void DoDataExchange(CDataExchange* pDX) override { DDX_Control(pDX, IDC_NEXT, m_btnNext); }
};

class SkinButtonMessages : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_patch.ok()) << "the program does not import GetProcAddress from kernel32";
        g_originalGetProc = m_patch.original();
        g_trackModule = nullptr;
        g_trackCalls = 0;
        g_trackFails = false;
        ASSERT_TRUE(m_host.Create(IDD_SETUP_DIALOG, nullptr));
        m_hBtn = m_host.m_btnNext.m_hWnd;
        ASSERT_TRUE(m_hBtn);
        UpdateWindow(m_host.m_hWnd);
        // Drop whatever the real pointer did so far.
        wt::Pump(50);
        m_host.m_btnNext.m_bHover = 0;
        m_host.m_btnNext.m_bTracking = 0;
        g_trackCalls = 0;
    }
    void TearDown() override { m_host.DestroyWindow(); }

    wt::ImportPatch m_patch{"kernel32.dll", "GetProcAddress", reinterpret_cast<void*>(&RecordingGetProcAddress)};
    CSkinHost m_host;
    HWND m_hBtn = nullptr;
};

TEST_F(SkinButtonMessages, SubclassingMakesTheButtonOwnerDrawn) {
    const LONG style = GetWindowLongA(m_hBtn, GWL_STYLE);
    EXPECT_EQ(style & BS_TYPEMASK, BS_OWNERDRAW);
    EXPECT_EQ(style & (WS_CHILD | WS_VISIBLE | WS_TABSTOP), WS_CHILD | WS_VISIBLE | WS_TABSTOP);
    // Buttons that are not bound keep their push-button style.
    EXPECT_EQ(GetWindowLongA(GetDlgItem(m_host.m_hWnd, IDC_BACK), GWL_STYLE) & BS_TYPEMASK, BS_PUSHBUTTON);
}

TEST_F(SkinButtonMessages, FirstMouseMoveRequestsTrackingOnce) {
    wt::MessageLog log({m_hBtn, m_host.m_hWnd});
    SendMessageA(m_hBtn, WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
    SendMessageA(m_hBtn, WM_MOUSEMOVE, 0, MAKELPARAM(6, 5));
    const std::string diff =
            wt::CompareSequence(log, {{m_hBtn, WM_MOUSEMOVE}, {m_hBtn, kTrackCall}, {m_hBtn, WM_MOUSEMOVE}});
    EXPECT_EQ(diff, "");
    EXPECT_EQ(g_trackCalls, 1);
    EXPECT_EQ(g_lastTrack.cbSize, sizeof(TRACKMOUSEEVENT));
    EXPECT_EQ(g_lastTrack.dwFlags, static_cast<DWORD>(TME_HOVER | TME_LEAVE));
    EXPECT_EQ(g_lastTrack.hwndTrack, m_hBtn);
    EXPECT_EQ(g_lastTrack.dwHoverTime, 1u);
    EXPECT_TRUE(m_host.m_btnNext.m_bTracking);
    EXPECT_FALSE(m_host.m_btnNext.m_bHover) << "a move alone is no hover";
}

// comctl32 is no Known DLL: the one in the system folder, never one beside the program.
TEST_F(SkinButtonMessages, TrackingComesFromTheSystemFoldersComctl32) {
    SendMessageA(m_hBtn, WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
    ASSERT_EQ(g_trackCalls, 1);
    ASSERT_NE(g_trackModule, nullptr) << "_TrackMouseEvent was not looked up with GetProcAddress";
    char got[MAX_PATH] = "", want[MAX_PATH] = "";
    GetModuleFileNameA(g_trackModule, got, MAX_PATH);
    const UINT n = GetSystemDirectoryA(want, MAX_PATH);
    ASSERT_TRUE(n > 0 && n + sizeof("\\comctl32.dll") < MAX_PATH);
    lstrcatA(want, "\\comctl32.dll");
    EXPECT_EQ(lstrcmpiA(got, want), 0) << got;
}

TEST_F(SkinButtonMessages, FailedRequestIsRepeatedOnTheNextMove) {
    g_trackFails = true;
    SendMessageA(m_hBtn, WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
    EXPECT_EQ(g_trackCalls, 1);
    EXPECT_FALSE(m_host.m_btnNext.m_bTracking);
    SendMessageA(m_hBtn, WM_MOUSEMOVE, 0, MAKELPARAM(5, 6));
    EXPECT_EQ(g_trackCalls, 2);
    g_trackFails = false;
    SendMessageA(m_hBtn, WM_MOUSEMOVE, 0, MAKELPARAM(5, 7));
    EXPECT_EQ(g_trackCalls, 3);
    EXPECT_TRUE(m_host.m_btnNext.m_bTracking);
    SendMessageA(m_hBtn, WM_MOUSEMOVE, 0, MAKELPARAM(5, 8));
    EXPECT_EQ(g_trackCalls, 3);
}

TEST_F(SkinButtonMessages, HoverSetsTheFlagAndRepaintsWithErasing) {
    ValidateRect(m_hBtn, nullptr);
    EXPECT_EQ(SendMessageA(m_hBtn, WM_MOUSEHOVER, 0, MAKELPARAM(5, 5)), 0);
    EXPECT_TRUE(m_host.m_btnNext.m_bHover);
    RECT update, client;
    ASSERT_TRUE(GetUpdateRect(m_hBtn, &update, FALSE)) << "the button was not invalidated";
    GetClientRect(m_hBtn, &client);
    EXPECT_TRUE(EqualRect(&update, &client));

    wt::MessageLog log({m_hBtn, m_host.m_hWnd});
    UpdateWindow(m_hBtn);
    EXPECT_EQ(wt::CompareSequence(log, {{m_hBtn, WM_PAINT}, {m_host.m_hWnd, WM_DRAWITEM}}), "");
    EXPECT_GE(log.Count(m_hBtn, WM_ERASEBKGND), 1) << "hover invalidates with erasing; " << log.Dump();
    EXPECT_EQ(g_trackCalls, 0);
}

TEST_F(SkinButtonMessages, LeaveClearsHoverAndTrackingAndRepaintsWithoutErasing) {
    m_host.m_btnNext.m_bHover = 1;
    m_host.m_btnNext.m_bTracking = 1;
    ValidateRect(m_hBtn, nullptr);
    EXPECT_EQ(SendMessageA(m_hBtn, WM_MOUSELEAVE, 0, 0), 0);
    EXPECT_FALSE(m_host.m_btnNext.m_bHover);
    EXPECT_FALSE(m_host.m_btnNext.m_bTracking);
    RECT update;
    ASSERT_TRUE(GetUpdateRect(m_hBtn, &update, FALSE)) << "the button was not invalidated";

    wt::MessageLog log({m_hBtn, m_host.m_hWnd});
    UpdateWindow(m_hBtn);
    EXPECT_EQ(wt::CompareSequence(log, {{m_hBtn, WM_PAINT}, {m_host.m_hWnd, WM_DRAWITEM}}), "");
    EXPECT_EQ(log.Count(m_hBtn, WM_ERASEBKGND), 0) << "leave invalidates without erasing; " << log.Dump();

    // The next move asks again.
    SendMessageA(m_hBtn, WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
    EXPECT_EQ(g_trackCalls, 1);
}

TEST_F(SkinButtonMessages, RealPointerHoversAndLeaves) {
    RECT rc;
    GetWindowRect(m_hBtn, &rc);
    SetForegroundWindow(m_host.m_hWnd);
    SetCursorPos((rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2);
    SendMessageA(m_hBtn, WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
    for (int i = 0; i < 100 && !m_host.m_btnNext.m_bHover; ++i) wt::Pump(20);
    EXPECT_TRUE(m_host.m_btnNext.m_bHover) << "no WM_MOUSEHOVER arrived with the pointer resting on the button";
    EXPECT_GE(g_trackCalls, 1);

    SetCursorPos(rc.right + 300, rc.bottom + 300);
    for (int i = 0; i < 100 && (m_host.m_btnNext.m_bHover || m_host.m_btnNext.m_bTracking); ++i) wt::Pump(20);
    EXPECT_FALSE(m_host.m_btnNext.m_bHover) << "no WM_MOUSELEAVE arrived after the pointer left";
    EXPECT_FALSE(m_host.m_btnNext.m_bTracking);
}

// ---------------------------------------------------------------------------
// Band colours

struct BandRow {
    BOOL hover;
    BOOL highlight;
    int band;
    COLORREF colour;
};

TEST(SkinButtonBands, SchemesByHoverAndHighlight) {
    const BandRow rows[] = {
            {0, 0, 0, RGB(255, 255, 255)}, {0, 0, 63, RGB(234, 234, 243)}, {0, 0, 30, RGB(245, 245, 249)},
            {0, 1, 0, RGB(255, 255, 255)}, {0, 1, 63, RGB(234, 234, 240)}, {0, 1, 30, RGB(245, 245, 248)},
            {1, 0, 0, RGB(255, 255, 255)}, {1, 0, 63, RGB(240, 240, 243)}, {1, 0, 30, RGB(248, 248, 249)},
            {1, 1, 0, RGB(255, 255, 255)}, {1, 1, 63, RGB(240, 240, 234)}, {1, 1, 30, RGB(248, 248, 245)},
            {0, 0, 2, RGB(255, 255, 255)}, {0, 0, 3, RGB(254, 254, 255)},  {0, 0, 5, RGB(254, 254, 254)},
    };
    for (const BandRow& row : rows) {
        const COLORREF c = CSkinButton::BandColor(row.band, row.hover, row.highlight);
        EXPECT_EQ(c, row.colour) << "hover " << row.hover << " highlight " << row.highlight << " band " << row.band
                                 << ": " << wt::Rgb(c) << " expected " << wt::Rgb(row.colour);
    }
}

TEST(SkinButtonBands, EveryChannelDarkensStepByStep) {
    for (int scheme = 0; scheme < 4; ++scheme) {
        const BOOL hover = scheme / 2, highlight = scheme % 2;
        for (int i = 1; i < 64; ++i) {
            const COLORREF a = CSkinButton::BandColor(i - 1, hover, highlight);
            const COLORREF b = CSkinButton::BandColor(i, hover, highlight);
            EXPECT_LE(GetRValue(a) - GetRValue(b), 1) << "scheme " << scheme << " band " << i;
            EXPECT_GE(GetRValue(a) - GetRValue(b), 0) << "scheme " << scheme << " band " << i;
            EXPECT_GE(GetBValue(a) - GetBValue(b), 0) << "scheme " << scheme << " band " << i;
            EXPECT_EQ(GetRValue(b), GetGValue(b)) << "red and green go together";
        }
    }
}

} // namespace
