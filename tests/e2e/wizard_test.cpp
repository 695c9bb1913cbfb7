// The wizard, driven from outside like a user would: pages, buttons, texts and the
// pixels of its look.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "driver.h"

namespace {

using namespace e2e;

const wchar_t kNextText[] = L"\x4E0B\x4E00\x6B65(N) >";
const wchar_t kFinishText[] = L"\x5B8C\x6210(F)";
const wchar_t kCancelText[] = L"\x53D6\x6D88(C)";
const wchar_t kBackText[] = L"< \x4E0A\x4E00\x6B65(P)";
const wchar_t kDefaultFolder[] = L"C:\\Program Files\\dunmerra\\";

const COLORREF kWhite = RGB(255, 255, 255);

std::wstring TempDir(const wchar_t* leaf) {
    wchar_t tmp[MAX_PATH];
    DWORD n = GetTempPathW(MAX_PATH, tmp);
    std::wstring dir = std::wstring(tmp, n) + leaf;
    CreateDirectoryW(dir.c_str(), nullptr);
    return dir;
}

// Keeps the pointer off the wizard so that no button starts out hovered.
void ParkPointer() { SetCursorPos(GetSystemMetrics(SM_CXSCREEN) - 1, GetSystemMetrics(SM_CYSCREEN) - 1); }

HWND FocusOf(HWND w) {
    GUITHREADINFO gi{};
    gi.cbSize = sizeof gi;
    return GetGUIThreadInfo(GetWindowThreadProcessId(w, nullptr), &gi) ? gi.hwndFocus : nullptr;
}

// The first picture (SS_BITMAP static) among a dialog's controls.
HWND FindPicture(HWND dialog) {
    for (HWND c = GetWindow(dialog, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
        if ((GetWindowLongW(c, GWL_STYLE) & SS_TYPEMASK) == SS_BITMAP && _wcsicmp(ClassName(c).c_str(), L"Static") == 0)
            return c;
    return nullptr;
}

bool Yellow(COLORREF x) { return GetRValue(x) > 230 && GetGValue(x) > 180 && GetBValue(x) < 90; }
bool LightBlue(COLORREF x) { return GetBValue(x) >= 200 && GetBValue(x) > GetRValue(x) + 10; }

int CountWhere(const Capture& c, const RECT& r, bool (*pred)(COLORREF)) {
    int n = 0;
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x) n += pred(c.At(x, y));
    return n;
}

class WizardTest : public ::testing::Test {
protected:
    void SetUp() override {
        ParkPointer();
        ASSERT_TRUE(wiz_.Launch(TempDir(L"e2e-wizard")));
        ASSERT_TRUE(wiz_.WaitForPage(Page::kWelcome));
    }
    void TearDown() override { ParkPointer(); }

    ::testing::AssertionResult Press(int id) {
        HWND b = wiz_.Button(id);
        if (!IsEnabled(b))
            return ::testing::AssertionFailure() << "button " << id << " is not enabled: " << wiz_.State();
        if (!Click(b)) return ::testing::AssertionFailure() << "could not post to button " << id;
        return ::testing::AssertionSuccess();
    }

    // From the folder page on: the installation goes into a folder of its own.
    ::testing::AssertionResult GoToFinish() {
        if (auto r = Press(kNext); !r) return r;
        if (auto r = wiz_.WaitForPage(Page::kFolder); !r) return r;
        SetText(wiz_.PageControl(Page::kFolder, kFolderEdit), TempDir(L"e2e-target") + L"\\");
        if (auto r = Press(kNext); !r) return r;
        if (auto r = wiz_.WaitForPage(Page::kInstalling, 60000); !r) return r;
        CheckInstallingPageLook();
        // Next comes back when the installation is complete; a message box means it failed.
        HWND box = nullptr;
        if (auto r =
                    WaitUntil([&] { return IsEnabled(wiz_.Button(kNext)) || (box = wiz_.FindMessageBox()) != nullptr; },
                              120000, "Next enabled", [&] { return wiz_.State(); });
            !r)
            return r;
        if (box) return ::testing::AssertionFailure() << "the installation failed: " << Wizard::MessageBoxText(box);
        if (auto r = Press(kNext); !r) return r;
        return wiz_.WaitForPage(Page::kFinish);
    }

    // Only the title and subtitle bands of the installing page are white.
    void CheckInstallingPageLook() {
        HWND page = wiz_.PageWindow(Page::kInstalling);
        Capture c;
        ASSERT_TRUE(c.Grab(wiz_.frame()));
        c.SaveBmp(ScreenshotDir() + L"\\installing.bmp");
        for (int id : {1007, 1008}) {
            RECT r = c.ClientRect(GetDlgItem(page, id));
            EXPECT_EQ(kWhite, c.At(r.right - 2, r.bottom - 2))
                    << "control " << id << " " << ColourText(c.At(r.right - 2, r.bottom - 2));
        }
        RECT pg = c.ClientRect(page);
        const COLORREF face = GetSysColor(COLOR_BTNFACE);
        EXPECT_EQ(face, c.At(pg.right - 3, pg.bottom - 3)) << ColourText(c.At(pg.right - 3, pg.bottom - 3));
        RECT bar = c.ClientRect(GetDlgItem(page, kProgress));
        EXPECT_EQ(face, c.At(bar.right + 3, bar.top))
                << "beside the progress bar " << ColourText(c.At(bar.right + 3, bar.top));
    }

    Wizard wiz_;
};

TEST_F(WizardTest, WelcomePageFirstWithBackHidden) {
    EXPECT_EQ(Page::kWelcome, wiz_.VisiblePage());
    EXPECT_FALSE(IsShown(wiz_.Button(kBack))) << Describe(wiz_.Button(kBack));
    struct {
        int id;
        const wchar_t* text;
    } buttons[] = {{kNext, kNextText}, {kCancel, kCancelText}};
    for (const auto& b : buttons) {
        HWND h = wiz_.Button(b.id);
        EXPECT_TRUE(IsShown(h)) << Describe(h);
        EXPECT_TRUE(IsEnabled(h)) << Describe(h);
        EXPECT_EQ(Utf8(b.text), Utf8(Text(h)));
    }
    EXPECT_EQ(Utf8(kBackText), Utf8(Text(wiz_.Button(kBack))));
    EXPECT_EQ(wiz_.Button(kNext), FocusOf(wiz_.frame()));
    EXPECT_TRUE(Screenshot(wiz_.frame(), L"welcome"));
}

TEST_F(WizardTest, NextShowsFolderPageAndBackReturns) {
    ASSERT_TRUE(Press(kNext));
    ASSERT_TRUE(wiz_.WaitForPage(Page::kFolder));
    EXPECT_TRUE(IsShown(wiz_.Button(kBack))) << Describe(wiz_.Button(kBack));
    EXPECT_TRUE(IsEnabled(wiz_.Button(kBack))) << Describe(wiz_.Button(kBack));
    EXPECT_EQ(Utf8(kDefaultFolder), Utf8(Text(wiz_.PageControl(Page::kFolder, kFolderEdit))));
    EXPECT_TRUE(Screenshot(wiz_.frame(), L"folder"));

    ASSERT_TRUE(Press(kBack));
    ASSERT_TRUE(wiz_.WaitForPage(Page::kWelcome));
    EXPECT_TRUE(WaitUntil([&] { return !IsShown(wiz_.Button(kBack)); }, 2000, "Back hidden"));

    // The page is not initialised again: what the edit holds survives the round trip.
    ASSERT_TRUE(Press(kNext));
    ASSERT_TRUE(wiz_.WaitForPage(Page::kFolder));
    HWND edit = wiz_.PageControl(Page::kFolder, kFolderEdit);
    ASSERT_TRUE(SetText(edit, L"D:\\Apps"));
    ASSERT_TRUE(Press(kBack));
    ASSERT_TRUE(wiz_.WaitForPage(Page::kWelcome));
    ASSERT_TRUE(Press(kNext));
    ASSERT_TRUE(wiz_.WaitForPage(Page::kFolder));
    EXPECT_EQ("D:\\Apps", Utf8(Text(edit)));
}

TEST_F(WizardTest, AboutEntryLeavesTheWizardAsItWas) {
    ASSERT_TRUE(SysCommand(wiz_.frame(), kAboutCommand));
    HWND about = nullptr;
    ASSERT_TRUE(wiz_.WaitForWindow([&] { return wiz_.FindAbout(); }, &about, "the about box"));
    EXPECT_EQ(wiz_.frame(), GetWindow(about, GW_OWNER));
    EXPECT_FALSE(IsEnabled(wiz_.frame())) << "the frame stays enabled while the about box runs";
    EXPECT_NE(std::string::npos, Utf8(Text(GetDlgItem(about, 1000))).find("Quillmate"));
    EXPECT_NE(std::string::npos, Utf8(Text(GetDlgItem(about, 1001))).find("1.0.0.1"));
    EXPECT_TRUE(Screenshot(about, L"about"));
    ASSERT_TRUE(Click(GetDlgItem(about, IDOK)));
    ASSERT_TRUE(
            WaitUntil([&] { return !IsWindow(about); }, 5000, "the about box to close", [&] { return wiz_.State(); }));
    EXPECT_TRUE(WaitUntil([&] { return IsEnabled(wiz_.frame()); }, 2000, "the frame enabled again"));
    EXPECT_EQ(Page::kWelcome, wiz_.VisiblePage());
    EXPECT_FALSE(IsShown(wiz_.Button(kBack)));
    EXPECT_TRUE(IsEnabled(wiz_.Button(kNext)));
    EXPECT_TRUE(IsEnabled(wiz_.Button(kCancel)));
    EXPECT_EQ(Utf8(kNextText), Utf8(Text(wiz_.Button(kNext))));
}

TEST_F(WizardTest, CancelOpensTheQuestionAndNoReturns) {
    ASSERT_TRUE(Press(kCancel));
    HWND question = nullptr;
    ASSERT_TRUE(wiz_.WaitForWindow([&] { return wiz_.FindExitConfirm(); }, &question, "the exit confirmation"));
    EXPECT_EQ(Utf8(L"\r\n\r\n\r        \x4F60\x786E\x5B9E\x8981\x9000\x51FA\"QuillmateV1.0.0614 beta\x7248 \" "
                   L"\x7684\x5B89\x88C5\x7A0B\x5E8F?"),
              Utf8(Text(GetDlgItem(question, kQuestion))));
    Capture c;
    ASSERT_TRUE(c.Grab(question));
    c.SaveBmp(ScreenshotDir() + L"\\exit_confirm.bmp");
    // The question's band is white, the dialog around the buttons is not.
    HWND band = GetDlgItem(question, kQuestion);
    RECT br = c.ClientRect(band);
    EXPECT_EQ(kWhite, c.At(br.right - 3, br.top + 2)) << ColourText(c.At(br.right - 3, br.top + 2));
    EXPECT_EQ(kWhite, c.At(br.right - 3, br.bottom - 3)) << ColourText(c.At(br.right - 3, br.bottom - 3));
    RECT qr = c.ClientRect(question);
    EXPECT_EQ(GetSysColor(COLOR_BTNFACE), c.At(qr.left + 3, qr.bottom - 3))
            << ColourText(c.At(qr.left + 3, qr.bottom - 3));
    // The warning sign: the picture control takes the bitmap's size and shows yellow.
    HWND sign = FindPicture(question);
    ASSERT_TRUE(sign != nullptr);
    RECT sr = c.ClientRect(sign);
    EXPECT_EQ(44, sr.right - sr.left);
    EXPECT_EQ(34, sr.bottom - sr.top);
    // The sign can be painted a moment after the band: look again until it shows.
    int yellow = CountWhere(c, sr, Yellow);
    (void)WaitUntil([&] { return yellow > 100 || (c.Grab(question) && (yellow = CountWhere(c, sr, Yellow)) > 100); },
                    3000, "the warning sign to be painted");
    EXPECT_GT(yellow, 100);

    ASSERT_TRUE(Click(GetDlgItem(question, kNo)));
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(question); }, 5000, "the question to close",
                          [&] { return wiz_.State(); }));
    EXPECT_EQ(Page::kWelcome, wiz_.VisiblePage());
    EXPECT_TRUE(IsEnabled(wiz_.Button(kCancel)));
    EXPECT_TRUE(wiz_.process().Running());
}

TEST_F(WizardTest, CloseBoxThenYesEndsTheProgram) {
    ASSERT_TRUE(SysCommand(wiz_.frame(), SC_CLOSE));
    HWND question = nullptr;
    ASSERT_TRUE(wiz_.WaitForWindow([&] { return wiz_.FindExitConfirm(); }, &question, "the exit confirmation"));
    ASSERT_TRUE(Click(GetDlgItem(question, kYes)));
    DWORD code = 0;
    EXPECT_TRUE(wiz_.WaitExit(10000, &code));
}

// Keys reach the focused control as its own messages, the way the dialog loop sees them.
bool PostKey(HWND focus, UINT vk) {
    return PostMessageW(focus, WM_KEYDOWN, vk, 1) && PostMessageW(focus, WM_KEYUP, vk, 0xC0000001);
}

TEST_F(WizardTest, EnterPressesTheFocusedButtonAndEscapeAsks) {
    // Enter on Next goes on; Enter on Back goes back; neither ends the wizard.
    ASSERT_TRUE(PostKey(wiz_.Button(kNext), VK_RETURN));
    ASSERT_TRUE(wiz_.WaitForPage(Page::kFolder));
    HWND back = wiz_.Button(kBack);
    ASSERT_TRUE(PostMessageW(wiz_.frame(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(back), TRUE));
    ASSERT_TRUE(WaitUntil([&] { return FocusOf(wiz_.frame()) == back; }, 3000, "the focus on Back"));
    ASSERT_TRUE(PostKey(back, VK_RETURN));
    ASSERT_TRUE(wiz_.WaitForPage(Page::kWelcome));
    EXPECT_TRUE(wiz_.process().Running());

    // Escape does what Cancel does: it asks.
    ASSERT_TRUE(PostKey(wiz_.Button(kNext), VK_ESCAPE));
    HWND question = nullptr;
    ASSERT_TRUE(wiz_.WaitForWindow([&] { return wiz_.FindExitConfirm(); }, &question, "the exit confirmation"));
    // Escape in the question is its Cancel command: closed like No.
    ASSERT_TRUE(PostKey(GetDlgItem(question, kYes), VK_ESCAPE));
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(question); }, 5000, "the question to close",
                          [&] { return wiz_.State(); }));
    Sleep(200);
    EXPECT_TRUE(wiz_.process().Running());
    EXPECT_EQ(Page::kWelcome, wiz_.VisiblePage());
}

// ---- pixels ---------------------------------------------------------------------------

// Every pixel of r that is not covered by one of the skipped windows' rectangles.
int CountNotWhite(const Capture& c, const RECT& r, const std::vector<RECT>& skip, std::string* first) {
    int n = 0;
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x) {
            POINT p{x, y};
            bool skipped = false;
            for (const RECT& s : skip) skipped = skipped || PtInRect(&s, p);
            if (skipped || c.At(x, y) == kWhite) continue;
            if (n++ == 0 && first)
                *first = "(" + std::to_string(x) + "," + std::to_string(y) + ") " + ColourText(c.At(x, y));
        }
    return n;
}

TEST_F(WizardTest, WelcomePageIsWhite) {
    HWND page = wiz_.PageWindow(Page::kWelcome);
    Capture c;
    ASSERT_TRUE(c.Grab(wiz_.frame()));
    // Outside the picture and the text the page is white; the picture's own bitmap is
    // skipped, its margins are not.
    std::vector<RECT> skip;
    for (HWND ch = GetWindow(page, GW_CHILD); ch; ch = GetWindow(ch, GW_HWNDNEXT)) {
        RECT r = c.ClientRect(ch);
        if (GetDlgCtrlID(ch) != 0xFFFF && GetDlgCtrlID(ch) != -1) {
            // a text control: its whole rectangle is painted with the page's brush, so only
            // the glyphs differ; look at its right-hand column only
            EXPECT_EQ(kWhite, c.At(r.right - 2, r.top + 1)) << "control " << GetDlgCtrlID(ch);
        }
        skip.push_back(r);
    }
    std::string first;
    int n = CountNotWhite(c, c.ClientRect(page), skip, &first);
    EXPECT_EQ(0, n) << "first: " << first;
    // The picture control takes the sidebar's own size and shows its light-blue ground;
    // the sidebar is smaller than the page is high, so the rows below it are white.
    HWND picture = FindPicture(page);
    ASSERT_TRUE(picture != nullptr);
    RECT pr = c.ClientRect(picture);
    EXPECT_EQ(164, pr.right - pr.left);
    EXPECT_EQ(290, pr.bottom - pr.top);
    EXPECT_GT(CountWhere(c, pr, LightBlue), (164 * 290) / 2);
    RECT pg = c.ClientRect(page);
    if (HasFailure()) c.SaveBmp(ScreenshotDir() + L"\\failed_welcome_look.bmp");
    if (pr.bottom + 2 < pg.bottom) {
        EXPECT_EQ(kWhite, c.At((pr.left + pr.right) / 2, pr.bottom + 1));
    }
}

// What differs from the folder page's look in a capture; empty when it is right.
std::string FolderLookFaults(const Capture& c, HWND page) {
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    std::string faults;
    auto expect = [&](const char* what, COLORREF want, COLORREF got) {
        if (want != got) faults += std::string(what) + " " + ColourText(got) + " instead of " + ColourText(want) + "; ";
    };
    struct {
        int id;
        bool white;
        const char* what;
    } bands[] = {{1007, true, "title"}, {1008, true, "subtitle"}, {1009, false, "explanation"}};
    for (const auto& b : bands) {
        RECT r = c.ClientRect(GetDlgItem(page, b.id));
        expect(b.what, b.white ? kWhite : face, c.At(r.right - 2, r.bottom - 2));
    }
    RECT pg = c.ClientRect(page);
    expect("page", face, c.At(pg.right - 3, pg.bottom - 3));
    RECT group = c.ClientRect(GetDlgItem(page, 1010));
    expect("group box", face, c.At(group.right - 4, group.bottom - 4));
    return faults;
}

TEST_F(WizardTest, FolderPageWhiteOnlyInTitleAndSubtitle) {
    ASSERT_TRUE(Press(kNext));
    ASSERT_TRUE(wiz_.WaitForPage(Page::kFolder));
    HWND page = wiz_.PageWindow(Page::kFolder);
    ASSERT_NE(kWhite, GetSysColor(COLOR_BTNFACE));
    Capture c;
    ASSERT_TRUE(c.Grab(wiz_.frame()));
    std::string faults = FolderLookFaults(c, page);
    if (faults.empty()) return;
    // Tell a picture taken too early from a page that stays wrong on screen: look again
    // a second later without asking for a repaint.
    c.SaveBmp(ScreenshotDir() + L"\\failed_folder_look.bmp");
    Sleep(1000);
    Capture later;
    ASSERT_TRUE(later.GrabNow(wiz_.frame()));
    std::string still = FolderLookFaults(later, page);
    if (!still.empty()) later.SaveBmp(ScreenshotDir() + L"\\failed_folder_look_later.bmp");
    EXPECT_EQ("", still) << "first capture: " << faults;
    if (still.empty()) printf("note: the first capture was taken mid-paint: %s\n", faults.c_str());
}

TEST_F(WizardTest, InstallingAndFinishPages) {
    ASSERT_TRUE(GoToFinish());
    EXPECT_EQ(Utf8(kFinishText), Utf8(Text(wiz_.Button(kNext))));
    for (int id : {kChkStartMenu, kChkStartup, kChkDesktop, kChkRunNow})
        EXPECT_EQ(BST_CHECKED, CheckState(wiz_.PageControl(Page::kFinish, id))) << "check box " << id;
    Capture c;
    ASSERT_TRUE(c.Grab(wiz_.frame()));
    c.SaveBmp(ScreenshotDir() + L"\\finish.bmp");
    HWND page = wiz_.PageWindow(Page::kFinish);
    for (int id : {int(kChkStartMenu), int(kChkStartup), int(kChkDesktop), int(kChkRunNow), 1011, 1012}) {
        RECT r = c.ClientRect(GetDlgItem(page, id));
        EXPECT_EQ(kWhite, c.At(r.right - 2, r.bottom - 2)) << "control " << id;
    }
    RECT pg = c.ClientRect(page);
    EXPECT_EQ(kWhite, c.At(pg.right - 3, pg.bottom - 3));
    EXPECT_EQ(kWhite, c.At(pg.right - 3, pg.top + 2));
    EXPECT_FALSE(IsEnabled(wiz_.Button(kCancel)));
    EXPECT_FALSE(IsEnabled(wiz_.Button(kBack)));

    // Leave through the question, which removes nothing from step 4 on.
    ASSERT_TRUE(SysCommand(wiz_.frame(), SC_CLOSE));
    HWND question = nullptr;
    ASSERT_TRUE(wiz_.WaitForWindow([&] { return wiz_.FindExitConfirm(); }, &question, "the exit confirmation"));
    ASSERT_TRUE(Click(GetDlgItem(question, kYes)));
    DWORD code = 0;
    EXPECT_TRUE(wiz_.WaitExit(10000, &code));
}

// ---- the skinned buttons --------------------------------------------------------------

RECT FaceRect(const Capture& c, HWND button) {
    RECT r = c.ClientRect(button);
    InflateRect(&r, -GetSystemMetrics(SM_CXEDGE), -GetSystemMetrics(SM_CYEDGE));
    return r;
}

// Pixels of colour want in the rows y0..y1 (inclusive) between x0 and x1 (exclusive).
int CountIn(const Capture& c, int x0, int x1, int y0, int y1, COLORREF want) {
    RECT r{x0, y0, x1, y1 + 1};
    return c.Count(r, want);
}

// Changes of colour along the row of the focus rectangle's lower edge, where the face
// is one band wide: a dotted focus rectangle makes many, a plain face none.
int FocusDots(const Capture& c, const RECT& face) {
    int n = 0;
    for (int x = face.left + 4; x < face.right - 4; ++x) n += c.At(x, face.bottom - 1) != c.At(x - 1, face.bottom - 1);
    return n;
}

bool Dark(COLORREF c) { return GetRValue(c) + GetGValue(c) + GetBValue(c) < 3 * 110; }

// Band i of the face gradient in the scheme given by the two flags.
COLORREF Band(int i, bool hover, bool highlight) {
    int d3 = 255 - i / 3, d4 = 255 - i / 4, d5 = 255 - i / 5;
    if (!hover) return highlight ? RGB(d3, d3, d4) : RGB(d3, d3, d5);
    return highlight ? RGB(d4, d4, d3) : RGB(d4, d4, d5);
}

TEST_F(WizardTest, ButtonFaceBands) {
    // At start Next has the focus (highlight scheme, edge lines over the first and last
    // rows); Cancel has neither focus nor pointer, so every face row shows its band.
    Capture c;
    ASSERT_TRUE(c.Grab(wiz_.frame()));
    struct {
        int id;
        bool highlight;
        int skip; // rows at each end covered by edge lines
    } cases[] = {{kCancel, false, 0}, {kNext, true, 2}};
    for (const auto& k : cases) {
        RECT f = FaceRect(c, wiz_.Button(k.id));
        const int h = f.bottom - f.top;
        ASSERT_GT(h, 0);
        for (int y = f.top + k.skip; y <= f.bottom - k.skip; ++y) {
            COLORREF want = Band(63 * (y - f.top) / h, false, k.highlight);
            EXPECT_EQ(ColourText(want), ColourText(c.At(f.left + 4, y)))
                    << "button " << k.id << ", face row " << y - f.top;
        }
    }
    RECT f = FaceRect(c, wiz_.Button(kCancel));
    EXPECT_EQ(kWhite, c.At(f.left + 4, f.top));
    EXPECT_EQ(RGB(234, 234, 243), c.At(f.left + 4, f.bottom)) << ColourText(c.At(f.left + 4, f.bottom));
}

TEST_F(WizardTest, FocusedButtonHasBlueEdgesAndFocusRect) {
    HWND next = wiz_.Button(kNext);
    ASSERT_EQ(next, FocusOf(wiz_.frame()));
    Capture c;
    ASSERT_TRUE(c.Grab(wiz_.frame()));
    RECT f = FaceRect(c, next);
    int h = f.bottom - f.top, w = f.right - f.left;
    EXPECT_GE(CountIn(c, f.left - 1, f.left + 2, f.top + 2, f.bottom - 2, RGB(153, 198, 252)), h - 4)
            << "left edge " << ColourText(c.At(f.left + 1, (f.top + f.bottom) / 2));
    EXPECT_GE(CountIn(c, f.right - 2, f.right + 1, f.top + 2, f.bottom - 2, RGB(162, 189, 252)), h - 4)
            << "right edge " << ColourText(c.At(f.right - 2, (f.top + f.bottom) / 2));
    EXPECT_GE(CountIn(c, f.left + 3, f.right - 3, f.top - 1, f.top + 1, RGB(162, 201, 255)), (w - 6) / 2)
            << "top edge " << ColourText(c.At((f.left + f.right) / 2, f.top));
    EXPECT_GE(CountIn(c, f.left + 3, f.right - 3, f.bottom - 1, f.bottom + 1, RGB(162, 201, 255)), (w - 6) / 2)
            << "bottom edge " << ColourText(c.At((f.left + f.right) / 2, f.bottom));
    EXPECT_GE(FocusDots(c, f), (w - 8) / 2 - 2) << "no dotted focus rectangle";

    // Cancel, without focus, has neither.
    RECT g = FaceRect(c, wiz_.Button(kCancel));
    EXPECT_EQ(0, CountIn(c, g.left - 1, g.left + 2, g.top, g.bottom, RGB(153, 198, 252)));
    EXPECT_EQ(0, FocusDots(c, g));
}

// Hovering shows the orange edges and no focus rectangle, with or without the focus
// (Next has it at start, Cancel has not).
class HoverTest : public WizardTest, public ::testing::WithParamInterface<int> {};

TEST_P(HoverTest, OrangeEdgesWhilePointerRests) {
    HWND button = wiz_.Button(GetParam());
    RECT r;
    GetWindowRect(button, &r);
    Capture c;
    RECT f{};
    auto hovered = [&] {
        if (!c.Grab(wiz_.frame(), 500)) return false;
        f = FaceRect(c, button);
        return CountIn(c, f.left - 1, f.left + 2, f.top + 2, f.bottom - 2, RGB(250, 196, 88)) >= f.bottom - f.top - 4;
    };
    // Nudge the pointer until the button has seen a move and its hover time has passed.
    DWORD start = GetTickCount();
    bool ok = false;
    for (int i = 0; !ok && GetTickCount() - start < 8000; ++i) {
        SetCursorPos((r.left + r.right) / 2 + (i & 1), (r.top + r.bottom) / 2);
        Sleep(50);
        ok = hovered();
    }
    ASSERT_TRUE(ok) << "no orange left edge; left column " << ColourText(c.At(f.left + 1, (f.top + f.bottom) / 2));
    EXPECT_GE(CountIn(c, f.right - 2, f.right + 1, f.top + 2, f.bottom - 2, RGB(251, 202, 106)), f.bottom - f.top - 4);
    EXPECT_GE(CountIn(c, f.left + 3, f.right - 3, f.top - 1, f.top + 1, RGB(252, 210, 121)),
              (f.right - f.left - 6) / 2);
    EXPECT_GE(CountIn(c, f.left + 3, f.right - 3, f.bottom - 1, f.bottom + 1, RGB(229, 151, 0)),
              (f.right - f.left - 6) / 2);
    EXPECT_EQ(0, FocusDots(c, f)) << "a focus rectangle on a hovered button";
    EXPECT_EQ(0, CountIn(c, f.left - 1, f.left + 2, f.top, f.bottom, RGB(153, 198, 252))) << "blue edges while hovered";
    c.SaveBmp(ScreenshotDir() + L"\\button_hover_" + std::to_wstring(GetParam()) + L".bmp");

    // Pointer away: the orange goes (a focused button gets its blue edges back).
    ParkPointer();
    EXPECT_TRUE(WaitUntil(
            [&] {
                c.Grab(wiz_.frame(), 300);
                f = FaceRect(c, button);
                return CountIn(c, f.left - 1, f.left + 2, f.top, f.bottom, RGB(250, 196, 88)) == 0;
            },
            5000, "the orange edges to go"));
    bool focused = FocusOf(wiz_.frame()) == button;
    EXPECT_EQ(focused, CountIn(c, f.left - 1, f.left + 2, f.top + 2, f.bottom - 2, RGB(153, 198, 252)) > 0);
}

INSTANTIATE_TEST_SUITE_P(Buttons, HoverTest, ::testing::Values(int(kCancel), int(kNext)),
                         [](const ::testing::TestParamInfo<int>& i) { return i.param == kNext ? "Next" : "Cancel"; });

TEST_F(WizardTest, PressedButtonMovesItsCaption) {
    HWND cancel = wiz_.Button(kCancel);
    Capture up, down;
    ASSERT_TRUE(up.Grab(wiz_.frame()));
    RECT f = FaceRect(up, cancel);
    RECT a = up.Bounds(f, Dark);
    ASSERT_LT(a.left, a.right) << "no caption found on Cancel";
    DWORD_PTR r;
    ASSERT_TRUE(SendMessageTimeoutW(cancel, BM_SETSTATE, TRUE, 0, SMTO_ABORTIFHUNG, 2000, &r));
    ASSERT_TRUE(down.Grab(wiz_.frame()));
    SendMessageTimeoutW(cancel, BM_SETSTATE, FALSE, 0, SMTO_ABORTIFHUNG, 2000, &r);
    RECT b = down.Bounds(f, Dark);
    EXPECT_EQ(a.left + 1, b.left);
    EXPECT_EQ(a.top + 1, b.top);
    EXPECT_EQ(a.right + 1, b.right);
    EXPECT_EQ(a.bottom + 1, b.bottom);
    // pressed is highlighted: the face's last row takes the highlight scheme
    EXPECT_EQ(RGB(234, 234, 240), down.At(f.left + 4, f.bottom)) << ColourText(down.At(f.left + 4, f.bottom));
    down.SaveBmp(ScreenshotDir() + L"\\button_pressed.bmp");
}

TEST_F(WizardTest, DisabledButtonIsEmbossed) {
    HWND cancel = wiz_.Button(kCancel);
    Capture c;
    // The wizard disables Cancel itself only during an installation; do it from outside.
    EnableWindow(cancel, FALSE);
    ASSERT_TRUE(c.Grab(wiz_.frame()));
    EnableWindow(cancel, TRUE);
    c.SaveBmp(ScreenshotDir() + L"\\button_disabled.bmp");
    RECT f = FaceRect(c, cancel);
    const COLORREF shadow = GetSysColor(COLOR_3DSHADOW), light = GetSysColor(COLOR_3DHILIGHT);
    EXPECT_GT(c.Count(f, shadow), 10) << "no text in the shadow colour " << ColourText(shadow);
    RECT dark = c.Bounds(f, [](COLORREF x) { return GetRValue(x) + GetGValue(x) + GetBValue(x) < 3 * 60; });
    EXPECT_EQ(dark.left, dark.right) << "black caption pixels on a disabled button";
    // the highlight copy sits one pixel right and down of the shadow copy
    RECT s = c.Bounds(f, [&](COLORREF x) { return x == shadow; });
    // (only around the text: the face's first rows are white too)
    RECT around{s.left - 2, s.top - 1, s.right + 3, s.bottom + 3};
    RECT l = c.Bounds(around, [&](COLORREF x) { return x == light; });
    EXPECT_EQ(s.right + 1, l.right);
    EXPECT_EQ(s.bottom + 1, l.bottom);
}

TEST_F(WizardTest, MinimisedFrameShowsItsIcon) {
    ASSERT_TRUE(SysCommand(wiz_.frame(), SC_MINIMIZE));
    ASSERT_TRUE(WaitUntil([&] { return IsIconic(wiz_.frame()) != FALSE; }, 5000, "the frame minimised",
                          [&] { return wiz_.State(); }));
    Sync(wiz_.frame());
    Capture c;
    ASSERT_TRUE(c.Grab(wiz_.frame()));
    c.SaveBmp(ScreenshotDir() + L"\\minimised.bmp");
    // Wine's caption draws the frame's icon (128) at its left end: the white page and the blue quill.
    RECT caption_icon{0, 0, GetSystemMetrics(SM_CYCAPTION) + 4, GetSystemMetrics(SM_CYCAPTION) + 4};
    EXPECT_GT(c.Count(caption_icon, kWhite), 10);
    RECT quill = c.Bounds(caption_icon, [](COLORREF x) { return GetBValue(x) > GetRValue(x) + 60; });
    EXPECT_LT(quill.left, quill.right) << "no blue in the caption's icon";
    RECT cr{};
    GetClientRect(wiz_.frame(), &cr);
    if (cr.right - cr.left < GetSystemMetrics(SM_CXICON) || cr.bottom - cr.top < GetSystemMetrics(SM_CYICON))
        GTEST_SKIP() << "Wine shows the minimised frame as a title bar only: client area " << cr.right << "x"
                     << cr.bottom;
    // The icon's page is white and its quill blue; both must show around the centre.
    RECT all = c.ClientRect(wiz_.frame());
    int cx = (all.left + all.right) / 2, cy = (all.top + all.bottom) / 2;
    RECT centre{cx - 16, cy - 16, cx + 16, cy + 16};
    EXPECT_GT(c.Count(centre, kWhite), 50);
    RECT blue = c.Bounds(centre, [](COLORREF x) { return GetBValue(x) > GetRValue(x) + 60; });
    EXPECT_LT(blue.left, blue.right);
}

} // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    for (int i = 1; i < argc; ++i)
        if (strncmp(argv[i], "--setup=", 8) == 0) SetSetupExePath(Wide(argv[i] + 8));
    return RUN_ALL_TESTS();
}
