// The exit question in-process: its own close item, No and the keyboard commands,
// Yes on the first steps and during the installation, and its colours.
#include "app/ExitConfirmDlg.h"

#include <gtest/gtest.h>

#include <string>

#include "app/SetupDlg.h"
#include "res/resource.h"
#include "shell_frame_support.h"
#include "win_test_util.h"

namespace {

using wt::Describe;
using wt::Look;
using wt::WizardView;

const char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\tesmarin";

void ClickNext(CSetupDlg& dlg) {
    dlg.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_NEXT, BN_CLICKED), reinterpret_cast<LPARAM>(dlg.m_btnNext.m_hWnd));
}

TEST(ExitQuestion, OpensOwnedByTheFrameWithItsCloseItemGreyed) {
    CSetupDlg dlg;
    wt::RunFrame(dlg, [&] {
        const bool seen = wt::WithQuestion(dlg, [&](HWND q) {
            EXPECT_EQ(GetWindow(q, GW_OWNER), dlg.m_hWnd);
            EXPECT_FALSE(dlg.IsWindowEnabled()) << "the frame stays enabled under the question";
            HMENU hSys = GetSystemMenu(q, FALSE);
            ASSERT_TRUE(hSys);
            EXPECT_TRUE(GetMenuState(hSys, SC_CLOSE, MF_BYCOMMAND) & MF_GRAYED)
                    << "state " << GetMenuState(hSys, SC_CLOSE, MF_BYCOMMAND);
            auto* pQuestion = static_cast<CExitConfirmDlg*>(CWnd::FromHandlePermanent(q));
            ASSERT_NE(pQuestion, nullptr);
            EXPECT_EQ(pQuestion->m_btnYes.m_hWnd, GetDlgItem(q, IDC_CONFIRM_YES));
            EXPECT_EQ(pQuestion->m_btnNo.m_hWnd, GetDlgItem(q, IDC_CONFIRM_NO));
            EXPECT_EQ(GetWindowLongA(pQuestion->m_btnYes.m_hWnd, GWL_STYLE) & BS_TYPEMASK, BS_OWNERDRAW);
            EXPECT_EQ(wt::Text(pQuestion->m_btnYes.m_hWnd), "是(Y)");
            EXPECT_EQ(wt::Text(pQuestion->m_btnNo.m_hWnd), "否(N)");
            EXPECT_EQ(wt::Text(GetDlgItem(q, IDC_QUESTION)),
                      "\r\n\r\n\r        你确实要退出\"QuillmateV1.0.0614 beta版 \" 的安装程序?");
            SendMessageA(q, WM_CLOSE, 0, 0);
        });
        EXPECT_TRUE(seen);
        EXPECT_TRUE(dlg.IsWindowEnabled());
    });
}

struct CloseWay {
    const char* name;
    UINT message;
    WPARAM wParam;
};

TEST(ExitQuestion, NoAndTheKeyboardCommandsLeaveTheWizardAsItWas) {
    const CloseWay ways[] = {
            {"No", WM_COMMAND, MAKEWPARAM(IDC_CONFIRM_NO, BN_CLICKED)},
            {"IDOK", WM_COMMAND, IDOK},
            {"IDCANCEL", WM_COMMAND, IDCANCEL},
            {"WM_CLOSE", WM_CLOSE, 0},
    };
    CSetupDlg dlg;
    wt::RunFrame(dlg, [&] {
        for (int step : {1, 2}) {
            if (step == 2) ClickNext(dlg);
            const WizardView before = Look(dlg);
            for (const CloseWay& way : ways) {
                HWND hq = nullptr;
                const bool seen = wt::WithQuestion(dlg, [&](HWND q) {
                    hq = q;
                    SendMessageA(q, way.message, way.wParam, 0);
                });
                ASSERT_TRUE(seen) << way.name;
                EXPECT_FALSE(IsWindow(hq)) << way.name << " left the question open";
                ASSERT_TRUE(IsWindow(dlg.m_hWnd)) << way.name << " closed the wizard";
                EXPECT_EQ(Describe(Look(dlg)), Describe(before)) << way.name << " on step " << step;
                EXPECT_TRUE(dlg.IsWindowEnabled());
            }
        }
    });
}

// A folder with the two files the installation start writes, and the uninstall
// values; restores the registry afterwards.
class RollBackScene {
public:
    RollBackScene() {
        char tmp[MAX_PATH] = "";
        GetTempPathA(sizeof(tmp), tmp);
        m_dir = std::string(tmp) + "shell_rollback\\";
        CreateDirectoryA(m_dir.c_str(), nullptr);
        for (const char* name : {"fenrow.uha", "UHARC.EXE", "pkl.exe"}) {
            HANDLE h = CreateFileA((m_dir + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
            CloseHandle(h);
        }
        RegCreateKeyExA(HKEY_LOCAL_MACHINE, kUninstallKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &m_key, nullptr);
        for (const char* value : {"DisplayName", "DisplayVersion", "UninstallString", "Path"}) {
            char old[512];
            DWORD size = sizeof(old), type = 0;
            if (RegQueryValueExA(m_key, value, nullptr, &type, reinterpret_cast<BYTE*>(old), &size) == ERROR_SUCCESS) {
                m_saved.push_back({value, std::string(old, size), type});
            }
            RegSetValueExA(m_key, value, 0, REG_SZ, reinterpret_cast<const BYTE*>("x"), 2);
        }
    }
    ~RollBackScene() {
        for (const char* value : {"DisplayName", "DisplayVersion", "UninstallString", "Path"}) {
            RegDeleteValueA(m_key, value);
        }
        for (const Saved& s : m_saved) {
            RegSetValueExA(m_key, s.name.c_str(), 0, s.type, reinterpret_cast<const BYTE*>(s.data.data()),
                           static_cast<DWORD>(s.data.size()));
        }
        RegCloseKey(m_key);
        for (const char* name : {"fenrow.uha", "UHARC.EXE", "pkl.exe"}) DeleteFileA((m_dir + name).c_str());
        RemoveDirectoryA(m_dir.c_str());
    }
    const std::string& dir() const { return m_dir; }
    bool File(const char* name) const { return GetFileAttributesA((m_dir + name).c_str()) != INVALID_FILE_ATTRIBUTES; }
    bool Value(const char* name) const {
        return RegQueryValueExA(m_key, name, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
    }

private:
    struct Saved {
        std::string name;
        std::string data;
        DWORD type;
    };
    std::string m_dir;
    HKEY m_key = nullptr;
    std::vector<Saved> m_saved;
};

TEST(ExitQuestion, YesOnTheFirstStepsEndsTheWizardAndTouchesNothing) {
    for (int step : {1, 2}) {
        RollBackScene scene;
        CSetupDlg dlg;
        bool closedByBody = false;
        const INT_PTR result = wt::RunFrame(
                dlg,
                [&] {
                    if (step == 2) ClickNext(dlg);
                    dlg.m_pageFolder.m_strFolder = scene.dir().c_str();
                    wt::WithQuestion(dlg, [&](HWND q) {
                        SendMessageA(q, WM_COMMAND, MAKEWPARAM(IDC_CONFIRM_YES, BN_CLICKED), 0);
                    });
                },
                &closedByBody);
        EXPECT_TRUE(closedByBody) << "Yes on step " << step << " did not end the wizard";
        EXPECT_EQ(result, IDCANCEL);
        EXPECT_EQ(dlg.m_hWnd, nullptr);
        for (const char* f : {"fenrow.uha", "UHARC.EXE", "pkl.exe"})
            EXPECT_TRUE(scene.File(f)) << f << " step " << step;
        for (const char* v : {"DisplayName", "DisplayVersion", "UninstallString", "Path"}) {
            EXPECT_TRUE(scene.Value(v)) << v << " step " << step;
        }
    }
}

TEST(ExitQuestion, YesWhileInstallingRollsBack) {
    RollBackScene scene;
    CSetupDlg dlg;
    bool closedByBody = false;
    wt::RunFrame(
            dlg,
            [&] {
                ClickNext(dlg);
                dlg.m_pageFolder.m_strFolder = scene.dir().c_str();
                dlg.m_nStep = 3;
                dlg.ShowStep();
                // What reaches the frame from step 3 on: a close request (Cancel is disabled).
                wt::WhenDialog(dlg.m_hWnd, [&](HWND q) {
                    if (q) SendMessageA(q, WM_COMMAND, MAKEWPARAM(IDC_CONFIRM_YES, BN_CLICKED), 0);
                });
                dlg.SendMessage(WM_SYSCOMMAND, SC_CLOSE, 0);
            },
            &closedByBody);
    EXPECT_TRUE(closedByBody);
    EXPECT_FALSE(scene.File("fenrow.uha"));
    EXPECT_FALSE(scene.File("UHARC.EXE"));
    EXPECT_TRUE(scene.File("pkl.exe")) << "extracted files stay";
    for (const char* v : {"DisplayName", "DisplayVersion", "UninstallString"}) EXPECT_FALSE(scene.Value(v)) << v;
    EXPECT_TRUE(scene.Value("Path"));
}

TEST(ExitQuestion, OnlyTheQuestionBandIsWhite) {
    CSetupDlg dlg;
    wt::RunFrame(dlg, [&] {
        wt::WithQuestion(dlg, [&](HWND q) {
            HDC screen = GetDC(q);
            HDC dc = CreateCompatibleDC(screen);
            HDC ref = CreateCompatibleDC(screen);
            ReleaseDC(q, screen);
            const COLORREF sentinel = RGB(1, 2, 3);

            // The band: white background, a solid white brush that is kept.
            SetBkColor(dc, sentinel);
            HWND hBand = GetDlgItem(q, IDC_QUESTION);
            auto brush = reinterpret_cast<HBRUSH>(
                    SendMessageA(q, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(hBand)));
            EXPECT_EQ(GetBkColor(dc), RGB(255, 255, 255)) << wt::Rgb(GetBkColor(dc));
            LOGBRUSH lb{};
            ASSERT_EQ(GetObjectA(brush, sizeof(lb), &lb), static_cast<int>(sizeof(lb)));
            EXPECT_EQ(lb.lbStyle, static_cast<UINT>(BS_SOLID));
            EXPECT_EQ(lb.lbColor, RGB(255, 255, 255)) << wt::Rgb(lb.lbColor);
            EXPECT_EQ(reinterpret_cast<HBRUSH>(SendMessageA(q, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                                                            reinterpret_cast<LPARAM>(hBand))),
                      brush)
                    << "the white brush is made once";
            EXPECT_NE(brush, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH))) << "the dialog's own brush";

            // Everything else: what the default dialog processing gives.
            HWND hPicture = nullptr;
            for (HWND h = GetWindow(q, GW_CHILD); h; h = GetWindow(h, GW_HWNDNEXT)) {
                if (GetDlgCtrlID(h) == 0xFFFF || GetDlgCtrlID(h) == -1) hPicture = h;
            }
            struct {
                UINT message;
                HWND control;
            } others[] = {{WM_CTLCOLORSTATIC, hPicture},
                          {WM_CTLCOLORBTN, GetDlgItem(q, IDC_CONFIRM_YES)},
                          {WM_CTLCOLORBTN, GetDlgItem(q, IDC_CONFIRM_NO)},
                          {WM_CTLCOLORDLG, q}};
            for (const auto& o : others) {
                SetBkColor(dc, sentinel);
                SetBkColor(ref, sentinel);
                auto got = reinterpret_cast<HBRUSH>(
                        SendMessageA(q, o.message, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(o.control)));
                auto expected = reinterpret_cast<HBRUSH>(DefWindowProcA(q, o.message, reinterpret_cast<WPARAM>(ref),
                                                                        reinterpret_cast<LPARAM>(o.control)));
                EXPECT_EQ(got, expected) << "message " << o.message << " control " << GetDlgCtrlID(o.control);
                EXPECT_EQ(GetBkColor(dc), GetBkColor(ref)) << wt::Rgb(GetBkColor(dc));
            }
            DeleteDC(dc);
            DeleteDC(ref);

            // And as painted.
            RECT rc;
            GetClientRect(q, &rc);
            wt::MemBitmap bmp(rc.right, rc.bottom, RGB(255, 0, 255));
            RedrawWindow(q, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
            wt::CaptureClient(q, bmp);
            bmp.Save("exit_question.bmp");
            RECT band;
            GetWindowRect(hBand, &band);
            MapWindowPoints(nullptr, q, reinterpret_cast<POINT*>(&band), 2);
            EXPECT_EQ(bmp.At(band.right - 3, band.top + 3), RGB(255, 255, 255))
                    << wt::Rgb(bmp.At(band.right - 3, band.top + 3));
            EXPECT_EQ(bmp.At(band.left + 3, band.bottom - 3), RGB(255, 255, 255));
            const COLORREF face = GetSysColor(COLOR_3DFACE);
            EXPECT_EQ(bmp.At(3, rc.bottom - 3), face) << wt::Rgb(bmp.At(3, rc.bottom - 3));
            EXPECT_EQ(bmp.At(rc.right / 2, band.bottom + 3), face) << wt::Rgb(bmp.At(rc.right / 2, band.bottom + 3));
            SendMessageA(q, WM_CLOSE, 0, 0);
        });
    });
}

} // namespace
