// Finding and stopping the archiver by its executable name.
#include <windows.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <string>

#include "engine_support.h"
#include "finish/Registry.h"
#include "install/ArchiverWatch.h"
#include "install/Rollback.h"
#include "pages/InstallPage.h"

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
    Sleep(300);  // both listed
    const DWORD expected = FirstInSnapshot("UHARC.EXE");
    EXPECT_TRUE(expected == first.Id() || expected == second.Id()) << expected;
    for (const char* name : {"UHARC.EXE", "uharc.exe", "UhArC.ExE"})
        EXPECT_EQ(expected, FindProcessByName(name)) << name << " (children " << first.Id() << ", " << second.Id() << ")";
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
    RollBackInstallation(dir.path().c_str());  // a second time finds nothing and says nothing
}

}  // namespace
