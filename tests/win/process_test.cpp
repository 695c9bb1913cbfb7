// Finding and stopping the archiver by its executable name.
#include <windows.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine_support.h"
#include "finish/Registry.h"
#include "install/ArchiverWatch.h"
#include "install/HeldFiles.h"
#include "install/HiddenConsole.h"
#include "install/Rollback.h"
#include "install/StartInstall.h"

using namespace engine_test;

namespace {

// The first process of a fresh snapshot named name (any case), as the system lists them.
DWORD FirstInSnapshot(const char* name) {
    const HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 e;
    e.dwSize = sizeof(e);
    DWORD pid = 0;
    for (BOOL more = Process32First(snap, &e); more && !pid; more = Process32Next(snap, &e))
        if (lstrcmpiA(e.szExeFile, name) == 0) pid = e.th32ProcessID;
    CloseHandle(snap);
    return pid;
}

// Waits until a process named name shows in the process list.
bool WaitForProcess(const char* name, DWORD timeoutMs) {
    for (DWORD waited = 0; waited < timeoutMs; waited += 50) {
        if (FirstInSnapshot(name)) return true;
        Sleep(50);
    }
    return false;
}

TEST(FindProcessByName, NoneRunningGivesZero) {
    EXPECT_EQ(0u, FindProcessByName("no-such-program-of-the-tests.exe"));
    EXPECT_EQ(0u, FindProcessByName(""));
    EXPECT_EQ(0u, FindProcessByName(nullptr));
}

TEST(FindProcessByName, FindsItselfInAnyCase) {
    std::string self = SelfPath();
    self = self.substr(self.rfind('\\') + 1);
    std::string upper = self;
    for (char& c : upper) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    EXPECT_EQ(FirstInSnapshot(self.c_str()), FindProcessByName(upper.c_str())) << upper;
}

TEST(FindProcessByName, FirstMatchInSnapshotOrderAnyCase) {
    ASSERT_EQ(0u, FirstInSnapshot("UHARC.EXE")) << "an archiver from elsewhere is running";
    TempDir dir("findproc");
    ASSERT_TRUE(InstallStandIn(dir + "a\\UhArC.exe"));
    ASSERT_TRUE(InstallStandIn(dir + "b\\uharc.EXE"));
    Child first, second;
    ASSERT_TRUE(first.Start(dir + "a\\UhArC.exe", "--sleep 30000"));
    ASSERT_TRUE(second.Start(dir + "b\\uharc.EXE", "--sleep 30000"));
    ASSERT_TRUE(WaitForProcess("UHARC.EXE", 10000));
    Sleep(300); // both listed
    const DWORD expected = FirstInSnapshot("UHARC.EXE");
    EXPECT_TRUE(expected == first.Id() || expected == second.Id()) << expected;
    for (const char* name : {"UHARC.EXE", "uharc.exe", "UhArC.ExE"})
        EXPECT_EQ(expected, FindProcessByName(name))
                << name << " (children " << first.Id() << ", " << second.Id() << ")";
}

TEST(Rollback, StopArchiverTerminatesWithCode4AndWaits) {
    ASSERT_EQ(0u, FirstInSnapshot("UHARC.EXE")) << "an archiver from elsewhere is running";
    EXPECT_FALSE(StopArchiver(0)) << "nothing to stop";
    TempDir dir("stoparc");
    ASSERT_TRUE(InstallStandIn(dir + "uharc.exe"));
    Child archiver;
    ASSERT_TRUE(archiver.Start(dir + "uharc.exe", "--sleep 60000"));
    ASSERT_TRUE(WaitForProcess("UHARC.EXE", 10000));
    EXPECT_TRUE(StopArchiver(5000));
    DWORD code = 0;
    ASSERT_TRUE(archiver.Wait(0, &code)) << "still running after StopArchiver returned";
    EXPECT_EQ(4u, code);
    EXPECT_TRUE(WaitForArchiverEnd(0));
}

TEST(ArchiverWatch, RunningThenEndedWithItsExitCode) {
    TempDir dir("watch");
    ASSERT_TRUE(InstallStandIn(dir + "worker.exe"));
    ASSERT_TRUE(WriteText(dir + "script.txt", "sleep 700\nexit 3\n"));
    Child child;
    ASSERT_TRUE(child.Start(dir + "worker.exe", "--script \"" + (dir + "script.txt") + "\""));
    ASSERT_TRUE(WatchArchiver(child.Id()));
    EXPECT_TRUE(IsArchiverRunning());
    DWORD code = 0;
    EXPECT_FALSE(GetArchiverExitCode(0, &code)) << "still running";
    ASSERT_TRUE(GetArchiverExitCode(10000, &code));
    EXPECT_EQ(3u, code);
    EXPECT_FALSE(IsArchiverRunning());
    ForgetArchiver();
    EXPECT_FALSE(GetArchiverExitCode(0, &code)) << "nothing watched";
}

TEST(ArchiverWatch, WithoutAHandleTheProcessListDecides) {
    ASSERT_EQ(0u, FirstInSnapshot("UHARC.EXE")) << "an archiver from elsewhere is running";
    EXPECT_FALSE(WatchArchiver(0));
    EXPECT_FALSE(IsArchiverRunning());
    TempDir dir("watch");
    ASSERT_TRUE(InstallStandIn(dir + "UHARC.EXE"));
    Child archiver;
    ASSERT_TRUE(archiver.Start(dir + "UHARC.EXE", "--sleep 30000"));
    ASSERT_TRUE(WaitForProcess("UHARC.EXE", 10000));
    EXPECT_TRUE(IsArchiverRunning());
}

TEST(Rollback, RemovesTheTwoFilesAndTheUninstallValues) {
    RegistrySandbox sandbox;
    ASSERT_TRUE(sandbox.ok());
    TempDir dir("rollback");
    WriteInstallRecords(dir.path().c_str());
    for (const char* name : {"fenrow.uha", "UHARC.EXE", "pkl.exe"}) ASSERT_TRUE(WriteText(dir + name, name));
    RollBackInstallation(dir.path().c_str());
    EXPECT_FALSE(FileExists(dir + "fenrow.uha"));
    EXPECT_FALSE(FileExists(dir + "UHARC.EXE"));
    EXPECT_TRUE(FileExists(dir + "pkl.exe")) << "extracted files stay";
    EXPECT_EQ("<missing>", RegValue(SETUP_UNINSTALL_KEY, "DisplayName"));
    EXPECT_EQ("<missing>", RegValue(SETUP_UNINSTALL_KEY, "DisplayVersion"));
    EXPECT_EQ("<missing>", RegValue(SETUP_UNINSTALL_KEY, "UninstallString"));
    EXPECT_EQ(dir.path() + std::string(1, '\0'), RegValue("Software\\tesmarin", "Path"));
    RollBackInstallation(dir.path().c_str()); // a second time finds nothing and says nothing
}

// What another program can do to a file: each attempt that succeeds (and is undone).
std::vector<std::string> ChangesThatWork(const std::string& path) {
    std::vector<std::string> worked;
    const HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 nullptr, OPEN_EXISTING, 0, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
        worked.push_back("opened for writing");
        CloseHandle(h);
    }
    if (MoveFileA(path.c_str(), (path + ".aside").c_str())) {
        worked.push_back("renamed");
        MoveFileA((path + ".aside").c_str(), path.c_str());
    }
    const std::string copy = path + ".copy";
    CopyFileA(path.c_str(), copy.c_str(), FALSE);
    if (DeleteFileA(path.c_str())) {
        worked.push_back("deleted");
        MoveFileA(copy.c_str(), path.c_str());
    }
    DeleteFileA(copy.c_str());
    return worked;
}

std::string Joined(const std::vector<std::string>& items) {
    std::string all;
    for (const std::string& i : items) all += i + "; ";
    return all;
}

// Written and held: nobody else can write, rename or delete it, while reading (as the
// archiver opens its archive) and running it (CreateProcess) still work; once let go,
// it can be deleted.
TEST(HeldFiles, AWrittenFileCannotBeChangedButStillReadAndRun) {
    TempDir dir("held");
    const std::string self = ReadText(SelfPath());
    ASSERT_GT(self.size(), 1000u);
    const std::string exe = dir + "worker.exe";
    ASSERT_TRUE(WriteHeldFile(HeldFile::Archiver, exe.c_str(), self.data(), static_cast<DWORD>(self.size())));
    EXPECT_TRUE(IsFileHeld(HeldFile::Archiver));
    EXPECT_TRUE(ChangesThatWork(exe).empty()) << Joined(ChangesThatWork(exe));
    EXPECT_EQ(self, ReadText(exe));
    const HANDLE reader = CreateFileA(exe.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(INVALID_HANDLE_VALUE, reader) << "the archiver could not open its archive, error " << GetLastError();
    if (reader != INVALID_HANDLE_VALUE) CloseHandle(reader);
    ASSERT_TRUE(WriteText(dir + "script.txt", "exit 7\n"));
    DWORD pid = 0;
    const HANDLE child =
            StartWithoutWindow(("\"" + exe + "\" --script \"" + dir.path() + "script.txt\"").c_str(), nullptr, &pid);
    ASSERT_NE(nullptr, child) << "a held program cannot be started, error " << GetLastError();
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(child, 20000));
    DWORD code = 0;
    GetExitCodeProcess(child, &code);
    CloseHandle(child);
    EXPECT_EQ(7u, code);
    ReleaseHeldFile(HeldFile::Archiver);
    EXPECT_FALSE(IsFileHeld(HeldFile::Archiver));
    EXPECT_TRUE(DeleteFileA(exe.c_str())) << "still held after it was let go";
}

// A file that someone else holds open for writing is not taken for ours, nor is one
// whose bytes differ from what was meant to be written.
TEST(HeldFiles, NothingIsHeldThatAnotherHandleMayWrite) {
    TempDir dir("held");
    const std::string path = dir + "fenrow.uha";
    ASSERT_TRUE(WriteText(path, "old"));
    const HANDLE other =
            CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                        OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, other);
    EXPECT_FALSE(WriteHeldFile(HeldFile::Archive, path.c_str(), "payload", 7));
    EXPECT_FALSE(IsFileHeld(HeldFile::Archive));
    EXPECT_FALSE(HoldFile(HeldFile::Archive, path.c_str()));
    CloseHandle(other);
    EXPECT_FALSE(HoldFileMatching(HeldFile::Archive, path.c_str(), 3, 0)) << "CRC-32 of \"old\" is not 0";
    EXPECT_FALSE(IsFileHeld(HeldFile::Archive));
    EXPECT_TRUE(HoldFileMatching(HeldFile::Archive, path.c_str(), 3, 0x3F5DD4E5u)) << "the CRC-32 of \"old\"";
    EXPECT_FALSE(HoldFileMatching(HeldFile::Archive, path.c_str(), 4, 0x3F5DD4E5u)) << "another size";
    ReleaseHeldFile(HeldFile::Archive);
}

} // namespace
