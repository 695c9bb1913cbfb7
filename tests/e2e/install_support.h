// Helpers of the installation scenarios: the payload's trees, files and folders,
// registry values and processes as another program sees them, and the recording
// stand-ins (browser, unrelated archiver) played by the scenario program itself.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "machine.h"

namespace install_e2e {

// A setup.exe variant built beside the default one ("setup_flipped" ...).
std::wstring VariantExe(const wchar_t* variant);

using e2e::CanOpenForWriting;
using e2e::Exists;
using e2e::FilesBelow;
using e2e::ReadBytes;
using e2e::RemoveTree;
using e2e::WriteBytes;
// A folder path under %TEMP% that does not exist yet (ends in a backslash).
std::wstring FreshTempPath(const wchar_t* tag);
// FILETIME as a number of 100 ns units.
ULONGLONG Ticks(const FILETIME& ft);
ULONGLONG Now();
ULONGLONG CreationTime(const std::wstring& path);
// Last write time; 0 when the file is missing.
ULONGLONG WriteTime(const std::wstring& path);

using e2e::RegString;
ULONGLONG RegKeyWriteTime(const wchar_t* subKey);

using e2e::KillProcesses;
using e2e::ProcessIds;
ULONGLONG ProcessCreationTime(DWORD pid);

using e2e::BrowserStandIn;
using e2e::Link;
using e2e::ReadLink;
using e2e::Recording;
using e2e::WaitForRecordings;
std::wstring SpecialFolder(int csidl);

inline constexpr wchar_t kUninstallLinkName[] = L"\x5378\x8F7D.lnk"; // 卸载.lnk
// The default product's four shortcuts and the Start-menu group that holds two of them.
struct ProductLinks {
    ProductLinks();
    std::wstring startup, desktop, group, program, uninstaller;
    std::vector<std::wstring> files() const { return {startup, desktop, program, uninstaller}; }
    void Remove() const;
};
// Each shortcut, read back through the shell, starts dir's program (or its uninstaller)
// in dir, shown normally; and none was written before madeAfter.
void ExpectProductLinks(const ProductLinks& links, const std::wstring& dir, ULONGLONG madeAfter = 0);

// Copies setupExe to out with archive as its resource 132 (the payload), for timing
// installations of other payloads. FALSE when a step failed.
bool MakeSetupWithArchive(const std::wstring& setupExe, const std::wstring& archive, const std::wstring& out);
// The same for any payload resource: 132 the archive, 133 the archiver.
bool MakeSetupWithResource(const std::wstring& setupExe, int id, const std::wstring& file, const std::wstring& out);

// The roles of this program as a child: TRUE (exit code in *code) when it played one.
bool RunChildRole(int argc, wchar_t** argv, int* code);

} // namespace install_e2e
