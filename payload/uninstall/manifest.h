// The install manifest (uninstall.lst, written into the archive by `uharc a`) and the
// plan of what the uninstaller removes for it.
#pragma once

#include <string>
#include <vector>

namespace uninst {

struct Manifest {
    std::vector<std::wstring> files;   // relative paths, backslash-separated
    std::vector<std::wstring> folders; // relative paths without the trailing backslash
    size_t rejected = 0;               // lines that could name something outside the folder
};

// Parses the manifest text: UTF-8 (a BOM is allowed), one relative path per line, CRLF
// or LF, folders ending in a backslash. Forward slashes count as backslashes. Lines that
// are absolute, climb out ("..") or name devices or streams are counted in `rejected`
// and dropped. False when the text is not valid UTF-8.
bool ParseManifest(const std::string& text, Manifest* out);

// True when `rel` is a relative path that stays inside the folder it is appended to.
bool IsSafeRelativePath(const std::wstring& rel);

// For "x\lib\rt.jar.pack.gz" (suffix in any case) the expanded library "x\lib\rt.jar";
// empty when `rel` is not a packed library or has nothing before the suffix.
std::wstring ExpandedName(const std::wstring& rel);

// Folders ordered so that every folder comes before its parents (deepest first).
std::vector<std::wstring> DeepestFirst(std::vector<std::wstring> folders);

// Case-insensitive (ordinal, as the file system compares names).
bool SamePath(const std::wstring& a, const std::wstring& b);

// True when `path` lies inside `folder` (which ends in a backslash), compared as paths
// are on Windows: case-insensitive, "\\?\"-free full paths.
bool IsInside(const std::wstring& path, const std::wstring& folder);

} // namespace uninst
