// Paths and command lines of the finishing actions. Portable (no windows.h).
#pragma once
#include <cstddef>

#include "afx/afxstr.h"
#include "product.h"

// Buffer sizes of the finishing actions.
constexpr size_t kTargetPathBytes = 255;   // directory plus program name
constexpr size_t kShortcutPathBytes = 260; // MAX_PATH

// a followed by b (and c) in buf (size bytes). FALSE, with buf emptied, when it does not fit
// or a part is missing: a path that was cut short is never used.
bool JoinBounded(char* buf, size_t size, const char* a, const char* b, const char* c = "");

// The shortcut's working directory: the target's text before its last backslash
// (a whole character, not a trail byte), "" when there is none. "D:\app.exe" gives "D:".
CString LinkWorkingDirectory(const char* target);

// A program path as a command line: in double quotes, so that a blank in the path
// does not split it.
CString QuotedCommandLine(const char* path);

// The uninstall entry's command: the uninstaller in the install directory, quoted.
CString UninstallCommandLine(const char* installDir);

// The browser's command line: one blank, then the address.
inline const char* const kSuccessPageCommandLine = product::kFinishSuccessCommandLine;
