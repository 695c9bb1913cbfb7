// The product's registry records, read back through a redirected HKEY_LOCAL_MACHINE.
#include <gtest/gtest.h>

#include <string>

#include "engine_support.h"
#include "finish/Registry.h"
#include "install/Rollback.h"
#include "pages/FolderPage.h"

using namespace engine_test;

namespace {

const char kProduct[] = "Software\\tesmarin";
const char kUninstall[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\tesmarin";
const char kVersion[] = "SOFTWARE\\tsmVersion";

// The stored data of a REG_SZ value: the text and its terminating NUL.
std::string Sz(const std::string& text) { return text + std::string(1, '\0'); }

TEST(Registry, InstallRecordsForTheDefaultFolder) {
    RegistrySandbox sandbox;
    ASSERT_TRUE(sandbox.ok());
    WriteInstallRecords("C:\\Program Files\\dunmerra\\");
    EXPECT_EQ(Sz("C:\\Program Files\\dunmerra\\"), RegValue(kProduct, "Path"));
    EXPECT_EQ(Sz("Orvane"), RegValue(kUninstall, "DisplayName"));
    EXPECT_EQ(Sz("1.0.0"), RegValue(kUninstall, "DisplayVersion"));
    // Quoted: unquoted, the blank lets the system start C:\Program.exe.
    EXPECT_EQ(Sz("\"C:\\Program Files\\dunmerra\\uninstall.exe\""), RegValue(kUninstall, "UninstallString"));
    EXPECT_FALSE(RegKeyExists(kVersion)) << "the version record is written at the end only";
}

TEST(Registry, InstallRecordsForADriveRoot) {
    RegistrySandbox sandbox;
    ASSERT_TRUE(sandbox.ok());
    WriteInstallRecords("D:\\");
    EXPECT_EQ(Sz("D:\\"), RegValue(kProduct, "Path"));
    EXPECT_EQ(Sz("\"D:\\uninstall.exe\""), RegValue(kUninstall, "UninstallString"));
}

TEST(Registry, ReinstallOverwritesTheSevenValuesAndKeepsOthers) {
    RegistrySandbox sandbox;
    ASSERT_TRUE(sandbox.ok());
    ASSERT_TRUE(RegPut(kProduct, "Other", "kept 1"));
    ASSERT_TRUE(RegPut(kUninstall, "Publisher", "kept 2"));
    ASSERT_TRUE(RegPut(kVersion, "tsmOther", "kept 3"));
    for (const char* dir : {"E:\\old\\", "C:\\Program Files\\dunmerra\\"}) {
        WriteInstallRecords(dir);
        g_strInstallDir = dir;
        WriteVersionRecord();
    }
    EXPECT_EQ(Sz("C:\\Program Files\\dunmerra\\"), RegValue(kProduct, "Path"));
    EXPECT_EQ(Sz("Orvane"), RegValue(kUninstall, "DisplayName"));
    EXPECT_EQ(Sz("1.0.0"), RegValue(kUninstall, "DisplayVersion"));
    EXPECT_EQ(Sz("\"C:\\Program Files\\dunmerra\\uninstall.exe\""), RegValue(kUninstall, "UninstallString"));
    EXPECT_EQ(Sz("1.0.0614"), RegValue("Software\\tsmVersion", "tsmVersion"));
    EXPECT_EQ(Sz("C:\\Program Files\\dunmerra\\"), RegValue(kVersion, "tsmFilePath"));
    EXPECT_EQ(Sz("xl"), RegValue(kVersion, "tsmType"));
    EXPECT_EQ(Sz("kept 1"), RegValue(kProduct, "Other"));
    EXPECT_EQ(Sz("kept 2"), RegValue(kUninstall, "Publisher"));
    EXPECT_EQ(Sz("kept 3"), RegValue(kVersion, "tsmOther"));
    EXPECT_EQ("<missing>", RegValue(kProduct, "")) << "no default value is set";
    g_strInstallDir = "";
}

TEST(Registry, VersionRecordTakesTheGlobalFolder) {
    RegistrySandbox sandbox;
    ASSERT_TRUE(sandbox.ok());
    // No fixed buffer: a folder longer than the install records allow is written whole.
    const std::string longDir = "C:\\" + std::string(300, 'v') + "\\";
    g_strInstallDir = longDir.c_str();
    WriteVersionRecord();
    EXPECT_EQ(Sz(longDir), RegValue(kVersion, "tsmFilePath"));
    g_strInstallDir = "";
}

TEST(Registry, DeleteRegistryValue) {
    RegistrySandbox sandbox;
    ASSERT_TRUE(sandbox.ok());
    EXPECT_FALSE(DeleteRegistryValue("SOFTWARE\\NoSuchKeyOfTheTests", "DisplayName")) << "missing key";
    WriteInstallRecords("C:\\Q\\");
    EXPECT_FALSE(DeleteRegistryValue(kUninstall, "NoSuchValue")) << "missing value";
    EXPECT_TRUE(DeleteRegistryValue(kUninstall, "DisplayName"));
    EXPECT_EQ("<missing>", RegValue(kUninstall, "DisplayName"));
    EXPECT_FALSE(DeleteRegistryValue(kUninstall, "DisplayName")) << "deleted twice";
}

TEST(Registry, RemovingTheUninstallEntryKeepsPathAndKey) {
    RegistrySandbox sandbox;
    ASSERT_TRUE(sandbox.ok());
    WriteInstallRecords("C:\\Q\\");
    RemoveUninstallEntry();
    for (const char* name : {"DisplayName", "DisplayVersion", "UninstallString"})
        EXPECT_EQ("<missing>", RegValue(kUninstall, name)) << name;
    EXPECT_TRUE(RegKeyExists(kUninstall));
    EXPECT_EQ(Sz("C:\\Q\\"), RegValue(kProduct, "Path"));
}

TEST(Registry, WithoutWriteAccessNothingIsWrittenAndNothingFails) {
    RegistrySandbox sandbox(/*unwritable=*/true);
    ASSERT_TRUE(sandbox.ok());
    WriteInstallRecords("C:\\Program Files\\dunmerra\\");
    g_strInstallDir = "C:\\Program Files\\dunmerra\\";
    WriteVersionRecord();
    g_strInstallDir = "";
    EXPECT_FALSE(RegKeyExists(kProduct));
    EXPECT_FALSE(RegKeyExists(kUninstall));
    EXPECT_FALSE(RegKeyExists(kVersion));
    EXPECT_FALSE(DeleteRegistryValue(kUninstall, "DisplayName"));
    RemoveUninstallEntry(); // silent as well
}

} // namespace
