// What the pages and the skinned button paint, rendered into memory bitmaps.
#include "afx/afxwin.h"

#include <gtest/gtest.h>

#include <string>

#include "app/SetupDlg.h"
#include "pages/SkinButton.h"
#include "res/resource.h"
#include "shell_frame_support.h"
#include "win_test_util.h"

namespace {

const COLORREF kWhite = RGB(255, 255, 255);
const COLORREF kMagenta = RGB(255, 0, 255);

RECT RectIn(HWND hCtl, HWND hParent) {
    RECT rc;
    GetWindowRect(hCtl, &rc);
    MapWindowPoints(nullptr, hParent, reinterpret_cast<POINT*>(&rc), 2);
    return rc;
}

// ---------------------------------------------------------------------------
// Control colours of the pages, message by message

struct ColourRow {
    int page; // 0 welcome, 1 folder, 2 installing, 3 finish
    int id;   // 0: the page itself
    UINT message;
    bool white;
    int fontHeight; // 0: no font of the page's own
    int fontWeight;
};

CDialog& Page(CSetupDlg& dlg, int page) {
    switch (page) {
    case 0:
        return dlg.m_pageWelcome;
    case 1:
        return dlg.m_pageFolder;
    case 2:
        return dlg.m_pageInstall;
    default:
        return dlg.m_pageFinish;
    }
}

TEST(Pixels, PagesAnswerControlColoursWithTheirBrushAndFont) {
    const ColourRow rows[] = {
            {0, IDC_WELCOME_HEADING, WM_CTLCOLORSTATIC, true, 17, FW_SEMIBOLD},
            {0, IDC_WELCOME_TEXT, WM_CTLCOLORSTATIC, true, 13, FW_NORMAL},
            {0, IDC_WELCOME_TEXT, WM_CTLCOLORBTN, true, 0, 0}, // fonts only for statics
            {0, 0, WM_CTLCOLORDLG, true, 0, 0},
            {1, IDC_FOLDER_SUBTITLE, WM_CTLCOLORSTATIC, true, 13, FW_NORMAL},
            {1, IDC_FOLDER_TITLE, WM_CTLCOLORSTATIC, true, 14, FW_SEMIBOLD},
            {1, IDC_FOLDER_TEXT, WM_CTLCOLORSTATIC, false, 13, FW_NORMAL},
            {1, IDC_FOLDER_GROUP, WM_CTLCOLORSTATIC, false, 13, FW_EXTRALIGHT},
            {1, IDC_BROWSE, WM_CTLCOLORBTN, false, 13, FW_EXTRALIGHT},
            {1, IDC_FOLDER_EDIT, WM_CTLCOLOREDIT, false, 0, 0},
            {1, 0, WM_CTLCOLORDLG, false, 0, 0},
            {2, IDC_INSTALL_SUBTITLE, WM_CTLCOLORSTATIC, true, 13, FW_NORMAL},
            {2, IDC_INSTALL_TITLE, WM_CTLCOLORSTATIC, true, 14, FW_SEMIBOLD},
            {2, IDC_STATUS_EDIT, WM_CTLCOLORSTATIC, false, 0, 0},
            {2, IDC_PROGRESS, WM_CTLCOLORSTATIC, false, 0, 0},
            {2, 0, WM_CTLCOLORDLG, false, 0, 0},
            {3, IDC_FINISH_HEADING, WM_CTLCOLORSTATIC, true, 17, FW_SEMIBOLD},
            {3, IDC_FINISH_TEXT, WM_CTLCOLORSTATIC, true, 14, FW_NORMAL},
            {3, IDC_CHK_STARTMENU, WM_CTLCOLORSTATIC, true, 14, FW_NORMAL},
            {3, IDC_CHK_STARTUP, WM_CTLCOLORBTN, true, 14, FW_NORMAL},
            {3, IDC_CHK_DESKTOP, WM_CTLCOLORSTATIC, true, 14, FW_NORMAL},
            {3, IDC_CHK_RUNNOW, WM_CTLCOLORSTATIC, true, 14, FW_NORMAL},
            {3, 0, WM_CTLCOLORDLG, true, 0, 0},
    };
    CSetupDlg dlg;
    wt::RunFrame(dlg, [&] {
        HDC screen = GetDC(nullptr);
        HDC dc = CreateCompatibleDC(screen);
        HDC ref = CreateCompatibleDC(screen);
        ReleaseDC(nullptr, screen);
        HGDIOBJ startFont = GetCurrentObject(dc, OBJ_FONT);
        for (const ColourRow& row : rows) {
            CDialog& page = Page(dlg, row.page);
            HWND hCtl = row.id ? GetDlgItem(page.m_hWnd, row.id) : page.m_hWnd;
            ASSERT_TRUE(hCtl) << "page " << row.page << " control " << row.id;
            const std::string where = "page " + std::to_string(row.page) + " control " + std::to_string(row.id) +
                                      " message " + std::to_string(row.message);
            SelectObject(dc, startFont);
            SetBkColor(dc, RGB(1, 2, 3));
            SetBkColor(ref, RGB(1, 2, 3));
            auto brush = reinterpret_cast<HBRUSH>(SendMessageA(page.m_hWnd, row.message, reinterpret_cast<WPARAM>(dc),
                                                               reinterpret_cast<LPARAM>(hCtl)));
            auto defBrush = reinterpret_cast<HBRUSH>(DefWindowProcA(
                    page.m_hWnd, row.message, reinterpret_cast<WPARAM>(ref), reinterpret_cast<LPARAM>(hCtl)));
            if (row.white) {
                LOGBRUSH lb{};
                ASSERT_EQ(GetObjectA(brush, sizeof(lb), &lb), static_cast<int>(sizeof(lb))) << where;
                EXPECT_EQ(lb.lbColor, kWhite) << where << ": " << wt::Rgb(lb.lbColor);
                EXPECT_EQ(GetBkColor(dc), kWhite) << where << ": " << wt::Rgb(GetBkColor(dc));
            } else {
                EXPECT_EQ(brush, defBrush) << where;
                EXPECT_EQ(GetBkColor(dc), GetBkColor(ref)) << where << ": " << wt::Rgb(GetBkColor(dc));
            }
            HGDIOBJ font = GetCurrentObject(dc, OBJ_FONT);
            if (row.fontHeight) {
                LOGFONTA lf{};
                ASSERT_EQ(GetObjectA(font, sizeof(lf), &lf), static_cast<int>(sizeof(lf))) << where;
                EXPECT_EQ(lf.lfHeight, row.fontHeight) << where;
                EXPECT_EQ(lf.lfWeight, row.fontWeight) << where;
                EXPECT_STREQ(lf.lfFaceName, "宋体") << where;
                EXPECT_EQ(lf.lfCharSet, DEFAULT_CHARSET) << where;
                EXPECT_EQ(lf.lfPitchAndFamily, FF_MODERN | DEFAULT_PITCH) << where;
                EXPECT_EQ(lf.lfItalic, 0) << where;
            } else {
                EXPECT_EQ(font, startFont) << where << ": a font was selected";
            }
        }
        SelectObject(dc, startFont);
        DeleteDC(dc);
        DeleteDC(ref);
    });
}

// ---------------------------------------------------------------------------
// Pages as painted

struct PageShot {
    std::unique_ptr<wt::MemBitmap> bmp;
    HWND hPage;
};

PageShot Render(CDialog& page, const char* name) {
    RECT rc;
    GetClientRect(page.m_hWnd, &rc);
    PageShot shot{std::make_unique<wt::MemBitmap>(rc.right, rc.bottom, kMagenta), page.m_hWnd};
    RedrawWindow(page.m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    wt::CaptureClient(page.m_hWnd, *shot.bmp);
    EXPECT_TRUE(shot.bmp->Save(name)) << name;
    return shot;
}

// The colour at a point of a control of the page, in the control's own coordinates
// (negative values count from its right or bottom edge).
COLORREF At(const PageShot& shot, int id, int x, int y) {
    HWND hCtl = id ? GetDlgItem(shot.hPage, id) : shot.hPage;
    RECT rc = id ? RectIn(hCtl, shot.hPage) : RECT{0, 0, shot.bmp->width(), shot.bmp->height()};
    return shot.bmp->At(x >= 0 ? rc.left + x : rc.right + x, y >= 0 ? rc.top + y : rc.bottom + y);
}

TEST(Pixels, WelcomeAndFinishPagesAreWhiteThroughout) {
    CSetupDlg dlg;
    wt::RunFrame(dlg, [&] {
        for (int step : {1, 4}) {
            dlg.m_nStep = step;
            dlg.ShowStep();
            UpdateWindow(dlg.m_hWnd);
            CDialog& page = step == 1 ? static_cast<CDialog&>(dlg.m_pageWelcome) : dlg.m_pageFinish;
            const PageShot shot = Render(page, step == 1 ? "welcome.bmp" : "finish.bmp");
            const int w = shot.bmp->width(), h = shot.bmp->height();
            // Background in the corners away from the picture, and the picture's margin
            // below the bitmap.
            EXPECT_EQ(shot.bmp->At(w - 2, 2), kWhite) << wt::Rgb(shot.bmp->At(w - 2, 2));
            EXPECT_EQ(shot.bmp->At(w - 2, h - 2), kWhite) << wt::Rgb(shot.bmp->At(w - 2, h - 2));
            BITMAP bm{};
            HWND hPicture = GetWindow(page.m_hWnd, GW_CHILD);
            HBITMAP hbm = reinterpret_cast<HBITMAP>(SendMessageA(hPicture, STM_GETIMAGE, IMAGE_BITMAP, 0));
            ASSERT_TRUE(hbm && GetObjectA(hbm, sizeof(bm), &bm)) << "the picture shows no bitmap";
            EXPECT_EQ(bm.bmWidth, 164);
            EXPECT_EQ(bm.bmHeight, 290);
            RecordProperty(step == 1 ? "welcome_size" : "finish_size", std::to_string(w) + "x" + std::to_string(h));
            if (h > bm.bmHeight + 2) {
                EXPECT_EQ(shot.bmp->At(3, bm.bmHeight + 1), kWhite)
                        << "margin below the picture: " << wt::Rgb(shot.bmp->At(3, bm.bmHeight + 1));
            }
            EXPECT_EQ(shot.bmp->At(bm.bmWidth + 1, bm.bmHeight / 2), kWhite)
                    << "margin right of the picture: " << wt::Rgb(shot.bmp->At(bm.bmWidth + 1, bm.bmHeight / 2));
            EXPECT_NE(shot.bmp->At(bm.bmWidth / 2, bm.bmHeight / 2), kMagenta) << "the picture was not painted";
            if (step == 1) {
                EXPECT_EQ(At(shot, IDC_WELCOME_HEADING, -2, -2), kWhite);
                EXPECT_EQ(At(shot, IDC_WELCOME_TEXT, -2, -2), kWhite);
            } else {
                for (int id : {IDC_CHK_STARTMENU, IDC_CHK_STARTUP, IDC_CHK_DESKTOP, IDC_CHK_RUNNOW, IDC_FINISH_TEXT,
                               IDC_FINISH_HEADING}) {
                    EXPECT_EQ(At(shot, id, -2, 2), kWhite) << "control " << id << ": " << wt::Rgb(At(shot, id, -2, 2));
                    EXPECT_EQ(At(shot, id, -2, -2), kWhite) << "control " << id;
                }
            }
        }
    });
}

TEST(Pixels, FolderAndInstallingPagesAreWhiteOnlyInTheirBands) {
    CSetupDlg dlg;
    const COLORREF face = GetSysColor(COLOR_3DFACE);
    ASSERT_NE(face, kWhite);
    wt::RunFrame(dlg, [&] {
        dlg.m_nStep = 2;
        dlg.ShowStep();
        UpdateWindow(dlg.m_hWnd);
        {
            const PageShot shot = Render(dlg.m_pageFolder, "folder.bmp");
            for (int id : {IDC_FOLDER_TITLE, IDC_FOLDER_SUBTITLE}) {
                EXPECT_EQ(At(shot, id, -2, 1), kWhite) << "band " << id << ": " << wt::Rgb(At(shot, id, -2, 1));
                EXPECT_EQ(At(shot, id, -2, -2), kWhite) << "band " << id;
            }
            EXPECT_EQ(At(shot, IDC_FOLDER_TEXT, -2, -2), face) << wt::Rgb(At(shot, IDC_FOLDER_TEXT, -2, -2));
            EXPECT_EQ(At(shot, IDC_FOLDER_GROUP, -6, -6), face) << wt::Rgb(At(shot, IDC_FOLDER_GROUP, -6, -6));
            EXPECT_EQ(At(shot, 0, -2, -2), face) << "page background " << wt::Rgb(At(shot, 0, -2, -2));
        }
        dlg.m_nStep = 3;
        dlg.ShowStep();
        UpdateWindow(dlg.m_hWnd);
        {
            const PageShot shot = Render(dlg.m_pageInstall, "installing.bmp");
            for (int id : {IDC_INSTALL_TITLE, IDC_INSTALL_SUBTITLE}) {
                EXPECT_EQ(At(shot, id, -2, 1), kWhite) << "band " << id << ": " << wt::Rgb(At(shot, id, -2, 1));
            }
            EXPECT_EQ(At(shot, 0, -2, -2), face) << "page background " << wt::Rgb(At(shot, 0, -2, -2));
            EXPECT_EQ(At(shot, 0, 2, -2), face) << "page background " << wt::Rgb(At(shot, 0, 2, -2));
        }
        // Rendering the whole frame, for a look.
        RECT rc;
        GetClientRect(dlg.m_hWnd, &rc);
        dlg.m_nStep = 2;
        dlg.ShowStep();
        wt::MemBitmap whole(rc.right, rc.bottom, kMagenta);
        RedrawWindow(dlg.m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
        wt::CaptureClient(dlg.m_hWnd, whole);
        whole.Save("frame_folder.bmp");
    });
}

// ---------------------------------------------------------------------------
// The skinned button, drawn through WM_DRAWITEM into a memory bitmap

class CButtonHost : public CDialog {
public:
    CButtonHost() : CDialog(IDD_SETUP_DIALOG) {}
    CSkinButton m_btnNext;

protected:
    void DoDataExchange(CDataExchange* pDX) override { DDX_Control(pDX, IDC_NEXT, m_btnNext); }
};

constexpr int kW = 100;
constexpr int kH = 28;

class PixelsButton : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_host.Create(IDD_SETUP_DIALOG, nullptr));
        m_face = {0, 0, kW, kH};
        InflateRect(&m_face, -GetSystemMetrics(SM_CXEDGE), -GetSystemMetrics(SM_CYEDGE));
    }
    void TearDown() override { m_host.DestroyWindow(); }

    // Draws the button in the given state; hover is the button's own flag.
    std::unique_ptr<wt::MemBitmap> Draw(UINT state, BOOL hover, const char* save = nullptr) {
        auto bmp = std::make_unique<wt::MemBitmap>(kW, kH, kMagenta);
        m_host.m_btnNext.m_bHover = hover;
        DRAWITEMSTRUCT dis{};
        dis.CtlType = ODT_BUTTON;
        dis.CtlID = IDC_NEXT;
        dis.itemAction = ODA_DRAWENTIRE;
        dis.itemState = state;
        dis.hwndItem = m_host.m_btnNext.m_hWnd;
        dis.hDC = bmp->dc();
        dis.rcItem = {0, 0, kW, kH};
        m_host.SendMessage(WM_DRAWITEM, IDC_NEXT, reinterpret_cast<LPARAM>(&dis));
        if (save) bmp->Save(save);
        return bmp;
    }

    static int Count(const wt::MemBitmap& bmp, COLORREF c) {
        int n = 0;
        for (int y = 0; y < bmp.height(); ++y)
            for (int x = 0; x < bmp.width(); ++x) n += bmp.At(x, y) == c;
        return n;
    }
    // Bounding box of the caption: dark pixels inside the face, away from the edges.
    RECT CaptionBox(const wt::MemBitmap& bmp) const {
        RECT box = {kW, kH, -1, -1};
        for (int y = m_face.top + 3; y < m_face.bottom - 2; ++y)
            for (int x = m_face.left + 4; x < m_face.right - 4; ++x) {
                const COLORREF c = bmp.At(x, y);
                if (GetRValue(c) + GetGValue(c) + GetBValue(c) < 300) {
                    box.left = std::min<LONG>(box.left, x);
                    box.top = std::min<LONG>(box.top, y);
                    box.right = std::max<LONG>(box.right, x);
                    box.bottom = std::max<LONG>(box.bottom, y);
                }
            }
        return box;
    }

    CButtonHost m_host;
    RECT m_face{};
};

const COLORREF kHot[4] = {RGB(250, 196, 88), RGB(251, 202, 106), RGB(252, 210, 121), RGB(229, 151, 0)};
const COLORREF kFocus[4] = {RGB(153, 198, 252), RGB(162, 189, 252), RGB(162, 201, 255), RGB(162, 201, 255)};

TEST_F(PixelsButton, PlainButtonTopRowWhiteBottomRowBand63) {
    auto bmp = Draw(0, FALSE, "button_plain.bmp");
    const int mid = kW / 2;
    EXPECT_EQ(bmp->At(mid, m_face.top), kWhite) << wt::Rgb(bmp->At(mid, m_face.top));
    EXPECT_EQ(bmp->At(m_face.left + 1, m_face.bottom), RGB(234, 234, 243))
            << wt::Rgb(bmp->At(m_face.left + 1, m_face.bottom));
    EXPECT_EQ(bmp->At(mid, 0), RGB(0, 0, 0)) << "outline " << wt::Rgb(bmp->At(mid, 0));
    EXPECT_EQ(bmp->At(mid, kH - 1), RGB(0, 0, 0)) << "outline " << wt::Rgb(bmp->At(mid, kH - 1));
    for (COLORREF c : kHot) EXPECT_EQ(Count(*bmp, c), 0) << wt::Rgb(c);
    for (COLORREF c : kFocus) EXPECT_EQ(Count(*bmp, c), 0) << wt::Rgb(c);
    EXPECT_LT(CaptionBox(*bmp).left, kW) << "no caption drawn";
}

struct SchemeRow {
    BOOL hover;
    BOOL highlight;
    COLORREF band63;
};

TEST_F(PixelsButton, FaceBandsPerScheme) {
    const SchemeRow rows[] = {{0, 0, RGB(234, 234, 243)},
                              {0, 1, RGB(234, 234, 240)},
                              {1, 0, RGB(240, 240, 243)},
                              {1, 1, RGB(240, 240, 234)}};
    for (const SchemeRow& row : rows) {
        wt::MemBitmap bmp(kW, kH, kMagenta);
        CDC dc(bmp.dc());
        m_host.m_btnNext.m_bHover = row.hover;
        m_host.m_btnNext.m_bHighlight = row.highlight;
        m_host.m_btnNext.DrawFace(&dc, m_face);
        const int height = m_face.bottom - m_face.top;
        for (int y = m_face.top; y <= m_face.bottom; ++y) {
            const COLORREF expected = CSkinButton::BandColor(63 * (y - m_face.top) / height, row.hover, row.highlight);
            EXPECT_EQ(bmp.At(m_face.left, y), expected) << "row " << y << " hover " << row.hover << " highlight "
                                                        << row.highlight << ": " << wt::Rgb(bmp.At(m_face.left, y));
            EXPECT_EQ(bmp.At(m_face.right - 1, y), expected) << "row " << y;
        }
        EXPECT_EQ(bmp.At(m_face.left, m_face.top), kWhite);
        EXPECT_EQ(bmp.At(m_face.left, m_face.bottom), row.band63) << wt::Rgb(bmp.At(m_face.left, m_face.bottom));
        // Nothing outside the face rows and columns.
        EXPECT_EQ(bmp.At(m_face.left - 1, m_face.top + 3), kMagenta);
        EXPECT_EQ(bmp.At(m_face.right, m_face.top + 3), kMagenta);
        EXPECT_EQ(bmp.At(m_face.left + 3, m_face.top - 1), kMagenta);
        EXPECT_EQ(bmp.At(m_face.left + 3, m_face.bottom + 1), kMagenta);
    }
}

TEST_F(PixelsButton, FaceWithoutHeightPaintsNothing) {
    for (int height : {0, -1, -10}) {
        wt::MemBitmap bmp(kW, kH, kMagenta);
        CDC dc(bmp.dc());
        RECT face = {2, 10, kW - 2, 10 + height};
        m_host.m_btnNext.DrawFace(&dc, face);
        EXPECT_EQ(Count(bmp, kMagenta), kW * kH) << "height " << height;
    }
}

TEST_F(PixelsButton, FocusWithoutHoverShowsBlueEdgesAndTheFocusRectangle) {
    auto bmp = Draw(ODS_FOCUS, FALSE, "button_focus.bmp");
    for (COLORREF c : kFocus) EXPECT_GT(Count(*bmp, c), 0) << "no focus edge pixel " << wt::Rgb(c);
    for (COLORREF c : kHot) EXPECT_EQ(Count(*bmp, c), 0) << wt::Rgb(c);
    // The dotted focus rectangle inverts every other pixel of the left edge line.
    const COLORREF left = kFocus[0];
    const COLORREF inverted = RGB(255 - GetRValue(left), 255 - GetGValue(left), 255 - GetBValue(left));
    int plain = 0, dotted = 0;
    for (int y = m_face.top + 3; y < m_face.bottom - 3; ++y) {
        plain += bmp->At(m_face.left, y) == left;
        dotted += bmp->At(m_face.left, y) == inverted;
    }
    EXPECT_GT(plain, 0);
    EXPECT_GT(dotted, 0) << "no focus rectangle on the left edge";
    // Focus is a highlight: the bottom band of the face uses the highlight scheme, seen
    // in the middle column between the edge lines.
    auto plainBmp = Draw(ODS_SELECTED, FALSE);
    EXPECT_EQ(plainBmp->At(m_face.left + 3, m_face.bottom), RGB(234, 234, 240))
            << wt::Rgb(plainBmp->At(m_face.left + 3, m_face.bottom));
}

TEST_F(PixelsButton, HoverShowsOrangeEdgesAndNoFocusRectangle) {
    for (UINT state : {0u, static_cast<UINT>(ODS_FOCUS)}) {
        auto bmp = Draw(state, TRUE, state ? "button_hover_focus.bmp" : "button_hover.bmp");
        for (COLORREF c : kHot)
            EXPECT_GT(Count(*bmp, c), 0) << "no hover edge pixel " << wt::Rgb(c) << " state " << state;
        for (COLORREF c : kFocus) EXPECT_EQ(Count(*bmp, c), 0) << wt::Rgb(c) << " state " << state;
        const COLORREF left = kHot[0];
        const COLORREF inverted = RGB(255 - GetRValue(left), 255 - GetGValue(left), 255 - GetBValue(left));
        EXPECT_EQ(Count(*bmp, inverted), 0) << "a focus rectangle while hovering, state " << state;
        EXPECT_EQ(bmp->At(m_face.left + 1, (m_face.top + m_face.bottom) / 2), left);
        EXPECT_EQ(bmp->At(m_face.right - 1, (m_face.top + m_face.bottom) / 2), kHot[1]);
    }
    m_host.m_btnNext.m_bHover = FALSE;
}

TEST_F(PixelsButton, PressedCaptionMovesOnePixelRightAndDown) {
    // Both states use the highlight scheme and no frame, so only the caption moves.
    auto normal = Draw(ODS_DEFAULT, FALSE, "button_default.bmp");
    auto pressed = Draw(ODS_SELECTED, FALSE, "button_pressed.bmp");
    const RECT a = CaptionBox(*normal), b = CaptionBox(*pressed);
    ASSERT_LT(a.left, kW) << "no caption";
    EXPECT_EQ(b.left, a.left + 1);
    EXPECT_EQ(b.top, a.top + 1);
    EXPECT_EQ(b.right, a.right + 1);
    EXPECT_EQ(b.bottom, a.bottom + 1);
    // The same glyph pixels, one pixel on (their blending differs with the band below).
    auto sum = [](COLORREF c) { return GetRValue(c) + GetGValue(c) + GetBValue(c); };
    int differ = 0;
    for (int y = a.top; y <= a.bottom; ++y)
        for (int x = a.left; x <= a.right; ++x) {
            const int p = sum(normal->At(x, y)), q = sum(pressed->At(x + 1, y + 1));
            differ += (p < 250 && q > 450) || (q < 250 && p > 450);
        }
    EXPECT_EQ(differ, 0) << "the caption changed beyond its offset";
}

TEST_F(PixelsButton, DisabledCaptionIsEmbossed) {
    auto enabled = Draw(0, FALSE);
    auto disabled = Draw(ODS_DISABLED, FALSE, "button_disabled.bmp");
    const COLORREF shadow = GetSysColor(COLOR_3DSHADOW);
    const RECT box = CaptionBox(*enabled);
    ASSERT_LT(box.left, kW);
    EXPECT_EQ(Count(*enabled, shadow), 0) << wt::Rgb(shadow);
    EXPECT_GT(Count(*disabled, shadow), 10) << "no shadow-coloured caption pixels";
    EXPECT_EQ(CaptionBox(*disabled).left, kW) << "the disabled caption has dark (enabled) pixels";
    // The highlight copy lies one pixel right and down of the shadow copy.
    int highlights = 0;
    for (int y = box.top; y <= box.bottom + 1; ++y)
        for (int x = box.left; x <= box.right + 1; ++x)
            highlights += disabled->At(x, y) == GetSysColor(COLOR_3DHILIGHT) && disabled->At(x - 1, y - 1) == shadow;
    EXPECT_GT(highlights, 0) << "no embossed highlight";
}

TEST_F(PixelsButton, EmptyCaptionDrawsFaceWithoutText) {
    SetWindowTextA(m_host.m_btnNext.m_hWnd, "");
    auto bmp = Draw(0, FALSE, "button_empty.bmp");
    EXPECT_EQ(CaptionBox(*bmp).left, kW) << "text pixels with an empty caption";
    EXPECT_EQ(bmp->At(kW / 2, m_face.top), kWhite);
    EXPECT_EQ(bmp->At(kW / 2, m_face.bottom), RGB(234, 234, 243));
}

} // namespace
