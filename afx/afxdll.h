// Loading DLLs only from the system folder. An installer is started from folders that
// anybody can write to (Downloads), often elevated; Windows looks for a DLL that is not
// a Known DLL in the executable's own folder and in the current folder first. So the
// programs import at load time only Known DLLs, restrict the search before anything
// else runs, and load every other library by its place in the system folder.
// Header-only: the uninstaller uses it without the rest of the framework.
#pragma once

#include <windows.h>

#include <type_traits>

// The exported function name of a library as a pointer of type Fn* (Fn a function type,
// e.g. decltype(::InitCommonControlsEx)); nullptr when the module or the name is missing.
// Through void*: a direct cast between function pointer types would hide a wrong Fn
// behind -Wcast-function-type.
template <class Fn>
Fn* AfxGetProc(HMODULE hModule, const char* lpszName) {
    static_assert(std::is_function<Fn>::value, "Fn must be a function type");
    FARPROC proc = hModule ? ::GetProcAddress(hModule, lpszName) : nullptr;
    return reinterpret_cast<Fn*>(reinterpret_cast<void*>(proc));
}

// Whether this system knows LOAD_LIBRARY_SEARCH_SYSTEM32 (Windows 8 and later, Windows 7
// with KB2533623): it has SetDefaultDllDirectories then.
inline decltype(::SetDefaultDllDirectories)* AfxSetDefaultDllDirectoriesProc() {
    return AfxGetProc<decltype(::SetDefaultDllDirectories)>(::GetModuleHandleA("kernel32.dll"),
                                                            "SetDefaultDllDirectories");
}

// Loads a library (a bare file name such as "comctl32.dll") and the libraries it imports
// from the system folder; nullptr when it is not there.
inline HMODULE AfxLoadSystemLibrary(const char* lpszFileName) {
    if (AfxSetDefaultDllDirectoriesProc()) return ::LoadLibraryExA(lpszFileName, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    char path[MAX_PATH];
    const UINT n = ::GetSystemDirectoryA(path, sizeof(path));
    if (n == 0 || n + 1 + ::lstrlenA(lpszFileName) >= sizeof(path)) return nullptr;
    path[n] = '\\';
    ::lstrcpyA(path + n + 1, lpszFileName);
    return ::LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

// Libraries that the system's DLLs load by name, later and on their own (themes, the
// desktop compositor, property stores, the crypto and security helpers ...).
inline constexpr const char* kAfxLibrariesLoadedByName[] = {
        "uxtheme.dll", "dwmapi.dll",  "propsys.dll", "cryptbase.dll", "version.dll", "userenv.dll",
        "profapi.dll", "apphelp.dll", "oleacc.dll",  "ntmarta.dll",   "cryptsp.dll", "sspicli.dll",
};

// The first call of setup.exe and the uninstaller: from here on LoadLibrary (ours and that
// of the system's DLLs) searches the system folder only. Without SetDefaultDllDirectories,
// SetDllDirectory("") at least takes the current folder out of the search, but the
// executable's own folder stays first; so the libraries that system DLLs load by name are
// loaded now from the system folder, and a later load by name finds them loaded (as NSIS
// does). Delay-loads that bypass the default directories (Wine's) find them loaded too.
// They stay loaded for the life of the process.
inline void AfxRestrictDllSearch() {
    auto* setDefault = AfxSetDefaultDllDirectoriesProc();
    if (!setDefault || !setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32)) ::SetDllDirectoryA("");
    for (const char* name : kAfxLibrariesLoadedByName) AfxLoadSystemLibrary(name);
}

// A library loaded from the system folder, owned: freed in the destructor.
class CSystemLibrary {
public:
    // lpszFileName: a bare file name such as "comctl32.dll".
    explicit CSystemLibrary(const char* lpszFileName) : m_hModule(AfxLoadSystemLibrary(lpszFileName)) {}
    ~CSystemLibrary() {
        if (m_hModule) ::FreeLibrary(m_hModule);
    }
    CSystemLibrary(const CSystemLibrary&) = delete;
    CSystemLibrary& operator=(const CSystemLibrary&) = delete;

    HMODULE GetSafeHandle() const { return m_hModule; }
    template <class Fn>
    Fn* GetProc(const char* lpszName) const {
        return AfxGetProc<Fn>(m_hModule, lpszName);
    }

private:
    HMODULE m_hModule = nullptr;
};
