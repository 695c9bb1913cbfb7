#include "app/FolderText.h"

void NormalizeFolder(CString& strFolder) {
    strFolder.TrimRight(' ');
    strFolder.TrimRight('\\');
    strFolder += '\\';
}
