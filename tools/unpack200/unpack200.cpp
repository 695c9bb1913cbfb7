// unpack200 INPUT OUTPUT
//
// Expands one packed library of the installed runtime. Our packed libraries are the
// gzip of the library, so this is a careful gunzip: the result goes to a temporary file
// beside OUTPUT and is renamed over OUTPUT only once the whole stream and its CRC have
// checked out, so a failure never leaves a half-written or damaged OUTPUT behind.
//
// Exit codes: 0 expanded, 1 bad input or I/O error, 2 usage error or refused.
#include <windows.h>
#include <shellapi.h>
#include <string>

#include "afx/afxhandle.h"
#include "gunzip.h"

namespace {

enum ExitCode { kOk = 0, kFailed = 1, kRefused = 2 };

void WriteErr(const std::wstring& text) {
    HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    if (err == INVALID_HANDLE_VALUE || err == nullptr) return;
    DWORD mode = 0, done = 0;
    if (GetConsoleMode(err, &mode)) {
        WriteConsoleW(err, text.data(), static_cast<DWORD>(text.size()), &done, nullptr);
        return;
    }
    // Redirected: UTF-8, so that CJK paths survive whatever the code page.
    int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    if (n <= 0) return;
    std::string bytes(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &bytes[0], n, nullptr, nullptr);
    WriteFile(err, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr);
}

std::wstring SystemMessage(DWORD code) {
    CLocalPtr<wchar_t*> buf;
    DWORD n =
            FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                           nullptr, code, 0, reinterpret_cast<wchar_t*>(buf.Out()), 0, nullptr);
    std::wstring text;
    if (n && buf.Get()) {
        text.assign(buf.Get(), n);
        while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ')) text.pop_back();
    }
    wchar_t num[32];
    _snwprintf(num, sizeof(num) / sizeof(num[0]) - 1, L"error %lu", static_cast<unsigned long>(code));
    num[sizeof(num) / sizeof(num[0]) - 1] = L'\0';
    return text.empty() ? std::wstring(num) : text + L" (" + num + L")";
}

int Fail(int code, const std::wstring& what) {
    WriteErr(L"unpack200: " + what + L"\r\n");
    return code;
}

int FailSys(const std::wstring& what, const std::wstring& path, DWORD err) {
    return Fail(kFailed, what + L" \"" + path + L"\": " + SystemMessage(err));
}

// Empty on failure.
std::wstring FullPath(const wchar_t* path) {
    DWORD need = GetFullPathNameW(path, 0, nullptr, nullptr);
    if (need == 0) return std::wstring();
    std::wstring full(need, L'\0');
    DWORD got = GetFullPathNameW(path, need, &full[0], nullptr);
    if (got == 0 || got >= need) return std::wstring();
    full.resize(got);
    return full;
}

bool SameText(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

// False when the identity could not be read; then nothing is known.
bool FileIdentity(HANDLE h, BY_HANDLE_FILE_INFORMATION* info) { return GetFileInformationByHandle(h, info) != 0; }

bool SameIdentity(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b) {
    return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
           a.nFileIndexLow == b.nFileIndexLow;
}

// Creates a fresh temporary file beside `target`; invalid handle on failure.
HANDLE CreateTempBeside(const std::wstring& target, std::wstring* temp_name) {
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        wchar_t suffix[48];
        _snwprintf(suffix, sizeof(suffix) / sizeof(suffix[0]) - 1, L".%lx-%u.unpack200-tmp",
                   static_cast<unsigned long>(GetCurrentProcessId()), attempt);
        suffix[sizeof(suffix) / sizeof(suffix[0]) - 1] = L'\0';
        *temp_name = target + suffix;
        HANDLE h = CreateFileW(temp_name->c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
        if (h != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS) return h;
    }
    SetLastError(ERROR_FILE_EXISTS);
    return INVALID_HANDLE_VALUE;
}

class FileSource : public unpack200::ByteSource {
public:
    explicit FileSource(HANDLE h) : h_(h) {}
    bool Read(unsigned char* buf, size_t capacity, size_t* got) override {
        DWORD n = 0;
        DWORD want = capacity > (1u << 30) ? (1u << 30) : static_cast<DWORD>(capacity);
        if (!ReadFile(h_, buf, want, &n, nullptr)) {
            error_ = GetLastError();
            return false;
        }
        *got = n;
        return true;
    }
    DWORD error() const { return error_; }

private:
    HANDLE h_;
    DWORD error_ = 0;
};

class FileSink : public unpack200::ByteSink {
public:
    explicit FileSink(HANDLE h) : h_(h) {}
    bool Write(const unsigned char* data, size_t size) override {
        while (size > 0) {
            DWORD chunk = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
            DWORD done = 0;
            if (!WriteFile(h_, data, chunk, &done, nullptr) || done == 0) {
                error_ = GetLastError();
                return false;
            }
            data += done;
            size -= done;
        }
        return true;
    }
    DWORD error() const { return error_; }

private:
    HANDLE h_;
    DWORD error_ = 0;
};

// Inflates every gzip member of `in` into `out`. Returns kOk or an error code after
// reporting it.
int Expand(HANDLE in, HANDLE out, const std::wstring& in_name, const std::wstring& temp_name) {
    using unpack200::GunzipStatus;
    FileSource source(in);
    FileSink sink(out);
    static unpack200::GunzipBuffers buffers;
    unpack200::GunzipResult r = unpack200::Gunzip(source, sink, buffers);
    const wchar_t* kind = L"corrupt gzip data";
    switch (r.status) {
    case GunzipStatus::kOk:
        return kOk;
    case GunzipStatus::kOutOfMemory:
        return Fail(kFailed, L"out of memory");
    case GunzipStatus::kReadError:
        return FailSys(L"cannot read", in_name, source.error());
    case GunzipStatus::kWriteError:
        return FailSys(L"cannot write", temp_name, sink.error());
    case GunzipStatus::kTrailingGarbage:
        return Fail(kFailed, L"trailing garbage after gzip data in \"" + in_name + L"\"");
    case GunzipStatus::kTruncated:
        return Fail(kFailed, L"\"" + in_name + L"\" is truncated (unexpected end of gzip data)");
    case GunzipStatus::kCrcError:
        kind = L"CRC error";
        break;
    case GunzipStatus::kLengthMismatch:
        kind = L"length mismatch";
        break;
    case GunzipStatus::kNotGzip:
        kind = L"not in gzip format";
        break;
    case GunzipStatus::kCorrupt:
        break;
    }
    std::wstring text = std::wstring(L"\"") + in_name + L"\": " + kind;
    if (!r.detail.empty()) text += L" (" + std::wstring(r.detail.begin(), r.detail.end()) + L")";
    return Fail(kFailed, text);
}

int Run() {
    CArgv argv;
    if (argv.Count() != 3) return Fail(kRefused, L"usage: unpack200 INPUT OUTPUT");
    std::wstring in_name = FullPath(argv[1]);
    std::wstring out_name = FullPath(argv[2]);
    if (in_name.empty()) return FailSys(L"bad path", argv[1], GetLastError());
    if (out_name.empty()) return FailSys(L"bad path", argv[2], GetLastError());
    if (SameText(in_name, out_name)) return Fail(kRefused, L"refusing to expand \"" + in_name + L"\" onto itself");

    CHandle in(CreateFileW(in_name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!in) return FailSys(L"cannot open", in_name, GetLastError());
    BY_HANDLE_FILE_INFORMATION in_info{};
    if (!FileIdentity(in.Get(), &in_info)) return FailSys(L"cannot examine", in_name, GetLastError());
    if (in_info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return Fail(kFailed, L"\"" + in_name + L"\" is a folder");

    // Another spelling of the same file (short name, link, other case) is caught here.
    {
        CHandle existing(CreateFileW(out_name.c_str(), FILE_READ_ATTRIBUTES,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                     FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        if (existing) {
            BY_HANDLE_FILE_INFORMATION out_info{};
            if (!FileIdentity(existing.Get(), &out_info)) return FailSys(L"cannot examine", out_name, GetLastError());
            if (SameIdentity(in_info, out_info))
                return Fail(kRefused, L"refusing to expand \"" + in_name + L"\" onto itself (\"" + out_name +
                                              L"\" is the same file)");
            if (out_info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                return Fail(kFailed, L"\"" + out_name + L"\" is a folder");
        }
    }

    std::wstring temp_name;
    CHandle out(CreateTempBeside(out_name, &temp_name));
    if (!out) return FailSys(L"cannot create", temp_name, GetLastError());

    int rc = Expand(in.Get(), out.Get(), in_name, temp_name);
    if (rc == kOk && !out.Close()) rc = FailSys(L"cannot write", temp_name, GetLastError());
    out.Close();
    if (rc == kOk &&
        !MoveFileExW(temp_name.c_str(), out_name.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        rc = FailSys(L"cannot replace", out_name, GetLastError());
    if (rc != kOk) DeleteFileW(temp_name.c_str());
    return rc;
}

} // namespace

int main() {
    // A damaged input must give an exit code, never an error box that waits for a click.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    return Run();
}
