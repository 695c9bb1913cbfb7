// The demo application as setup.exe installs it: UHARC.EXE unpacks the archive, the
// runtime's own unpack200 expands the libraries to the jars they were made from,
// pkl.exe reports them expanded, and uninstall.exe then leaves nothing behind.
#include <gtest/gtest.h>

#include "payload_support.h"

using namespace payload_test;

namespace {

// Relative paths of every file below `dir` (ending in a backslash).
void ListFiles(const std::wstring& dir, const std::wstring& rel, std::vector<std::wstring>* out) {
    WIN32_FIND_DATAW fd;
    HANDLE find = FindFirstFileW((dir + rel + L"*").c_str(), &fd);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        std::wstring name = fd.cFileName;
        if (name == L"." || name == L"..") continue;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            ListFiles(dir, rel + name + L"\\", out);
        else
            out->push_back(rel + name);
    } while (FindNextFileW(find, &fd));
    FindClose(find);
}

struct FindData {
    DWORD pid;
    HWND wnd;
};

BOOL CALLBACK FindMainWindow(HWND wnd, LPARAM lp) {
    FindData* data = reinterpret_cast<FindData*>(lp);
    DWORD pid = 0;
    GetWindowThreadProcessId(wnd, &pid);
    wchar_t cls[64] = L"";
    GetClassNameW(wnd, cls, 64);
    if (pid == data->pid && std::wstring(cls) == L"QuillmateMain") {
        data->wnd = wnd;
        return FALSE;
    }
    return TRUE;
}

std::wstring WindowText(HWND wnd) {
    wchar_t buf[4096] = L"";
    SendMessageW(wnd, WM_GETTEXT, sizeof(buf) / sizeof(buf[0]), reinterpret_cast<LPARAM>(buf));
    buf[sizeof(buf) / sizeof(buf[0]) - 1] = L'\0';
    return buf;
}

TEST(DemoPayload, UnpacksExpandsRunsAndUninstalls) {
    TempFolder root(L"payload-test");
    const std::wstring dir = root.path() + L"Quillmate 演示\\";
    MakeFolders(dir);
    const std::wstring stage = FromBuildPath(PAYLOAD_STAGE_DIR) + L"\\";
    const std::wstring expected = FromBuildPath(PAYLOAD_EXPECTED_DIR) + L"\\";

    RunResult r = RunProgram(FromBuildPath(UHARC_EXE), L"x -y \"" + FromBuildPath(DEMO_ARCHIVE) + L"\"", 120000, dir);
    ASSERT_TRUE(r.finished);
    ASSERT_EQ(0u, r.exit_code);

    std::vector<std::wstring> staged;
    ListFiles(stage, L"", &staged);
    ASSERT_GE(staged.size(), 10u);
    for (const std::wstring& rel : staged)
        EXPECT_TRUE(ReadBytes(dir + rel) == ReadBytes(stage + rel)) << Narrow(rel) << " differs after unpacking";
    EXPECT_TRUE(IsFolder(dir + L"logs")) << "the empty folder";
    EXPECT_TRUE(Exists(dir + L"uninstall.lst"));

    // As the installing page does it: one expansion per packed library, same names.
    std::vector<std::wstring> jars;
    ListFiles(expected, L"", &jars);
    ASSERT_EQ(4u, jars.size());
    for (const std::wstring& jar : jars) {
        r = RunProgram(dir + L"jre\\bin\\unpack200.exe", L"\"" + dir + jar + L".pack.gz\" \"" + dir + jar + L"\"");
        ASSERT_TRUE(r.finished) << Narrow(jar) << ", start error " << r.start_error;
        EXPECT_EQ(0u, r.exit_code) << Narrow(jar);
        EXPECT_TRUE(ReadBytes(dir + jar) == ReadBytes(expected + jar)) << Narrow(jar) << " differs from the original";
    }

    // pkl.exe shows its version, its folder and the expanded libraries.
    std::wstring pkl = dir + L"pkl.exe";
    std::wstring cmd = L"\"" + pkl + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(CreateProcessW(pkl.c_str(), &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, dir.c_str(), &si, &pi));
    FindData found{pi.dwProcessId, nullptr};
    for (int i = 0; i < 100 && !found.wnd; ++i) {
        Sleep(100);
        EnumWindows(FindMainWindow, reinterpret_cast<LPARAM>(&found));
    }
    ASSERT_NE(nullptr, found.wnd) << "pkl.exe showed no window";
    EXPECT_EQ(L"Quillmate", WindowText(found.wnd));
    std::wstring status = WindowText(GetWindow(found.wnd, GW_CHILD));
    EXPECT_NE(std::wstring::npos, status.find(L"1.0.0614")) << Narrow(status);
    EXPECT_NE(std::wstring::npos, status.find(dir)) << Narrow(status);
    EXPECT_NE(std::wstring::npos, status.find(L"已展开 4 / 4")) << Narrow(status);
    PostMessageW(found.wnd, WM_CLOSE, 0, 0);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(pi.hProcess, 10000));
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);

    r = RunProgram(dir + L"uninstall.exe", L"/S", 60000);
    ASSERT_TRUE(r.finished);
    EXPECT_EQ(0u, r.exit_code);
    EXPECT_TRUE(WaitUntilGone(dir, 15000))
            << "left behind: " << ListFolder(dir.substr(0, dir.size() - 1)).size() << " entries in " << Narrow(dir);
}

} // namespace
