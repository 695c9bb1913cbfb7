#include "platform.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#ifdef _WIN32
#include <windows.h>

#include "afx/afxhandle.h"
#include "afx/afxpath.h"
#else
#include <dirent.h>
#include <pthread.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>
#endif

namespace uharc {
namespace sys {

namespace {
constexpr uint64_t kEpochDelta = 11644473600ull; // seconds from 1601 to 1970
// Extraction never writes through a link below the target folder.
const char kLinkInTheWay[] = "a link (junction, symbolic link or mount point) is in the way";
} // namespace

#ifdef _WIN32

namespace {

std::wstring widen(const std::string& s) {
    if (s.empty()) return std::wstring();
    int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, s.data(), static_cast<int>(s.size()), nullptr, 0);
    if (n <= 0) return std::wstring();
    std::wstring w(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, s.data(), static_cast<int>(s.size()), &w[0], n);
    return w;
}

bool narrow(const std::wstring& w, std::string& out) {
    out.clear();
    if (w.empty()) return true;
    int n = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, w.data(), static_cast<int>(w.size()), nullptr, 0,
                                nullptr, nullptr);
    if (n <= 0) return false;
    out.resize(static_cast<size_t>(n));
    WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, w.data(), static_cast<int>(w.size()), &out[0], n, nullptr,
                        nullptr);
    return true;
}

std::string last_error_text() {
    DWORD code = GetLastError();
    if (code == ERROR_DISK_FULL || code == ERROR_HANDLE_DISK_FULL) return "disk full";
    char buf[256] = "";
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                             MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), buf, sizeof(buf), nullptr);
    while (n > 0 && (buf[n - 1] == '\n' || buf[n - 1] == '\r' || buf[n - 1] == ' ' || buf[n - 1] == '.'))
        buf[--n] = '\0';
    if (n == 0) snprintf(buf, sizeof(buf), "system error %lu", static_cast<unsigned long>(code));
    return buf;
}

uint64_t from_filetime(const FILETIME& ft) {
    return (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

FILETIME to_filetime(uint64_t t) {
    FILETIME ft;
    ft.dwLowDateTime = static_cast<DWORD>(t);
    ft.dwHighDateTime = static_cast<DWORD>(t >> 32);
    return ft;
}

bool scan_rec(const std::wstring& dir, const std::string& rel, int depth, std::vector<ScanItem>& items,
              std::string& error) {
    if (depth > 128) {
        error = "folders nested too deep (a link loop?): " + rel;
        return false;
    }
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((dir + L"\\*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) {
        error = "cannot list " + (rel.empty() ? std::string(".") : rel) + ": " + last_error_text();
        return false;
    }
    bool ok = true;
    do {
        std::wstring name = fd.cFileName;
        if (name == L"." || name == L"..") continue;
        std::string uname;
        if (!narrow(name, uname)) {
            error = "file name is not valid Unicode in " + rel;
            ok = false;
            break;
        }
        ScanItem it;
        it.path = rel.empty() ? uname : rel + "/" + uname;
        it.attributes = fd.dwFileAttributes & kAttrMask;
        it.mode = 0;
        it.mtime = from_filetime(fd.ftLastWriteTime);
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            it.type = EntryType::Folder;
            it.size = 0;
            items.push_back(it);
            if (!scan_rec(dir + L"\\" + name, it.path, depth + 1, items, error)) {
                ok = false;
                break;
            }
        } else {
            it.type = EntryType::File;
            it.size = (static_cast<uint64_t>(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow;
            items.push_back(it);
        }
    } while (FindNextFileW(h, &fd));
    FindClose(h);
    return ok;
}

std::wstring long_form(const std::string& path) { return widen(path); }

// Paths here are all in the \\?\ form; a root keeps its backslash only as a folder to open.
std::wstring without_backslash(std::wstring p) {
    if (!p.empty() && p.back() == L'\\') p.pop_back();
    return p;
}

// The attributes alone: GetFileInformationByHandle also asks for the volume's serial,
// which under Wine is a round trip to the mount manager for every file.
bool attributes_of(HANDLE h, DWORD& attributes) {
    FILE_BASIC_INFO basic;
    if (!GetFileInformationByHandleEx(h, FileBasicInfo, &basic, sizeof(basic))) return false;
    attributes = basic.FileAttributes;
    return true;
}

// What `h` opened lies at `path` itself, reached through no link, junction or mount point
// (Wine shows a POSIX symbolic link only in the final path of what it opened). The
// attributes read on the way go to `read`.
bool reached_directly(HANDLE h, const std::wstring& path, DWORD* read = nullptr) {
    DWORD attributes;
    if (!attributes_of(h, attributes) || (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return false;
    if (read) *read = attributes;
    std::wstring got = without_backslash(AfxFinalPath(h)), want = without_backslash(path);
    return !got.empty() && CompareStringOrdinal(got.data(), static_cast<int>(got.size()), want.data(),
                                                static_cast<int>(want.size()), TRUE) == CSTR_EQUAL;
}

const DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// The name itself, never what a link there points to.
HANDLE open_itself(const std::wstring& path, DWORD access) {
    std::wstring p = path;
    if (!p.empty() && p.back() == L':') p += L'\\'; // the root folder, not the volume
    return CreateFileW(p.c_str(), access, kShareAll, nullptr, OPEN_EXISTING,
                       FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

// Nothing is created below a folder that a link leads to.
bool parent_is_direct(const std::wstring& path, std::string& error) {
    std::wstring parent = path.substr(0, path.find_last_of(L'\\'));
    CHandle h(open_itself(parent, FILE_READ_ATTRIBUTES));
    if (!h) {
        error = last_error_text();
        return false;
    }
    if (!reached_directly(h.Get(), parent)) {
        error = kLinkInTheWay;
        return false;
    }
    return true;
}

bool delete_opened(HANDLE h) {
    FILE_BASIC_INFO basic = {};
    basic.FileAttributes = FILE_ATTRIBUTE_NORMAL; // a read-only file refuses deletion
    SetFileInformationByHandle(h, FileBasicInfo, &basic, sizeof(basic));
    FILE_DISPOSITION_INFO gone = {};
    gone.DeleteFile = TRUE;
    return SetFileInformationByHandle(h, FileDispositionInfo, &gone, sizeof(gone)) != 0;
}

} // namespace

std::string join(const std::string& base, const std::string& rel) {
    std::string r = base + "\\" + rel;
    std::replace(r.begin() + static_cast<long>(base.size()), r.end(), '/', '\\');
    return r;
}

bool folder_base(const std::string& folder, std::string& base, std::string& error) {
    std::wstring w = widen(folder.empty() ? std::string(".") : folder);
    DWORD n = GetFullPathNameW(w.c_str(), 0, nullptr, nullptr);
    std::wstring full(n + 1, L'\0');
    n = GetFullPathNameW(w.c_str(), n + 1, &full[0], nullptr);
    if (n == 0) {
        error = "cannot resolve folder " + folder + ": " + last_error_text();
        return false;
    }
    full.resize(n);
    // The \\?\ form lifts the MAX_PATH limit and turns off name rewriting. The folder's
    // final path (links above it resolved) is what every path below it is checked against.
    {
        CHandle h(CreateFileW(full.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        std::wstring resolved = h ? AfxFinalPath(h.Get()) : std::wstring();
        if (resolved.empty()) {
            error = "cannot resolve folder " + folder + ": " + last_error_text();
            return false;
        }
        full = resolved;
    }
    while (full.size() > 3 && full.back() == L'\\') full.pop_back();
    if (full.back() == L'\\') full.pop_back();
    if (!narrow(full, base)) {
        error = "folder name is not valid Unicode";
        return false;
    }
    return true;
}

bool scan_folder(const std::string& root, std::vector<ScanItem>& items, std::string& error) {
    std::string base;
    if (!folder_base(root, base, error)) return false;
    DWORD a = GetFileAttributesW(long_form(base).c_str());
    if (a == INVALID_FILE_ATTRIBUTES || !(a & FILE_ATTRIBUTE_DIRECTORY)) {
        error = "not a folder: " + root;
        return false;
    }
    return scan_rec(long_form(base), "", 0, items, error);
}

FileReader::~FileReader() {
    if (handle_ != -1) CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

bool FileReader::open(const std::string& path, std::string& error) {
    HANDLE h = CreateFileW(widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        error = "cannot open " + path + ": " + last_error_text();
        return false;
    }
    handle_ = reinterpret_cast<intptr_t>(h);
    LARGE_INTEGER sz;
    if (GetFileSizeEx(h, &sz)) size_ = sz.QuadPart;
    return true;
}

long FileReader::read(uint8_t* buf, size_t n) {
    DWORD got = 0;
    DWORD want = static_cast<DWORD>(std::min<size_t>(n, 1u << 30));
    if (!ReadFile(reinterpret_cast<HANDLE>(handle_), buf, want, &got, nullptr)) return -1;
    return static_cast<long>(got);
}

long FileReader::read_at(uint64_t offset, uint8_t* buf, size_t n) {
    LARGE_INTEGER to;
    to.QuadPart = static_cast<LONGLONG>(offset);
    if (!SetFilePointerEx(reinterpret_cast<HANDLE>(handle_), to, nullptr, FILE_BEGIN)) return -1;
    return read(buf, n);
}

struct Thread::Start {
    static DWORD WINAPI run(void* arg) {
        Thread* t = static_cast<Thread*>(arg);
        t->body_();
        return 0;
    }
};

bool Thread::start(std::function<void()> body) {
    body_ = std::move(body);
    HANDLE h = CreateThread(nullptr, 256u << 10, &Start::run, this, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    if (!h) return false;
    handle_ = reinterpret_cast<intptr_t>(h);
    return true;
}

void Thread::join() {
    if (handle_ == -1) return;
    WaitForSingleObject(reinterpret_cast<HANDLE>(handle_), INFINITE);
    CloseHandle(reinterpret_cast<HANDLE>(handle_));
    handle_ = -1;
}

unsigned processor_count() {
    DWORD_PTR process = 0, system = 0;
    if (!GetProcessAffinityMask(GetCurrentProcess(), &process, &system)) return 1;
    unsigned n = 0;
    for (; process; process &= process - 1) ++n;
    return n ? n : 1;
}

Lock::Lock() {
    static_assert(sizeof(lock_) >= sizeof(SRWLOCK) && sizeof(cond_) >= sizeof(CONDITION_VARIABLE), "room");
    InitializeSRWLock(reinterpret_cast<SRWLOCK*>(&lock_));
    InitializeConditionVariable(reinterpret_cast<CONDITION_VARIABLE*>(&cond_));
}
Lock::~Lock() = default;
void Lock::acquire() { AcquireSRWLockExclusive(reinterpret_cast<SRWLOCK*>(&lock_)); }
void Lock::release() { ReleaseSRWLockExclusive(reinterpret_cast<SRWLOCK*>(&lock_)); }
void Lock::wait() {
    SleepConditionVariableSRW(reinterpret_cast<CONDITION_VARIABLE*>(&cond_), reinterpret_cast<SRWLOCK*>(&lock_),
                              INFINITE, 0);
}
void Lock::wake_all() { WakeAllConditionVariable(reinterpret_cast<CONDITION_VARIABLE*>(&cond_)); }

FileWriter::~FileWriter() {
    if (handle_ != -1) CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

bool FileWriter::create(const std::string& path, std::string& error, bool anywhere) {
    std::wstring w = long_form(path);
    if (anywhere) {
        DWORD a = GetFileAttributesW(w.c_str());
        if (a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) && !(a & FILE_ATTRIBUTE_REPARSE_POINT)) {
            error = "a folder is in the way";
            return false;
        }
        // By name: the link itself goes, on Windows and under Wine alike.
        if (a != INVALID_FILE_ATTRIBUTES) {
            SetFileAttributesW(w.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (!DeleteFileW(w.c_str()) && !RemoveDirectoryW(w.c_str())) {
                error = last_error_text();
                return false;
            }
        }
    }
    auto create_new = [&] {
        return CreateFileW(w.c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    };
    // Created first, looked at only when something holds the name: under Wine every
    // look for a name that is not there reads the whole folder.
    CHandle h(create_new());
    if (!h && !anywhere && GetLastError() == ERROR_FILE_EXISTS) {
        // The folders on the way were checked as they were made (make_folder); one swapped
        // for a link since then shows in the new file's final path below.
        CHandle old(open_itself(w, FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES | DELETE));
        if (old) {
            DWORD attributes = 0;
            if (!reached_directly(old.Get(), w, &attributes)) {
                error = kLinkInTheWay;
                return false;
            }
            if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
                error = "a folder is in the way";
                return false;
            }
            // What was checked is what goes; a read-only, hidden or system file too.
            if (!delete_opened(old.Get())) {
                error = last_error_text();
                return false;
            }
            old.Close(); // the name is free once the handle is gone
        } else if (GetLastError() != ERROR_FILE_NOT_FOUND) {
            error = last_error_text();
            return false;
        }
        h.Attach(create_new());
    }
    if (!h) {
        // The name was free a moment ago, or held a link that points nowhere.
        error = GetLastError() == ERROR_FILE_EXISTS ? std::string(kLinkInTheWay) : last_error_text();
        return false;
    }
    // A link put in place of a folder after the check above: the new, empty file goes again.
    if (!anywhere && !reached_directly(h.Get(), w)) {
        delete_opened(h.Get());
        error = kLinkInTheWay;
        return false;
    }
    handle_ = reinterpret_cast<intptr_t>(h.Detach());
    path_ = path;
    return true;
}

bool FileWriter::write(const void* data, size_t size, std::string& error) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        DWORD n = static_cast<DWORD>(std::min<size_t>(size, 1u << 30));
        DWORD done = 0;
        if (!WriteFile(reinterpret_cast<HANDLE>(handle_), p, n, &done, nullptr) || done == 0) {
            error = last_error_text();
            return false;
        }
        p += done;
        size -= done;
    }
    return true;
}

bool FileWriter::write_at(uint64_t offset, const void* data, size_t size, std::string& error) {
    LARGE_INTEGER li;
    li.QuadPart = static_cast<LONGLONG>(offset);
    if (!SetFilePointerEx(reinterpret_cast<HANDLE>(handle_), li, nullptr, FILE_BEGIN)) {
        error = last_error_text();
        return false;
    }
    return write(data, size, error);
}

bool FileWriter::close(uint64_t mtime, std::string& error) {
    HANDLE h = reinterpret_cast<HANDLE>(handle_);
    handle_ = -1;
    if (mtime != UINT64_MAX) {
        FILETIME ft = to_filetime(mtime);
        SetFileTime(h, nullptr, nullptr, &ft);
    }
    if (!CloseHandle(h)) {
        error = last_error_text();
        return false;
    }
    return true;
}

bool make_folder(const std::string& path, std::string& error) {
    std::wstring w = long_form(path);
    if (!parent_is_direct(w, error)) return false;
    if (!CreateDirectoryW(w.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
        error = last_error_text();
        return false;
    }
    CHandle h(open_itself(w, FILE_READ_ATTRIBUTES));
    DWORD attributes;
    if (!h || !attributes_of(h.Get(), attributes)) {
        error = last_error_text();
        return false;
    }
    if (!reached_directly(h.Get(), w)) {
        error = kLinkInTheWay;
        return false;
    }
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        error = "a file is in the way";
        return false;
    }
    return true;
}

bool exists(const std::string& path) { return GetFileAttributesW(long_form(path).c_str()) != INVALID_FILE_ATTRIBUTES; }

bool remove_file(const std::string& path) {
    std::wstring w = long_form(path);
    SetFileAttributesW(w.c_str(), FILE_ATTRIBUTE_NORMAL);
    return DeleteFileW(w.c_str()) != 0;
}

bool set_metadata(const std::string& path, const Entry& entry, bool folder, std::string& error) {
    std::wstring w = long_form(path);
    if (folder) {
        const CHandle h(CreateFileW(w.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        if (h) {
            FILETIME ft = to_filetime(entry.mtime);
            SetFileTime(h.Get(), nullptr, nullptr, &ft);
        }
        DWORD a = entry.attributes & (kAttrHidden | kAttrSystem);
        if (a && !SetFileAttributesW(w.c_str(), a)) {
            error = last_error_text();
            return false;
        }
        return true;
    }
    DWORD a = entry.attributes & kAttrMask;
    if (a == 0) return true;
    if (!SetFileAttributesW(w.c_str(), a)) {
        error = last_error_text();
        return false;
    }
    return true;
}

#else // POSIX

namespace {

std::string errno_text(int e) {
    if (e == ENOSPC) return "disk full";
    return std::strerror(e);
}

uint64_t ticks_from(const struct timespec& ts) {
    if (ts.tv_sec < -static_cast<long long>(kEpochDelta)) return 0;
    return (static_cast<uint64_t>(ts.tv_sec + static_cast<long long>(kEpochDelta))) * 10000000u +
           static_cast<uint64_t>(ts.tv_nsec) / 100u;
}

struct timespec timespec_from(uint64_t t) {
    struct timespec ts;
    ts.tv_sec = static_cast<time_t>(static_cast<long long>(t / 10000000u) - static_cast<long long>(kEpochDelta));
    ts.tv_nsec = static_cast<long>((t % 10000000u) * 100u);
    return ts;
}

struct DirId {
    dev_t dev;
    ino_t ino;
};

bool scan_rec(const std::string& dir, const std::string& rel, std::vector<DirId>& chain, std::vector<ScanItem>& items,
              std::string& error) {
    DIR* d = opendir(dir.c_str());
    if (!d) {
        error = "cannot list " + (rel.empty() ? std::string(".") : rel) + ": " + errno_text(errno);
        return false;
    }
    std::vector<std::string> names;
    while (struct dirent* de = readdir(d)) {
        if (std::strcmp(de->d_name, ".") == 0 || std::strcmp(de->d_name, "..") == 0) continue;
        names.push_back(de->d_name);
    }
    closedir(d);
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        std::string full = dir + "/" + name;
        ScanItem it;
        it.path = rel.empty() ? name : rel + "/" + name;
        struct stat st;
        if (stat(full.c_str(), &st) != 0) {
            error = "cannot read " + it.path + ": " + errno_text(errno);
            return false;
        }
        it.mode = st.st_mode & 0777;
        it.attributes = (st.st_mode & S_IWUSR) ? 0 : kAttrReadOnly;
        it.mtime = ticks_from(st.st_mtim);
        if (S_ISDIR(st.st_mode)) {
            for (const DirId& id : chain)
                if (id.dev == st.st_dev && id.ino == st.st_ino) {
                    error = "link loop at " + it.path;
                    return false;
                }
            it.type = EntryType::Folder;
            it.size = 0;
            items.push_back(it);
            chain.push_back({st.st_dev, st.st_ino});
            bool ok = scan_rec(full, it.path, chain, items, error);
            chain.pop_back();
            if (!ok) return false;
        } else if (S_ISREG(st.st_mode)) {
            it.type = EntryType::File;
            it.size = static_cast<uint64_t>(st.st_size);
            items.push_back(it);
        } else {
            error = "not a regular file or folder: " + it.path;
            return false;
        }
    }
    return true;
}

// The folder `fd` opened lies at `path` itself, reached through no symbolic link.
bool reached_directly(int fd, const std::string& path) {
    char link[64], buf[PATH_MAX];
    snprintf(link, sizeof(link), "/proc/self/fd/%d", fd);
    ssize_t n = readlink(link, buf, sizeof(buf));
    if (n > 0 && static_cast<size_t>(n) < sizeof(buf)) return std::string(buf, static_cast<size_t>(n)) == path;
    char* real = realpath(path.c_str(), nullptr); // no /proc: by the name instead
    bool same = real && path == real;
    free(real);
    return same;
}

// Opens the folder that holds `path` (-1 and error when a link leads there); `leaf` is
// the last name, to be used relative to it.
int open_parent(const std::string& path, std::string& leaf, std::string& error) {
    size_t cut = path.find_last_of('/');
    std::string parent = cut == std::string::npos ? std::string(".")
                         : cut == 0               ? std::string("/")
                                                  : path.substr(0, cut);
    leaf = cut == std::string::npos ? path : path.substr(cut + 1);
    int fd = ::open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        error = errno_text(errno);
        return -1;
    }
    if (!reached_directly(fd, parent)) {
        ::close(fd);
        error = kLinkInTheWay;
        return -1;
    }
    return fd;
}

class OwnedFd {
public:
    explicit OwnedFd(int fd) : fd_(fd) {}
    ~OwnedFd() {
        if (fd_ >= 0) ::close(fd_);
    }
    OwnedFd(const OwnedFd&) = delete;
    OwnedFd& operator=(const OwnedFd&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

} // namespace

std::string join(const std::string& base, const std::string& rel) { return base + "/" + rel; }

bool folder_base(const std::string& folder, std::string& base, std::string& error) {
    struct stat st;
    std::string f = folder.empty() ? std::string(".") : folder;
    char* real = stat(f.c_str(), &st) == 0 && S_ISDIR(st.st_mode) ? realpath(f.c_str(), nullptr) : nullptr;
    if (!real) {
        error = "not a folder: " + f;
        return false;
    }
    // Links above the folder resolved: every path below it is checked against this one.
    base = real;
    free(real);
    return true;
}

bool scan_folder(const std::string& root, std::vector<ScanItem>& items, std::string& error) {
    std::string base;
    if (!folder_base(root, base, error)) return false;
    struct stat st;
    stat(base.c_str(), &st);
    std::vector<DirId> chain{{st.st_dev, st.st_ino}};
    return scan_rec(base, "", chain, items, error);
}

FileReader::~FileReader() {
    if (handle_ != -1) ::close(static_cast<int>(handle_));
}

bool FileReader::open(const std::string& path, std::string& error) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = "cannot open " + path + ": " + errno_text(errno);
        return false;
    }
    handle_ = fd;
    struct stat st;
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) size_ = st.st_size;
    return true;
}

long FileReader::read(uint8_t* buf, size_t n) {
    for (;;) {
        ssize_t r = ::read(static_cast<int>(handle_), buf, std::min<size_t>(n, 1u << 30));
        if (r < 0 && errno == EINTR) continue;
        return static_cast<long>(r);
    }
}

long FileReader::read_at(uint64_t offset, uint8_t* buf, size_t n) {
    for (;;) {
        ssize_t r = ::pread(static_cast<int>(handle_), buf, std::min<size_t>(n, 1u << 30), static_cast<off_t>(offset));
        if (r < 0 && errno == EINTR) continue;
        return static_cast<long>(r);
    }
}

struct Thread::Start {
    static void* run(void* arg) {
        static_cast<Thread*>(arg)->body_();
        return nullptr;
    }
};

bool Thread::start(std::function<void()> body) {
    body_ = std::move(body);
    pthread_t t;
    if (pthread_create(&t, nullptr, &Start::run, this) != 0) return false;
    handle_ = static_cast<intptr_t>(t);
    return true;
}

void Thread::join() {
    if (handle_ == -1) return;
    pthread_join(static_cast<pthread_t>(handle_), nullptr);
    handle_ = -1;
}

unsigned processor_count() {
    long n = sysconf(_SC_NPROCESSORS_ONLN);
    return n > 0 ? static_cast<unsigned>(n) : 1;
}

Lock::Lock() {
    static_assert(sizeof(lock_) >= sizeof(pthread_mutex_t) && sizeof(cond_) >= sizeof(pthread_cond_t), "room");
    pthread_mutex_init(reinterpret_cast<pthread_mutex_t*>(&lock_), nullptr);
    pthread_cond_init(reinterpret_cast<pthread_cond_t*>(&cond_), nullptr);
}
Lock::~Lock() {
    pthread_cond_destroy(reinterpret_cast<pthread_cond_t*>(&cond_));
    pthread_mutex_destroy(reinterpret_cast<pthread_mutex_t*>(&lock_));
}
void Lock::acquire() { pthread_mutex_lock(reinterpret_cast<pthread_mutex_t*>(&lock_)); }
void Lock::release() { pthread_mutex_unlock(reinterpret_cast<pthread_mutex_t*>(&lock_)); }
void Lock::wait() {
    pthread_cond_wait(reinterpret_cast<pthread_cond_t*>(&cond_), reinterpret_cast<pthread_mutex_t*>(&lock_));
}
void Lock::wake_all() { pthread_cond_broadcast(reinterpret_cast<pthread_cond_t*>(&cond_)); }

FileWriter::~FileWriter() {
    if (handle_ != -1) ::close(static_cast<int>(handle_));
}

bool FileWriter::create(const std::string& path, std::string& error, bool anywhere) {
    std::string leaf;
    OwnedFd dir(anywhere ? ::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC) : open_parent(path, leaf, error));
    if (anywhere) leaf = path; // relative to the working folder, or absolute
    if (dir.get() < 0) {
        if (anywhere) error = errno_text(errno);
        return false;
    }
    struct stat st;
    if (fstatat(dir.get(), leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        if (S_ISLNK(st.st_mode) && !anywhere) {
            error = kLinkInTheWay;
            return false;
        }
        if (S_ISDIR(st.st_mode)) {
            error = "a folder is in the way";
            return false;
        }
        // Replacing the name (not writing into the file) also covers read-only files.
        if (unlinkat(dir.get(), leaf.c_str(), 0) != 0) {
            error = errno_text(errno);
            return false;
        }
    }
    int fd = openat(dir.get(), leaf.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = errno == ELOOP ? std::string(kLinkInTheWay) : errno_text(errno);
        return false;
    }
    handle_ = fd;
    path_ = path;
    return true;
}

bool FileWriter::write(const void* data, size_t size, std::string& error) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t r = ::write(static_cast<int>(handle_), p, std::min<size_t>(size, 1u << 30));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) {
            error = errno_text(r < 0 ? errno : ENOSPC);
            return false;
        }
        p += r;
        size -= static_cast<size_t>(r);
    }
    return true;
}

bool FileWriter::write_at(uint64_t offset, const void* data, size_t size, std::string& error) {
    if (lseek(static_cast<int>(handle_), static_cast<off_t>(offset), SEEK_SET) < 0) {
        error = errno_text(errno);
        return false;
    }
    return write(data, size, error);
}

bool FileWriter::close(uint64_t mtime, std::string& error) {
    int fd = static_cast<int>(handle_);
    handle_ = -1;
    if (mtime != UINT64_MAX) {
        struct timespec ts[2];
        ts[0].tv_sec = 0;
        ts[0].tv_nsec = UTIME_OMIT;
        ts[1] = timespec_from(mtime);
        futimens(fd, ts);
    }
    if (::close(fd) != 0) {
        error = errno_text(errno);
        return false;
    }
    return true;
}

bool make_folder(const std::string& path, std::string& error) {
    std::string leaf;
    OwnedFd dir(open_parent(path, leaf, error));
    if (dir.get() < 0) return false;
    if (mkdirat(dir.get(), leaf.c_str(), 0755) == 0) return true;
    int e = errno;
    struct stat st;
    if (e == EEXIST && fstatat(dir.get(), leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        if (S_ISDIR(st.st_mode)) return true;
        error = S_ISLNK(st.st_mode) ? kLinkInTheWay : "a file is in the way";
        return false;
    }
    error = errno_text(e);
    return false;
}

bool remove_file(const std::string& path) { return unlink(path.c_str()) == 0; }

bool exists(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

bool set_metadata(const std::string& path, const Entry& entry, bool folder, std::string& error) {
    mode_t mode;
    if (entry.mode != 0)
        mode = entry.mode & 0777;
    else
        mode = folder ? 0755 : ((entry.attributes & kAttrReadOnly) ? 0444 : 0644);
    if (chmod(path.c_str(), mode) != 0) {
        error = errno_text(errno);
        return false;
    }
    if (folder) {
        struct timespec ts[2];
        ts[0].tv_sec = 0;
        ts[0].tv_nsec = UTIME_OMIT;
        ts[1] = timespec_from(entry.mtime);
        utimensat(AT_FDCWD, path.c_str(), ts, 0);
    }
    return true;
}

#endif

} // namespace sys
} // namespace uharc
