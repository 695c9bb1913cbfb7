// The shipping 32-bit setup.exe driven from this 64-bit program in a WOW64 prefix: one
// installation of the demo application into the default folder with all four finishing
// options, then the files, the expanded libraries, the registry values in the 32-bit
// view and the shortcuts. 32-bit code runs under emulation here, so each 32-bit process
// start takes about a minute: every wait is long, none is unbounded.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "driver.h"
#include "install_support.h"

namespace {

using namespace e2e;
using namespace install_e2e;

const wchar_t kDefaultFolder[] = L"C:\\Program Files\\dunmerra\\";
const wchar_t kUninstallKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\tesmarin";
const wchar_t kProductKey[] = L"Software\\tesmarin";
const wchar_t kVersionKey[] = L"Software\\tsmVersion";

const DWORD kMinute = 60 * 1000;

// A REG_SZ in one registry view, as the ANSI functions return it: "<missing>" when the
// key or value is absent, "<type n>" for another type, "<size n>" when the stored bytes
// are not exactly the string and its NUL.
std::string RegValueIn(REGSAM view, const wchar_t* subKey, const char* name) {
    HKEY h = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, subKey, 0, KEY_QUERY_VALUE | view, &h) != ERROR_SUCCESS) return "<missing>";
    char data[1024] = "";
    DWORD size = sizeof(data) - 1, type = 0;
    const LONG rc = RegQueryValueExA(h, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
    RegCloseKey(h);
    if (rc != ERROR_SUCCESS) return "<missing>";
    if (type != REG_SZ) return "<type " + std::to_string(type) + ">";
    data[size] = '\0';
    const std::string text = data;
    if (size != text.size() + 1) return "<size " + std::to_string(size) + "> " + text;
    return text;
}

void RegDeleteIn(REGSAM view, const wchar_t* subKey, const char* name) {
    HKEY h = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, subKey, 0, KEY_SET_VALUE | view, &h) != ERROR_SUCCESS) return;
    RegDeleteValueA(h, name);
    RegCloseKey(h);
}

struct RegValue {
    const wchar_t* key;
    const char* name;
    std::string data;
};

std::vector<RegValue> ExpectedRecords(const std::string& dir) {
    return {{kProductKey, "Path", dir},
            {kUninstallKey, "DisplayName", "Orvane"},
            {kUninstallKey, "DisplayVersion", "1.0.0"},
            {kUninstallKey, "UninstallString", "\"" + dir + "uninstall.exe\""},
            {kVersionKey, "tsmVersion", "1.0.0614"},
            {kVersionKey, "tsmFilePath", dir},
            {kVersionKey, "tsmType", "xl"}};
}

// The processes of interest seen running, kept open so that their start and end can be
// read afterwards. Closes its handles when it goes.
class ProcessLog {
public:
    ProcessLog() = default;
    ~ProcessLog() {
        for (const Entry& e : entries_) CloseHandle(e.handle);
    }
    ProcessLog(const ProcessLog&) = delete;
    ProcessLog& operator=(const ProcessLog&) = delete;

    // Notes each running process of that name not seen before.
    void Observe(const wchar_t* exe) {
        for (DWORD pid : ProcessIds(exe)) {
            HANDLE h = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, pid);
            if (!h) continue;
            if (Seen(pid, CreationTicks(h))) {
                CloseHandle(h);
                continue;
            }
            BOOL wow = FALSE;
            if (!IsWow64Process(h, &wow)) wow = -1;
            entries_.push_back({exe, pid, h, wow});
        }
    }
    size_t Count(const wchar_t* exe) const {
        size_t n = 0;
        for (const Entry& e : entries_) n += _wcsicmp(e.name.c_str(), exe) == 0;
        return n;
    }
    // Names of those that did not run as 32-bit processes.
    std::vector<std::string> NotThirtyTwoBit() const {
        std::vector<std::string> out;
        for (const Entry& e : entries_)
            if (e.wow != TRUE) out.push_back(Utf8(e.name));
        return out;
    }
    // One line per process: its start and end in seconds after origin.
    void Print(ULONGLONG origin) const {
        for (const Entry& e : entries_) {
            FILETIME c{}, x{}, k{}, u{};
            GetProcessTimes(e.handle, &c, &x, &k, &u);
            const bool ended = WaitForSingleObject(e.handle, 0) == WAIT_OBJECT_0;
            std::printf("[ process  ] %-14s started %7.1f s, %s %7.1f s, cpu %6.1f s\n", Utf8(e.name).c_str(),
                        (static_cast<double>(Ticks(c)) - origin) / 1e7, ended ? "ended" : "still running at",
                        (static_cast<double>(ended ? Ticks(x) : Now()) - origin) / 1e7,
                        static_cast<double>(Ticks(k) + Ticks(u)) / 1e7);
        }
    }

private:
    struct Entry {
        std::wstring name;
        DWORD pid;
        HANDLE handle;
        BOOL wow;
    };
    static ULONGLONG CreationTicks(HANDLE h) {
        FILETIME c{}, x{}, k{}, u{};
        return GetProcessTimes(h, &c, &x, &k, &u) ? Ticks(c) : 0;
    }
    // The id belongs to a process already noted: it still runs, or it has just ended but
    // is still listed (same start time). An id reused by a new process is not.
    bool Seen(DWORD pid, ULONGLONG created) const {
        for (const Entry& e : entries_)
            if (e.pid == pid &&
                (WaitForSingleObject(e.handle, 0) == WAIT_TIMEOUT || CreationTicks(e.handle) == created))
                return true;
        return false;
    }
    std::vector<Entry> entries_;
};

class I686Test : public ::testing::Test {
protected:
    void SetUp() override {
        start_ = GetTickCount();
        origin_ = Now();
        links_.Remove();
        RemoveTree(Folder().substr(0, Folder().size() - 1));
        for (const RegValue& v : ExpectedRecords("")) {
            RegDeleteIn(KEY_WOW64_32KEY, v.key, v.name);
            RegDeleteIn(KEY_WOW64_64KEY, v.key, v.name);
        }
    }
    void TearDown() override {
        KillProcesses(L"pkl.exe");
        for (const auto& m : marks_) std::printf("[   time   ] %7.1f s  %s\n", m.second / 1000.0, m.first.c_str());
        log_.Print(origin_);
    }

    static std::wstring Folder() { return kDefaultFolder; }

    void Mark(const char* what) {
        marks_.emplace_back(what, GetTickCount() - start_);
        RecordProperty(what, std::to_string((GetTickCount() - start_) / 1000));
    }

    void Observe(const wchar_t* exe) { log_.Observe(exe); }

    ::testing::AssertionResult Press(int id) {
        HWND b = wiz_.Button(id);
        if (auto r = WaitUntil([&] { return IsEnabled(b); }, kMinute, "button enabled", [&] { return wiz_.State(); });
            !r)
            return r;
        if (!Click(b)) return ::testing::AssertionFailure() << "could not post to button " << id;
        return ::testing::AssertionSuccess();
    }

    Wizard wiz_;
    ProductLinks links_;
    DWORD start_ = 0;
    std::vector<std::pair<std::string, DWORD>> marks_;
    ULONGLONG origin_ = 0;
    ProcessLog log_;
};

TEST_F(I686Test, DefaultFolderAllFourOptions) {
    BrowserStandIn browser;
    ASSERT_TRUE(browser.ok());
    const std::wstring dir = Folder();
    const std::wstring cwd = FreshTempPath(L"e2e-i686-cwd");
    CreateDirectoryW(cwd.c_str(), nullptr);

    ASSERT_TRUE(wiz_.Launch(cwd, 10 * kMinute));
    Mark("frame shown");
    Observe(L"setup.exe");

    ASSERT_TRUE(wiz_.WaitForPage(Page::kWelcome, kMinute));
    ASSERT_TRUE(Press(kNext));
    ASSERT_TRUE(wiz_.WaitForPage(Page::kFolder, 2 * kMinute));
    HWND edit = wiz_.PageControl(Page::kFolder, kFolderEdit);
    EXPECT_TRUE(WaitUntil([&] { return Text(edit) == dir; }, kMinute, "the default folder",
                          [&] { return Utf8(Text(edit)); }));
    ASSERT_TRUE(Press(kNext));

    // Next on the folder page returns once the archiver's process is seen, a 32-bit start.
    ASSERT_TRUE(WaitUntil(
            [&] {
                Observe(L"UHARC.EXE");
                return wiz_.VisiblePage() == Page::kInstalling;
            },
            15 * kMinute, "the installing page", [&] { return wiz_.State(); }));
    Mark("installing page");
    HWND box = nullptr;
    ASSERT_TRUE(WaitUntil(
            [&] {
                Observe(L"UHARC.EXE");
                Observe(L"unpack200.exe");
                return (box = wiz_.FindMessageBox()) != nullptr || IsEnabled(wiz_.Button(kNext));
            },
            30 * kMinute, "Next enabled after the installation", [&] { return wiz_.State(); }));
    ASSERT_EQ(nullptr, box) << "the installation failed: " << Wizard::MessageBoxText(box);
    Mark("installation complete");
    // Next is enabled as the last step of starting the expanders, which under emulation
    // can keep the wizard from its messages long enough to count as hung.
    ASSERT_TRUE(WaitUntil([&] { return Sync(wiz_.frame()); }, kMinute, "the wizard answering again",
                          [&] { return wiz_.State(); }));
    EXPECT_EQ("Completing...", Utf8(Text(wiz_.PageControl(Page::kInstalling, kStatusEdit))));
    EXPECT_EQ(100, ProgressPos(wiz_.PageControl(Page::kInstalling, kProgress)));
    EXPECT_FALSE(IsEnabled(wiz_.Button(kBack)));
    EXPECT_FALSE(IsEnabled(wiz_.Button(kCancel)));

    ASSERT_TRUE(Press(kNext));
    ASSERT_TRUE(wiz_.WaitForPage(Page::kFinish, 2 * kMinute));
    for (int id : {kChkStartMenu, kChkStartup, kChkDesktop, kChkRunNow})
        EXPECT_EQ(BST_CHECKED, CheckState(wiz_.PageControl(Page::kFinish, id))) << "option " << id << " starts ticked";
    ASSERT_TRUE(Press(kNext));
    DWORD code = 0;
    ASSERT_TRUE(WaitUntil(
            [&] {
                Observe(L"unpack200.exe");
                Observe(L"pkl.exe");
                return !wiz_.process().Running();
            },
            15 * kMinute, "setup.exe to end after the finish page", [&] { return wiz_.State(); }));
    ASSERT_TRUE(wiz_.WaitExit(0, &code));
    Mark("setup.exe ended");

    // The expanders are not waited for by setup.exe; each is a 32-bit start of its own.
    ASSERT_TRUE(WaitUntil(
            [&] {
                Observe(L"unpack200.exe");
                Observe(L"pkl.exe");
                return ProcessIds(L"unpack200.exe").empty();
            },
            30 * kMinute, "the expanders to end"));
    Mark("expanders ended");
    EXPECT_TRUE(WaitUntil(
            [&] {
                Observe(L"pkl.exe");
                return log_.Count(L"pkl.exe") > 0;
            },
            10 * kMinute, "the installed program to run"));

    // The 32-bit tools ran, and none of them as a 64-bit process.
    EXPECT_EQ(1u, log_.Count(L"setup.exe"));
    EXPECT_EQ(1u, log_.Count(L"UHARC.EXE")) << "archivers seen running";
    EXPECT_EQ(4u, log_.Count(L"unpack200.exe")) << "expanders seen running";
    EXPECT_EQ(1u, log_.Count(L"pkl.exe")) << "installed programs seen running";
    EXPECT_TRUE(log_.NotThirtyTwoBit().empty()) << ::testing::PrintToString(log_.NotThirtyTwoBit());

    // Every payload file byte for byte, the packed libraries expanded to the originals,
    // the archive and the archiver gone.
    EXPECT_EQ(std::vector<std::string>(), PayloadFaults(dir));

    // A 32-bit program's HKLM\Software is the 32-bit view (Wow6432Node) on 64-bit Windows.
    for (const RegValue& v : ExpectedRecords(Utf8(dir))) {
        EXPECT_EQ(v.data, RegValueIn(KEY_WOW64_32KEY, v.key, v.name)) << Utf8(v.key) << " " << v.name;
        EXPECT_EQ("<missing>", RegValueIn(KEY_WOW64_64KEY, v.key, v.name))
                << "64-bit view: " << Utf8(v.key) << " " << v.name;
    }

    ExpectProductLinks(links_, dir);

    const std::vector<Recording> seen = WaitForRecordings(browser.recordDir(), 1, kMinute);
    ASSERT_EQ(1u, seen.size());
    EXPECT_EQ(" http://www.dunmerra.example/suc.html", Utf8(seen[0].commandLine));

    KillProcesses(L"pkl.exe");
    links_.Remove();
    RemoveTree(dir.substr(0, dir.size() - 1));
    RemoveTree(cwd.substr(0, cwd.size() - 1));
}

} // namespace

int main(int argc, char** argv) {
    int wargc = 0;
    wchar_t** wargv = CommandLineToArgvW(GetCommandLineW(), &wargc);
    int code = 0;
    if (install_e2e::RunChildRole(wargc, wargv, &code)) return code;
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
