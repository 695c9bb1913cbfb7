// The folder text typed on the folder page becomes the installation directory.
#pragma once
#include "afx/afxstr.h"

// Removes the trailing blanks, then the trailing backslashes, and appends one
// backslash, walking the text in the ANSI code page.
void NormalizeFolder(CString& strFolder);
