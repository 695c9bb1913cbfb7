#include "finish/FinishPaths.h"

#include <cstdio>

bool JoinBounded(char* buf, size_t size, const char* a, const char* b, const char* c) {
    if (!buf || size == 0) return false;
    buf[0] = '\0';
    if (!a || !b || !c) return false;
    const int n = std::snprintf(buf, size, "%s%s%s", a, b, c);
    if (n < 0 || static_cast<size_t>(n) >= size) {
        buf[0] = '\0';
        return false;
    }
    return true;
}

CString LinkWorkingDirectory(const char* target) {
    const CString path(target);
    const int slash = path.ReverseFind('\\');
    return slash < 0 ? CString() : path.Left(slash);
}

CString QuotedCommandLine(const char* path) {
    CString line("\"");
    line += path;
    line += '"';
    return line;
}

CString UninstallCommandLine(const char* installDir) {
    CString path(installDir);
    path += product::kFilesUninstaller;
    return QuotedCommandLine(path);
}
