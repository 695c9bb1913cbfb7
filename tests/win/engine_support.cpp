#include "engine_support.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <gtest/gtest.h>

namespace engine_test {

std::string SelfPath() {
    char path[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, path, sizeof(path));
    return path;
}

bool OnWine() {
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

namespace {

std::wstring FromAnsi(const std::string& text) {
    std::wstring wide(text.size(), L'\0');
    wide.resize(static_cast<size_t>(MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &wide[0],
                                                        static_cast<int>(wide.size()))));
    return wide;
}

std::string ToAnsi(const std::wstring& text) {
    std::string narrow(text.size() * 2, '\0');
    narrow.resize(
            static_cast<size_t>(WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &narrow[0],
                                                    static_cast<int>(narrow.size()), nullptr, nullptr)));
    return narrow;
}

} // namespace

TempDir::TempDir(const char* tag) : m_folder(FromAnsi(tag)), m_path(ToAnsi(m_folder.path())) {}

bool FileExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool WriteText(const std::string& path, const std::string& text) {
    const HANDLE h =
            CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD done = 0;
    const bool ok = text.empty() ||
                    (WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &done, nullptr) && done == text.size());
    return CloseHandle(h) && ok;
}

std::string ReadText(const std::string& path) {
    const HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return "<missing>";
    std::string data;
    char buf[4096];
    DWORD got = 0;
    while (ReadFile(h, buf, sizeof(buf), &got, nullptr) && got > 0) data.append(buf, got);
    CloseHandle(h);
    return data;
}

void MakeFolders(const std::string& path) {
    for (size_t pos = path.find('\\', 3); pos != std::string::npos; pos = path.find('\\', pos + 1))
        CreateDirectoryA(path.substr(0, pos).c_str(), nullptr);
}

bool InstallStandIn(const std::string& path) {
    MakeFolders(path.substr(0, path.rfind('\\') + 1));
    return CopyFileA(SelfPath().c_str(), path.c_str(), FALSE) != FALSE;
}

std::vector<Recorded> WaitForRecordings(const std::string& logDir, size_t count, DWORD timeoutMs) {
    std::vector<Recorded> found;
    for (const e2e::Recording& r : e2e::WaitForRecordings(FromAnsi(logDir), count, timeoutMs))
        found.push_back({r.created, ToAnsi(r.commandLine)});
    return found;
}

Child::~Child() { Kill(); }

bool Child::Start(const std::string& exe, const std::string& args) {
    std::string cmd = "\"" + exe + "\" " + args;
    STARTUPINFOA si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(exe.c_str(), &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return false;
    m_process = CProcess(pi);
    return true;
}

bool Child::Wait(DWORD timeoutMs, DWORD* exitCode) {
    if (!m_process) return true;
    if (!m_process.Wait(timeoutMs)) return false;
    if (exitCode) *exitCode = m_process.ExitCode();
    return true;
}

void Child::Kill() {
    if (!m_process) return;
    if (!m_process.Wait(0)) {
        TerminateProcess(m_process.Get(), 255);
        m_process.Wait(5000);
    }
    m_process.Close();
}

namespace {
const char kSandboxKey[] = "Software\\SetupEngineTestSandbox";
}

RegistrySandbox::RegistrySandbox(bool unwritable) {
    // Start from an empty key every time.
    RegDeleteTreeA(HKEY_CURRENT_USER, kSandboxKey);
    if (CRegKey().Create(HKEY_CURRENT_USER, kSandboxKey) != ERROR_SUCCESS) return;
    if (m_key.Open(HKEY_CURRENT_USER, kSandboxKey, unwritable ? KEY_READ : KEY_ALL_ACCESS) != ERROR_SUCCESS) return;
    m_ok = RegOverridePredefKey(HKEY_LOCAL_MACHINE, m_key.Get()) == ERROR_SUCCESS;
    if (m_ok && unwritable) m_ok = RegDeleteKeyA(HKEY_CURRENT_USER, kSandboxKey) == ERROR_SUCCESS;
}

RegistrySandbox::~RegistrySandbox() {
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
    m_key.Close();
    RegDeleteTreeA(HKEY_CURRENT_USER, kSandboxKey);
}

std::string RegValue(const char* subKey, const char* name) {
    CRegKey key;
    if (key.Open(HKEY_LOCAL_MACHINE, subKey, KEY_QUERY_VALUE) != ERROR_SUCCESS) return "<missing>";
    char data[1024];
    DWORD size = sizeof(data), type = 0;
    const LONG rc = RegQueryValueExA(key.Get(), name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
    if (rc != ERROR_SUCCESS) return "<missing>";
    if (type != REG_SZ) return "<type " + std::to_string(type) + ">";
    return std::string(data, size); // the NUL is part of the stored data
}

bool RegKeyExists(const char* subKey) {
    return CRegKey().Open(HKEY_LOCAL_MACHINE, subKey, KEY_QUERY_VALUE) == ERROR_SUCCESS;
}

bool RegPut(const char* subKey, const char* name, const char* data) {
    CRegKey key;
    return key.Create(HKEY_LOCAL_MACHINE, subKey) == ERROR_SUCCESS && key.SetString(name, data) == ERROR_SUCCESS;
}

namespace {

// Writes "<creation time>\t<command line>" to ENGINE_TEST_LOG\<pid>.done (written under
// another name first, so that a reader never sees half a recording).
// The scripted archiver: prints the script's rows into the console it shares with the
// test. Script lines: "print TEXT" (TEXT from column 0 of the cursor row, cursor after
// it), "newline", "sleep MS", "exit CODE", and "out TEXT": TEXT and a line end written
// to the standard output handle, as the archiver writes its rows.
int RunScript(const char* scriptPath) {
    const HANDLE out = CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_EXISTING, 0, nullptr);
    const std::string script = ReadText(scriptPath);
    size_t pos = 0;
    while (pos < script.size()) {
        size_t end = script.find('\n', pos);
        if (end == std::string::npos) end = script.size();
        const std::string line = script.substr(pos, end - pos);
        pos = end + 1;
        DWORD written = 0;
        if (line.compare(0, 6, "print ") == 0) {
            const std::string text = "\r" + line.substr(6);
            WriteConsoleA(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        } else if (line.compare(0, 4, "out ") == 0) {
            const std::string text = line.substr(4) + "\r\n";
            WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        } else if (line == "newline") {
            WriteConsoleA(out, "\r\n", 2, &written, nullptr);
        } else if (line.compare(0, 6, "sleep ") == 0) {
            Sleep(static_cast<DWORD>(std::atoi(line.c_str() + 6)));
        } else if (line.compare(0, 5, "exit ") == 0) {
            return std::atoi(line.c_str() + 5);
        }
    }
    return 0;
}

std::string LowerBaseName(const std::string& path) {
    std::string name = path.substr(path.find_last_of("\\/") + 1);
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return name;
}

} // namespace

bool RunChildRole(int argc, char** argv, int* exitCode) {
    const std::string self = LowerBaseName(SelfPath());
    if (self == "unpack200.exe" || self == "iexplore.exe" || self == "pkl.exe") {
        *exitCode = e2e::RecordCommandLine(L"ENGINE_TEST_LOG");
        return true;
    }
    if (argc >= 3 && std::strcmp(argv[1], "--sleep") == 0) {
        Sleep(static_cast<DWORD>(std::atoi(argv[2])));
        *exitCode = 0;
        return true;
    }
    if (argc >= 3 && std::strcmp(argv[1], "--script") == 0) {
        *exitCode = RunScript(argv[2]);
        return true;
    }
    return false;
}

} // namespace engine_test

int main(int argc, char** argv) {
    int exitCode = 0;
    if (engine_test::RunChildRole(argc, argv, &exitCode)) return exitCode;
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
