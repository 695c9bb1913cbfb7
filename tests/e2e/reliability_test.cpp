// The reliability suite: the real setup.exe under bad folder texts, damaged payloads,
// a killed archiver, full disks, files in the way, re-installation and leaving early.
// Besides its own expectation every case proves that the program ended in bounded
// time without crashing, wrote nothing outside the install folder, changed no file
// that was there before, and left no phantom entry in the list of installed programs.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "driver.h"
#include "reliability_support.h"

namespace {

using namespace e2e;
using namespace reliability;
using reliability::Exists;

const wchar_t kUninstallRoot[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const wchar_t kUninstallKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\tesmarin";
const wchar_t kProductKey[] = L"Software\\tesmarin";
const wchar_t kVersionKey[] = L"Software\\tsmVersion";
const char kFolderError[] =
        "\xE6\x96\x87\xE4\xBB\xB6\xE5\xA4\xB9\xE8\xB7\xAF\xE5\xBE\x84\xE9\x94\x99\xE8\xAF\xAF!"; // 文件夹路径错误!
const char kDiskFull[] = "\xE7\xA3\x81\xE7\x9B\x98\xE7\xA9\xBA\xE9\x97\xB4\xE4\xB8\x8D\xE8\xB6\xB3!"; // 磁盘空间不足!
// Everything the cases make lives below this folder; it is removed between cases.
const wchar_t kWork[] = L"C:\\qm-rel\\";
// The top-level names of the demo payload, for installations into a drive root.
const wchar_t* const kPayloadTop[] = {L"pkl.exe", L"uninstall.exe", L"uninstall.lst", L"data",
                                      L"docs",    L"jre",           L"logs"};

// Bounds. Wine on a loaded machine is slow; none of these is ever waited for in full
// when the program behaves.
const DWORD kInstallMs = 180000;
const DWORD kMessageMs = 60000;
const DWORD kExitMs = 30000;

std::wstring Installer(const wchar_t* variant) {
    return WinPath(Env(L"SETUP_INSTALLERS")) + L"\\" + variant + L"\\setup.exe";
}
// Drive letters of the small file systems the wrapper script mounts ("" when none).
std::wstring SmallDrive() { return Env(L"RELIABILITY_SMALL_DRIVE"); }
std::wstring FullDrive() { return Env(L"RELIABILITY_FULL_DRIVE"); }

// Paths longer than MAX_PATH are reached through the \\?\ form.
std::wstring Long(const std::wstring& path) {
    if (path.size() < 200 || path.compare(0, 2, L"\\\\") == 0) return path;
    return L"\\\\?\\" + path;
}

std::string Join(const std::vector<std::string>& items, size_t max) {
    std::string s;
    for (size_t i = 0; i < items.size() && i < max; ++i) s += (i ? "; " : "") + items[i];
    if (items.size() > max) s += "; ... (" + std::to_string(items.size()) + " in all)";
    return s;
}

void ResetProductRegistry() {
    for (const wchar_t* name : {L"DisplayName", L"DisplayVersion", L"UninstallString"})
        RegDeleteValue(kUninstallKey, name);
    RegDeleteValue(kProductKey, L"Path");
    for (const wchar_t* name : {L"tsmVersion", L"tsmFilePath", L"tsmType"}) RegDeleteValue(kVersionKey, name);
}

void EmptyDrive(const std::wstring& drive) {
    if (drive.empty()) return;
    for (const std::wstring& f : std::vector<std::wstring>{drive + L"\\"}) {
        WIN32_FIND_DATAW fd;
        HANDLE find = FindFirstFileW((f + L"*").c_str(), &fd);
        if (find == INVALID_HANDLE_VALUE) continue;
        do {
            const std::wstring name = fd.cFileName;
            if (name == L"." || name == L"..") continue;
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(f + name);
            } else {
                SetFileAttributesW((f + name).c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW((f + name).c_str());
            }
        } while (FindNextFileW(find, &fd));
        FindClose(find);
    }
}

void RemovePayloadFromRoot(const std::wstring& root) {
    for (const wchar_t* t : kPayloadTop) {
        const std::wstring p = root + t;
        if (IsDir(p))
            RemoveTree(p);
        else
            DeleteFileW(p.c_str());
    }
    DeleteFileW((root + L"fenrow.uha").c_str());
    DeleteFileW((root + L"UHARC.EXE").c_str());
}

// The uninstall entries other than the product's own key, which stays (without the
// values the list of installed programs shows) after a roll-back.
std::vector<std::wstring> OtherUninstallEntries() {
    std::vector<std::wstring> keys = RegSubKeys(kUninstallRoot);
    keys.erase(std::remove(keys.begin(), keys.end(), std::wstring(L"tesmarin")), keys.end());
    return keys;
}

void KillStrays() {
    for (const wchar_t* name : {L"setup.exe", L"UHARC.EXE", L"unpack200.exe", L"pkl.exe", L"winedbg.exe"})
        KillProcesses(name);
}

// The trees compared before and after each case.
// The profile's folders that Wine links to the Unix home (the user's desktop among
// them) lie outside the prefix and are shared by every prefix on the machine, so they
// are not looked at; the all-users Start Menu, start-up folder and desktop are.
Snapshot TakeSnapshot() {
    Snapshot s;
    const std::wstring profile = Env(L"USERPROFILE");
    std::vector<std::wstring> skip = {L"c:\\windows\\", Lower(profile + L"\\Downloads\\")};
    for (int csidl :
         {CSIDL_DESKTOPDIRECTORY, CSIDL_PERSONAL, CSIDL_MYMUSIC, CSIDL_MYPICTURES, CSIDL_MYVIDEO, CSIDL_TEMPLATES}) {
        wchar_t path[MAX_PATH] = L"";
        if (SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path) == S_OK && path[0])
            skip.push_back(Lower(std::wstring(path) + L"\\"));
    }
    SnapTree(L"\\\\?\\C:\\", skip, true, &s);
    SnapTree(L"C:\\windows", {}, false, &s);
    for (const std::wstring& d : {SmallDrive(), FullDrive()})
        if (!d.empty()) SnapTree(d + L"\\", {}, true, &s);
    return s;
}

// A copy of the demo payload's tree in dir, as an earlier installation left it.
bool CopyPayloadTo(const std::wstring& dir) {
    const std::wstring stage = StageDir();
    const std::vector<std::wstring> files = FilesBelow(stage);
    if (files.empty()) return false;
    for (const std::wstring& rel : files) {
        const std::wstring to = dir + rel;
        MakeDirs(to.substr(0, to.find_last_of(L'\\')));
        if (!CopyFileW((stage + L"\\" + rel).c_str(), to.c_str(), FALSE)) return false;
    }
    return true;
}

// What the program did after Next on the folder page.
enum class After { kMessage, kCompleted, kEnded, kTimeout };

class Reliability : public ::testing::Test {
protected:
    void SetUp() override {
        KillStrays();
        ResetProductRegistry();
        RemoveTree(Long(NoSlash(kWork)));
        EmptyDrive(SmallDrive());
        EmptyDrive(FullDrive());
        ASSERT_TRUE(MakeDirs(cwd_)) << Utf8(cwd_);
        uninstallKeys_ = OtherUninstallEntries();
    }

    void TearDown() override {
        Process& p = wiz().process();
        if (p.Handle()) {
            if (p.Running()) {
                ADD_FAILURE() << "setup.exe still runs at the end of the case: " << wiz().State();
                p.Kill();
            } else {
                DWORD code = 0;
                GetExitCodeProcess(p.Handle(), &code);
                EXPECT_TRUE(code < 0xC0000000u) << "setup.exe ended with exception code 0x" << std::hex << code;
            }
        }
        EXPECT_TRUE(ProcessIds(L"winedbg.exe").empty()) << "the crash handler runs";
        EXPECT_TRUE(WaitUntil([] { return ProcessIds(L"UHARC.EXE").empty(); }, 10000, "no archiver left running"));
        EXPECT_TRUE(WaitUntil([] { return ProcessIds(L"unpack200.exe").empty(); }, 60000, "the expanders to end"));
        if (began_) {
            for (HANDLE h : held_) CloseHandle(h);
            held_.clear();
            std::vector<std::wstring> allowed;
            for (const std::wstring& a : allowed_) allowed.push_back(Lower(a));
            const std::vector<std::string> problems = CompareSnapshots(before_, TakeSnapshot(), allowed, mayChange_);
            EXPECT_TRUE(problems.empty()) << Join(problems, 8);
        }
        if (!completed_) {
            EXPECT_EQ("<missing>", RegString(kUninstallKey, L"DisplayName"))
                    << "a phantom entry in the installed programs";
        }
        EXPECT_EQ(uninstallKeys_, OtherUninstallEntries()) << "an uninstall entry of another program appeared or went";
        KillStrays();
        for (HANDLE h : held_) CloseHandle(h);
        held_.clear();
        for (const std::wstring& root : roots_) RemovePayloadFromRoot(root);
        RemoveTree(Long(NoSlash(kWork)));
        EmptyDrive(SmallDrive());
        EmptyDrive(FullDrive());
        ResetProductRegistry();
    }

    // Files made by the case so far count as existing from here on.
    void Begin() {
        const ULONGLONG t0 = GetTickCount64();
        before_ = TakeSnapshot();
        std::printf("snapshot: %u entries in %llu ms\n", static_cast<unsigned>(before_.size()), GetTickCount64() - t0);
        began_ = true;
    }
    // A folder the installation may write into (ends in a backslash).
    void Allow(const std::wstring& dir) { allowed_.push_back(dir); }

    ::testing::AssertionResult Launch(const std::wstring& exe = L"") {
        SetSetupExePath(exe.empty() ? WinPath(Env(L"SETUP_EXE")) : exe);
        return wiz().Launch(cwd_, 60000);
    }

    ::testing::AssertionResult Press(int id) {
        HWND b = wiz().Button(id);
        if (!WaitUntil([&] { return IsEnabled(b); }, 5000, "button enabled"))
            return ::testing::AssertionFailure() << "button " << id << " is not enabled: " << wiz().State();
        if (!Click(b)) return ::testing::AssertionFailure() << "could not post to button " << id;
        return ::testing::AssertionSuccess();
    }

    ::testing::AssertionResult ToFolderPage() {
        if (auto r = wiz().WaitForPage(Page::kWelcome, 30000); !r) return r;
        if (auto r = Press(kNext); !r) return r;
        return wiz().WaitForPage(Page::kFolder, 30000);
    }

    ::testing::AssertionResult TypeFolder(const std::wstring& text) {
        HWND edit = wiz().PageControl(Page::kFolder, kFolderEdit);
        if (!SetText(edit, text)) return ::testing::AssertionFailure() << "could not set the folder text";
        if (Text(edit) != text) return ::testing::AssertionFailure() << "the edit holds " << Utf8(Text(edit));
        return ::testing::AssertionSuccess();
    }

    // Launch, go to the folder page, type text and press Next.
    ::testing::AssertionResult StartInto(const std::wstring& text, const std::wstring& exe = L"") {
        if (auto r = Launch(exe); !r) return r;
        if (auto r = ToFolderPage(); !r) return r;
        if (auto r = TypeFolder(text); !r) return r;
        return Press(kNext);
    }

    // Follows the program after Next on the folder page until a message box shows, the
    // installation completes (Next enabled on page 3) or the program ends.
    After Await(DWORD timeout_ms, HWND* box) {
        *box = nullptr;
        After seen = After::kTimeout;
        WaitUntil(
                [&] {
                    if ((*box = wiz().FindMessageBox()) != nullptr) return seen = After::kMessage, true;
                    if (!wiz().process().Running()) return seen = After::kEnded, true;
                    if (wiz().VisiblePage() == Page::kFinish) reachedFinish_ = true;
                    if (wiz().VisiblePage() == Page::kInstalling && IsEnabled(wiz().Button(kNext)))
                        return seen = After::kCompleted, true;
                    return false;
                },
                timeout_ms, "a message, the completion or the end");
        return seen;
    }

    static const char* AfterName(After a) {
        switch (a) {
        case After::kMessage:
            return "a message box";
        case After::kCompleted:
            return "a completed installation";
        case After::kEnded:
            return "the end of the program";
        default:
            return "nothing (time-out)";
        }
    }

    // The folder error after Next: its message box, then page 2 with its three buttons.
    void ExpectFolderError() {
        HWND box = nullptr;
        const After a = Await(kMessageMs, &box);
        ASSERT_EQ(After::kMessage, a) << "expected the folder error, got " << AfterName(a) << ": " << wiz().State();
        EXPECT_EQ(kMessageCaption, Caption(box));
        EXPECT_EQ(kFolderError, Wizard::MessageBoxText(box));
        EXPECT_EQ("<missing>", RegString(kUninstallKey, L"DisplayName")) << "phantom entry while the error shows";
        ASSERT_TRUE(Click(GetDlgItem(box, IDOK)));
        ASSERT_TRUE(wiz().WaitForPage(Page::kFolder, 15000));
        for (int id : {kBack, kNext, kCancel})
            EXPECT_TRUE(WaitUntil([&] { return IsEnabled(wiz().Button(id)); }, 5000, "button enabled",
                                  [&] { return wiz().State(); }))
                    << "button " << id;
    }

    // A failure message that names the archiver; false when another outcome came.
    void ExpectArchiverMessage(std::string* text, DWORD timeout_ms = kInstallMs) {
        HWND box = nullptr;
        const After a = Await(timeout_ms, &box);
        ASSERT_EQ(After::kMessage, a) << "expected a message about the archiver, got " << AfterName(a) << ": "
                                      << wiz().State();
        *text = Wizard::MessageBoxText(box);
        EXPECT_NE(std::string::npos, text->find("UHARC.EXE")) << *text;
        EXPECT_NE(kFolderError, *text);
        EXPECT_FALSE(reachedFinish_) << "a failed installation reached the finish page";
        EXPECT_FALSE(IsEnabled(wiz().Button(kNext)) && wiz().VisiblePage() == Page::kInstalling)
                << "a failed installation shows as complete";
        RecordProperty("message", *text);
        ASSERT_TRUE(Click(GetDlgItem(box, IDOK)));
    }

    // Cancel (or the close box), then Yes: the program ends.
    void LeaveWithYes(bool closeBox = false) {
        if (closeBox)
            ASSERT_TRUE(SysCommand(wiz().frame(), SC_CLOSE));
        else
            ASSERT_TRUE(Press(kCancel));
        HWND question = nullptr;
        ASSERT_TRUE(
                wiz().WaitForWindow([&] { return wiz().FindExitConfirm(); }, &question, "the exit question", 15000));
        ASSERT_TRUE(Click(GetDlgItem(question, kYes)));
        DWORD code = 0;
        ASSERT_TRUE(wiz().WaitExit(kExitMs, &code));
    }

    // After completion: page 4 with every option cleared, then Finish; the program ends.
    void FinishQuietly() {
        ASSERT_TRUE(Press(kNext));
        ASSERT_TRUE(wiz().WaitForPage(Page::kFinish, 15000));
        for (int id : {kChkStartMenu, kChkStartup, kChkDesktop, kChkRunNow}) {
            HWND box = wiz().PageControl(Page::kFinish, id);
            if (CheckState(box) == BST_CHECKED) {
                ASSERT_TRUE(Click(box));
            }
            ASSERT_TRUE(WaitUntil([&] { return CheckState(box) == BST_UNCHECKED; }, 5000, "option cleared"));
        }
        ASSERT_TRUE(Press(kNext));
        DWORD code = 0;
        ASSERT_TRUE(wiz().WaitExit(kExitMs, &code));
    }

    // A completed installation into dir: page 3 done, the payload in place byte for byte,
    // the libraries expanded, the two payload files gone, the records naming dir.
    void ExpectInstalledInto(const std::wstring& dir) {
        completed_ = true;
        EXPECT_EQ("Completing...", Utf8(Text(wiz().PageControl(Page::kInstalling, kStatusEdit))));
        EXPECT_FALSE(IsEnabled(wiz().Button(kCancel)));
        EXPECT_TRUE(WaitUntil([] { return ProcessIds(L"unpack200.exe").empty(); }, 60000, "the expanders to end"));
        EXPECT_TRUE(WaitUntil([&] { return CanOpenForWriting(Long(dir + L"jre\\bin\\unpack200.exe")); }, 5000,
                              "the expander let go after the last expansion"));
        const std::vector<std::string> faults = PayloadFaults(dir);
        EXPECT_TRUE(faults.empty()) << "payload files wrong in " << Utf8(dir) << ": " << Join(faults, 8);
        EXPECT_EQ(Utf8(dir), RegString(kProductKey, L"Path"));
        EXPECT_EQ("Orvane", RegString(kUninstallKey, L"DisplayName"));
        EXPECT_EQ("\"" + Utf8(dir) + "uninstall.exe\"", RegString(kUninstallKey, L"UninstallString"));
    }

    // The two payload files are gone and the uninstall entry is not shown.
    void ExpectRolledBack(const std::wstring& dir) {
        EXPECT_TRUE(WaitUntil([&] { return !Exists(Long(dir + L"fenrow.uha")) && !Exists(Long(dir + L"UHARC.EXE")); },
                              10000, "fenrow.uha and UHARC.EXE deleted"))
                << "fenrow.uha " << Exists(Long(dir + L"fenrow.uha")) << ", UHARC.EXE "
                << Exists(Long(dir + L"UHARC.EXE"));
        EXPECT_EQ("<missing>", RegString(kUninstallKey, L"DisplayName"));
        EXPECT_EQ("<missing>", RegString(kUninstallKey, L"DisplayVersion"));
        EXPECT_EQ("<missing>", RegString(kUninstallKey, L"UninstallString"));
    }

    // Presses the frame's caption close box with the mouse, as a user does. False when
    // no close box was found.
    bool ClickCloseBox() {
        HWND f = wiz().frame();
        SetForegroundWindow(f);
        RECT wr;
        GetWindowRect(f, &wr);
        POINT hit{-1, -1};
        for (int y = wr.top + 2; y < wr.top + 40 && hit.x < 0; y += 3)
            for (int x = wr.right - 2; x > wr.right - 80; x -= 2) {
                DWORD_PTR r = 0;
                if (SendMessageTimeoutW(f, WM_NCHITTEST, 0, MAKELPARAM(x, y), SMTO_ABORTIFHUNG, 2000, &r) &&
                    r == HTCLOSE) {
                    hit = {x - 3, y + 2};
                    break;
                }
            }
        if (hit.x < 0) return false;
        SetCursorPos(hit.x, hit.y);
        Sleep(50);
        INPUT in[2] = {};
        in[0].type = in[1].type = INPUT_MOUSE;
        in[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
        in[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
        SendInput(1, &in[0], sizeof(INPUT));
        Sleep(100);
        SendInput(1, &in[1], sizeof(INPUT));
        return true;
    }

    // The close box is greyed: pressing it opens nothing and changes nothing.
    void ExpectCloseBoxDoesNothing(Page page) {
        EXPECT_FALSE(IsEnabled(wiz().Button(kCancel))) << "Cancel is enabled on page " << PageName(page);
        ASSERT_TRUE(ClickCloseBox()) << "no close box found on the frame";
        Sleep(1500);
        EXPECT_EQ(nullptr, wiz().FindExitConfirm()) << "the greyed close box opened the exit question";
        EXPECT_TRUE(wiz().process().Running());
        EXPECT_EQ(page, wiz().VisiblePage());
        EXPECT_TRUE(IsEnabled(wiz().Button(kNext)));
        if (HWND q = wiz().FindExitConfirm()) Click(GetDlgItem(q, kNo));
    }

    void ExpectDiskFull(const std::wstring& drive);

    Wizard& wiz() { return *wiz_; }
    // A new wizard object for a second run of setup.exe within one case; the ended one
    // is kept until the case ends.
    void NextRun() {
        done_.push_back(std::move(wiz_));
        wiz_ = std::make_unique<Wizard>();
    }

    std::unique_ptr<Wizard> wiz_ = std::make_unique<Wizard>();
    std::vector<std::unique_ptr<Wizard>> done_;
    std::wstring cwd_ = std::wstring(kWork) + L"cwd";
    Snapshot before_;
    bool began_ = false, completed_ = false, reachedFinish_ = false;
    std::vector<std::wstring> allowed_, mayChange_, roots_;
    std::vector<std::wstring> uninstallKeys_;
    std::vector<HANDLE> held_;
};

// ---- folder texts ------------------------------------------------------------------------------

// A directory of exactly n bytes, trailing backslash included, below C:\qm-rel\len\.
std::wstring DirOfBytes(size_t n) {
    std::wstring d = std::wstring(kWork) + L"len\\";
    wchar_t fill = L'a';
    while (d.size() < n) {
        const size_t remaining = n - d.size();
        const size_t seg = remaining <= 101 ? remaining - 1 : std::min<size_t>(99, remaining - 3);
        d += std::wstring(seg, fill) + L"\\";
        ++fill;
    }
    return d;
}

struct FolderCase {
    std::string name;
    std::wstring text;       // typed into the folder edit
    std::wstring installDir; // where it installs; empty: the folder error
    std::string what;
    std::function<void()> prepare; // files made before the case
    // A folder error for a text that names a folder, which is looked for or made only
    // after the records are written; the others are refused before any record.
    bool recordsFirst = false;
};

std::vector<FolderCase> FolderCases() {
    const std::wstring w = kWork;
    std::vector<FolderCase> c = {
            {"Empty", L"", L"", "empty folder text", nullptr},
            {"BlanksOnly", L"    ", L"", "blanks only", nullptr},
            {"LoneBackslash", L"\\", L"", "\"\\\"", nullptr},
            {"Relative", L"Apps", L"", "relative path \"Apps\"", nullptr},
            {"RootRelative", L"\\qm-rel\\apps", L"", "path from the current drive's root \"\\qm-rel\\apps\"", nullptr},
            {"DriveWithoutBackslash", L"C:", L"C:\\", "\"C:\" without a backslash (taken as the drive's root)",
             nullptr},
            {"DriveRelative", L"C:qm-rel\\apps", L"", "drive-relative \"C:qm-rel\\apps\"", nullptr},
            {"NoSuchDrive", L"Q:\\apps\\quill", L"", "a drive that does not exist", nullptr, true},
            {"UncNoServer", L"\\\\noserver\\share\\quill", L"", "UNC path to no server", nullptr, true},
            {"DeviceCon", L"C:\\CON\\", L"", "reserved device name \"C:\\CON\\\"", nullptr},
            {"DeviceNulBelow", L"C:\\nul\\x\\", L"", "reserved device name \"C:\\nul\\x\\\"", nullptr},
            {"DeviceWithExtension", w + L"com1.txt", L"", "reserved device name with an extension", nullptr},
            {"LessThan", w + L"a<b", L"", "'<' in a name", nullptr},
            {"GreaterThan", w + L"a>b", L"", "'>' in a name", nullptr},
            {"Pipe", w + L"a|b", L"", "'|' in a name", nullptr},
            {"QuestionStar", w + L"a?b*", L"", "'?' and '*' in a name", nullptr},
            {"ColonInside", w + L"a:b", L"", "':' inside the path", nullptr},
            {"TrailingDotsInside", w + L"dots...\\x", L"", "a component ending in dots", nullptr},
            {"TrailingBlankInside", w + L"blank \\x", L"", "a component ending in a blank", nullptr},
            {"TrailingDotLast", w + L"last.", L"", "the last component ending in a dot", nullptr},
            {"TrailingBlanksTrimmed", w + L"trim\\quill   ", w + L"trim\\quill\\", "blanks after the text (trimmed)",
             nullptr},
            {"ExistingFile", w + L"f\\notes.txt", L"", "an existing file where the folder should be",
             [w] {
                 MakeDirs(w + L"f");
                 WriteBytes(w + L"f\\notes.txt", "the user's notes");
             },
             true},
            {"ExistingFileAbove", w + L"f\\notes.txt\\sub", L"", "an existing file as a parent folder",
             [w] {
                 MakeDirs(w + L"f");
                 WriteBytes(w + L"f\\notes.txt", "the user's notes");
             },
             true},
            {"ReadOnlyFolder", w + L"ro\\quill", w + L"ro\\quill\\",
             "a read-only folder (the attribute does not guard folders)",
             [w] {
                 MakeDirs(w + L"ro\\quill");
                 SetFileAttributesW((w + L"ro\\quill").c_str(), FILE_ATTRIBUTE_READONLY);
             }},
            {"Cjk", w + L"\x8F6F\x4EF6\\\x6D4B\x8BD5 \x5B89\x88C5", w + L"\x8F6F\x4EF6\\\x6D4B\x8BD5 \x5B89\x88C5\\",
             "CJK folder names", nullptr},
            {"TrailByte5C", w + L"\x661E", w + L"\x661E\\",
             "a name ending in a double-byte character with trail byte 0x5C", nullptr},
            {"TrailByte5CWithBackslash", w + L"\x661E\\\x8868\\", w + L"\x661E\\\x8868\\",
             "0x5C trail bytes followed by a backslash", nullptr},
    };
    // 238 bytes is the longest directory whose packed libraries can still be expanded
    // (the expander's path and the search pattern must fit MAX_PATH).
    for (size_t n : {238, 239, 240, 241, 242, 254, 255, 300}) {
        const std::wstring d = DirOfBytes(n);
        c.push_back({"Bytes" + std::to_string(n), d, n <= 238 ? d : L"",
                     "a directory of " + std::to_string(n) + " bytes", nullptr});
    }
    return c;
}

class FolderText : public Reliability, public ::testing::WithParamInterface<FolderCase> {};

TEST_P(FolderText, IsRefusedOrInstalls) {
    const FolderCase& fc = GetParam();
    Describe("Folder text: " + fc.what + " (`" + Utf8(fc.text) + "`)",
             !fc.installDir.empty() ? "complete installation into `" + Utf8(fc.installDir) + "`"
             : fc.recordsFirst      ? "folder error, page 2 with its buttons, nothing created"
                               : "folder error, page 2 with its buttons, nothing created, no registry value written");
    if (fc.installDir == L"C:\\") {
        for (const wchar_t* t : kPayloadTop)
            ASSERT_FALSE(Exists(std::wstring(L"C:\\") + t)) << Utf8(t) << " is in C:\\";
    }
    if (fc.prepare) fc.prepare();
    Begin();
    if (!fc.installDir.empty()) {
        Allow(fc.installDir);
        if (fc.installDir.size() == 3) roots_.push_back(fc.installDir);
    }
    ASSERT_TRUE(StartInto(fc.text));
    if (fc.installDir.empty()) {
        ASSERT_NO_FATAL_FAILURE(ExpectFolderError());
        if (!fc.recordsFirst) {
            EXPECT_EQ("<missing>", RegString(kProductKey, L"Path")) << "a record for a refused text";
        }
        LeaveWithYes();
        return;
    }
    HWND box = nullptr;
    const After a = Await(kInstallMs, &box);
    ASSERT_EQ(After::kCompleted, a) << AfterName(a) << (box ? ": " + Wizard::MessageBoxText(box) : "") << "; "
                                    << wiz().State();
    ExpectInstalledInto(fc.installDir);
    FinishQuietly();
}

INSTANTIATE_TEST_SUITE_P(Reliability, FolderText, ::testing::ValuesIn(FolderCases()),
                         [](const ::testing::TestParamInfo<FolderCase>& info) { return info.param.name; });

// ---- payload faults -------------------------------------------------------------------------------

class PayloadFault : public Reliability {};

TEST_F(PayloadFault, TruncatedArchive) {
    Describe("setup.exe whose archive is truncated", "failure message naming UHARC.EXE, roll-back, program ends");
    const std::wstring dir = std::wstring(kWork) + L"truncated\\";
    Begin();
    Allow(dir);
    ASSERT_TRUE(StartInto(dir, Installer(L"setup_truncated")));
    std::string text;
    ASSERT_NO_FATAL_FAILURE(ExpectArchiverMessage(&text));
    DWORD code = 0;
    ASSERT_TRUE(wiz().WaitExit(kExitMs, &code));
    ExpectRolledBack(dir);
}

TEST_F(PayloadFault, FlippedBytes) {
    Describe("setup.exe whose archive has flipped bytes", "failure message naming UHARC.EXE, roll-back, program ends");
    const std::wstring dir = std::wstring(kWork) + L"flipped\\";
    Begin();
    Allow(dir);
    ASSERT_TRUE(StartInto(dir, Installer(L"setup_flipped")));
    std::string text;
    ASSERT_NO_FATAL_FAILURE(ExpectArchiverMessage(&text));
    DWORD code = 0;
    ASSERT_TRUE(wiz().WaitExit(kExitMs, &code));
    ExpectRolledBack(dir);
}

TEST_F(PayloadFault, ArchiverCannotStart) {
    Describe("setup.exe whose archiver resource is damaged",
             "message naming UHARC.EXE within the 10 s wait, both files deleted, page 2 with its buttons");
    const std::wstring dir = std::wstring(kWork) + L"badarchiver\\";
    Begin();
    Allow(dir);
    ASSERT_TRUE(StartInto(dir, Installer(L"setup_badarchiver")));
    const ULONGLONG t0 = GetTickCount64();
    std::string text;
    ASSERT_NO_FATAL_FAILURE(ExpectArchiverMessage(&text, kMessageMs));
    const ULONGLONG waited = GetTickCount64() - t0;
    EXPECT_LT(waited, 30000u) << "the wait for the archiver is not bounded";
    RecordProperty("wait_ms", std::to_string(waited));
    ASSERT_TRUE(wiz().WaitForPage(Page::kFolder, 15000));
    for (int id : {kBack, kNext, kCancel})
        EXPECT_TRUE(WaitUntil([&] { return IsEnabled(wiz().Button(id)); }, 5000, "button enabled")) << id;
    ExpectRolledBack(dir);
    LeaveWithYes();
}

TEST_F(PayloadFault, ArchiverKilledHalfWay) {
    Describe("the archiver terminated from outside half-way (large payload)",
             "failure message naming UHARC.EXE, roll-back, program ends, never the finish page");
    const std::wstring dir = std::wstring(kWork) + L"killed\\";
    Begin();
    Allow(dir);
    ASSERT_TRUE(StartInto(dir, Installer(L"setup_large")));
    ASSERT_TRUE(wiz().WaitForPage(Page::kInstalling, 60000));
    HWND bar = wiz().PageControl(Page::kInstalling, kProgress);
    ASSERT_TRUE(WaitUntil([&] { return ProgressPos(bar) >= 30 || wiz().FindMessageBox() != nullptr; }, kInstallMs,
                          "the bar at 30%", [&] { return std::to_string(ProgressPos(bar)); }));
    ASSERT_EQ(nullptr, wiz().FindMessageBox());
    const int at = ProgressPos(bar);
    ASSERT_TRUE(TerminateFirst(L"UHARC.EXE", 1)) << "no archiver to kill at " << at << "%";
    RecordProperty("killed_at_percent", std::to_string(at));
    std::string text;
    ASSERT_NO_FATAL_FAILURE(ExpectArchiverMessage(&text, kMessageMs));
    DWORD code = 0;
    ASSERT_TRUE(wiz().WaitExit(kExitMs, &code));
    ExpectRolledBack(dir);
}

// Too little room on the drive: the message before anything is written, page 2 with its
// buttons; the folder is not even made.
void Reliability::ExpectDiskFull(const std::wstring& drive) {
    const std::wstring dir = drive + L"\\quill\\";
    Begin();
    ASSERT_TRUE(StartInto(dir));
    HWND box = nullptr;
    const After a = Await(kInstallMs, &box);
    ASSERT_EQ(After::kMessage, a) << AfterName(a) << ": " << wiz().State();
    EXPECT_EQ(kMessageCaption, Caption(box));
    EXPECT_EQ(kDiskFull, Wizard::MessageBoxText(box));
    EXPECT_TRUE(ProcessIds(L"UHARC.EXE").empty()) << "the archiver was started";
    EXPECT_FALSE(Exists(dir)) << "the folder was made";
    ExpectRolledBack(dir);
    ASSERT_TRUE(Click(GetDlgItem(box, IDOK)));
    ASSERT_TRUE(wiz().WaitForPage(Page::kFolder, 15000));
    for (int id : {kBack, kNext, kCancel})
        EXPECT_TRUE(WaitUntil([&] { return IsEnabled(wiz().Button(id)); }, 5000, "button enabled",
                              [&] { return wiz().State(); }))
                << "button " << id;
    LeaveWithYes();
}

TEST_F(PayloadFault, DiskTooSmallForThePayload) {
    Describe("install onto a 3 MB drive: the payload files themselves do not fit",
             "the disk-space message before anything is written, nothing created, page 2 with its buttons");
    ASSERT_FALSE(SmallDrive().empty()) << "no 3 MB drive: reliability.sh could not mount one (it must run as root)";
    ExpectDiskFull(SmallDrive());
}

TEST_F(PayloadFault, DiskFullDuringExtraction) {
    Describe("install onto a 6 MB drive: the payload files fit, the extracted files do not",
             "the disk-space message before anything is written, nothing created, page 2 with its buttons");
    ASSERT_FALSE(FullDrive().empty()) << "no 6 MB drive: reliability.sh could not mount one (it must run as root)";
    ExpectDiskFull(FullDrive());
}

TEST_F(PayloadFault, ReadOnlyFileInTheTarget) {
    Describe("an earlier installation whose docs\\README.txt is read-only",
             "complete installation; the file holds the payload's bytes");
    const std::wstring dir = std::wstring(kWork) + L"readonly\\";
    ASSERT_TRUE(CopyPayloadTo(dir));
    ASSERT_TRUE(SetFileAttributesW((dir + L"docs\\README.txt").c_str(), FILE_ATTRIBUTE_READONLY));
    Begin();
    Allow(dir);
    ASSERT_TRUE(StartInto(dir));
    HWND box = nullptr;
    const After a = Await(kInstallMs, &box);
    ASSERT_EQ(After::kCompleted, a) << AfterName(a) << (box ? ": " + Wizard::MessageBoxText(box) : "");
    ExpectInstalledInto(dir);
    FinishQuietly();
}

TEST_F(PayloadFault, LockedFileInTheTarget) {
    Describe("an earlier installation whose docs\\README.txt another program holds open without sharing",
             "failure message naming UHARC.EXE, roll-back, program ends; the locked file unchanged");
    const std::wstring dir = std::wstring(kWork) + L"locked\\";
    ASSERT_TRUE(CopyPayloadTo(dir));
    Begin();
    Allow(dir);
    HANDLE h = CreateFileW((dir + L"docs\\README.txt").c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    held_.push_back(h);
    ASSERT_TRUE(StartInto(dir));
    std::string text;
    ASSERT_NO_FATAL_FAILURE(ExpectArchiverMessage(&text));
    DWORD code = 0;
    ASSERT_TRUE(wiz().WaitExit(kExitMs, &code));
    ExpectRolledBack(dir);
}

TEST_F(PayloadFault, LinkInTheTarget) {
    Describe("a folder of the payload (docs) is a symbolic link in D, made before the installation, to a "
             "folder outside D",
             "failure message naming UHARC.EXE, roll-back, program ends; nothing written where the link points");
    const std::wstring links = Env(L"RELIABILITY_LINK_DIR");
    ASSERT_FALSE(links.empty()) << "reliability.sh makes the link";
    const std::wstring dir = links + L"D\\", outside = links + L"outside\\";
    ASSERT_TRUE(Exists(dir + L"docs")) << Utf8(dir) << "docs";
    Begin();
    Allow(dir);
    ASSERT_TRUE(StartInto(dir));
    std::string text;
    ASSERT_NO_FATAL_FAILURE(ExpectArchiverMessage(&text));
    DWORD code = 0;
    ASSERT_TRUE(wiz().WaitExit(kExitMs, &code));
    ExpectRolledBack(dir);
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((outside + L"*").c_str(), &fd);
    std::vector<std::wstring> found;
    if (h != INVALID_HANDLE_VALUE) {
        do
            if (wcscmp(fd.cFileName, L".") != 0 && wcscmp(fd.cFileName, L"..") != 0) found.push_back(fd.cFileName);
        while (FindNextFileW(h, &fd));
        FindClose(h);
    }
    EXPECT_TRUE(found.empty()) << "written through the link: " << Utf8(found.empty() ? L"" : found[0]);
}

// ---- existing installations and the user's files ------------------------------------------------

// ---- how setup.exe is started -------------------------------------------------------------------

class Launcher : public Reliability {};

TEST_F(Launcher, StandardOutputAndErrorArePipes) {
    Describe("setup.exe started by a launcher whose standard output and error are a pipe",
             "complete installation, as when started from the desktop");
    const std::wstring dir = std::wstring(kWork) + L"piped\\";
    Begin();
    Allow(dir);
    wiz().process().SetLauncher(Process::Launcher::kPipes);
    ASSERT_TRUE(StartInto(dir));
    HWND box = nullptr;
    const After a = Await(kInstallMs, &box);
    ASSERT_EQ(After::kCompleted, a) << AfterName(a) << (box ? ": " + Wizard::MessageBoxText(box) : "");
    ExpectInstalledInto(dir);
    FinishQuietly();
}

class Existing : public Reliability {};

TEST_F(Existing, ReinstallOverAnEarlierInstallation) {
    Describe("install, then install again into the same folder (user's file added in between)",
             "second installation completes; every file byte-identical, the user's file kept, the records rewritten");
    const std::wstring dir = std::wstring(kWork) + L"again\\Quill mate\\";
    Allow(dir);
    ASSERT_TRUE(StartInto(dir));
    HWND box = nullptr;
    ASSERT_EQ(After::kCompleted, Await(kInstallMs, &box)) << wiz().State();
    ASSERT_NO_FATAL_FAILURE(ExpectInstalledInto(dir));
    ASSERT_NO_FATAL_FAILURE(FinishQuietly());
    ASSERT_TRUE(WaitUntil([] { return ProcessIds(L"unpack200.exe").empty(); }, 60000, "the expanders to end"));
    ASSERT_TRUE(WriteBytes(dir + L"data\\my settings.ini", "[mine]\r\nkeep=1\r\n"));
    ResetProductRegistry();
    Begin();
    NextRun();
    ASSERT_TRUE(StartInto(dir));
    ASSERT_EQ(After::kCompleted, Await(kInstallMs, &box)) << (box ? Wizard::MessageBoxText(box) : wiz().State());
    ExpectInstalledInto(dir);
    FinishQuietly();
}

TEST_F(Existing, FolderHoldingTheUsersFiles) {
    Describe("install into a folder that holds the user's own files and folders",
             "complete installation; the user's files stay byte-identical");
    const std::wstring dir = std::wstring(kWork) + L"users\\Quillmate\\";
    ASSERT_TRUE(MakeDirs(dir + L"data"));
    ASSERT_TRUE(MakeDirs(dir + L"my things\\deeper"));
    ASSERT_TRUE(WriteBytes(dir + L"my notes.txt", "mine"));
    ASSERT_TRUE(WriteBytes(dir + L"data\\mine.ini", "[user]\r\nx=1\r\n"));
    ASSERT_TRUE(WriteBytes(dir + L"my things\\deeper\\photo.bin", std::string(70000, '\x5C')));
    ASSERT_TRUE(WriteBytes(dir + L"\x7B14\x8BB0.txt", "\xE7\xAC\x94\xE8\xAE\xB0"));
    Begin();
    Allow(dir);
    ASSERT_TRUE(StartInto(dir));
    HWND box = nullptr;
    ASSERT_EQ(After::kCompleted, Await(kInstallMs, &box)) << (box ? Wizard::MessageBoxText(box) : wiz().State());
    ExpectInstalledInto(dir);
    FinishQuietly();
}

// ---- leaving early --------------------------------------------------------------------------------

class Cancel : public Reliability {
protected:
    struct Buttons {
        bool back, next, cancel;
        bool operator==(const Buttons& o) const { return back == o.back && next == o.next && cancel == o.cancel; }
    };
    Buttons ButtonStates() {
        return {IsEnabled(wiz().Button(kBack)), IsEnabled(wiz().Button(kNext)), IsEnabled(wiz().Button(kCancel))};
    }

    // Opens the question by Cancel or the close box, answers No, and checks that the
    // wizard is where it was.
    void AskAndAnswerNo(Page page, bool closeBox) {
        const Buttons before = ButtonStates();
        if (closeBox)
            ASSERT_TRUE(ClickCloseBox()) << "no close box found";
        else
            ASSERT_TRUE(Press(kCancel));
        HWND question = nullptr;
        ASSERT_TRUE(wiz().WaitForWindow([&] { return wiz().FindExitConfirm(); }, &question, "the exit question", 15000))
                << (closeBox ? "after the close box" : "after Cancel");
        ASSERT_TRUE(Click(GetDlgItem(question, kNo)));
        ASSERT_TRUE(WaitUntil([&] { return wiz().FindExitConfirm() == nullptr; }, 10000, "the question closed"));
        EXPECT_TRUE(wiz().process().Running());
        EXPECT_EQ(page, wiz().VisiblePage());
        EXPECT_TRUE(WaitUntil([&] { return ButtonStates() == before; }, 5000, "the buttons as before"));
    }

    // Cancel during the installation of the large payload once the bar reaches percent
    // (0: as soon as the archiver's first row shows), then Yes.
    void CancelDuringInstallation(int percent, const std::wstring& dir) {
        Begin();
        Allow(dir);
        ASSERT_TRUE(StartInto(dir, Installer(L"setup_large")));
        ASSERT_TRUE(wiz().WaitForPage(Page::kInstalling, 60000));
        HWND bar = wiz().PageControl(Page::kInstalling, kProgress);
        HWND edit = wiz().PageControl(Page::kInstalling, kStatusEdit);
        int at = -1;
        ASSERT_TRUE(WaitUntil(
                [&] {
                    if (wiz().FindMessageBox() || IsEnabled(wiz().Button(kNext))) return true;
                    at = ProgressPos(bar);
                    return percent == 0 ? Text(edit).size() > 1 : at >= percent;
                },
                kInstallMs, "the bar at " + std::to_string(percent) + "%"));
        ASSERT_EQ(nullptr, wiz().FindMessageBox()) << Wizard::MessageBoxText(wiz().FindMessageBox());
        ASSERT_FALSE(IsEnabled(wiz().Button(kNext)))
                << "the installation completed before the cancel (at " << at << "%)";
        ASSERT_FALSE(ProcessIds(L"UHARC.EXE").empty()) << "the archiver is not running at " << at << "%";
        RecordProperty("cancelled_at_percent", std::to_string(at));
        ASSERT_TRUE(SysCommand(wiz().frame(), SC_CLOSE));
        HWND question = nullptr;
        ASSERT_TRUE(
                wiz().WaitForWindow([&] { return wiz().FindExitConfirm(); }, &question, "the exit question", 15000));
        ASSERT_TRUE(Click(GetDlgItem(question, kYes)));
        DWORD code = 0;
        ASSERT_TRUE(wiz().WaitExit(kExitMs, &code));
        EXPECT_TRUE(WaitUntil([] { return ProcessIds(L"UHARC.EXE").empty(); }, 10000, "the archiver terminated"));
        ExpectRolledBack(dir);
        EXPECT_NE("<missing>", RegString(kProductKey, L"Path")) << "\"Path\" stays";
        if (percent > 0) {
            EXPECT_FALSE(FilesBelow(NoSlash(dir)).empty()) << "the files already extracted stay";
        }
    }
};

TEST_F(Cancel, WelcomePage) {
    Describe("page 1: Cancel then No, the close box then No, Cancel then Yes",
             "No leaves page and buttons unchanged; Yes ends the program; no file or registry value touched");
    Begin();
    ASSERT_TRUE(Launch());
    ASSERT_TRUE(wiz().WaitForPage(Page::kWelcome, 30000));
    ASSERT_NO_FATAL_FAILURE(AskAndAnswerNo(Page::kWelcome, false));
    ASSERT_NO_FATAL_FAILURE(AskAndAnswerNo(Page::kWelcome, true));
    LeaveWithYes();
    EXPECT_EQ("<missing>", RegString(kProductKey, L"Path"));
}

TEST_F(Cancel, FolderPage) {
    Describe("page 2 with a typed folder: Cancel then No, the close box then No, the close box then Yes",
             "No keeps page, buttons and the typed text; Yes ends the program; nothing created, no registry value");
    Begin();
    const std::wstring typed = std::wstring(kWork) + L"never\\made";
    ASSERT_TRUE(Launch());
    ASSERT_TRUE(ToFolderPage());
    ASSERT_TRUE(TypeFolder(typed));
    ASSERT_NO_FATAL_FAILURE(AskAndAnswerNo(Page::kFolder, false));
    ASSERT_NO_FATAL_FAILURE(AskAndAnswerNo(Page::kFolder, true));
    EXPECT_EQ(Utf8(typed), Utf8(Text(wiz().PageControl(Page::kFolder, kFolderEdit))));
    LeaveWithYes(/*closeBox=*/true);
    EXPECT_EQ("<missing>", RegString(kProductKey, L"Path"));
}

TEST_F(Cancel, InstallingPageAfterCompletion) {
    Describe("page 3 after completion: Cancel disabled, the greyed close box pressed",
             "nothing happens; Next still leads on; the installation stays complete");
    const std::wstring dir = std::wstring(kWork) + L"page3\\";
    Begin();
    Allow(dir);
    ASSERT_TRUE(StartInto(dir));
    HWND box = nullptr;
    ASSERT_EQ(After::kCompleted, Await(kInstallMs, &box)) << wiz().State();
    ASSERT_NO_FATAL_FAILURE(ExpectCloseBoxDoesNothing(Page::kInstalling));
    ExpectInstalledInto(dir);
    FinishQuietly();
}

TEST_F(Cancel, FinishPage) {
    Describe("page 4: Cancel disabled, the greyed close box pressed", "nothing happens; Finish still ends the program");
    const std::wstring dir = std::wstring(kWork) + L"page4\\";
    Begin();
    Allow(dir);
    ASSERT_TRUE(StartInto(dir));
    HWND box = nullptr;
    ASSERT_EQ(After::kCompleted, Await(kInstallMs, &box)) << wiz().State();
    ExpectInstalledInto(dir);
    ASSERT_TRUE(Press(kNext));
    ASSERT_TRUE(wiz().WaitForPage(Page::kFinish, 15000));
    ASSERT_NO_FATAL_FAILURE(ExpectCloseBoxDoesNothing(Page::kFinish));
    // back to page 3's state for FinishQuietly: it presses Next from page 3
    for (int id : {kChkStartMenu, kChkStartup, kChkDesktop, kChkRunNow}) {
        HWND b = wiz().PageControl(Page::kFinish, id);
        if (CheckState(b) == BST_CHECKED) {
            ASSERT_TRUE(Click(b));
        }
        ASSERT_TRUE(WaitUntil([&] { return CheckState(b) == BST_UNCHECKED; }, 5000, "option cleared"));
    }
    ASSERT_TRUE(Press(kNext));
    DWORD code = 0;
    ASSERT_TRUE(wiz().WaitExit(kExitMs, &code));
}

TEST_F(Cancel, DuringInstallationEarly) {
    Describe("close request and Yes as soon as the archiver's first row shows (large payload)",
             "archiver terminated, fenrow.uha and UHARC.EXE gone, no phantom entry, program ends");
    CancelDuringInstallation(0, std::wstring(kWork) + L"early\\");
}

TEST_F(Cancel, DuringInstallationHalfWay) {
    Describe("close request and Yes at 50% (large payload)",
             "archiver terminated, files gone, no phantom entry, extracted files stay, program ends");
    CancelDuringInstallation(50, std::wstring(kWork) + L"half\\");
}

TEST_F(Cancel, DuringInstallationJustBeforeCompletion) {
    Describe("close request and Yes at 90% or more (large payload)",
             "archiver terminated, files gone, no phantom entry, extracted files stay, program ends");
    CancelDuringInstallation(90, std::wstring(kWork) + L"late\\");
}

TEST_F(Cancel, DuringInstallationNo) {
    Describe("close request and No at 40% (large payload)", "the installation goes on and completes");
    const std::wstring dir = std::wstring(kWork) + L"goon\\";
    Begin();
    Allow(dir);
    ASSERT_TRUE(StartInto(dir, Installer(L"setup_large")));
    ASSERT_TRUE(wiz().WaitForPage(Page::kInstalling, 60000));
    HWND bar = wiz().PageControl(Page::kInstalling, kProgress);
    ASSERT_TRUE(WaitUntil([&] { return ProgressPos(bar) >= 40 || IsEnabled(wiz().Button(kNext)); }, kInstallMs,
                          "the bar at 40%"));
    ASSERT_FALSE(IsEnabled(wiz().Button(kNext))) << "completed before the cancel";
    ASSERT_TRUE(SysCommand(wiz().frame(), SC_CLOSE));
    HWND question = nullptr;
    ASSERT_TRUE(wiz().WaitForWindow([&] { return wiz().FindExitConfirm(); }, &question, "the exit question", 15000));
    ASSERT_TRUE(Click(GetDlgItem(question, kNo)));
    HWND box = nullptr;
    const After a = Await(kInstallMs, &box);
    ASSERT_EQ(After::kCompleted, a) << AfterName(a) << (box ? ": " + Wizard::MessageBoxText(box) : "");
    completed_ = true;
    EXPECT_FALSE(Exists(dir + L"fenrow.uha"));
    EXPECT_FALSE(Exists(dir + L"UHARC.EXE"));
    EXPECT_EQ("Orvane", RegString(kUninstallKey, L"DisplayName"));
    FinishQuietly();
}

// ---- the suite's surroundings ------------------------------------------------------------------

// A browser that ends at once stands in for the prefix's at its fixed path, so that
// finishing opens nothing; the original is put back at the end.
class Surroundings : public ::testing::Environment {
public:
    void SetUp() override {
        KillStrays();
        browser_.reset(new BrowserStandIn);
        ASSERT_TRUE(browser_->ok()) << "no stand-in browser";
        // A case may write nothing outside its folders: the stand-in records nothing.
        SetEnvironmentVariableW(L"E2E_RECORD_DIR", nullptr);
        ResetProductRegistry();
        RemoveTree(Long(NoSlash(kWork)));
    }
    void TearDown() override {
        KillStrays();
        browser_.reset();
        RemoveTree(Long(NoSlash(kWork)));
        ResetProductRegistry();
    }

private:
    std::unique_ptr<BrowserStandIn> browser_;
};

} // namespace

int main(int argc, char** argv) {
    int code = 0;
    if (PlayBrowser(&code)) return code;

    ::testing::InitGoogleTest(&argc, argv);
    // A full run and a filtered one write tables of their own in the build tree.
    const bool full = ::testing::GTEST_FLAG(filter) == "*";
    const std::wstring table = WinPath(Env(full ? L"RELIABILITY_TABLE" : L"RELIABILITY_PARTIAL_TABLE"));
    if (!table.empty())
        ::testing::UnitTest::GetInstance()->listeners().Append(
                new TableWriter(table, full ? "Reliability of setup.exe" : "Reliability of setup.exe (partial run)"));
    ::testing::AddGlobalTestEnvironment(new Surroundings);
    return RUN_ALL_TESTS();
}
