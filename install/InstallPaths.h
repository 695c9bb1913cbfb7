// The installation directory and the names built from it: which folders can be
// installed into, the archiver's and the expander's command lines, and the name an
// expanded library gets. Portable (no windows.h).
#pragma once
#include <cstddef>

#include "afx/afxstr.h"

// Longest installation directory, trailing backslash included. The uninstaller's name appended
// must fit the 255-byte buffers the registry records are built in (241), and the
// expansion's MAX_PATH names, D + "jre\lib\ext\*.pack.gz" and the expander
// D + "jre\bin\unpack200.exe" (21 bytes each), must fit 259 characters: beyond 238 the
// libraries would silently stay packed.
constexpr int kMaxInstallDirBytes = 238;

// True when dir (ending in a backslash, as the frame leaves it) names a folder that the
// installation can use: absolute ("X:\..." or "\\server\share\..."), at most
// kMaxInstallDirBytes bytes, and every name between its separators (\ and /) one that
// afx/afxname.h accepts. The walk is multibyte-aware, so a double-byte character whose
// trail byte happens to equal '\' or '|' is taken whole.
bool IsUsableInstallDir(const char* dir);

// "<D>\<archiver>" x -y "<D>\<archive>" with the quotes; D's own trailing backslash
// and the literal's leading one give the doubled separator the file functions accept.
CString ArchiverCommandLine(const char* dir);

// The file an expanded library is written to: name without its ".pack.gz" suffix, in
// any letter case. FALSE (out emptied) when the name does not end in the suffix or
// nothing is left, so that input and output never name the same file.
bool PackOutputName(const char* name, CString& out);

// Search pattern for the packed libraries directly in dirWithSlash, in a buffer of
// size bytes. FALSE (buffer emptied) when it does not fit.
bool PackSearchPattern(char* buf, size_t size, const char* dirWithSlash);

// "<D>jre\bin\unpack200" "<P><N>" "<P><B>" in a buffer of size bytes. FALSE (buffer
// emptied) when the line does not fit; nothing is then started.
bool ExpanderCommandLine(char* buf, size_t size, const char* installDir, const char* packDir, const char* name,
                         const char* outName);
