// uninstall.exe: removes exactly what the manifest, the setup program's registry records
// and its shortcuts name, keeps a user's own files, and deletes itself after it ends.
// The manifest rules are checked directly on the parser as well.
#include <gtest/gtest.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include "payload/uninstall/manifest.h"
#include "payload_support.h"

using namespace payload_test;

namespace {

const wchar_t kProductKey[] = L"Software\\tesmarin";
const wchar_t kUninstallKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\tesmarin";
const wchar_t kVersionKey[] = L"Software\\tsmVersion";

// ---- the manifest rules ---------------------------------------------------------------

TEST(Manifest, ParsesFilesAndFolders) {
    uninst::Manifest m;
    ASSERT_TRUE(uninst::ParseManifest("\xEF\xBB\xBFpkl.exe\r\njre\\\r\njre/lib/rt.jar.pack.gz\n\r\n"
                                      "\xE6\x95\xB0\xE6\x8D\xAE\\\xE6\xA8\xA1\xE6\x9D\xBF.txt\r\nuninstall.lst",
                                      &m));
    std::vector<std::wstring> files = {L"pkl.exe", L"jre\\lib\\rt.jar.pack.gz", L"数据\\模板.txt", L"uninstall.lst"};
    std::vector<std::wstring> folders = {L"jre"};
    EXPECT_EQ(files, m.files);
    EXPECT_EQ(folders, m.folders);
    EXPECT_EQ(0u, m.rejected);
}

TEST(Manifest, RejectsPathsLeavingTheFolder) {
    const char* const hostile[] = {
            "..\\outside.txt",
            "a\\..\\..\\outside.txt",
            "C:\\Windows\\win.ini",
            "\\rooted.txt",
            "\\\\server\\share\\x",
            "a\\\\b.txt",
            "data:stream",
            "nul",
            "CON.txt",
            "lpt1",
            "a\\aux\\b",
            "trailing.",
            "trailing ",
            ".\\x",
            "a\\.\\b",
            "wild*.txt",
            "..\\",
            "clock$\\x.txt",
            "COM\xC2\xB9.log",
    };
    for (const char* line : hostile) {
        uninst::Manifest m;
        ASSERT_TRUE(uninst::ParseManifest(std::string(line) + "\r\nok.txt\r\n", &m)) << line;
        EXPECT_EQ(1u, m.rejected) << line;
        ASSERT_EQ(1u, m.files.size()) << line;
        EXPECT_EQ(L"ok.txt", m.files[0]) << line;
        EXPECT_TRUE(m.folders.empty()) << line;
    }
    uninst::Manifest m;
    EXPECT_FALSE(uninst::ParseManifest("ok.txt\r\n\xFF\xFE bad utf-8\r\n", &m));
}

TEST(Manifest, ExpandedNameOfPackedLibraries) {
    struct Case {
        const wchar_t* in;
        const wchar_t* out;
    } cases[] = {
            {L"jre\\lib\\rt.jar.pack.gz", L"jre\\lib\\rt.jar"},
            {L"jre\\lib\\ext\\LIB.JAR.PACK.GZ", L"jre\\lib\\ext\\LIB.JAR"},
            {L"data.pack.gz", L"data"},
            {L".pack.gz", L""},
            {L"jre\\.pack.gz", L""},
            {L"rt.jar.pack", L""},
            {L"rt.jar.gz", L""},
            {L"pack.gz", L""},
    };
    for (const Case& c : cases) EXPECT_EQ(std::wstring(c.out), uninst::ExpandedName(c.in)) << Narrow(c.in);
}

TEST(Manifest, FoldersDeepestFirst) {
    std::vector<std::wstring> got = uninst::DeepestFirst({L"jre", L"jre\\lib\\ext", L"data", L"jre\\lib", L"jre\\bin"});
    ASSERT_EQ(5u, got.size());
    auto at = [&got](const wchar_t* f) { return std::find(got.begin(), got.end(), f) - got.begin(); };
    EXPECT_LT(at(L"jre\\lib\\ext"), at(L"jre\\lib"));
    EXPECT_LT(at(L"jre\\lib"), at(L"jre"));
    EXPECT_LT(at(L"jre\\bin"), at(L"jre"));
}

TEST(Manifest, InsideTheFolder) {
    EXPECT_TRUE(uninst::IsInside(L"C:\\Program Files\\dunmerra\\pkl.exe", L"C:\\Program Files\\dunmerra\\"));
    EXPECT_TRUE(uninst::IsInside(L"c:\\PROGRAM FILES\\Dunmerra\\Uninstall.exe", L"C:\\Program Files\\dunmerra\\"));
    EXPECT_FALSE(uninst::IsInside(L"C:\\Program Files\\dunmerra2\\pkl.exe", L"C:\\Program Files\\dunmerra\\"));
    EXPECT_FALSE(uninst::IsInside(L"C:\\Program Files\\dunmerra\\", L"C:\\Program Files\\dunmerra\\"));
    EXPECT_FALSE(uninst::IsInside(L"C:\\Program Files\\dunmerra\\..\\x.exe", L"C:\\Program Files\\dunmerra\\"));
    EXPECT_FALSE(uninst::IsInside(L"D:\\pkl.exe", L"C:\\Program Files\\dunmerra\\"));
}

// ---- a fake installation -------------------------------------------------------------

bool SetValue(const wchar_t* key, const wchar_t* name, const std::wstring& value) {
    HKEY h = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, key, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &h, nullptr) != ERROR_SUCCESS)
        return false;
    LONG rc = RegSetValueExW(h, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                             static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(h);
    return rc == ERROR_SUCCESS;
}

// "<no key>" or "<no value>" when absent, so that failures print what was found.
std::wstring GetValue(const wchar_t* key, const wchar_t* name) {
    HKEY h = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_QUERY_VALUE, &h) != ERROR_SUCCESS) return L"<no key>";
    wchar_t buf[1024] = L"";
    DWORD size = sizeof(buf) - sizeof(wchar_t), type = 0;
    LONG rc = RegQueryValueExW(h, name, nullptr, &type, reinterpret_cast<BYTE*>(buf), &size);
    RegCloseKey(h);
    if (rc != ERROR_SUCCESS) return L"<no value>";
    buf[size / sizeof(wchar_t)] = L'\0';
    return buf;
}

bool KeyExists(const wchar_t* key) {
    HKEY h = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_QUERY_VALUE, &h) != ERROR_SUCCESS) return false;
    RegCloseKey(h);
    return true;
}

void DeleteKey(const wchar_t* key) { RegDeleteKeyW(HKEY_LOCAL_MACHINE, key); }

std::wstring SpecialFolder(int csidl) {
    wchar_t buf[MAX_PATH] = L"";
    if (!SHGetSpecialFolderPathW(nullptr, buf, csidl, TRUE)) return std::wstring();
    return std::wstring(buf) + L"\\";
}

bool MakeShortcut(const std::wstring& lnk, const std::wstring& target) {
    IShellLinkW* link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&link))))
        return false;
    link->SetPath(target.c_str());
    link->SetWorkingDirectory(target.substr(0, target.find_last_of(L'\\')).c_str());
    link->SetDescription(L"Shortcut");
    IPersistFile* file = nullptr;
    bool ok = SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))) &&
              SUCCEEDED(file->Save(lnk.c_str(), TRUE));
    if (file) file->Release();
    link->Release();
    return ok;
}

class Uninstall : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
        dir_ = root_.path() + L"Quillmate 安装\\";
        MakeFolders(dir_);
        ASSERT_TRUE(CopyFileW(FromBuildPath(UNINSTALL_EXE).c_str(), (dir_ + L"uninstall.exe").c_str(), FALSE));
        startup_ = SpecialFolder(CSIDL_COMMON_STARTUP);
        desktop_ = SpecialFolder(CSIDL_DESKTOP);
        group_ = SpecialFolder(CSIDL_COMMON_STARTMENU);
        ASSERT_FALSE(startup_.empty());
        ASSERT_FALSE(desktop_.empty());
        ASSERT_FALSE(group_.empty());
        group_ += L"Quillmate\\";
    }
    void TearDown() override {
        for (const wchar_t* key : {kProductKey, kUninstallKey, kVersionKey}) DeleteKey(key);
        for (const std::wstring& lnk : {startup_ + L"Quillmate.lnk", desktop_ + L"Quillmate.lnk",
                                        group_ + L"Quillmate.lnk", group_ + L"卸载.lnk"})
            DeleteFileW(lnk.c_str());
        RemoveDirectoryW(group_.c_str());
        CoUninitialize();
    }

    // Writes the listed files (paths ending in a backslash are folders) and the manifest.
    void Install(const std::vector<std::wstring>& listed) {
        std::string manifest;
        for (const std::wstring& rel : listed) {
            manifest += Narrow(rel) + "\r\n";
            if (rel.back() == L'\\') {
                MakeFolders(dir_ + rel);
            } else if (rel != L"uninstall.exe" && rel != L"uninstall.lst") {
                MakeFolders(dir_ + rel.substr(0, rel.find_last_of(L'\\') + 1));
                ASSERT_TRUE(WriteBytes(dir_ + rel, "file " + Narrow(rel))) << Narrow(rel);
            }
        }
        ASSERT_TRUE(WriteBytes(dir_ + L"uninstall.lst", manifest));
    }

    // The uninstall command is recorded quoted or as a bare path; both name the folder.
    void WriteRecords(const std::wstring& dir, bool quoted = true) {
        ASSERT_TRUE(SetValue(kProductKey, L"Path", dir));
        ASSERT_TRUE(SetValue(kUninstallKey, L"DisplayName", L"Orvane"));
        ASSERT_TRUE(SetValue(kUninstallKey, L"DisplayVersion", L"1.0.0"));
        std::wstring command = dir + L"uninstall.exe";
        ASSERT_TRUE(SetValue(kUninstallKey, L"UninstallString", quoted ? L"\"" + command + L"\"" : command));
        ASSERT_TRUE(SetValue(kVersionKey, L"tsmVersion", L"1.0.0614"));
        ASSERT_TRUE(SetValue(kVersionKey, L"tsmFilePath", dir));
        ASSERT_TRUE(SetValue(kVersionKey, L"tsmType", L"xl"));
    }

    void MakeShortcuts(const std::wstring& dir) {
        CreateDirectoryW(group_.c_str(), nullptr);
        ASSERT_TRUE(MakeShortcut(startup_ + L"Quillmate.lnk", dir + L"pkl.exe"));
        ASSERT_TRUE(MakeShortcut(desktop_ + L"Quillmate.lnk", dir + L"pkl.exe"));
        ASSERT_TRUE(MakeShortcut(group_ + L"Quillmate.lnk", dir + L"pkl.exe"));
        ASSERT_TRUE(MakeShortcut(group_ + L"卸载.lnk", dir + L"Uninstall.exe"));
    }

    RunResult RunUninstaller() { return RunProgram(dir_ + L"uninstall.exe", L"/S", 60000); }

    TempFolder root_{L"uninstall-test"};
    std::wstring dir_, startup_, desktop_, group_;
};

TEST_F(Uninstall, RemovesWhatTheInstallationMadeAndKeepsTheUsersFiles) {
    Install({L"pkl.exe", L"uninstall.exe", L"uninstall.lst", L"jre\\", L"jre\\bin\\", L"jre\\bin\\unpack200.exe",
             L"jre\\lib\\", L"jre\\lib\\rt.jar.pack.gz", L"jre\\lib\\ext\\", L"jre\\lib\\ext\\localedata.jar.pack.gz",
             L"jre\\lib\\ext\\never-expanded.jar.pack.gz", L"data\\", L"data\\templates\\",
             L"data\\templates\\默认模板.txt", L"logs\\", L"readonly.ini"});
    // What the expansions made, a read-only file, and the user's own things.
    ASSERT_TRUE(WriteBytes(dir_ + L"jre\\lib\\rt.jar", "expanded"));
    ASSERT_TRUE(WriteBytes(dir_ + L"jre\\lib\\ext\\localedata.jar", "expanded"));
    ASSERT_TRUE(SetFileAttributesW((dir_ + L"readonly.ini").c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(WriteBytes(dir_ + L"data\\我的笔记.txt", "mine"));
    ASSERT_TRUE(WriteBytes(dir_ + L"notes.txt", "mine too"));
    WriteRecords(dir_);
    ASSERT_TRUE(SetValue(kVersionKey, L"SomethingElse", L"kept"));
    MakeShortcuts(dir_);

    RunResult r = RunUninstaller();
    ASSERT_TRUE(r.finished);
    EXPECT_EQ(0u, r.exit_code);

    for (const wchar_t* gone : {L"pkl.exe", L"uninstall.lst", L"readonly.ini", L"jre", L"logs", L"data\\templates"})
        EXPECT_FALSE(Exists(dir_ + gone)) << Narrow(gone) << " is still there";
    EXPECT_EQ("mine", ReadBytes(dir_ + L"data\\我的笔记.txt"));
    EXPECT_EQ("mine too", ReadBytes(dir_ + L"notes.txt"));
    EXPECT_TRUE(WaitUntilGone(dir_ + L"uninstall.exe", 15000)) << "uninstall.exe did not delete itself";
    EXPECT_TRUE(IsFolder(dir_)) << "the folder holds the user's files and must stay";

    EXPECT_FALSE(KeyExists(kProductKey));
    EXPECT_FALSE(KeyExists(kUninstallKey));
    EXPECT_EQ(L"<no value>", GetValue(kVersionKey, L"tsmVersion"));
    EXPECT_EQ(L"<no value>", GetValue(kVersionKey, L"tsmFilePath"));
    EXPECT_EQ(L"<no value>", GetValue(kVersionKey, L"tsmType"));
    EXPECT_EQ(L"kept", GetValue(kVersionKey, L"SomethingElse")) << "another value of the version key";

    for (const std::wstring& lnk :
         {startup_ + L"Quillmate.lnk", desktop_ + L"Quillmate.lnk", group_ + L"Quillmate.lnk", group_ + L"卸载.lnk"})
        EXPECT_FALSE(Exists(lnk)) << Narrow(lnk) << " is still there";
    EXPECT_FALSE(Exists(group_)) << "the Start Menu folder is still there";
}

TEST_F(Uninstall, RemovesTheFolderWhenNothingElseIsInIt) {
    Install({L"pkl.exe", L"uninstall.exe", L"uninstall.lst", L"jre\\", L"jre\\lib\\", L"jre\\lib\\rt.jar.pack.gz"});
    ASSERT_TRUE(WriteBytes(dir_ + L"jre\\lib\\rt.jar", "expanded"));
    WriteRecords(dir_, false);
    RunResult r = RunUninstaller();
    ASSERT_TRUE(r.finished);
    EXPECT_EQ(0u, r.exit_code);
    EXPECT_TRUE(WaitUntilGone(dir_, 15000)) << Narrow(dir_) << " is still there";
    EXPECT_FALSE(KeyExists(kProductKey));
    EXPECT_FALSE(KeyExists(kUninstallKey));
    EXPECT_FALSE(KeyExists(kVersionKey));
}

TEST_F(Uninstall, LeavesAnotherInstallationsRecordsAndShortcuts) {
    std::wstring other = root_.path() + L"elsewhere\\";
    MakeFolders(other);
    ASSERT_TRUE(WriteBytes(other + L"pkl.exe", "the other copy"));
    Install({L"pkl.exe", L"uninstall.exe", L"uninstall.lst"});
    WriteRecords(other);
    MakeShortcuts(other);
    ASSERT_TRUE(SetValue(kUninstallKey, L"UninstallString", L"\"" + other + L"uninstall.exe\" /S"));

    RunResult r = RunUninstaller();
    ASSERT_TRUE(r.finished);
    EXPECT_EQ(0u, r.exit_code);
    EXPECT_FALSE(Exists(dir_ + L"pkl.exe"));
    EXPECT_EQ("the other copy", ReadBytes(other + L"pkl.exe"));
    EXPECT_EQ(other, GetValue(kProductKey, L"Path"));
    EXPECT_EQ(L"\"" + other + L"uninstall.exe\" /S", GetValue(kUninstallKey, L"UninstallString"));
    EXPECT_EQ(L"Orvane", GetValue(kUninstallKey, L"DisplayName"));
    EXPECT_EQ(other, GetValue(kVersionKey, L"tsmFilePath"));
    for (const std::wstring& lnk :
         {startup_ + L"Quillmate.lnk", desktop_ + L"Quillmate.lnk", group_ + L"Quillmate.lnk", group_ + L"卸载.lnk"})
        EXPECT_TRUE(Exists(lnk)) << Narrow(lnk) << " points elsewhere and must stay";
    EXPECT_TRUE(WaitUntilGone(dir_ + L"uninstall.exe", 15000));
}

TEST_F(Uninstall, NeverFollowsManifestLinesOutOfTheFolder) {
    ASSERT_TRUE(WriteBytes(root_.path() + L"victim.txt", "keep me"));
    std::string manifest = "pkl.exe\r\n..\\victim.txt\r\n" + Narrow(root_.path()) + "victim.txt\r\n" +
                           "data\\..\\..\\victim.txt\r\n\\victim.txt\r\nuninstall.exe\r\nuninstall.lst\r\n";
    ASSERT_TRUE(WriteBytes(dir_ + L"pkl.exe", "x"));
    ASSERT_TRUE(WriteBytes(dir_ + L"uninstall.lst", manifest));
    RunResult r = RunUninstaller();
    ASSERT_TRUE(r.finished);
    EXPECT_EQ(0u, r.exit_code);
    EXPECT_FALSE(Exists(dir_ + L"pkl.exe"));
    EXPECT_EQ("keep me", ReadBytes(root_.path() + L"victim.txt"));
    EXPECT_TRUE(WaitUntilGone(dir_, 15000));
}

TEST_F(Uninstall, WithoutManifestRemovesNothing) {
    ASSERT_TRUE(WriteBytes(dir_ + L"pkl.exe", "x"));
    WriteRecords(dir_);
    RunResult r = RunUninstaller();
    ASSERT_TRUE(r.finished);
    EXPECT_EQ(3u, r.exit_code);
    Sleep(1000);
    EXPECT_TRUE(Exists(dir_ + L"pkl.exe"));
    EXPECT_TRUE(Exists(dir_ + L"uninstall.exe"));
    EXPECT_EQ(dir_, GetValue(kProductKey, L"Path"));
}

TEST_F(Uninstall, ReportsWhatItCouldNotRemove) {
    Install({L"pkl.exe", L"uninstall.exe", L"uninstall.lst", L"locked.dat"});
    HANDLE busy = CreateFileW((dir_ + L"locked.dat").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, busy);
    RunResult r = RunUninstaller();
    CloseHandle(busy);
    ASSERT_TRUE(r.finished);
    EXPECT_EQ(2u, r.exit_code);
    EXPECT_FALSE(Exists(dir_ + L"pkl.exe"));
    EXPECT_TRUE(Exists(dir_ + L"locked.dat"));
    EXPECT_TRUE(WaitUntilGone(dir_ + L"uninstall.exe", 15000));
}

// The copy that deletes uninstall.exe after it has ended once went to a name anybody could
// predict and make first: a file there is neither replaced nor run.
TEST_F(Uninstall, LeavesAFileAtThePredictableTemporaryNameAlone) {
    Install({L"pkl.exe", L"uninstall.exe", L"uninstall.lst"});
    wchar_t temp[MAX_PATH + 1] = L"";
    ASSERT_NE(0u, GetTempPathW(MAX_PATH + 1, temp));
    std::wstring planted;
    RunResult r = RunProgram(dir_ + L"uninstall.exe", L"/S", 60000, std::wstring(), [&](DWORD pid) {
        planted = std::wstring(temp) + L"~quillmate-uninstall-" + std::to_wstring(pid) + L".exe";
        WriteBytes(planted, "planted");
    });
    ASSERT_TRUE(r.finished);
    EXPECT_EQ(0u, r.exit_code);
    EXPECT_TRUE(WaitUntilGone(dir_ + L"uninstall.exe", 15000)) << "the hand-over must still work";
    const std::string left = ReadBytes(planted);
    EXPECT_TRUE(left == "planted") << "replaced by " << left.size() << " bytes";
    DeleteFileW(planted.c_str());
}

// Links put into D after the installation (tests/win/make_links.sh): a listed file that is
// a link now, and a listed file below a folder that is one. Their targets stay.
TEST(UninstallLinks, NeverFollowsALinkInsideTheFolder) {
    const std::wstring root = L"C:\\quillmate-links\\", dir = root + L"D\\";
    ASSERT_EQ("keep me", ReadBytes(root + L"outside\\victim.txt")) << "made by make_links.sh";
    ASSERT_TRUE(CopyFileW(FromBuildPath(UNINSTALL_EXE).c_str(), (dir + L"uninstall.exe").c_str(), FALSE));
    ASSERT_TRUE(WriteBytes(dir + L"uninstall.lst",
                           "pkl.exe\r\nlib\\\r\nlib\\victim.txt\r\nuninstall.exe\r\nuninstall.lst\r\n"));
    RunResult r = RunProgram(dir + L"uninstall.exe", L"/S", 60000);
    ASSERT_TRUE(r.finished);
    EXPECT_TRUE(WaitUntilGone(dir + L"uninstall.exe", 15000));
    EXPECT_EQ("keep me", ReadBytes(root + L"outside\\victim.txt"));
}

} // namespace
