// Helpers of the installation engine's in-process tests: temporary folders, the test
// program re-run as a stand-in for other programs (archiver, expander, browser), and a
// registry sandbox.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "afx/afxhandle.h"
#include "machine.h"

namespace engine_test {

// This test program's own path.
std::string SelfPath();
// True when running under Wine (some platform behaviours differ there).
bool OnWine();

// A fresh folder under %TEMP% (path ends in a backslash), removed with its content.
// The same as e2e::TempFolder, its path in the ANSI code page that the program speaks.
class TempDir {
public:
    explicit TempDir(const char* tag);
    const std::string& path() const { return m_path; }
    std::string operator+(const char* name) const { return m_path + name; }

private:
    e2e::TempFolder m_folder;
    std::string m_path;
};

bool FileExists(const std::string& path);
bool WriteText(const std::string& path, const std::string& text);
std::string ReadText(const std::string& path); // "<missing>" when unreadable
// Creates every folder along path (which ends in a backslash).
void MakeFolders(const std::string& path);

// A stand-in started by the code under test: a copy of this program under the name the
// code expects. Copies named unpack200.exe or iexplore.exe record their command line
// in the folder named by ENGINE_TEST_LOG, one file per process.
bool InstallStandIn(const std::string& path);

// One command line recorded by a stand-in, with its process's creation time.
struct Recorded {
    ULONGLONG created = 0;
    std::string commandLine;
};
// The recordings in logDir, oldest process first; waits up to timeoutMs for count of them.
std::vector<Recorded> WaitForRecordings(const std::string& logDir, size_t count, DWORD timeoutMs);

// A child process of this program (or a stand-in copy of it), killed when the object goes.
class Child {
public:
    Child() = default;
    ~Child();
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    // Starts exe with arguments, attached to this program's console. FALSE on failure.
    bool Start(const std::string& exe, const std::string& args);
    DWORD Id() const { return m_process.Id(); }
    HANDLE Handle() const { return m_process.Get(); }
    // FALSE when still running after timeoutMs.
    bool Wait(DWORD timeoutMs, DWORD* exitCode = nullptr);
    void Kill();

private:
    CProcess m_process;
};

// Redirects HKEY_LOCAL_MACHINE of this process to a scratch key under HKEY_CURRENT_USER
// for the object's lifetime, so that the tests read and write the product's keys
// without touching the machine's. With unwritable the scratch key is deleted while
// still redirected to, so that every creation and open below it fails, as for a user
// without write access under HKEY_LOCAL_MACHINE (Wine does not check key access).
class RegistrySandbox {
public:
    explicit RegistrySandbox(bool unwritable = false);
    ~RegistrySandbox();
    RegistrySandbox(const RegistrySandbox&) = delete;
    RegistrySandbox& operator=(const RegistrySandbox&) = delete;
    bool ok() const { return m_ok; }

private:
    CRegKey m_key;
    bool m_ok = false;
};

// A REG_SZ value as stored (with its terminating NUL), read through the redirected
// HKEY_LOCAL_MACHINE. "<missing>" when absent, "<type N>" for another type.
std::string RegValue(const char* subKey, const char* name);
bool RegKeyExists(const char* subKey);
// Writes a REG_SZ value (creating the key) through the redirected HKEY_LOCAL_MACHINE.
bool RegPut(const char* subKey, const char* name, const char* data);

// The roles of this program when it is re-run as a child: returns TRUE (and sets
// *exitCode) when it played one.
bool RunChildRole(int argc, char** argv, int* exitCode);

} // namespace engine_test
