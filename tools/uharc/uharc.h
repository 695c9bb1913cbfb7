// uharc_core: the UHA archive format (version 6), its writer, reader and extractor.
// The byte layout is described in docs/archive-format.md.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace uharc {

constexpr uint8_t kMagic[4] = {0x55, 0x48, 0x41, 0x06};
constexpr size_t kHeaderSize = 48;
constexpr size_t kBlockRecordSize = 21;
constexpr size_t kEntryFixedSize = 41;
constexpr size_t kMaxBlocks = 8;
constexpr uint32_t kMaxEntries = 1u << 20;
constexpr uint32_t kMaxIndexSize = 64u << 20;
constexpr size_t kMaxPathBytes = 4096;
// Decoder memory is about the dictionary size. A block's dictionary is at most this,
// and the extractor decodes blocks side by side only while their dictionaries together
// stay within it, so that it stays below 64 MB.
constexpr uint32_t kMaxDictSize = 48u << 20;
constexpr uint32_t kMinDictSize = 1u << 16;

constexpr uint8_t kFilterX86 = 0x01;

// How a file's bytes are held in its block (docs/archive-format.md).
constexpr uint8_t kTransformNone = 0;
constexpr uint8_t kTransformRepack = 1; // deflate streams stored inflated (repack.h)

// Windows attribute bits that the archive carries.
constexpr uint32_t kAttrReadOnly = 0x01;
constexpr uint32_t kAttrHidden = 0x02;
constexpr uint32_t kAttrSystem = 0x04;
constexpr uint32_t kAttrArchive = 0x20;
constexpr uint32_t kAttrMask = kAttrReadOnly | kAttrHidden | kAttrSystem | kAttrArchive;

constexpr char kManifestName[] = "uninstall.lst";

enum class EntryType : uint8_t { Folder = 0, File = 1 };

struct Entry {
    EntryType type = EntryType::File;
    std::string path;         // UTF-8, '/' between components, relative
    uint32_t attributes = 0;  // kAttr* bits
    uint32_t mode = 0;        // POSIX permission bits (07777), 0 when unknown
    uint64_t mtime = 0;       // 100 ns ticks since 1601-01-01 UTC
    uint64_t size = 0;        // 0 for folders
    uint32_t crc32 = 0;       // CRC-32 of the file's bytes
    uint8_t block = 0;        // which compressed block holds the bytes
    uint8_t transform = 0;    // kTransform* (repack.h): how the block holds them
    uint64_t stored_size = 0; // bytes in the block when transformed
    uint64_t stored() const { return transform ? stored_size : size; }
};

struct Block {
    uint8_t filters = 0; // kFilter* bits applied before LZMA2
    uint64_t packed_size = 0;
    uint64_t unpacked_size = 0; // the sum of its entries' stored sizes
    uint32_t dict_size = kMinDictSize;
};

struct Index {
    std::vector<Block> blocks;
    std::vector<Entry> entries;    // block by block, in the order of the data
    uint64_t total_size() const;   // bytes unpacked from the blocks
    uint64_t written_size() const; // bytes of the files as written to disk
    uint64_t dict_total() const;
};

uint32_t crc32(const void* data, size_t size, uint32_t crc = 0);

// Path rules shared by writer and reader. Returns "" when valid, else the reason.
std::string check_path(const std::string& path);
// Checks every entry path, duplicates (without regard to ASCII case), a file used as
// a folder, sizes and block sums. Returns "" when the index may be extracted.
std::string check_index(const Index& index);

// Serialisation of the part before the compressed data (header + index).
std::vector<uint8_t> encode_head(const Index& index);
// Parses and verifies header and index. `data` may be longer than the head; on
// success `head_size` receives the offset of the first compressed block.
bool decode_head(const uint8_t* data, size_t size, Index& index, size_t& head_size, std::string& error);
// Size of the header and whole head as announced by the fixed header, for readers
// that fetch the head in two steps. Returns false on a bad fixed header.
bool head_size_from_header(const uint8_t* header, size_t size, size_t& head_size, std::string& error);

// Creating an archive --------------------------------------------------------------

struct WriteOptions {
    bool manifest = true;                         // add uninstall.lst
    uint32_t preset = 9;                          // LZMA2 preset; extreme is always on
    std::function<void(const std::string&)> note; // warnings; may be empty
};

// Builds the manifest text: CRLF lines, backslashes, folders with a trailing backslash.
std::string manifest_text(const std::vector<Entry>& entries);

bool create_archive(const std::string& folder, const std::string& archive, const WriteOptions& options,
                    std::string& error);

// Reading ----------------------------------------------------------------------------

class Input {
public:
    virtual ~Input() = default;
    // Reads up to n bytes; returns the count, 0 at the end, -1 on error.
    virtual long read(uint8_t* buf, size_t n) = 0;
    // Total size in bytes when known (lets truncation show before any data), else -1.
    virtual long long size() const { return -1; }
    // Reads up to n bytes at `offset`, for the blocks, which are decoded side by side.
    virtual long read_at(uint64_t offset, uint8_t* buf, size_t n) = 0;
};

class MemoryInput : public Input {
public:
    MemoryInput(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    long read(uint8_t* buf, size_t n) override;
    long long size() const override { return static_cast<long long>(size_); }
    long read_at(uint64_t offset, uint8_t* buf, size_t n) override;

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

// Receives the entries while the data is decompressed, always on the thread that called
// read_archive. The blocks are decoded side by side, so the entries of different blocks
// interleave; within a block they come in index order, one at a time. Any false return
// stops the run; the sink then owns the error text it put into `error`.
class Sink {
public:
    virtual ~Sink() = default;
    virtual bool begin(const Entry& entry, std::string& error) = 0;
    virtual bool write(const Entry& entry, const uint8_t* data, size_t size, std::string& error) = 0;
    // `ok` is false when the entry turned out damaged; the sink should drop it.
    virtual bool end(const Entry& entry, bool ok, std::string& error) = 0;
};

// One file's bytes on their way from its block to the disk: the stored bytes go in,
// the file's bytes come out to the next stage. Runs on a decoding thread.
class FileStage {
public:
    virtual ~FileStage() = default;
    virtual bool write(const uint8_t* data, size_t size, std::string& error) = 0;
    // After the last stored byte; false when the file's bytes are not what the entry says.
    virtual bool finish(std::string& error) = 0;
};

// The stage that turns an entry's stored bytes back into the file's bytes and checks
// their size and CRC-32, passing them to `out`.
std::unique_ptr<FileStage> make_file_stage(const Entry& entry, FileStage& out);

// Reads the head from `in`, checks it, then streams every entry through `sink`
// (which may be null to only test). `on_head` sees the verified index before any
// data, and may stop the run by returning false.
bool read_archive(Input& in, Sink* sink, std::string& error, const std::function<bool(const Index&)>& on_head = {});

// Opens a file (UTF-8 name) for reading with the platform's API.
std::unique_ptr<Input> open_file_input(const std::string& path, std::string& error);

// Extraction --------------------------------------------------------------------------

struct Progress {
    virtual ~Progress() = default;
    virtual void start(const Index& index) = 0;
    // `done` counts bytes of files written plus one per entry.
    virtual void update(const std::string& path, uint64_t done, uint64_t total) = 0;
};

// Extracts everything into `target` (an existing folder; "." for the current one).
// Existing files are replaced, read-only ones included, when `replace` is true;
// otherwise an existing file stops the run before anything is written.
bool extract_archive(const std::string& archive, const std::string& target, Progress* progress, std::string& error,
                     bool replace = true);
bool extract_from(Input& in, const std::string& target, Progress* progress, std::string& error, bool replace = true);

} // namespace uharc
