// The framework layer under Wine: message maps, the handle map, dialog items, data
// exchange, owner-draw reflection, control colours, modal runs and detaching.
#include "afx/afxwin.h"

#include <gtest/gtest.h>

#include <string>

#include "app/AboutDlg.h"
#include "app/SetupApp.h"
#include "res/resource.h"
#include "win_test_util.h"

namespace {

// A top-level (or child) window whose procedure is DefWindowProcA.
HWND MakePlainWindow(HWND hParent = nullptr) {
    static ATOM atom = [] {
        WNDCLASSA wc{};
        wc.lpfnWndProc = DefWindowProcA;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "ShellTestPlain";
        return RegisterClassA(&wc);
    }();
    (void)atom;
    return CreateWindowExA(0, "ShellTestPlain", "plain", hParent ? WS_CHILD : WS_OVERLAPPEDWINDOW, 0, 0, 200, 100,
                           hParent, nullptr, GetModuleHandleA(nullptr), nullptr);
}

std::string TextOf(HWND h) {
    char buf[512] = "";
    GetWindowTextA(h, buf, sizeof(buf));
    return buf;
}

// ---------------------------------------------------------------------------
// Message maps

class CProbeBase : public CWnd {
public:
    int m_nApp = 0;
    int m_nBaseApp2 = 0;
    UINT_PTR m_lastTimer = 0;
    int m_nPostNcDestroy = 0;

    LRESULT OnApp(WPARAM wParam, LPARAM lParam) {
        ++m_nApp;
        return static_cast<LRESULT>(wParam) + lParam;
    }
    LRESULT OnApp2(WPARAM, LPARAM) {
        ++m_nBaseApp2;
        return 2;
    }
    void OnTimer(UINT_PTR nIDEvent) { m_lastTimer = nIDEvent; }

protected:
    void PostNcDestroy() override { ++m_nPostNcDestroy; }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CProbeBase, CWnd)
    ON_MESSAGE(WM_APP, OnApp)
    ON_MESSAGE(WM_APP + 2, OnApp2)
    ON_WM_TIMER()
END_MESSAGE_MAP()

class CProbeDerived : public CProbeBase {
public:
    int m_nApp1 = 0;
    int m_nDerivedApp2 = 0;
    int m_nClicked = 0;
    std::string m_nestedText;

    LRESULT OnApp1(WPARAM, LPARAM) {
        ++m_nApp1;
        return 11;
    }
    LRESULT OnApp2Derived(WPARAM, LPARAM) {
        ++m_nDerivedApp2;
        return 22;
    }
    void OnClicked77() { ++m_nClicked; }
    // Sends itself another message before passing WM_SETTEXT on: Default() must
    // still mean the WM_SETTEXT.
    LRESULT OnSetText(WPARAM, LPARAM) {
        SendMessage(WM_APP, 1, 1);
        char buf[64] = "";
        ::GetWindowTextA(m_hWnd, buf, sizeof(buf));
        m_nestedText = buf;
        return Default();
    }

protected:
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CProbeDerived, CProbeBase)
    ON_MESSAGE(WM_APP + 1, OnApp1)
    ON_MESSAGE(WM_APP + 2, OnApp2Derived)
    ON_BN_CLICKED(77, OnClicked77)
    ON_MESSAGE(WM_SETTEXT, OnSetText)
END_MESSAGE_MAP()

class AfxMessageMap : public ::testing::Test {
protected:
    void SetUp() override {
        m_hWnd = MakePlainWindow();
        ASSERT_TRUE(m_hWnd);
        ASSERT_TRUE(m_probe.SubclassWindow(m_hWnd));
    }
    void TearDown() override {
        if (IsWindow(m_hWnd)) DestroyWindow(m_hWnd);
    }
    HWND m_hWnd = nullptr;
    CProbeDerived m_probe;
};

TEST_F(AfxMessageMap, HandlerOfTheClassIsCalledWithItsArguments) {
    EXPECT_EQ(SendMessageA(m_hWnd, WM_APP + 1, 0, 0), 11);
    EXPECT_EQ(m_probe.m_nApp1, 1);
}

TEST_F(AfxMessageMap, UnmappedMessagesChainToTheBaseMap) {
    EXPECT_EQ(SendMessageA(m_hWnd, WM_APP, 30, 12), 42);
    EXPECT_EQ(m_probe.m_nApp, 1);
    SendMessageA(m_hWnd, WM_TIMER, 5, 0);
    EXPECT_EQ(m_probe.m_lastTimer, 5u);
}

TEST_F(AfxMessageMap, DerivedEntryHidesTheBaseEntry) {
    EXPECT_EQ(SendMessageA(m_hWnd, WM_APP + 2, 0, 0), 22);
    EXPECT_EQ(m_probe.m_nDerivedApp2, 1);
    EXPECT_EQ(m_probe.m_nBaseApp2, 0);
}

TEST_F(AfxMessageMap, UnknownMessagesGetTheDefaultProcessing) {
    EXPECT_EQ(SendMessageA(m_hWnd, WM_APP + 3, 1, 2), 0);
    SendMessageA(m_hWnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("abc"));
    EXPECT_EQ(TextOf(m_hWnd), "abc");
}

TEST_F(AfxMessageMap, ClickedEntryMatchesIdAndNotificationCode) {
    SendMessageA(m_hWnd, WM_COMMAND, MAKEWPARAM(77, BN_CLICKED), 0);
    EXPECT_EQ(m_probe.m_nClicked, 1);
    SendMessageA(m_hWnd, WM_COMMAND, MAKEWPARAM(77, BN_SETFOCUS), 0);
    SendMessageA(m_hWnd, WM_COMMAND, MAKEWPARAM(78, BN_CLICKED), 0);
    EXPECT_EQ(m_probe.m_nClicked, 1);
}

TEST_F(AfxMessageMap, DefaultMeansTheMessageBeingHandledAfterANestedOne) {
    SetWindowTextA(m_hWnd, "new text");
    EXPECT_EQ(m_probe.m_nApp, 1);
    EXPECT_EQ(m_probe.m_nestedText, "plain");
    EXPECT_EQ(TextOf(m_hWnd), "new text");
}

// ---------------------------------------------------------------------------
// Handle map and detaching

TEST(AfxHandleMap, PermanentAndTemporaryObjects) {
    EXPECT_EQ(CWnd::FromHandle(nullptr), nullptr);
    HWND h = MakePlainWindow();
    ASSERT_TRUE(h);
    EXPECT_EQ(CWnd::FromHandlePermanent(h), nullptr);
    CWnd* pTemp = CWnd::FromHandle(h);
    ASSERT_NE(pTemp, nullptr);
    EXPECT_EQ(pTemp->m_hWnd, h);
    EXPECT_EQ(CWnd::FromHandle(h), pTemp) << "one temporary object per handle";
    EXPECT_EQ(CWnd::FromHandlePermanent(h), nullptr) << "a temporary object is not permanent";

    CProbeBase probe;
    ASSERT_TRUE(probe.Attach(h));
    EXPECT_EQ(CWnd::FromHandle(h), &probe);
    EXPECT_EQ(CWnd::FromHandlePermanent(h), &probe);
    EXPECT_FALSE(probe.Attach(h)) << "an object with a window takes no second one";
    EXPECT_FALSE(CProbeBase().Attach(nullptr));
    EXPECT_EQ(probe.Detach(), h);
    EXPECT_EQ(probe.m_hWnd, nullptr);
    EXPECT_EQ(CWnd::FromHandlePermanent(h), nullptr);
    DestroyWindow(h);
}

TEST(AfxDetach, ObjectDestroyedWhileItsWindowLivesRestoresTheProcedure) {
    HWND h = MakePlainWindow();
    ASSERT_TRUE(h);
    const LONG_PTR original = GetWindowLongPtrA(h, GWLP_WNDPROC);
    {
        auto* p = new CProbeBase;
        ASSERT_TRUE(p->SubclassWindow(h));
        EXPECT_EQ(GetWindowLongPtrA(h, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(&CWnd::AfxWndProc));
        EXPECT_EQ(SendMessageA(h, WM_APP, 1, 2), 3);
        delete p;
    }
    EXPECT_EQ(GetWindowLongPtrA(h, GWLP_WNDPROC), original);
    EXPECT_EQ(CWnd::FromHandlePermanent(h), nullptr);
    // The window goes on working with its own procedure.
    EXPECT_EQ(SendMessageA(h, WM_APP, 1, 2), 0);
    SetWindowTextA(h, "still alive");
    EXPECT_EQ(TextOf(h), "still alive");
    EXPECT_TRUE(DestroyWindow(h));
}

TEST(AfxDetach, DialogObjectDestroyedWhileItsWindowLives) {
    HWND hParent = MakePlainWindow();
    ASSERT_TRUE(hParent);
    CWnd parent;
    parent.Attach(hParent);
    HWND hPage = nullptr;
    {
        CDialog page(IDD_FOLDER);
        ASSERT_TRUE(page.Create(IDD_FOLDER, &parent));
        hPage = page.m_hWnd;
        ASSERT_TRUE(IsWindow(hPage));
    }
    ASSERT_TRUE(IsWindow(hPage));
    EXPECT_EQ(CWnd::FromHandlePermanent(hPage), nullptr);
    EXPECT_NE(GetWindowLongPtrA(hPage, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(&CWnd::AfxWndProc));
    // Messages that would have reached the object now reach nothing of it.
    HDC dc = GetDC(hPage);
    SendMessageA(hPage, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                 reinterpret_cast<LPARAM>(GetDlgItem(hPage, IDC_FOLDER_TITLE)));
    ReleaseDC(hPage, dc);
    SendMessageA(hPage, WM_COMMAND, IDCANCEL, 0);
    RedrawWindow(hPage, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    EXPECT_TRUE(DestroyWindow(hPage));
    parent.Detach();
    DestroyWindow(hParent);
}

TEST(AfxDetach, WindowDestroyedFirstDetachesTheObject) {
    HWND h = MakePlainWindow();
    CProbeBase probe;
    ASSERT_TRUE(probe.SubclassWindow(h));
    EXPECT_TRUE(DestroyWindow(h));
    EXPECT_EQ(probe.m_hWnd, nullptr);
    EXPECT_EQ(probe.m_nPostNcDestroy, 1);
    EXPECT_EQ(CWnd::FromHandlePermanent(h), nullptr);
}

// ---------------------------------------------------------------------------
// Dialog items and data exchange

TEST(AfxDlgItem, MinusOneFindsTheFirstSuchControlInTemplateOrder) {
    CDialog frame(IDD_SETUP_DIALOG);
    ASSERT_TRUE(frame.Create(IDD_SETUP_DIALOG, nullptr));
    CWnd* pPlaceholder = frame.GetDlgItem(-1);
    ASSERT_NE(pPlaceholder, nullptr);
    EXPECT_EQ(TextOf(pPlaceholder->m_hWnd), "Static");
    EXPECT_EQ(GetWindowLongA(pPlaceholder->m_hWnd, GWL_STYLE) & SS_TYPEMASK, SS_LEFT);
    CWnd* pNext = frame.GetDlgItem(IDC_NEXT);
    ASSERT_NE(pNext, nullptr);
    EXPECT_EQ(TextOf(pNext->m_hWnd), "下一步(N) >");
    EXPECT_EQ(frame.GetDlgItem(4242), nullptr);
    frame.DestroyWindow();

    // The welcome page's first id -1 control is its picture.
    HWND hParent = MakePlainWindow();
    CWnd parent;
    parent.Attach(hParent);
    CDialog page(IDD_WELCOME);
    ASSERT_TRUE(page.Create(IDD_WELCOME, &parent));
    CWnd* pPicture = page.GetDlgItem(-1);
    ASSERT_NE(pPicture, nullptr);
    EXPECT_EQ(GetWindowLongA(pPicture->m_hWnd, GWL_STYLE) & SS_TYPEMASK, SS_BITMAP);
    page.DestroyWindow();
    parent.Detach();
    DestroyWindow(hParent);
}

class CProbeButton : public CButton {
public:
    int m_nPreSubclass = 0;
    HWND m_hWndAtPreSubclass = nullptr;
    bool m_bOwnerDraw = false;
    int m_nDrawItem = 0;
    DRAWITEMSTRUCT m_lastDraw{};

    void DrawItem(LPDRAWITEMSTRUCT lpDIS) override {
        ++m_nDrawItem;
        m_lastDraw = *lpDIS;
    }

protected:
    void PreSubclassWindow() override {
        ++m_nPreSubclass;
        m_hWndAtPreSubclass = m_hWnd;
        if (m_bOwnerDraw) ModifyStyle(0, BS_OWNERDRAW, 0);
    }
};

class CExchangeDlg : public CDialog {
public:
    CExchangeDlg() : CDialog(IDD_FOLDER) {}
    CString m_strFolder;
    CString m_strMissing = "untouched";
    CProbeButton m_btnBrowse;
    int m_nCtlColor = 0;
    HDC m_lastDC = nullptr;
    HWND m_lastCtl = nullptr;
    UINT m_lastType = 99;
    HBRUSH m_lastDefault = nullptr;
    CBrush m_brush{RGB(1, 2, 3)};

    HBRUSH OnCtlColor(CDC* pDC, CWnd* pWnd, UINT nCtlColor) {
        ++m_nCtlColor;
        m_lastDefault = CDialog::OnCtlColor(pDC, pWnd, nCtlColor);
        m_lastDC = pDC->GetSafeHdc();
        m_lastCtl = pWnd ? pWnd->m_hWnd : nullptr;
        m_lastType = nCtlColor;
        return m_brush;
    }

protected:
    void DoDataExchange(CDataExchange* pDX) override {
        DDX_Text(pDX, IDC_FOLDER_EDIT, m_strFolder);
        DDX_Text(pDX, 4242, m_strMissing);
        DDX_Control(pDX, IDC_BROWSE, m_btnBrowse);
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CExchangeDlg, CDialog)
    ON_WM_CTLCOLOR()
END_MESSAGE_MAP()

class AfxPage : public ::testing::Test {
protected:
    void SetUp() override {
        m_hParent = MakePlainWindow();
        ASSERT_TRUE(m_hParent);
        m_parent.Attach(m_hParent);
        ASSERT_TRUE(m_dlg.Create(IDD_FOLDER, &m_parent));
        m_hEdit = GetDlgItem(m_dlg.m_hWnd, IDC_FOLDER_EDIT);
        ASSERT_TRUE(m_hEdit);
    }
    void TearDown() override {
        m_dlg.DestroyWindow();
        m_parent.Detach();
        DestroyWindow(m_hParent);
    }
    HWND m_hParent = nullptr;
    CWnd m_parent;
    CExchangeDlg m_dlg;
    HWND m_hEdit = nullptr;
};

TEST_F(AfxPage, TextExchangeBothWays) {
    m_dlg.m_strFolder = "C:\\Program Files\\dunmerra\\";
    ASSERT_TRUE(m_dlg.UpdateData(FALSE));
    EXPECT_EQ(TextOf(m_hEdit), "C:\\Program Files\\dunmerra\\");

    const char* typed = "D:\\昞\\安装 \t";
    SetWindowTextA(m_hEdit, typed);
    ASSERT_TRUE(m_dlg.UpdateData(TRUE));
    EXPECT_STREQ(m_dlg.m_strFolder, typed);

    std::string big(3000, 'x');
    SetWindowTextA(m_hEdit, big.c_str());
    ASSERT_TRUE(m_dlg.UpdateData(TRUE));
    EXPECT_EQ(m_dlg.m_strFolder.GetLength(), 3000);

    SetWindowTextA(m_hEdit, "");
    ASSERT_TRUE(m_dlg.UpdateData(TRUE));
    EXPECT_TRUE(m_dlg.m_strFolder.IsEmpty());
    EXPECT_STREQ(m_dlg.m_strMissing, "untouched") << "a missing control leaves its member alone";
}

TEST_F(AfxPage, UpdateDataWithoutAWindowFails) {
    CExchangeDlg unborn;
    EXPECT_FALSE(unborn.UpdateData(TRUE));
}

TEST_F(AfxPage, ControlExchangeSubclassesOnceAndCallsPreSubclassWindow) {
    HWND hBrowse = GetDlgItem(m_dlg.m_hWnd, IDC_BROWSE);
    EXPECT_EQ(m_dlg.m_btnBrowse.m_hWnd, hBrowse);
    EXPECT_EQ(m_dlg.m_btnBrowse.m_nPreSubclass, 1);
    EXPECT_EQ(m_dlg.m_btnBrowse.m_hWndAtPreSubclass, hBrowse);
    EXPECT_EQ(CWnd::FromHandlePermanent(hBrowse), &m_dlg.m_btnBrowse);
    EXPECT_EQ(GetWindowLongPtrA(hBrowse, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(&CWnd::AfxWndProc));
    m_dlg.UpdateData(TRUE);
    m_dlg.UpdateData(FALSE);
    EXPECT_EQ(m_dlg.m_btnBrowse.m_nPreSubclass, 1);
    // The button class still does the work.
    EXPECT_EQ(TextOf(hBrowse), "浏览(B)...");
    SendMessageA(hBrowse, BM_SETSTATE, TRUE, 0);
    EXPECT_TRUE(SendMessageA(hBrowse, BM_GETSTATE, 0, 0) & BST_PUSHED);
    SendMessageA(hBrowse, BM_SETSTATE, FALSE, 0);
}

struct CtlColorRow {
    UINT message;
    UINT type;
};

TEST_F(AfxPage, ControlColourMessagesArriveWithTheirType) {
    const CtlColorRow rows[] = {
            {WM_CTLCOLORMSGBOX, CTLCOLOR_MSGBOX},   {WM_CTLCOLOREDIT, CTLCOLOR_EDIT},
            {WM_CTLCOLORLISTBOX, CTLCOLOR_LISTBOX}, {WM_CTLCOLORBTN, CTLCOLOR_BTN},
            {WM_CTLCOLORDLG, CTLCOLOR_DLG},         {WM_CTLCOLORSCROLLBAR, CTLCOLOR_SCROLLBAR},
            {WM_CTLCOLORSTATIC, CTLCOLOR_STATIC},
    };
    HDC dc = GetDC(m_dlg.m_hWnd);
    HWND hTitle = GetDlgItem(m_dlg.m_hWnd, IDC_FOLDER_TITLE);
    for (const CtlColorRow& row : rows) {
        const LRESULT r =
                SendMessageA(m_dlg.m_hWnd, row.message, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(hTitle));
        EXPECT_EQ(reinterpret_cast<HBRUSH>(r), static_cast<HBRUSH>(m_dlg.m_brush)) << "message " << row.message;
        EXPECT_EQ(m_dlg.m_lastType, row.type) << "message " << row.message;
        EXPECT_EQ(m_dlg.m_lastDC, dc);
        EXPECT_EQ(m_dlg.m_lastCtl, hTitle);
        EXPECT_EQ(GetObjectType(m_dlg.m_lastDefault), static_cast<DWORD>(OBJ_BRUSH))
                << "the default processing gives a brush, message " << row.message;
    }
    ReleaseDC(m_dlg.m_hWnd, dc);
}

TEST_F(AfxPage, PaintingAControlAsksItsParentForColours) {
    SetWindowPos(m_hParent, nullptr, 0, 0, 700, 500, SWP_NOZORDER | SWP_NOMOVE);
    ShowWindow(m_hParent, SW_SHOWNOACTIVATE);
    m_dlg.ShowWindow(SW_SHOW);
    UpdateWindow(m_hParent);
    HWND hTitle = GetDlgItem(m_dlg.m_hWnd, IDC_FOLDER_TITLE);
    m_dlg.m_nCtlColor = 0;
    RedrawWindow(hTitle, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    EXPECT_GE(m_dlg.m_nCtlColor, 1);
    EXPECT_EQ(m_dlg.m_lastType, static_cast<UINT>(CTLCOLOR_STATIC));
    EXPECT_EQ(m_dlg.m_lastCtl, hTitle);
    m_dlg.m_nCtlColor = 0;
    RedrawWindow(m_hEdit, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    EXPECT_GE(m_dlg.m_nCtlColor, 1);
    EXPECT_EQ(m_dlg.m_lastType, static_cast<UINT>(CTLCOLOR_EDIT));
    EXPECT_EQ(m_dlg.m_lastCtl, m_hEdit);
    ShowWindow(m_hParent, SW_HIDE);
}

// ---------------------------------------------------------------------------
// Owner-draw reflection

class COwnerDrawHost : public CDialog {
public:
    COwnerDrawHost() : CDialog(IDD_SETUP_DIALOG) { m_btnNext.m_bOwnerDraw = true; }
    CProbeButton m_btnNext;

protected:
    void DoDataExchange(CDataExchange* pDX) override { DDX_Control(pDX, IDC_NEXT, m_btnNext); }
};

TEST(AfxOwnerDraw, ParentPassesDrawItemBackToTheButton) {
    COwnerDrawHost host;
    ASSERT_TRUE(host.Create(IDD_SETUP_DIALOG, nullptr));
    HWND hNext = host.m_btnNext.m_hWnd;
    ASSERT_TRUE(hNext);
    EXPECT_EQ(GetWindowLongA(hNext, GWL_STYLE) & BS_TYPEMASK, BS_OWNERDRAW);
    UpdateWindow(host.m_hWnd);
    host.m_btnNext.m_nDrawItem = 0;
    RedrawWindow(hNext, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    EXPECT_GE(host.m_btnNext.m_nDrawItem, 1);
    const DRAWITEMSTRUCT& dis = host.m_btnNext.m_lastDraw;
    EXPECT_EQ(dis.CtlType, static_cast<UINT>(ODT_BUTTON));
    EXPECT_EQ(dis.CtlID, static_cast<UINT>(IDC_NEXT));
    EXPECT_EQ(dis.hwndItem, hNext);
    EXPECT_NE(dis.hDC, nullptr);
    RECT rc;
    GetClientRect(hNext, &rc);
    EXPECT_TRUE(EqualRect(&rc, &dis.rcItem));

    // A WM_DRAWITEM for a control without an object, or for a menu, reaches nobody.
    host.m_btnNext.m_nDrawItem = 0;
    DRAWITEMSTRUCT other = dis;
    other.hwndItem = GetDlgItem(host.m_hWnd, IDC_CANCEL_SETUP);
    other.CtlID = IDC_CANCEL_SETUP;
    SendMessageA(host.m_hWnd, WM_DRAWITEM, IDC_CANCEL_SETUP, reinterpret_cast<LPARAM>(&other));
    DRAWITEMSTRUCT menu = dis;
    menu.CtlType = ODT_MENU;
    SendMessageA(host.m_hWnd, WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&menu));
    EXPECT_EQ(host.m_btnNext.m_nDrawItem, 0);
    // The reflected message reports that it was drawn.
    EXPECT_EQ(SendMessageA(host.m_hWnd, WM_DRAWITEM, IDC_NEXT, reinterpret_cast<LPARAM>(&dis)), TRUE);
    EXPECT_EQ(host.m_btnNext.m_nDrawItem, 1);
    host.DestroyWindow();
}

// ---------------------------------------------------------------------------
// Modal runs

int g_ticks = 0;
void CALLBACK CountTick(HWND, UINT, UINT_PTR, DWORD) { ++g_ticks; }

class AfxModal : public ::testing::Test {
protected:
    void SetUp() override {
        m_hMain = MakePlainWindow();
        ASSERT_TRUE(m_hMain);
        ShowWindow(m_hMain, SW_SHOWNOACTIVATE);
        m_main.Attach(m_hMain);
        m_savedMain = theApp.m_pMainWnd;
        theApp.m_pMainWnd = &m_main;
    }
    void TearDown() override {
        theApp.m_pMainWnd = m_savedMain;
        m_main.Detach();
        DestroyWindow(m_hMain);
    }
    HWND m_hMain = nullptr;
    CWnd m_main;
    CWnd* m_savedMain = nullptr;
};

TEST_F(AfxModal, OwnerIsTheMainWindowWhichIsDisabledWhileTimersGoOn) {
    wt::Watchdog dog(10000);
    g_ticks = 0;
    const UINT_PTR tick = SetTimer(nullptr, 0, 10, CountTick);
    HWND hOwner = reinterpret_cast<HWND>(1);
    BOOL mainEnabled = TRUE;
    int ticksSeen = 0;
    HWND hAbout = nullptr;
    int ticksAtShow = 0;
    wt::WhenDialog(m_hMain, [&](HWND shown) {
        hAbout = shown;
        hOwner = GetWindow(hAbout, GW_OWNER);
        mainEnabled = IsWindowEnabled(m_hMain);
        ticksAtShow = g_ticks;
        wt::Later(300, [&] {
            ticksSeen = g_ticks - ticksAtShow;
            SendMessageA(hAbout, WM_CLOSE, 0, 0);
        });
    });
    CAboutDlg about;
    const INT_PTR result = about.DoModal();
    KillTimer(nullptr, tick);
    ASSERT_NE(hAbout, nullptr) << "no dialog owned by the main window appeared";
    EXPECT_EQ(hOwner, m_hMain);
    EXPECT_FALSE(mainEnabled) << "the owner stays enabled during the modal run";
    EXPECT_GE(ticksSeen, 5) << "the thread's timers were not dispatched during the modal run";
    EXPECT_EQ(result, IDCANCEL) << "WM_CLOSE ends the run with IDCANCEL";
    EXPECT_TRUE(IsWindowEnabled(m_hMain)) << "the owner is enabled again after the run";
    EXPECT_FALSE(IsWindow(hAbout));
    EXPECT_EQ(about.m_hWnd, nullptr);
}

TEST_F(AfxModal, OkButtonEndsTheRunWithIdOk) {
    wt::Watchdog dog(10000);
    wt::WhenDialog(m_hMain, [&](HWND h) {
        if (h) SendMessageA(h, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(h, IDOK)));
    });
    CAboutDlg about;
    EXPECT_EQ(about.DoModal(), IDOK);
}

TEST_F(AfxModal, MissingTemplateReturnsMinusOneAtOnce) {
    CDialog missing(4321);
    const DWORD start = GetTickCount();
    EXPECT_EQ(missing.DoModal(), -1);
    EXPECT_LT(GetTickCount() - start, 1000u);
    EXPECT_TRUE(IsWindowEnabled(m_hMain));
    EXPECT_EQ(wt::FindOwnedDialog(m_hMain), nullptr);
}

TEST_F(AfxModal, ExplicitParentIsTheOwner) {
    wt::Watchdog dog(10000);
    HWND hOther = MakePlainWindow();
    ShowWindow(hOther, SW_SHOWNOACTIVATE);
    CWnd other;
    other.Attach(hOther);
    HWND hOwner = nullptr;
    BOOL mainEnabled = FALSE;
    wt::WhenDialog(hOther, [&](HWND h) {
        hOwner = GetWindow(h, GW_OWNER);
        mainEnabled = IsWindowEnabled(m_hMain);
        SendMessageA(h, WM_CLOSE, 0, 0);
    });
    CDialog dlg(IDD_ABOUTBOX, &other);
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    EXPECT_EQ(hOwner, hOther);
    EXPECT_TRUE(mainEnabled) << "only the owner is disabled";
    other.Detach();
    DestroyWindow(hOther);
}

TEST_F(AfxModal, NoOwnerWhenTheMainWindowIsGone) {
    wt::Watchdog dog(10000);
    theApp.m_pMainWnd = nullptr;
    HWND hOwner = reinterpret_cast<HWND>(1);
    wt::WhenDialog(nullptr, [&](HWND h) {
        hOwner = GetWindow(h, GW_OWNER);
        SendMessageA(h, WM_CLOSE, 0, 0);
    });
    CAboutDlg about;
    EXPECT_EQ(about.DoModal(), IDCANCEL);
    EXPECT_EQ(hOwner, nullptr);
}

} // namespace
