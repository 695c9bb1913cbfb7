// Owning wrappers for what the system hands out and wants back: kernel handles, find
// handles, processes, registry keys, LocalAlloc'ed memory, COM pointers and apartments,
// the wide argument list. Each is non-copyable, movable where an owner is handed on, and
// releases in its destructor. A failed call leaves the wrapper empty (Get() is null), so
// "empty" is the one test of failure whatever value the system used to signal it.
// Header-only: uninstall.exe, unpack200, the archiver and the tests use it without the
// rest of the framework.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <shellapi.h>

#include <utility>

// A kernel handle: file, pipe, token, snapshot, thread, event, process. Both of the
// system's failure values, NULL and INVALID_HANDLE_VALUE, are taken as "no handle".
class CHandle {
public:
    CHandle() = default;
    explicit CHandle(HANDLE h) : m_h(Valid(h)) {}
    ~CHandle() { Close(); }
    CHandle(const CHandle&) = delete;
    CHandle& operator=(const CHandle&) = delete;
    CHandle(CHandle&& other) noexcept : m_h(other.Detach()) {}
    CHandle& operator=(CHandle&& other) noexcept {
        if (this != &other) Attach(other.Detach());
        return *this;
    }

    HANDLE Get() const { return m_h; }
    explicit operator bool() const { return m_h != nullptr; }
    void Attach(HANDLE h) {
        Close();
        m_h = Valid(h);
    }
    HANDLE Detach() {
        const HANDLE h = m_h;
        m_h = nullptr;
        return h;
    }
    // CloseHandle's answer: false tells of a late write error. True when nothing was open.
    bool Close() {
        const HANDLE h = Detach();
        return !h || CloseHandle(h) != FALSE;
    }
    // For functions that hand a handle out through a pointer and leave NULL on failure
    // (OpenProcessToken, DuplicateTokenEx, CreatePipe).
    HANDLE* Out() {
        Close();
        return &m_h;
    }

private:
    static HANDLE Valid(HANDLE h) { return h == INVALID_HANDLE_VALUE ? nullptr : h; }
    HANDLE m_h = nullptr;
};

// A FindFirstFile search; empty when the search found nothing or failed.
class CFindHandle {
public:
    explicit CFindHandle(HANDLE h) : m_h(h == INVALID_HANDLE_VALUE ? nullptr : h) {}
    ~CFindHandle() {
        if (m_h) FindClose(m_h);
    }
    CFindHandle(const CFindHandle&) = delete;
    CFindHandle& operator=(const CFindHandle&) = delete;
    HANDLE Get() const { return m_h; }
    explicit operator bool() const { return m_h != nullptr; }

private:
    HANDLE m_h;
};

// A process: its handle and id. Empty (no handle, id 0) when it could not be started or
// opened; an empty process counts as not ended and its exit code is STILL_ACTIVE.
class CProcess {
public:
    CProcess() = default;
    // Takes what CreateProcess filled in; the thread handle is closed at once.
    explicit CProcess(const PROCESS_INFORMATION& pi) : m_h(pi.hProcess), m_id(m_h ? pi.dwProcessId : 0) {
        if (pi.hThread) CloseHandle(pi.hThread);
    }
    CProcess(HANDLE h, DWORD id) : m_h(h), m_id(m_h ? id : 0) {}
    CProcess(const CProcess&) = delete;
    CProcess& operator=(const CProcess&) = delete;
    CProcess(CProcess&& other) noexcept : m_h(std::move(other.m_h)), m_id(std::exchange(other.m_id, 0)) {}
    CProcess& operator=(CProcess&& other) noexcept {
        m_h = std::move(other.m_h);
        m_id = std::exchange(other.m_id, 0);
        return *this;
    }
    // A running process by id, with the given access.
    static CProcess Open(DWORD id, DWORD access) { return CProcess(OpenProcess(access, FALSE, id), id); }

    HANDLE Get() const { return m_h.Get(); }
    DWORD Id() const { return m_id; }
    explicit operator bool() const { return static_cast<bool>(m_h); }
    // True when the process has ended within ms milliseconds (0: only looks).
    bool Wait(DWORD ms) const { return m_h && WaitForSingleObject(m_h.Get(), ms) == WAIT_OBJECT_0; }
    DWORD ExitCode() const {
        DWORD code = STILL_ACTIVE;
        if (!m_h || !GetExitCodeProcess(m_h.Get(), &code)) return STILL_ACTIVE;
        return code;
    }
    HANDLE Detach() {
        m_id = 0;
        return m_h.Detach();
    }
    void Close() {
        m_h.Close();
        m_id = 0;
    }

private:
    CHandle m_h;
    DWORD m_id = 0;
};

// An open registry key. Every call returns the registry's own result (ERROR_SUCCESS or
// its error code); on failure no key is held.
class CRegKey {
public:
    CRegKey() = default;
    ~CRegKey() { Close(); }
    CRegKey(const CRegKey&) = delete;
    CRegKey& operator=(const CRegKey&) = delete;

    // RegCreateKeyA: creates the key, or opens it when it exists.
    LONG Create(HKEY parent, const char* subKey) { return Adopt(RegCreateKeyA(parent, subKey, Out())); }
    // RegOpenKeyA, with the access it grants.
    LONG Open(HKEY parent, const char* subKey) { return Adopt(RegOpenKeyA(parent, subKey, Out())); }
    LONG Open(HKEY parent, const char* subKey, REGSAM access) {
        return Adopt(RegOpenKeyExA(parent, subKey, 0, access, Out()));
    }
    LONG Open(HKEY parent, const wchar_t* subKey, REGSAM access) {
        return Adopt(RegOpenKeyExW(parent, subKey, 0, access, Out()));
    }
    LONG Create(HKEY parent, const wchar_t* subKey, REGSAM access) {
        return Adopt(RegCreateKeyExW(parent, subKey, 0, nullptr, 0, access, nullptr, Out(), nullptr));
    }
    // A REG_SZ value with its terminating NUL.
    LONG SetString(const char* name, const char* data) {
        return RegSetValueExA(m_h, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data),
                              static_cast<DWORD>(lstrlenA(data) + 1));
    }
    LONG SetString(const wchar_t* name, const wchar_t* data) {
        return RegSetValueExW(m_h, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data),
                              static_cast<DWORD>((lstrlenW(data) + 1) * sizeof(wchar_t)));
    }
    LONG DeleteValue(const char* name) { return RegDeleteValueA(m_h, name); }
    LONG DeleteValue(const wchar_t* name) { return RegDeleteValueW(m_h, name); }

    HKEY Get() const { return m_h; }
    explicit operator bool() const { return m_h != nullptr; }
    void Close() {
        if (m_h) RegCloseKey(m_h);
        m_h = nullptr;
    }

private:
    HKEY* Out() {
        Close();
        return &m_h;
    }
    LONG Adopt(LONG result) {
        if (result != ERROR_SUCCESS) m_h = nullptr;
        return result;
    }
    HKEY m_h = nullptr;
};

// Memory the system allocated with LocalAlloc for the caller (FormatMessage's buffer,
// a converted security descriptor, CommandLineToArgvW's list).
template <class T>
class CLocalPtr {
public:
    CLocalPtr() = default;
    explicit CLocalPtr(T p) : m_p(p) {}
    ~CLocalPtr() {
        if (m_p) LocalFree(reinterpret_cast<HLOCAL>(m_p));
    }
    CLocalPtr(const CLocalPtr&) = delete;
    CLocalPtr& operator=(const CLocalPtr&) = delete;
    T Get() const { return m_p; }
    T* Out() { return &m_p; }

private:
    T m_p = nullptr;
};

// A COM interface pointer, released when the object goes; empty when the call that
// was to fill it failed.
template <class T>
class CComPtr {
public:
    CComPtr() = default;
    ~CComPtr() {
        if (m_p) m_p->Release();
    }
    CComPtr(const CComPtr&) = delete;
    CComPtr& operator=(const CComPtr&) = delete;
    T* operator->() const { return m_p; }
    T* Get() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }
    // For CoCreateInstance and QueryInterface.
    void** Out() { return reinterpret_cast<void**>(&m_p); }

private:
    T* m_p = nullptr;
};

// CoInitialize for the lifetime of the object; uninitialised only when it took (S_OK
// or S_FALSE). A refused initialisation is not an error here: a thread that is already
// in another apartment can still use the shell's in-process objects.
class CComApartment {
public:
    CComApartment() : m_hr(CoInitialize(nullptr)) {}
    ~CComApartment() {
        if (SUCCEEDED(m_hr)) CoUninitialize();
    }
    CComApartment(const CComApartment&) = delete;
    CComApartment& operator=(const CComApartment&) = delete;
    bool Ok() const { return SUCCEEDED(m_hr); }

private:
    HRESULT m_hr;
};

// This process's command line split as the C runtime splits it (CommandLineToArgvW);
// no arguments at all when it cannot be split.
class CArgv {
public:
    CArgv() : m_argv(CommandLineToArgvW(GetCommandLineW(), &m_argc)) {}
    CArgv(const CArgv&) = delete;
    CArgv& operator=(const CArgv&) = delete;
    int Count() const { return m_argv.Get() ? m_argc : 0; }
    const wchar_t* operator[](int i) const { return m_argv.Get()[i]; }

private:
    int m_argc = 0;
    CLocalPtr<LPWSTR*> m_argv;
};
