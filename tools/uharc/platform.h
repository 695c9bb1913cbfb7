// File-system operations of uharc_core that differ between POSIX and Windows.
// Every path is UTF-8; on Windows the wide API is used so that any name works.
#pragma once

#include "uharc.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace uharc {
namespace sys {

struct ScanItem {
    EntryType type;
    std::string path; // relative, '/' separated
    uint32_t attributes;
    uint32_t mode;
    uint64_t mtime;
    uint64_t size;
};

// Lists every file and folder below `root`, following symbolic links.
bool scan_folder(const std::string& root, std::vector<ScanItem>& items, std::string& error);

std::string join(const std::string& base, const std::string& rel);

class FileReader {
public:
    FileReader() = default;
    ~FileReader();
    FileReader(const FileReader&) = delete;
    FileReader& operator=(const FileReader&) = delete;
    bool open(const std::string& path, std::string& error); // false: error says why
    long read(uint8_t* buf, size_t n);                      // -1 on error
    long read_at(uint64_t offset, uint8_t* buf, size_t n);  // moves the position; -1 on error
    long long size() const { return size_; }

private:
    intptr_t handle_ = -1;
    long long size_ = -1;
};

class FileWriter {
public:
    FileWriter() = default;
    ~FileWriter(); // closes without the checks of close()
    FileWriter(const FileWriter&) = delete;
    FileWriter& operator=(const FileWriter&) = delete;
    // Creates or replaces the file (a read-only or hidden one, too). A path that join()
    // made below a folder_base() folder is refused when a link is at its name or on its way
    // down from that folder; with `anywhere` (a file named on the command line) links on
    // the way count as they are and one at the name itself is replaced, never written through.
    bool create(const std::string& path, std::string& error, bool anywhere = false);
    bool write(const void* data, size_t size, std::string& error); // false: disk full etc.
    bool write_at(uint64_t offset, const void* data, size_t size, std::string& error);
    // Sets the time stamp, then closes. False when the data could not be flushed.
    bool close(uint64_t mtime, std::string& error);
    bool is_open() const { return handle_ != -1; }

private:
    intptr_t handle_ = -1;
    std::string path_;
};

// Creates the folder unless a folder of that name exists; false when a file or a link is in the way.
bool make_folder(const std::string& path, std::string& error);
bool remove_file(const std::string& path);
bool exists(const std::string& path);
// Applies attribute bits (Windows) or mode (POSIX); mtime for folders too.
bool set_metadata(const std::string& path, const Entry& entry, bool folder, std::string& error);
// Absolute form of an existing folder with the links on its way resolved, in the form join() expects.
bool folder_base(const std::string& folder, std::string& base, std::string& error);

// Threads for decoding only: every file-system call stays on the thread that made the
// Thread. The Windows side uses SRW locks and condition variables, which wait without
// a round trip to Wine's server.
class Thread {
public:
    Thread() = default;
    ~Thread() { join(); }
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;
    bool start(std::function<void()> body);
    void join();

private:
    struct Start;
    std::function<void()> body_;
    intptr_t handle_ = -1;
};

// A mutex with one condition variable.
class Lock {
public:
    Lock();
    ~Lock();
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;
    void acquire();
    void release();
    void wait(); // only while acquired
    void wake_all();

private:
    alignas(8) unsigned char lock_[64];
    alignas(8) unsigned char cond_[64];
};

class Held {
public:
    explicit Held(Lock& lock) : lock_(lock) { lock_.acquire(); }
    ~Held() { lock_.release(); }
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;

private:
    Lock& lock_;
};

unsigned processor_count();

} // namespace sys
} // namespace uharc
