// The wizard frame in-process: run modally, driven from timers, inspected through its
// members and the system menu (which another process cannot read).
#include "app/SetupDlg.h"

#include <shlobj.h>

#include <vector>

#include <gtest/gtest.h>

#include "app/SetupApp.h"
#include "finish/Registry.h"
#include "pages/FolderPage.h"
#include "res/resource.h"
#include "shell_frame_support.h"
#include "win_test_util.h"

namespace {

using wt::Describe;
using wt::Look;
using wt::Text;
using wt::WizardView;

void ClickNext(CSetupDlg& dlg) {
    dlg.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_NEXT, BN_CLICKED), reinterpret_cast<LPARAM>(dlg.m_btnNext.m_hWnd));
}
void ClickBack(CSetupDlg& dlg) {
    dlg.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_BACK, BN_CLICKED), reinterpret_cast<LPARAM>(dlg.m_btnBack.m_hWnd));
}

std::string MenuString(HMENU h, int pos) {
    char buf[128] = "";
    GetMenuStringA(h, static_cast<UINT>(pos), buf, sizeof(buf), MF_BYPOSITION);
    return buf;
}

TEST(Frame, AfterInitialisation) {
    CSetupDlg dlg;
    bool ran = false;
    wt::RunFrame(dlg, [&] {
        ran = true;
        const WizardView v = Look(dlg);
        EXPECT_EQ(v.step, 1);
        EXPECT_TRUE(v.pages[0] && !v.pages[1] && !v.pages[2] && !v.pages[3]) << Describe(v);
        EXPECT_FALSE(v.back.visible) << Describe(v);
        EXPECT_TRUE(v.next.visible && v.next.enabled) << Describe(v);
        EXPECT_EQ(v.next.text, "下一步(N) >");
        EXPECT_TRUE(v.cancel.visible && v.cancel.enabled) << Describe(v);
        EXPECT_EQ(v.cancel.text, "取消(C)");
        EXPECT_EQ(v.back.text, "< 上一步(P)");
        EXPECT_FALSE(v.closeGreyed);

        // The system menu ends with a separator and the about entry.
        HMENU hSys = GetSystemMenu(dlg.m_hWnd, FALSE);
        ASSERT_TRUE(hSys);
        const int n = GetMenuItemCount(hSys);
        ASSERT_GE(n, 3);
        MENUITEMINFOA sep{};
        sep.cbSize = sizeof(sep);
        sep.fMask = MIIM_FTYPE;
        ASSERT_TRUE(GetMenuItemInfoA(hSys, static_cast<UINT>(n - 2), TRUE, &sep));
        EXPECT_TRUE(sep.fType & MFT_SEPARATOR) << "type " << sep.fType;
        EXPECT_EQ(MenuString(hSys, n - 1), "关于 setup(&A)...");
        EXPECT_EQ(GetMenuItemID(hSys, n - 1), static_cast<UINT>(IDM_ABOUTBOX));
        EXPECT_EQ(GetMenuState(hSys, IDM_ABOUTBOX, MF_BYCOMMAND) & (MF_GRAYED | MF_DISABLED), 0u);

        // Every page lies on the placeholder, a child of the frame.
        HWND hPlaceholder = GetWindow(dlg.m_hWnd, GW_CHILD);
        for (; hPlaceholder; hPlaceholder = GetWindow(hPlaceholder, GW_HWNDNEXT)) {
            if (Text(hPlaceholder) == "Static") break;
        }
        ASSERT_TRUE(hPlaceholder);
        RECT place;
        GetWindowRect(hPlaceholder, &place);
        for (CDialog* page : {static_cast<CDialog*>(&dlg.m_pageWelcome), static_cast<CDialog*>(&dlg.m_pageFolder),
                              static_cast<CDialog*>(&dlg.m_pageInstall), static_cast<CDialog*>(&dlg.m_pageFinish)}) {
            RECT rc;
            GetWindowRect(page->m_hWnd, &rc);
            EXPECT_TRUE(EqualRect(&rc, &place))
                    << "page at " << rc.left << "," << rc.top << "-" << rc.right << "," << rc.bottom << ", placeholder "
                    << place.left << "," << place.top << "-" << place.right << "," << place.bottom;
            EXPECT_EQ(GetParent(page->m_hWnd), dlg.m_hWnd);
        }

        // The icon, both sizes.
        EXPECT_NE(dlg.m_hIcon, nullptr);
        EXPECT_EQ(reinterpret_cast<HICON>(dlg.SendMessage(WM_GETICON, ICON_BIG)), dlg.m_hIcon);
        EXPECT_EQ(reinterpret_cast<HICON>(dlg.SendMessage(WM_GETICON, ICON_SMALL)), dlg.m_hIcon);
        EXPECT_EQ(reinterpret_cast<HICON>(dlg.SendMessage(WM_QUERYDRAGICON)), dlg.m_hIcon);
        EXPECT_STREQ(g_strInstallDir, "C:\\Program Files\\dunmerra\\");
    });
    EXPECT_TRUE(ran);
}

TEST(Frame, NextShowsTheFolderPageAndBackReturns) {
    CSetupDlg dlg;
    wt::RunFrame(dlg, [&] {
        ClickNext(dlg);
        WizardView v = Look(dlg);
        EXPECT_EQ(v.step, 2);
        EXPECT_TRUE(!v.pages[0] && v.pages[1] && !v.pages[2] && !v.pages[3]) << Describe(v);
        EXPECT_TRUE(v.back.visible && v.back.enabled) << Describe(v);
        EXPECT_TRUE(v.next.enabled && v.cancel.enabled) << Describe(v);
        EXPECT_EQ(v.next.text, "下一步(N) >");
        EXPECT_EQ(v.folderEdit, "C:\\Program Files\\dunmerra\\");

        // Text typed on the folder page survives Back and Next.
        SetDlgItemTextA(dlg.m_pageFolder.m_hWnd, IDC_FOLDER_EDIT, "D:\\Apps \\ ");
        ClickBack(dlg);
        v = Look(dlg);
        EXPECT_EQ(v.step, 1);
        EXPECT_TRUE(v.pages[0] && !v.pages[1]) << Describe(v);
        EXPECT_FALSE(v.back.visible) << Describe(v);
        ClickNext(dlg);
        v = Look(dlg);
        EXPECT_EQ(v.step, 2);
        EXPECT_EQ(v.folderEdit, "D:\\Apps \\ ");
    });
}

TEST(Frame, InstallingAndFinishStepsGreyTheCloseItem) {
    CSetupDlg dlg;
    wt::RunFrame(dlg, [&] {
        ClickNext(dlg);
        // As the installation start leaves the buttons; ShowStep must not change them.
        dlg.m_btnBack.EnableWindow(FALSE);
        dlg.m_btnNext.EnableWindow(FALSE);
        dlg.m_btnCancel.EnableWindow(FALSE);
        dlg.m_nStep = 3;
        dlg.ShowStep();
        WizardView v = Look(dlg);
        EXPECT_TRUE(v.closeGreyed) << Describe(v);
        EXPECT_TRUE(!v.pages[0] && !v.pages[1] && v.pages[2] && !v.pages[3]) << Describe(v);
        EXPECT_TRUE(v.back.visible && !v.back.enabled && !v.next.enabled && !v.cancel.enabled) << Describe(v);
        EXPECT_EQ(v.next.text, "下一步(N) >");
        HMENU hSys = GetSystemMenu(dlg.m_hWnd, FALSE);
        EXPECT_TRUE(GetMenuState(hSys, SC_CLOSE, MF_BYCOMMAND) & MF_GRAYED)
                << "state " << GetMenuState(hSys, SC_CLOSE, MF_BYCOMMAND);

        dlg.m_btnNext.EnableWindow(TRUE);
        ClickNext(dlg);
        v = Look(dlg);
        EXPECT_EQ(v.step, 4);
        EXPECT_TRUE(v.closeGreyed) << Describe(v);
        EXPECT_TRUE(!v.pages[0] && !v.pages[1] && !v.pages[2] && v.pages[3]) << Describe(v);
        EXPECT_EQ(v.next.text, "完成(F)");
        EXPECT_TRUE(v.next.enabled && !v.cancel.enabled && !v.back.enabled) << Describe(v);
        for (int id : {IDC_CHK_STARTMENU, IDC_CHK_STARTUP, IDC_CHK_DESKTOP, IDC_CHK_RUNNOW}) {
            EXPECT_EQ(IsDlgButtonChecked(dlg.m_pageFinish.m_hWnd, id), static_cast<UINT>(BST_CHECKED)) << "box " << id;
        }
        EXPECT_EQ(dlg.m_pageFinish.m_chkRunNow.GetCheck(), BST_CHECKED);
        EXPECT_EQ(dlg.m_pageFinish.m_chkDesktop.GetDlgCtrlID(), IDC_CHK_DESKTOP);
        EXPECT_EQ(dlg.m_pageFinish.m_chkStartup.GetDlgCtrlID(), IDC_CHK_STARTUP);
        EXPECT_EQ(dlg.m_pageFinish.m_chkStartMenu.GetDlgCtrlID(), IDC_CHK_STARTMENU);
    });
}

TEST(Frame, ShowStepOutsideOneToFourChangesNothing) {
    CSetupDlg dlg;
    wt::RunFrame(dlg, [&] {
        ClickNext(dlg);
        const WizardView before = Look(dlg);
        for (int step : {0, 5, -1, 99}) {
            dlg.m_nStep = step;
            dlg.ShowStep();
            WizardView v = Look(dlg);
            v.step = before.step;
            EXPECT_EQ(Describe(v), Describe(before)) << "step " << step;
        }
        dlg.m_nStep = 2;
    });
}

TEST(Frame, AboutEntryLeavesStepPageAndButtons) {
    CSetupDlg dlg;
    wt::RunFrame(dlg, [&] {
        ClickNext(dlg);
        const WizardView before = Look(dlg);
        for (WPARAM cmd : {static_cast<WPARAM>(IDM_ABOUTBOX), static_cast<WPARAM>(IDM_ABOUTBOX | 0x3)}) {
            HWND hAbout = nullptr;
            std::string caption;
            BOOL frameEnabled = TRUE;
            wt::WhenDialog(dlg.m_hWnd, [&](HWND shown) {
                hAbout = shown;
                caption = Text(hAbout);
                frameEnabled = dlg.IsWindowEnabled();
                if (hAbout) PostMessageA(hAbout, WM_CLOSE, 0, 0);
            });
            dlg.SendMessage(WM_SYSCOMMAND, cmd, 0);
            EXPECT_NE(hAbout, nullptr) << "no about box for command " << cmd;
            EXPECT_EQ(caption, "关于 Quillmate");
            EXPECT_FALSE(frameEnabled) << "the about box runs modally";
            EXPECT_EQ(Describe(Look(dlg)), Describe(before));
        }
    });
}

TEST(Frame, EscapeAsksWhileCancelIsEnabledAndDoesNothingOtherwise) {
    CSetupDlg dlg;
    bool closedByBody = true;
    const INT_PTR result = wt::RunFrame(
            dlg,
            [&] {
                const WizardView before = Look(dlg);
                // Escape through the dialog manager, with the focus on Next.
                SetFocus(dlg.m_btnNext.m_hWnd);
                MSG esc = {dlg.m_btnNext.m_hWnd, WM_KEYDOWN, VK_ESCAPE, 0x00010001, 0, {0, 0}};
                HWND q = nullptr;
                wt::WhenDialog(dlg.m_hWnd, [&](HWND shown) {
                    q = shown;
                    if (q) SendMessageA(q, WM_COMMAND, MAKEWPARAM(IDC_CONFIRM_NO, BN_CLICKED), 0);
                });
                IsDialogMessageA(dlg.m_hWnd, &esc);
                EXPECT_NE(q, nullptr) << "Escape with Cancel enabled did not open the exit question";
                EXPECT_EQ(Describe(Look(dlg)), Describe(before));

                // The IDCANCEL command itself, as Escape sends it with no control.
                q = nullptr;
                wt::WhenDialog(dlg.m_hWnd, [&](HWND shown) {
                    q = shown;
                    if (q) SendMessageA(q, WM_COMMAND, MAKEWPARAM(IDC_CONFIRM_NO, BN_CLICKED), 0);
                });
                dlg.SendMessage(WM_COMMAND, IDCANCEL, 0);
                EXPECT_NE(q, nullptr) << "IDCANCEL with Cancel enabled did not open the exit question";

                // Cancel disabled: nothing opens, nothing ends.
                dlg.m_btnCancel.EnableWindow(FALSE);
                q = nullptr;
                wt::WhenDialog(
                        dlg.m_hWnd,
                        [&](HWND shown) {
                            q = shown;
                            PostMessageA(q, WM_CLOSE, 0, 0);
                        },
                        300, false);
                dlg.SendMessage(WM_COMMAND, IDCANCEL, 0);
                IsDialogMessageA(dlg.m_hWnd, &esc);
                wt::Pump(400);
                EXPECT_EQ(q, nullptr) << "the exit question opened with Cancel disabled";
                EXPECT_TRUE(IsWindow(dlg.m_hWnd));
                dlg.m_btnCancel.EnableWindow(TRUE);
            },
            &closedByBody);
    EXPECT_FALSE(closedByBody) << "Escape ended the wizard";
    EXPECT_EQ(result, IDCANCEL);
}

// Enter (the IDOK command) presses the focused frame button, else nothing; it never
// ends the wizard.
TEST(Frame, EnterPressesTheFocusedButtonAndNeverEndsTheWizard) {
    CSetupDlg dlg;
    bool closedByBody = true;
    wt::RunFrame(
            dlg,
            [&] {
                SetFocus(dlg.m_btnNext.m_hWnd);
                dlg.SendMessage(WM_COMMAND, IDOK, 0);
                EXPECT_EQ(dlg.m_nStep, 2) << "IDOK with the focus on Next";

                SetFocus(dlg.m_btnBack.m_hWnd);
                dlg.SendMessage(WM_COMMAND, IDOK, 0);
                EXPECT_EQ(dlg.m_nStep, 1) << "IDOK with the focus on Back";
                EXPECT_FALSE(dlg.m_btnBack.IsWindowVisible());

                // The focus on a control that is no frame button: nothing happens.
                SetFocus(dlg.m_pageWelcome.m_hWnd);
                dlg.SendMessage(WM_COMMAND, IDOK, 0);
                EXPECT_EQ(dlg.m_nStep, 1);

                // Cancel focused: the question, closed with No.
                SetFocus(dlg.m_btnCancel.m_hWnd);
                HWND q = nullptr;
                wt::WhenDialog(dlg.m_hWnd, [&](HWND shown) {
                    q = shown;
                    if (q) SendMessageA(q, WM_COMMAND, MAKEWPARAM(IDC_CONFIRM_NO, BN_CLICKED), 0);
                });
                dlg.SendMessage(WM_COMMAND, IDOK, 0);
                EXPECT_NE(q, nullptr) << "IDOK with the focus on Cancel opened no question";

                // The Enter key through the dialog manager, focus on Next.
                SetFocus(dlg.m_btnNext.m_hWnd);
                MSG enter = {dlg.m_btnNext.m_hWnd, WM_KEYDOWN, VK_RETURN, 0x001C0001, 0, {0, 0}};
                IsDialogMessageA(dlg.m_hWnd, &enter);
                wt::Pump(100);
                EXPECT_EQ(dlg.m_nStep, 2) << "Enter on Next";
                EXPECT_TRUE(IsWindowVisible(dlg.m_hWnd));
            },
            &closedByBody);
    EXPECT_FALSE(closedByBody) << "Enter ended the wizard";
}

TEST(Frame, CloseRequestOpensTheSameQuestion) {
    CSetupDlg dlg;
    wt::RunFrame(dlg, [&] {
        for (int step : {1, 2}) {
            if (step == 2) ClickNext(dlg);
            const WizardView before = Look(dlg);
            HWND q = nullptr;
            bool hasBand = false;
            wt::WhenDialog(dlg.m_hWnd, [&](HWND shown) {
                q = shown;
                if (!q) return;
                hasBand = GetDlgItem(q, IDC_QUESTION) != nullptr;
                SendMessageA(q, WM_COMMAND, MAKEWPARAM(IDC_CONFIRM_NO, BN_CLICKED), 0);
            });
            dlg.SendMessage(WM_SYSCOMMAND, SC_CLOSE, 0);
            ASSERT_NE(q, nullptr) << "SC_CLOSE on step " << step << " opened no question";
            EXPECT_TRUE(hasBand) << "the dialog that opened is not the exit question";
            EXPECT_EQ(Describe(Look(dlg)), Describe(before));
        }
    });
}

struct IconCall {
    HDC dc;
    int x, y;
    HICON icon;
};
std::vector<IconCall> g_iconCalls;
void* g_drawIcon = nullptr;

BOOL WINAPI RecordDrawIcon(HDC dc, int x, int y, HICON icon) {
    g_iconCalls.push_back({dc, x, y, icon});
    if (wt::MessageLog::Active()) wt::MessageLog::Active()->Note(nullptr, WM_APP + 0x301);
    return reinterpret_cast<BOOL(WINAPI*)(HDC, int, int, HICON)>(g_drawIcon)(dc, x, y, icon);
}

TEST(Frame, MinimisedFramePaintsTheIconCentred) {
    wt::ImportPatch patch("user32.dll", "DrawIcon", reinterpret_cast<void*>(&RecordDrawIcon));
    ASSERT_TRUE(patch.ok());
    g_drawIcon = patch.original();
    CSetupDlg dlg;
    wt::RunFrame(dlg, [&] {
        g_iconCalls.clear();
        dlg.Invalidate();
        dlg.SendMessage(WM_PAINT);
        EXPECT_TRUE(g_iconCalls.empty()) << "an icon drawn while not minimised";

        dlg.ShowWindow(SW_MINIMIZE);
        wt::Pump(100);
        ASSERT_TRUE(dlg.IsIconic());
        g_iconCalls.clear();
        wt::MessageLog log({dlg.m_hWnd, nullptr});
        dlg.Invalidate();
        dlg.SendMessage(WM_PAINT);
        ASSERT_EQ(g_iconCalls.size(), 1u) << "the minimised frame drew no icon";
        RECT rc;
        dlg.GetClientRect(&rc);
        const IconCall& call = g_iconCalls[0];
        EXPECT_EQ(call.icon, dlg.m_hIcon);
        EXPECT_EQ(call.x, (rc.right - rc.left - GetSystemMetrics(SM_CXICON) + 1) / 2) << "client " << rc.right;
        EXPECT_EQ(call.y, (rc.bottom - rc.top - GetSystemMetrics(SM_CYICON) + 1) / 2) << "client " << rc.bottom;
        EXPECT_EQ(wt::CompareSequence(
                          log, {{dlg.m_hWnd, WM_PAINT}, {dlg.m_hWnd, WM_ICONERASEBKGND}, {nullptr, WM_APP + 0x301}}),
                  "");
        dlg.ShowWindow(SW_RESTORE);
        wt::Pump(100);
        EXPECT_FALSE(dlg.IsIconic());
        EXPECT_EQ(dlg.m_nStep, 1);
    });
}

} // namespace

namespace {

struct TypedFolder {
    const char* typed;
    const char* dir;
};

// Next on the folder page with a folder that cannot be made (no drive Q:): the frame
// normalises the text, the installation start reports the folder error and returns to
// the folder page, whose edit still holds the text as typed.
TEST(Frame, NextOnTheFolderPageNormalisesAndKeepsTheTypedText) {
    wt::SavedRegistryValues uninstall("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\tesmarin",
                                      {"DisplayName", "DisplayVersion", "UninstallString"});
    wt::SavedRegistryValues path("Software\\tesmarin", {"Path"});
    const TypedFolder rows[] = {
            {"Q:\\昞", "Q:\\昞\\"},
            {"Q:\\昞 \\\\ ", "Q:\\昞 \\"},
            {"Q:\\Apps\\\\\\", "Q:\\Apps\\"},
            {"Q:\\Apps\t", "Q:\\Apps\t\\"},
    };
    CSetupDlg dlg;
    wt::RunFrame(dlg, [&] {
        ClickNext(dlg);
        for (const TypedFolder& row : rows) {
            SetDlgItemTextA(dlg.m_pageFolder.m_hWnd, IDC_FOLDER_EDIT, row.typed);
            std::string message;
            wt::WhenDialog(dlg.m_hWnd, [&](HWND box) {
                message = Text(GetDlgItem(box, 0xFFFF));
                PostMessageA(box, WM_COMMAND, IDOK, 0);
            });
            ClickNext(dlg);
            EXPECT_EQ(message, "文件夹路径错误!") << "typed [" << row.typed << "]";
            EXPECT_STREQ(dlg.m_pageFolder.m_strFolder, row.dir) << "typed [" << row.typed << "]";
            EXPECT_STREQ(g_strInstallDir, row.dir);
            const WizardView v = Look(dlg);
            EXPECT_EQ(v.step, 2);
            EXPECT_EQ(v.folderEdit, row.typed) << "the edit was rewritten";
            EXPECT_TRUE(v.pages[1] && !v.pages[2]) << Describe(v);
            EXPECT_TRUE(v.back.enabled && v.next.enabled && v.cancel.enabled) << Describe(v);
            EXPECT_FALSE(v.closeGreyed) << Describe(v);
        }
    });
}

} // namespace

namespace {

BOOL CALLBACK FindText(HWND h, LPARAM lParam) {
    auto* wanted = reinterpret_cast<std::pair<std::string, bool>*>(lParam);
    if (Text(h) == wanted->first) wanted->second = true;
    return TRUE;
}

struct BrowseCase {
    const char* choose; // nullptr: cancel the browser
    const char* expected;
};

TEST(Frame, BrowsingSetsTheFolderAsTheShellGivesIt) {
    const BrowseCase cases[] = {
            {"C:\\windows", "C:\\windows"},
            {"C:\\", "C:\\"},
            {nullptr, nullptr},
    };
    CSetupDlg dlg;
    wt::RunFrame(dlg, [&] {
        ClickNext(dlg);
        for (const BrowseCase& c : cases) {
            const std::string typed = "D:\\typed by hand";
            SetDlgItemTextA(dlg.m_pageFolder.m_hWnd, IDC_FOLDER_EDIT, typed.c_str());
            const CString folderBefore = dlg.m_pageFolder.m_strFolder;
            const CString dirBefore = g_strInstallDir;
            bool seen = false;
            std::pair<std::string, bool> title{"选择要安装 Quillmate完整内测V0.9.0422版 的文件夹位置:", false};
            wt::WhenDialog(dlg.m_hWnd, [&](HWND box) {
                seen = true;
                EnumChildWindows(box, FindText, reinterpret_cast<LPARAM>(&title));
                if (c.choose) {
                    SendMessageA(box, BFFM_SETSELECTIONA, TRUE, reinterpret_cast<LPARAM>(c.choose));
                    PostMessageA(box, WM_COMMAND, IDOK, 0);
                } else {
                    PostMessageA(box, WM_COMMAND, IDCANCEL, 0);
                }
            });
            dlg.m_pageFolder.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_BROWSE, BN_CLICKED),
                                         reinterpret_cast<LPARAM>(GetDlgItem(dlg.m_pageFolder.m_hWnd, IDC_BROWSE)));
            ASSERT_TRUE(seen) << "no folder browser appeared";
            EXPECT_TRUE(title.second) << "the browser does not show the title";
            const std::string edit = Text(GetDlgItem(dlg.m_pageFolder.m_hWnd, IDC_FOLDER_EDIT));
            if (c.choose) {
                EXPECT_EQ(edit, c.expected);
                EXPECT_STREQ(dlg.m_pageFolder.m_strFolder, c.expected);
                EXPECT_STREQ(g_strInstallDir, c.expected);
            } else {
                EXPECT_EQ(edit, typed) << "a cancelled browse changed the edit";
                EXPECT_STREQ(dlg.m_pageFolder.m_strFolder, folderBefore);
                EXPECT_STREQ(g_strInstallDir, dirBefore);
            }
            EXPECT_EQ(dlg.m_nStep, 2);
        }
    });
}

} // namespace
