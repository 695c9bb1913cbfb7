#include "shell_frame_support.h"

#include <gtest/gtest.h>

#include "app/SetupApp.h"
#include "res/resource.h"
#include "win_test_util.h"

namespace wt {

std::string Text(HWND h) {
    char buf[512] = "";
    GetWindowTextA(h, buf, sizeof(buf));
    return buf;
}

namespace {

ButtonState StateOf(CWnd& btn) {
    return {btn.IsWindowVisible() != FALSE, btn.IsWindowEnabled() != FALSE, Text(btn.m_hWnd)};
}

} // namespace

WizardView Look(CSetupDlg& dlg) {
    WizardView v{};
    v.step = dlg.m_nStep;
    v.pages[0] = dlg.m_pageWelcome.IsWindowVisible() != FALSE;
    v.pages[1] = dlg.m_pageFolder.IsWindowVisible() != FALSE;
    v.pages[2] = dlg.m_pageInstall.IsWindowVisible() != FALSE;
    v.pages[3] = dlg.m_pageFinish.IsWindowVisible() != FALSE;
    v.back = StateOf(dlg.m_btnBack);
    v.next = StateOf(dlg.m_btnNext);
    v.cancel = StateOf(dlg.m_btnCancel);
    v.folderEdit = Text(GetDlgItem(dlg.m_pageFolder.m_hWnd, IDC_FOLDER_EDIT));
    HMENU hSys = GetSystemMenu(dlg.m_hWnd, FALSE);
    v.closeGreyed = hSys && (GetMenuState(hSys, SC_CLOSE, MF_BYCOMMAND) & MF_GRAYED);
    return v;
}

std::string Describe(const WizardView& v) {
    auto b = [](const ButtonState& s) {
        return std::string(s.visible ? "shown" : "hidden") + (s.enabled ? "/enabled/" : "/disabled/") + s.text;
    };
    std::string out = "step " + std::to_string(v.step) + ", pages";
    for (bool p : v.pages) out += p ? " 1" : " 0";
    out += ", back " + b(v.back) + ", next " + b(v.next) + ", cancel " + b(v.cancel);
    out += ", edit [" + v.folderEdit + "]";
    out += v.closeGreyed ? ", close greyed" : ", close enabled";
    return out;
}

bool operator==(const WizardView& a, const WizardView& b) { return Describe(a) == Describe(b); }

INT_PTR RunFrame(CSetupDlg& dlg, const std::function<void()>& body, bool* pClosedByBody) {
    Watchdog dog(30000);
    CWnd* saved = theApp.m_pMainWnd;
    theApp.m_pMainWnd = &dlg;
    bool helperClosed = false, ran = false;
    Later(50, [&] {
        ran = true;
        body();
        // A run that has ended (EndDialog) hides the frame before it is destroyed.
        if (IsWindow(dlg.m_hWnd) && IsWindowVisible(dlg.m_hWnd)) {
            helperClosed = true;
            dlg.PostMessage(WM_CLOSE);
        }
    });
    const INT_PTR result = dlg.DoModal();
    theApp.m_pMainWnd = saved;
    EXPECT_TRUE(ran) << "the frame's run ended (DoModal gave " << result << ") before the test's body ran";
    if (pClosedByBody) *pClosedByBody = !helperClosed;
    return result;
}

bool WithQuestion(CSetupDlg& dlg, const std::function<void(HWND)>& inQuestion) {
    bool seen = false;
    WhenDialog(dlg.m_hWnd, [&](HWND q) {
        seen = true;
        inQuestion(q);
    });
    dlg.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_CANCEL_SETUP, BN_CLICKED),
                    reinterpret_cast<LPARAM>(dlg.m_btnCancel.m_hWnd));
    return seen;
}

} // namespace wt

namespace wt {

SavedRegistryValues::SavedRegistryValues(const char* subKey, std::initializer_list<const char*> names)
    : m_subKey(subKey) {
    HKEY key = nullptr;
    const bool open = RegOpenKeyExA(HKEY_LOCAL_MACHINE, subKey, 0, KEY_QUERY_VALUE, &key) == ERROR_SUCCESS;
    for (const char* name : names) {
        Value v{name, false, 0, {}};
        char data[2048];
        DWORD size = sizeof(data);
        if (open &&
            RegQueryValueExA(key, name, nullptr, &v.type, reinterpret_cast<BYTE*>(data), &size) == ERROR_SUCCESS) {
            v.existed = true;
            v.data.assign(data, size);
        }
        m_values.push_back(v);
    }
    if (open) RegCloseKey(key);
}

SavedRegistryValues::~SavedRegistryValues() {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, m_subKey.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS) {
        return;
    }
    for (const Value& v : m_values) {
        if (v.existed) {
            RegSetValueExA(key, v.name.c_str(), 0, v.type, reinterpret_cast<const BYTE*>(v.data.data()),
                           static_cast<DWORD>(v.data.size()));
        } else {
            RegDeleteValueA(key, v.name.c_str());
        }
    }
    RegCloseKey(key);
}

} // namespace wt
