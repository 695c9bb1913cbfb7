// GDI objects: what the button and the pages own, what one paint makes and deletes,
// and that hundreds of repaints leave the number in use unchanged.
#include "afx/afxwin.h"

#include <gtest/gtest.h>

#include <vector>

#include "app/SetupDlg.h"
#include "pages/SkinButton.h"
#include "res/resource.h"
#include "shell_frame_support.h"
#include "win_test_util.h"

namespace {

int g_brushesMade = 0;
int g_objectsDeleted = 0;
void* g_createSolidBrush = nullptr;
void* g_deleteObject = nullptr;

HBRUSH WINAPI CountCreateSolidBrush(COLORREF c) {
    ++g_brushesMade;
    return reinterpret_cast<HBRUSH(WINAPI*)(COLORREF)>(g_createSolidBrush)(c);
}

BOOL WINAPI CountDeleteObject(HGDIOBJ h) {
    ++g_objectsDeleted;
    return reinterpret_cast<BOOL(WINAPI*)(HGDIOBJ)>(g_deleteObject)(h);
}

TEST(GdiObjects, TheCounterSeesObjectsComeAndGo) {
    const int before = wt::GdiObjectsInUse();
    ASSERT_GT(before, 0) << "no way to count GDI objects in this process";
    std::vector<HBRUSH> brushes;
    for (int i = 0; i < 5; ++i) brushes.push_back(CreateSolidBrush(RGB(i, 0, 0)));
    EXPECT_EQ(wt::GdiObjectsInUse(), before + 5);
    for (HBRUSH b : brushes) DeleteObject(b);
    EXPECT_EQ(wt::GdiObjectsInUse(), before);
}

TEST(GdiObjects, SkinButtonOwnsNinePensAndTwoBrushesForItsLifetime) {
    const int before = wt::GdiObjectsInUse();
    {
        CSkinButton button;
        EXPECT_EQ(wt::GdiObjectsInUse(), before + 11);
        EXPECT_EQ(GetObjectType(button.m_penOutline.GetSafeHandle()), static_cast<DWORD>(OBJ_PEN));
        EXPECT_EQ(GetObjectType(button.m_brHover.GetSafeHandle()), static_cast<DWORD>(OBJ_BRUSH));
        LOGPEN lp{};
        ASSERT_TRUE(GetObjectA(button.m_penHotLeft.GetSafeHandle(), sizeof(lp), &lp));
        EXPECT_EQ(lp.lopnStyle, static_cast<UINT>(PS_INSIDEFRAME));
        EXPECT_EQ(lp.lopnWidth.x, 3);
        EXPECT_EQ(lp.lopnColor, RGB(250, 196, 88));
    }
    EXPECT_EQ(wt::GdiObjectsInUse(), before);
}

TEST(GdiObjects, OneFaceFillMakesAndDeletesItsSixtyFourBands) {
    wt::ImportPatch create("gdi32.dll", "CreateSolidBrush", reinterpret_cast<void*>(&CountCreateSolidBrush));
    wt::ImportPatch destroy("gdi32.dll", "DeleteObject", reinterpret_cast<void*>(&CountDeleteObject));
    ASSERT_TRUE(create.ok() && destroy.ok());
    g_createSolidBrush = create.original();
    g_deleteObject = destroy.original();

    CSkinButton button;
    wt::MemBitmap bmp(80, 30, RGB(255, 0, 255));
    CDC dc(bmp.dc());
    const int before = wt::GdiObjectsInUse();
    g_brushesMade = g_objectsDeleted = 0;
    RECT face = {2, 2, 78, 28};
    button.DrawFace(&dc, face);
    EXPECT_EQ(g_brushesMade, 64);
    EXPECT_EQ(g_objectsDeleted, 64);
    EXPECT_EQ(wt::GdiObjectsInUse(), before);

    g_brushesMade = g_objectsDeleted = 0;
    RECT flat = {2, 10, 78, 10};
    button.DrawFace(&dc, flat);
    EXPECT_EQ(g_brushesMade, 0) << "a face without height needs no bands";
    EXPECT_EQ(g_objectsDeleted, 0);
}

struct PageObjects {
    std::vector<HGDIOBJ> handles;
};

PageObjects PageHandles(CSetupDlg& dlg) {
    return {{dlg.m_pageWelcome.m_fontTitle.GetSafeHandle(), dlg.m_pageWelcome.m_fontText.GetSafeHandle(),
             dlg.m_pageWelcome.m_brWhite.GetSafeHandle(), dlg.m_pageFolder.m_fontTitle.GetSafeHandle(),
             dlg.m_pageFolder.m_fontText.GetSafeHandle(), dlg.m_pageFolder.m_fontLight.GetSafeHandle(),
             dlg.m_pageFolder.m_brWhite.GetSafeHandle(), dlg.m_pageInstall.m_fontTitle.GetSafeHandle(),
             dlg.m_pageInstall.m_fontText.GetSafeHandle(), dlg.m_pageInstall.m_brWhite.GetSafeHandle(),
             dlg.m_pageFinish.m_fontTitle.GetSafeHandle(), dlg.m_pageFinish.m_fontText.GetSafeHandle(),
             dlg.m_pageFinish.m_brWhite.GetSafeHandle()}};
}

void RepaintEveryStep(CSetupDlg& dlg, int round) {
    for (int step = 1; step <= 4; ++step) {
        dlg.m_nStep = step;
        dlg.ShowStep();
        RedrawWindow(dlg.m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    }
    HWND hNext = dlg.m_btnNext.m_hWnd;
    SendMessageA(hNext, round % 2 ? WM_MOUSEHOVER : WM_MOUSELEAVE, 0, 0);
    SetFocus(round % 3 ? hNext : dlg.m_btnCancel.m_hWnd);
    UpdateWindow(dlg.m_hWnd);
}

TEST(GdiObjects, HundredsOfRepaintsLeaveTheCountUnchanged) {
    CSetupDlg dlg;
    wt::RunFrame(dlg, [&] {
        // The pages make their fonts and brushes on first use: paint everything once.
        RepaintEveryStep(dlg, 0);
        RepaintEveryStep(dlg, 1);
        const PageObjects owned = PageHandles(dlg);
        for (size_t i = 0; i < owned.handles.size(); ++i) {
            EXPECT_NE(owned.handles[i], nullptr) << "page object " << i << " not made by painting";
        }
        const int before = wt::GdiObjectsInUse();
        const int rounds = 150;
        for (int round = 0; round < rounds; ++round) RepaintEveryStep(dlg, round);
        const int after = wt::GdiObjectsInUse();
        EXPECT_EQ(after, before) << rounds << " rounds of repainting four pages and three buttons";
        RecordProperty("gdi_objects", std::to_string(before) + " -> " + std::to_string(after));
        const PageObjects again = PageHandles(dlg);
        EXPECT_EQ(again.handles, owned.handles) << "a page made a font or brush anew";
        dlg.m_nStep = 1;
        dlg.ShowStep();
    });
}

TEST(GdiObjects, AskingTheExitQuestionAgainAndAgainLeavesTheCountUnchanged) {
    CSetupDlg dlg;
    wt::RunFrame(dlg, [&] {
        auto askAndSayNo = [&] {
            return wt::WithQuestion(dlg, [&](HWND q) {
                RedrawWindow(q, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
                SendMessageA(q, WM_COMMAND, MAKEWPARAM(IDC_CONFIRM_NO, BN_CLICKED), 0);
            });
        };
        ASSERT_TRUE(askAndSayNo());
        const int questions = 30;
        const int before = wt::GdiObjectsInUse();
        const std::map<DWORD, int> typesBefore = wt::GdiObjectsByType();
        for (int i = 0; i < questions; ++i) ASSERT_TRUE(askAndSayNo()) << "round " << i;
        const int after = wt::GdiObjectsInUse();
        RecordProperty("gdi_objects", std::to_string(before) + " -> " + std::to_string(after));
        EXPECT_EQ(after, before) << questions << " questions";
        // The warning sign's bitmap too: Wine's static control leaves it to the dialog.
        EXPECT_EQ(typesBefore, wt::GdiObjectsByType()) << "objects by type after " << questions << " questions";
    });
}

} // namespace
