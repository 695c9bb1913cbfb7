// The installation folder the installer makes itself: which level gets an access list of
// its own, and what the system then reports for it.
#include <gtest/gtest.h>
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>
#include <shlobj.h>

#include <string>

#include "install/InstallFolder.h"
#include "engine_support.h"

using namespace engine_test;

namespace {

std::string ProgramFilesFolder(int csidl) {
    char path[MAX_PATH] = "";
    return SUCCEEDED(SHGetFolderPathA(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path)) ? path : "";
}

TEST(InstallFolder, ProgramFilesFoldersAndOnlyThoseKeepTheirOwnList) {
    const std::string native = ProgramFilesFolder(CSIDL_PROGRAM_FILES);
    const std::string x86 = ProgramFilesFolder(CSIDL_PROGRAM_FILESX86);
    ASSERT_FALSE(native.empty());
    ASSERT_FALSE(x86.empty());
    const struct {
        std::string path;
        bool inside;
    } cases[] = {
            {native + "\\dunmerra", true},
            {native + "\\dunmerra\\bin", true},
            {native, true},
            {x86 + "\\dunmerra", true},
            {"c:\\PROGRAM FILES\\dunmerra", true},
            {native + "x\\dunmerra", false},
            {native + " (old)\\dunmerra", false},
            {"C:\\dunmerra", false},
            {"D:\\Program Files\\dunmerra", false},
            {"C:\\Users\\Public\\Program Files\\dunmerra", false},
    };
    for (const auto& c : cases) EXPECT_EQ(c.inside, IsInProgramFiles(c.path.c_str())) << c.path;

    // A 32-bit process learns of the 64-bit folder from ProgramW6432 only.
    char saved[MAX_PATH] = "";
    const DWORD had = GetEnvironmentVariableA("ProgramW6432", saved, sizeof(saved));
    SetEnvironmentVariableA("ProgramW6432", "C:\\Native Programs");
    EXPECT_TRUE(IsInProgramFiles("C:\\Native Programs\\dunmerra"));
    SetEnvironmentVariableA("ProgramW6432", had ? saved : nullptr);
}

TEST(InstallFolder, TheListOfAFolderMadeOutsideProgramFiles) {
    PSECURITY_DESCRIPTOR sd = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA(kMadeFolderAccess, SDDL_REVISION_1, &sd, nullptr));
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ASSERT_TRUE(GetSecurityDescriptorControl(sd, &control, &revision));
    EXPECT_TRUE(control & SE_DACL_PROTECTED) << "nothing inherited from the parent";
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    ASSERT_TRUE(GetSecurityDescriptorDacl(sd, &present, &dacl, &defaulted));
    ASSERT_TRUE(present && dacl);
    const struct {
        WELL_KNOWN_SID_TYPE who;
        ACCESS_MASK mask;
    } expected[] = {
            {WinBuiltinAdministratorsSid, FILE_ALL_ACCESS},
            {WinLocalSystemSid, FILE_ALL_ACCESS},
            {WinBuiltinUsersSid, FILE_GENERIC_READ | FILE_GENERIC_EXECUTE},
    };
    ASSERT_EQ(sizeof(expected) / sizeof(expected[0]), dacl->AceCount);
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        ACCESS_ALLOWED_ACE* ace = nullptr;
        ASSERT_TRUE(GetAce(dacl, i, reinterpret_cast<void**>(&ace)));
        EXPECT_EQ(ACCESS_ALLOWED_ACE_TYPE, ace->Header.AceType);
        EXPECT_EQ(OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE,
                  ace->Header.AceFlags & (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE | INHERIT_ONLY_ACE))
                << i;
        EXPECT_EQ(expected[i].mask, ace->Mask) << i;
        EXPECT_TRUE(IsWellKnownSid(&ace->SidStart, expected[i].who)) << i;
    }
    LocalFree(sd);
}

// Read back from the file system. Wine keeps no access lists on disk and reports one made
// from the POSIX mode: the owner (the user Wine runs as) and SYSTEM, and Everyone for
// what others may do. So the check is what both systems must show: nobody outside
// Administrators, SYSTEM, Users and the folder's owner, Users at most reading, and the
// world (Everyone, Authenticated Users) nothing, as it would have from the parent.
TEST(InstallFolder, MadeFolderGrantsOthersNothing) {
    TempDir temp("made folder");
    const std::string top = temp.path() + "D";
    ASSERT_TRUE(MakeSureFolderExists((top + "\\Quillmate\\bin\\").c_str()));
    ASSERT_TRUE(FileExists(top + "\\Quillmate\\bin"));
    PSECURITY_DESCRIPTOR sd = nullptr;
    PACL dacl = nullptr;
    PSID owner = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              GetNamedSecurityInfoA(top.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION | OWNER_SECURITY_INFORMATION,
                                    &owner, nullptr, &dacl, nullptr, &sd));
    ASSERT_TRUE(dacl);
    LPSTR text = nullptr;
    ConvertSecurityDescriptorToStringSecurityDescriptorA(sd, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text,
                                                         nullptr);
    const std::string shown = text ? text : "?";
    LocalFree(text);
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        ACCESS_ALLOWED_ACE* ace = nullptr;
        ASSERT_TRUE(GetAce(dacl, i, reinterpret_cast<void**>(&ace)));
        if (ace->Header.AceType != ACCESS_ALLOWED_ACE_TYPE) continue;
        PSID who = &ace->SidStart;
        const bool trusted = IsWellKnownSid(who, WinBuiltinAdministratorsSid) ||
                             IsWellKnownSid(who, WinLocalSystemSid) || (owner && EqualSid(who, owner));
        if (trusted) continue;
        EXPECT_TRUE(IsWellKnownSid(who, WinBuiltinUsersSid)) << "a grant to someone else: " << shown;
        EXPECT_EQ(0u, ace->Mask & ~static_cast<ACCESS_MASK>(FILE_GENERIC_READ | FILE_GENERIC_EXECUTE)) << shown;
    }
    LocalFree(sd);
}

} // namespace
