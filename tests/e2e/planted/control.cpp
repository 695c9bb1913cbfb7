// A program that leaves the DLL search as it is and loads each DLL named on its command
// line (separated by blanks) by name, as system DLLs do: beside it, planted DLLs are what
// it gets. It imports kernel32 only, so none of the names is loaded before it asks.
// Exit code: how many names could not be loaded at all.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR args, int) {
    int missing = 0;
    for (wchar_t* p = args; *p;) {
        while (*p == L' ') ++p;
        wchar_t* end = p;
        while (*end && *end != L' ') ++end;
        const bool last = *end == 0;
        *end = 0;
        if (*p && !LoadLibraryW(p)) ++missing;
        p = last ? end : end + 1;
    }
    return missing;
}
