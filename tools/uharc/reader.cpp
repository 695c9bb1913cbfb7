#include "platform.h"
#include "repack.h"
#include "uharc.h"

#include <lzma.h>

#include <algorithm>
#include <cstring>
#include <unordered_set>

#ifndef _WIN32
#define UHARC_WRITER_THREAD 1
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#endif

namespace uharc {

namespace {

constexpr size_t kInChunk = 1u << 16;
constexpr size_t kOutChunk = 1u << 18;

class Decoder {
public:
    Decoder() = default;
    ~Decoder() { lzma_end(&strm_); }
    Decoder(const Decoder&) = delete;
    Decoder& operator=(const Decoder&) = delete;

    bool init(uint8_t filters, uint32_t dict) {
        lzma_options_lzma opt{};
        opt.dict_size = dict;
        lzma_filter chain[3];
        size_t i = 0;
        if (filters & kFilterX86) chain[i++] = {LZMA_FILTER_X86, nullptr};
        chain[i++] = {LZMA_FILTER_LZMA2, &opt};
        chain[i] = {LZMA_VLI_UNKNOWN, nullptr};
        return lzma_raw_decoder(&strm_, chain) == LZMA_OK;
    }
    lzma_stream strm_ = LZMA_STREAM_INIT;
};

// A transformed file on its way back: the restored bytes go to `out`, and the
// whole file's size and CRC-32 are checked at the end.
class RestoredFile {
public:
    RestoredFile(const Entry& e, std::function<bool(const uint8_t*, size_t)> out)
        : entry_(e), out_(std::move(out)), rebuild_(e.size, [this](const uint8_t* p, size_t n) {
              crc_ = crc32(p, n, crc_);
              if (out_(p, n)) return true;
              out_failed_ = true;
              return false;
          }) {}
    RestoredFile(const RestoredFile&) = delete;
    RestoredFile& operator=(const RestoredFile&) = delete;

    bool write(const uint8_t* p, size_t n) { return rebuild_.Write(p, n); }
    bool finish() { return rebuild_.Finish() && crc_ == entry_.crc32; }
    // After a false return: whether `out` refused (else the stored bytes are damaged).
    bool out_failed() const { return out_failed_; }

private:
    Entry entry_;
    std::function<bool(const uint8_t*, size_t)> out_;
    uint32_t crc_ = 0;
    bool out_failed_ = false;
    Rebuilder rebuild_;
};

bool read_full(Input& in, uint8_t* buf, size_t n) {
    while (n > 0) {
        long r = in.read(buf, n);
        if (r <= 0) return false;
        buf += r;
        n -= static_cast<size_t>(r);
    }
    return true;
}

} // namespace

bool read_archive(Input& in, Sink* sink, std::string& error, const std::function<bool(const Index&)>& on_head) {
    std::vector<uint8_t> head(kHeaderSize);
    long got = in.read(head.data(), 4);
    if (got < 4 && got >= 0) {
        // a short read may still be followed by more
        if (got > 0 && !read_full(in, head.data() + got, 4 - static_cast<size_t>(got)))
            got = -2;
        else if (got == 0)
            got = -2;
    }
    if (got == -1) {
        error = "cannot read the archive";
        return false;
    }
    if (got == -2 || std::memcmp(head.data(), kMagic, 4) != 0) {
        error = "not a UHA archive (version 6)";
        return false;
    }
    if (!read_full(in, head.data() + 4, kHeaderSize - 4)) {
        error = "archive is truncated (header)";
        return false;
    }
    size_t head_size = 0;
    if (!head_size_from_header(head.data(), head.size(), head_size, error)) return false;
    if (in.size() >= 0 && static_cast<unsigned long long>(in.size()) < head_size) {
        error = "archive is truncated (index)";
        return false;
    }
    head.resize(head_size);
    if (!read_full(in, head.data() + kHeaderSize, head_size - kHeaderSize)) {
        error = "archive is truncated (index)";
        return false;
    }
    Index index;
    if (!decode_head(head.data(), head.size(), index, head_size, error)) return false;
    uint64_t packed_total = 0;
    for (const Block& b : index.blocks) packed_total += b.packed_size;
    if (in.size() >= 0) {
        uint64_t have = static_cast<uint64_t>(in.size()) - head_size;
        if (have < packed_total) {
            error = "archive is truncated (data)";
            return false;
        }
        if (have > packed_total) {
            error = "archive has extra bytes at its end";
            return false;
        }
    }
    if (on_head && !on_head(index)) return false;

    std::vector<uint8_t> inbuf(kInChunk), outbuf(kOutChunk);
    size_t next = 0;
    const size_t count = index.entries.size();
    for (size_t b = 0; b < index.blocks.size(); ++b) {
        const Block& block = index.blocks[b];
        Decoder dec;
        if (!dec.init(block.filters, index.dict_size)) {
            error = "cannot start the decompressor (out of memory?)";
            return false;
        }
        lzma_stream& s = dec.strm_;
        uint64_t packed_left = block.packed_size;
        uint64_t unpacked = 0;
        bool in_entry = false;
        uint64_t entry_left = 0;
        uint32_t crc = 0;
        std::unique_ptr<RestoredFile> restore;

        // Starts every entry whose data begins here; entries without data finish at once.
        auto open_entries = [&]() -> bool {
            while (!in_entry && next < count && index.entries[next].block == b) {
                const Entry& e = index.entries[next];
                if (sink && !sink->begin(e, error)) return false;
                if (e.size == 0) {
                    bool ok = e.type == EntryType::Folder || e.crc32 == 0;
                    if (sink && !sink->end(e, ok, error)) return false;
                    if (!ok) {
                        error = "CRC error in " + e.path;
                        return false;
                    }
                    ++next;
                    continue;
                }
                in_entry = true;
                entry_left = e.stored();
                crc = 0;
                restore.reset();
                if (e.transform && !(sink && sink->restores()))
                    restore.reset(new RestoredFile(
                            e, [&](const uint8_t* p, size_t n) { return !sink || sink->write(p, n, error); }));
            }
            return true;
        };
        if (!open_entries()) return false;

        bool done = false;
        while (!done) {
            if (s.avail_in == 0 && packed_left > 0) {
                size_t want = static_cast<size_t>(std::min<uint64_t>(packed_left, inbuf.size()));
                long r = in.read(inbuf.data(), want);
                if (r < 0) {
                    error = "cannot read the archive";
                    return false;
                }
                if (r == 0) {
                    error = "archive is truncated (data)";
                    return false;
                }
                packed_left -= static_cast<uint64_t>(r);
                s.next_in = inbuf.data();
                s.avail_in = static_cast<size_t>(r);
            }
            s.next_out = outbuf.data();
            s.avail_out = outbuf.size();
            bool no_more_input = packed_left == 0;
            lzma_ret ret = lzma_code(&s, no_more_input ? LZMA_FINISH : LZMA_RUN);
            size_t made = outbuf.size() - s.avail_out;
            if (ret == LZMA_STREAM_END) {
                done = true;
            } else if (ret != LZMA_OK) {
                error = ret == LZMA_MEM_ERROR ? "out of memory" : "archive data is damaged";
                if (in_entry) error += " (in " + index.entries[next].path + ")";
                if (in_entry && sink) {
                    std::string ignored;
                    sink->end(index.entries[next], false, ignored);
                }
                return false;
            } else if (made == 0 && s.avail_in == 0 && no_more_input) {
                error = "archive is truncated (data)";
                if (in_entry && sink) {
                    std::string ignored;
                    sink->end(index.entries[next], false, ignored);
                }
                return false;
            }
            unpacked += made;
            if (unpacked > block.unpacked_size) {
                error = "archive data is damaged (too long)";
                if (in_entry && sink) {
                    std::string ignored;
                    sink->end(index.entries[next], false, ignored);
                }
                return false;
            }
            const uint8_t* p = outbuf.data();
            while (made > 0) {
                // `unpacked` never exceeds the block's size, which equals the entries' sum,
                // so an entry is open whenever bytes are left here.
                const Entry& e = index.entries[next];
                size_t n = static_cast<size_t>(std::min<uint64_t>(made, entry_left));
                bool written;
                if (restore) {
                    written = restore->write(p, n);
                    if (!written && !restore->out_failed()) error = "CRC error in " + e.path;
                } else {
                    crc = crc32(p, n, crc);
                    written = !sink || sink->write(p, n, error);
                }
                if (!written) {
                    std::string ignored;
                    if (sink) sink->end(e, false, ignored);
                    return false;
                }
                p += n;
                made -= n;
                entry_left -= n;
                if (entry_left == 0) {
                    // a sink that restores the file checks it itself
                    bool ok = restore ? restore->finish() : e.transform ? true : crc == e.crc32;
                    if (sink && !sink->end(e, ok, error)) return false;
                    if (!ok) {
                        error = "CRC error in " + e.path;
                        return false;
                    }
                    in_entry = false;
                    ++next;
                    if (!open_entries()) return false;
                }
            }
        }
        if (unpacked != block.unpacked_size || in_entry) {
            error = "archive data is damaged (too short)";
            if (in_entry && sink) {
                std::string ignored;
                sink->end(index.entries[next], false, ignored);
            }
            return false;
        }
        if (packed_left != 0 || s.avail_in != 0) {
            error = "archive data is damaged (block size)";
            return false;
        }
    }
    if (next != count) {
        error = "archive index is inconsistent";
        return false;
    }
    if (in.size() < 0) {
        uint8_t extra;
        if (in.read(&extra, 1) != 0) {
            error = "archive has extra bytes at its end";
            return false;
        }
    }
    return true;
}

namespace {

class FileInput : public Input {
public:
    long read(uint8_t* buf, size_t n) override { return file.read(buf, n); }
    long long size() const override { return file.size(); }
    sys::FileReader file;
};

// The file-system side of extraction, one call at a time.
class DiskWriter {
public:
    explicit DiskWriter(const std::string& base) : base_(base) {}

    bool begin(const Entry& e, std::string& error) {
        std::string path = sys::join(base_, e.path);
        if (!make_parents(e.path, error)) return false;
        if (e.type == EntryType::Folder) {
            if (!sys::make_folder(path, error)) {
                error = "cannot create folder " + e.path + ": " + error;
                return false;
            }
            made_.insert(e.path);
            folders_.push_back(e);
            return true;
        }
        if (!out_.create(path, error)) {
            error = "cannot create " + e.path + ": " + error;
            return false;
        }
        current_ = e.path;
        restore_.reset();
        if (e.transform)
            restore_.reset(
                    new RestoredFile(e, [this](const uint8_t* p, size_t n) { return out_.write(p, n, write_error_); }));
        return true;
    }

    bool write(const uint8_t* data, size_t size, std::string& error) {
        if (restore_) {
            if (restore_->write(data, size)) return true;
            error = restore_->out_failed() ? "cannot write " + current_ + ": " + write_error_
                                           : "CRC error in " + current_;
            return false;
        }
        if (!out_.write(data, size, error)) {
            error = "cannot write " + current_ + ": " + error;
            return false;
        }
        return true;
    }

    bool end(const Entry& e, bool ok, std::string& error) {
        if (e.type == EntryType::Folder) return true;
        std::string path = sys::join(base_, e.path);
        bool restored = !restore_ || !ok || restore_->finish();
        restore_.reset();
        if (!restored) {
            std::string ignored;
            out_.close(UINT64_MAX, ignored);
            sys::remove_file(path);
            error = "CRC error in " + e.path;
            return false;
        }
        std::string close_error;
        bool closed = out_.close(ok ? e.mtime : UINT64_MAX, close_error);
        if (!ok || !closed) {
            sys::remove_file(path); // a damaged or short file must not look installed
            if (ok) {
                error = "cannot write " + e.path + ": " + close_error;
                return false;
            }
            return true;
        }
        if (!sys::set_metadata(path, e, false, error)) {
            error = "cannot set attributes of " + e.path + ": " + error;
            return false;
        }
        return true;
    }

    // Drops the file being written, after a failure.
    void abort() {
        restore_.reset();
        if (!out_.is_open()) return;
        std::string ignored;
        out_.close(UINT64_MAX, ignored);
        sys::remove_file(sys::join(base_, current_));
    }

    bool finish(std::string& error) {
        // Folder times last, deepest first, after their contents stopped changing them.
        for (auto it = folders_.rbegin(); it != folders_.rend(); ++it) {
            if (!sys::set_metadata(sys::join(base_, it->path), *it, true, error)) {
                error = "cannot set attributes of " + it->path + ": " + error;
                return false;
            }
        }
        return true;
    }

private:
    bool make_parents(const std::string& rel, std::string& error) {
        for (size_t p = rel.find('/'); p != std::string::npos; p = rel.find('/', p + 1)) {
            std::string parent = rel.substr(0, p);
            if (made_.count(parent)) continue;
            if (!sys::make_folder(sys::join(base_, parent), error)) {
                error = "cannot create folder " + parent + ": " + error;
                return false;
            }
            made_.insert(parent);
        }
        return true;
    }

    std::string base_;
    sys::FileWriter out_;
    std::string current_; // the file being written, as the archive names it
    std::unique_ptr<RestoredFile> restore_;
    std::string write_error_;
    std::vector<Entry> folders_;
    std::unordered_set<std::string> made_;
};

#if UHARC_WRITER_THREAD
// Writing on a thread of its own lets decompression and disk work overlap, as
// `xz -dc | tar x` does with two processes. At most kMaxQueued bytes wait.
class QueuedWriter {
public:
    explicit QueuedWriter(DiskWriter& disk) : disk_(disk) {}
    ~QueuedWriter() {
        std::string ignored;
        drain(ignored);
    }
    QueuedWriter(const QueuedWriter&) = delete;
    QueuedWriter& operator=(const QueuedWriter&) = delete;

    bool begin(const Entry& e, std::string& error) { return push(kBegin, e, nullptr, 0, true, error); }
    bool write(const uint8_t* data, size_t size, std::string& error) {
        return push(kWrite, Entry(), data, size, true, error);
    }
    bool end(const Entry& e, bool ok, std::string& error) { return push(kEnd, e, nullptr, 0, ok, error); }

    // Waits until everything queued is written; false with the first error.
    bool drain(std::string& error) {
        {
            std::unique_lock<std::mutex> lock(mutex_);
            closing_ = true;
            changed_.notify_all();
        }
        if (worker_.joinable()) worker_.join();
        if (failed_) error = error_;
        return !failed_;
    }

private:
    enum Kind { kBegin, kWrite, kEnd };
    struct Op {
        Kind kind;
        Entry entry;
        std::vector<uint8_t> data;
        bool ok;
    };
    static constexpr size_t kMaxQueued = 2u << 20;

    bool push(Kind kind, const Entry& e, const uint8_t* data, size_t size, bool ok, std::string& error) {
        std::unique_lock<std::mutex> lock(mutex_);
        if (!worker_.joinable() && !closing_) worker_ = std::thread([this] { run(); });
        changed_.wait(lock, [&] { return failed_ || queued_ < kMaxQueued; });
        if (failed_) {
            error = error_;
            return false;
        }
        Op op{kind, kind == kWrite ? Entry() : e, std::vector<uint8_t>(data, data + size), ok};
        queued_ += size;
        ops_.push_back(std::move(op));
        changed_.notify_all();
        return true;
    }

    void run() {
        bool broken = false;
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            changed_.wait(lock, [&] { return !ops_.empty() || closing_; });
            if (ops_.empty()) return;
            Op op = std::move(ops_.front());
            ops_.pop_front();
            lock.unlock();
            std::string error;
            bool ok = true;
            if (!broken) {
                if (op.kind == kBegin)
                    ok = disk_.begin(op.entry, error);
                else if (op.kind == kWrite)
                    ok = disk_.write(op.data.data(), op.data.size(), error);
                else
                    ok = disk_.end(op.entry, op.ok, error);
                if (!ok) disk_.abort();
            }
            lock.lock();
            queued_ -= op.data.size();
            if (!ok && !broken) {
                broken = true;
                failed_ = true;
                error_ = error;
            }
            changed_.notify_all();
        }
    }

    DiskWriter& disk_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Op> ops_;
    size_t queued_ = 0;
    bool closing_ = false;
    bool failed_ = false;
    std::string error_;
    std::thread worker_;
};
#endif

class ExtractSink : public Sink {
public:
    ExtractSink(const std::string& base, Progress* progress) : disk_(base), writer_(disk_), progress_(progress) {}

    bool begin(const Entry& e, std::string& error) override {
        if (progress_) progress_->update(e.path, done_, total_);
        current_ = e.path;
        return writer_.begin(e, error);
    }

    bool write(const uint8_t* data, size_t size, std::string& error) override {
        done_ += size;
        if (progress_ && done_ - shown_ >= (1u << 20)) {
            shown_ = done_;
            progress_->update(current_, done_, total_);
        }
        return writer_.write(data, size, error);
    }

    bool end(const Entry& e, bool ok, std::string& error) override {
        ++done_;
        return writer_.end(e, ok, error);
    }

    bool restores() const override { return true; }

    bool finish(std::string& error) {
#if UHARC_WRITER_THREAD
        if (!writer_.drain(error)) return false;
#endif
        return disk_.finish(error);
    }

    uint64_t done_ = 0, total_ = 0, shown_ = 0;

private:
    DiskWriter disk_;
#if UHARC_WRITER_THREAD
    QueuedWriter writer_;
#else
    DiskWriter& writer_;
#endif
    Progress* progress_;
    std::string current_;
};

} // namespace

std::unique_ptr<Input> open_file_input(const std::string& path, std::string& error) {
    std::unique_ptr<FileInput> in(new FileInput);
    if (!in->file.open(path, error)) return nullptr;
    return in;
}

bool extract_from(Input& in, const std::string& target, Progress* progress, std::string& error, bool replace) {
    std::string base;
    if (!sys::folder_base(target, base, error)) return false;
    ExtractSink sink(base, progress);
    bool ok = read_archive(in, &sink, error, [&](const Index& index) {
        sink.total_ = index.total_size() + index.entries.size();
        if (!replace) {
            for (const Entry& e : index.entries)
                if (e.type == EntryType::File && sys::exists(sys::join(base, e.path))) {
                    error = "file exists (use -y to replace): " + e.path;
                    return false;
                }
        }
        if (progress) progress->start(index);
        return true;
    });
    return ok && sink.finish(error);
}

bool extract_archive(const std::string& archive, const std::string& target, Progress* progress, std::string& error,
                     bool replace) {
    std::unique_ptr<Input> in = open_file_input(archive, error);
    if (!in) return false;
    return extract_from(*in, target, progress, error, replace);
}

} // namespace uharc
