// The demo application, the program a product installs. It shows its version, the folder it was
// installed in, and whether the runtime's packed libraries have been expanded yet
// (setup.exe starts the expansions in the background, so the window keeps looking).
#include <windows.h>

#include <string>
#include <vector>

#include "product.h"

namespace {

const wchar_t* const kClassName = product::kFilesProgramWindowClassW;
const wchar_t* const kVersion = product::kProductBuildW;
const UINT_PTR kRefreshTimer = 1;
const int kEditId = 100;

struct Library {
    std::wstring packed;   // relative to the install folder
    std::wstring expanded; // relative to the install folder
    bool present = false;
};

std::wstring InstallFolder() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
        if (n == 0) return std::wstring();
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        path.resize(path.size() * 2);
    }
    return path.substr(0, path.find_last_of(L'\\') + 1);
}

bool EndsWithPackGz(const std::wstring& name) {
    static const wchar_t kSuffix[] = L".pack.gz";
    const size_t len = sizeof(kSuffix) / sizeof(kSuffix[0]) - 1;
    return name.size() > len && CompareStringOrdinal(name.c_str() + name.size() - len, static_cast<int>(len), kSuffix,
                                                     static_cast<int>(len), TRUE) == CSTR_EQUAL;
}

void ScanLibraries(const std::wstring& folder, const wchar_t* sub, std::vector<Library>* out) {
    WIN32_FIND_DATAW fd;
    std::wstring pattern = folder + sub + L"*.pack.gz";
    HANDLE find = FindFirstFileW(pattern.c_str(), &fd);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        std::wstring name = fd.cFileName;
        if (!EndsWithPackGz(name)) continue; // a short-name match only
        Library lib;
        lib.packed = std::wstring(sub) + name;
        lib.expanded = std::wstring(sub) + name.substr(0, name.size() - 8);
        DWORD attrs = GetFileAttributesW((folder + lib.expanded).c_str());
        lib.present = attrs != INVALID_FILE_ATTRIBUTES && !(attrs & FILE_ATTRIBUTE_DIRECTORY);
        out->push_back(lib);
    } while (FindNextFileW(find, &fd));
    FindClose(find);
}

std::wstring StatusText() {
    std::wstring folder = InstallFolder();
    std::vector<Library> libs;
    ScanLibraries(folder, L"jre\\lib\\", &libs);
    ScanLibraries(folder, L"jre\\lib\\ext\\", &libs);
    size_t ready = 0;
    for (const Library& lib : libs) ready += lib.present ? 1 : 0;

    std::wstring text = std::wstring(product::kProductNameW) + L"\r\n\r\n版本：";
    text += kVersion;
    text += L"\r\n安装文件夹：" + folder + L"\r\n\r\n";
    if (libs.empty()) {
        text += L"Java 库：jre\\lib 中没有打包的库。\r\n";
        return text;
    }
    wchar_t summary[128];
    _snwprintf(summary, sizeof(summary) / sizeof(summary[0]) - 1, L"Java 库：已展开 %u / %u\r\n",
               static_cast<unsigned>(ready), static_cast<unsigned>(libs.size()));
    summary[sizeof(summary) / sizeof(summary[0]) - 1] = L'\0';
    text += summary;
    for (const Library& lib : libs) text += L"  " + lib.expanded + (lib.present ? L"：已展开\r\n" : L"：未展开\r\n");
    return text;
}

void Refresh(HWND edit) {
    std::wstring text = StatusText();
    int len = GetWindowTextLengthW(edit);
    std::wstring shown(static_cast<size_t>(len) + 1, L'\0');
    GetWindowTextW(edit, &shown[0], len + 1);
    shown.resize(static_cast<size_t>(len));
    if (shown != text) SetWindowTextW(edit, text.c_str());
}

LRESULT CALLBACK WndProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_CREATE: {
        HWND edit = CreateWindowExW(0, L"EDIT", L"",
                                    WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL, 0,
                                    0, 0, 0, wnd, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kEditId)),
                                    reinterpret_cast<CREATESTRUCTW*>(lp)->hInstance, nullptr);
        SendMessageW(edit, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
        Refresh(edit);
        SetTimer(wnd, kRefreshTimer, 1000, nullptr);
        return 0;
    }
    case WM_SIZE:
        MoveWindow(GetDlgItem(wnd, kEditId), 8, 8, LOWORD(lp) - 16, HIWORD(lp) - 16, TRUE);
        return 0;
    case WM_TIMER:
        if (wp == kRefreshTimer) Refresh(GetDlgItem(wnd, kEditId));
        return 0;
    case WM_CTLCOLORSTATIC: // read-only edits ask for this one
        SetBkColor(reinterpret_cast<HDC>(wp), GetSysColor(COLOR_WINDOW));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
    case WM_DESTROY:
        KillTimer(wnd, kRefreshTimer);
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(wnd, msg, wp, lp);
    }
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int show) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = WndProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
    wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    wc.lpszClassName = kClassName;
    if (!RegisterClassExW(&wc)) return 1;
    HWND wnd = CreateWindowExW(0, kClassName, product::kProductNameW, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                               520, 340, nullptr, nullptr, instance, nullptr);
    if (!wnd) return 1;
    ShowWindow(wnd, show);
    UpdateWindow(wnd);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
}
