#include "platform.h"
#include "repack.h"
#include "uharc.h"

#include <lzma.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <unordered_set>

#include <deque>
#include <memory>

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

namespace {

// A file's bytes as they are stored: counted and checked against the entry.
class PlainStage : public FileStage {
public:
    PlainStage(const Entry& entry, FileStage& out) : entry_(entry), out_(out), left_(entry.size) {}
    bool write(const uint8_t* data, size_t size, std::string& error) override {
        if (size > left_) {
            error = "archive data is damaged (in " + entry_.path + ")";
            return false;
        }
        left_ -= size;
        crc_ = crc32(data, size, crc_);
        return out_.write(data, size, error);
    }
    bool finish(std::string& error) override {
        if (left_ != 0 || crc_ != entry_.crc32) {
            error = "CRC error in " + entry_.path;
            return false;
        }
        return true;
    }

private:
    const Entry& entry_;
    FileStage& out_;
    uint64_t left_;
    uint32_t crc_ = 0;
};

// A re-packed file: its deflate streams are made again from the stored form, and the
// rebuilt bytes are checked as a plain file's would be.
class RepackStage : public FileStage {
public:
    RepackStage(const Entry& entry, FileStage& out)
        : entry_(entry), check_(entry, out), rebuild_(entry.size, [this](const uint8_t* p, size_t n) {
              if (check_.write(p, n, out_error_)) return true;
              out_failed_ = true;
              return false;
          }) {}
    bool write(const uint8_t* data, size_t size, std::string& error) override {
        if (rebuild_.Write(data, size)) return true;
        error = out_failed_ ? out_error_ : "CRC error in " + entry_.path;
        return false;
    }
    bool finish(std::string& error) override {
        if (!rebuild_.Finish()) {
            error = out_failed_ ? out_error_ : "CRC error in " + entry_.path;
            return false;
        }
        return check_.finish(error);
    }

private:
    const Entry& entry_;
    PlainStage check_;
    std::string out_error_;
    bool out_failed_ = false;
    Rebuilder rebuild_;
};

} // namespace

std::unique_ptr<FileStage> make_file_stage(const Entry& entry, FileStage& out) {
    if (entry.transform == kTransformNone) return std::unique_ptr<FileStage>(new PlainStage(entry, out));
    if (entry.transform == kTransformRepack) return std::unique_ptr<FileStage>(new RepackStage(entry, out));
    return nullptr;
}

namespace {

constexpr size_t kQueuedIn = 2;            // packed chunks waiting for a decoder
constexpr size_t kMaxQueuedOut = 1u << 20; // decoded bytes waiting for the disk, per block

struct Op {
    enum Kind { kBegin, kData, kEnd } kind;
    size_t entry;
    std::vector<uint8_t> data;
    bool ok;
};

// One block on its way through: the calling thread reads its packed bytes and takes its
// decoded ones, a decoding thread sits in between. Guarded by Engine::lock_.
struct Lane {
    size_t block = 0;
    size_t first = 0, end = 0; // its entries
    uint64_t offset = 0;       // of the next packed chunk in the archive
    uint64_t packed_left = 0;  // still to be read
    std::deque<std::vector<uint8_t>> in;
    std::deque<Op> out;
    size_t out_bytes = 0;
    bool started = false, finished = false, failed = false;
    std::string error;
    // the calling thread's side
    bool open = false; // an entry was begun and not ended
    size_t current = 0;
    bool reported = false;
};

class Engine {
public:
    Engine(Input& in, const Index& index, size_t head_size, bool keep_data)
        : in_(in), index_(index), keep_data_(keep_data), lanes_(index.blocks.size()) {
        uint64_t offset = head_size;
        size_t e = 0;
        for (size_t b = 0; b < lanes_.size(); ++b) {
            Lane& l = lanes_[b];
            l.block = b;
            l.offset = offset;
            l.packed_left = index.blocks[b].packed_size;
            offset += index.blocks[b].packed_size;
            l.first = e;
            while (e < index.entries.size() && index.entries[e].block == b) ++e;
            l.end = e;
        }
        end_offset_ = offset;
    }

    ~Engine() {
        {
            sys::Held held(lock_);
            stop_ = true;
            lock_.wake_all();
        }
        for (auto& t : threads_) t->join();
    }
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    bool run(Sink* sink, std::string& error) {
        const size_t threads = decoding_threads();
        bool ok =
                threads == 1 ? decode_here(sink, error) : decode_beside(std::min(threads, lanes_.size()), sink, error);
        if (!ok && sink) {
            std::string ignored;
            for (Lane& l : lanes_)
                if (l.open) sink->end(index_.entries[l.current], false, ignored);
        }
        return ok;
    }

private:
    // As many as there are processors; UHARC_THREADS (1 to 64) sets another number.
    static size_t decoding_threads() {
        if (const char* v = getenv("UHARC_THREADS")) {
            long n = strtol(v, nullptr, 10);
            if (n >= 1 && n <= 64) return static_cast<size_t>(n);
        }
        return std::max(1u, sys::processor_count());
    }

    // Hands one decoded entry's begin, bytes or end to the sink.
    bool deliver(Sink* sink, Op& op, std::string& error) {
        Lane& l = lanes_[index_.entries[op.entry].block];
        const Entry& e = index_.entries[op.entry];
        if (op.kind == Op::kBegin) {
            l.open = true;
            l.current = op.entry;
            return !sink || sink->begin(e, error);
        }
        if (op.kind == Op::kData) return !sink || sink->write(e, op.data.data(), op.data.size(), error);
        l.open = false;
        return !sink || sink->end(e, op.ok, error) || !op.ok;
    }

    // The lane's next packed chunk, read from the archive.
    bool read_chunk(const Lane& l, std::vector<uint8_t>& chunk, std::string& error) {
        chunk.resize(static_cast<size_t>(std::min<uint64_t>(l.packed_left, kInChunk)));
        long r = in_.read_at(l.offset, chunk.data(), chunk.size());
        if (r <= 0) {
            error = r < 0 ? "cannot read the archive" : "archive is truncated (data)";
            return false;
        }
        chunk.resize(static_cast<size_t>(r));
        return true;
    }

    bool at_end(std::string& error) {
        if (in_.size() < 0) {
            uint8_t extra;
            if (in_.read_at(end_offset_, &extra, 1) != 0) {
                error = "archive has extra bytes at its end";
                return false;
            }
        }
        return true;
    }

    // Nothing would run beside this thread: decode here, with nothing to hand over.
    bool decode_here(Sink* sink, std::string& error) {
        inline_ = true;
        sink_ = sink;
        for (Lane& l : lanes_) {
            l.started = true;
            if (!decode(l, error)) return false;
        }
        return at_end(error);
    }

    bool decode_beside(size_t count, Sink* sink, std::string& error) {
        for (size_t i = 0; i < count; ++i) {
            threads_.emplace_back(new sys::Thread);
            if (!threads_.back()->start([this] { work(); })) {
                threads_.pop_back();
                break;
            }
        }
        if (threads_.empty()) {
            error = "cannot start the decompressor (out of threads)";
            return false;
        }
        return serve(sink, error);
    }

    // The calling thread: reads the archive, hands chunks to the lanes and their
    // decoded entries to the sink, until every lane is done or one failed.
    bool serve(Sink* sink, std::string& error) {
        std::vector<Op> ops;
        std::vector<size_t> feed, ended;
        size_t done = 0;
        while (done < lanes_.size()) {
            ops.clear();
            feed.clear();
            ended.clear();
            {
                sys::Held held(lock_);
                for (;;) {
                    for (Lane& l : lanes_) {
                        if (!l.started || l.reported) continue;
                        while (!l.out.empty()) {
                            ops.push_back(std::move(l.out.front()));
                            l.out.pop_front();
                        }
                        l.out_bytes = 0;
                        if (l.in.size() < kQueuedIn && l.packed_left > 0 && !l.finished) feed.push_back(l.block);
                        if (l.finished) ended.push_back(l.block);
                    }
                    if (!ops.empty() || !feed.empty() || !ended.empty()) break;
                    lock_.wait();
                }
                lock_.wake_all();
            }
            for (Op& op : ops)
                if (!deliver(sink, op, error)) return false;
            for (size_t b : feed) {
                Lane& l = lanes_[b];
                std::vector<uint8_t> chunk;
                if (!read_chunk(l, chunk, error)) return false;
                sys::Held held(lock_);
                l.offset += chunk.size();
                l.packed_left -= chunk.size();
                l.in.push_back(std::move(chunk));
                lock_.wake_all();
            }
            for (size_t b : ended) {
                Lane& l = lanes_[b];
                if (l.failed) {
                    error = l.error;
                    return false;
                }
                l.reported = true;
                ++done;
            }
        }
        return at_end(error);
    }

    // A decoding thread: takes the next block nobody has started, in the index's order,
    // until none is left. A block waits until its dictionary fits beside those of the
    // blocks being decoded; one alone always fits.
    void work() {
        for (;;) {
            Lane* lane = nullptr;
            {
                sys::Held held(lock_);
                for (;;) {
                    if (stop_) return;
                    if (next_lane_ == lanes_.size()) return;
                    uint32_t dict = index_.blocks[next_lane_].dict_size;
                    if (decoding_dicts_ == 0 || decoding_dicts_ + dict <= kMaxDictSize) {
                        lane = &lanes_[next_lane_++];
                        lane->started = true;
                        decoding_dicts_ += dict;
                        break;
                    }
                    lock_.wait();
                }
                lock_.wake_all();
            }
            std::string error;
            bool ok = decode(*lane, error);
            sys::Held held(lock_);
            decoding_dicts_ -= index_.blocks[lane->block].dict_size;
            lane->finished = true;
            lane->failed = !ok;
            lane->error = error;
            lock_.wake_all();
            if (!ok) return;
        }
    }

    // Hands decoded bytes of one entry to the calling thread, waiting while too many wait.
    // Small pieces (a re-packed zip's headers and streams) go together, up to a chunk:
    // each handing over wakes a thread, and each is one write to the file.
    class Handover : public FileStage {
    public:
        Handover(Engine& engine, Lane& lane, size_t entry) : engine_(engine), lane_(lane), entry_(entry) {}
        bool write(const uint8_t* data, size_t size, std::string& error) override {
            if (!engine_.keep_data_) return true;
            if (pending_.size() + size > kOutChunk && !finish(error)) return false;
            pending_.insert(pending_.end(), data, data + size);
            return true;
        }
        // What is still held goes to the calling thread.
        bool finish(std::string& error) override {
            if (pending_.empty()) return true;
            std::vector<uint8_t> data;
            data.swap(pending_);
            return engine_.emit(lane_, Op{Op::kData, entry_, std::move(data), true}, error);
        }

    private:
        Engine& engine_;
        Lane& lane_;
        size_t entry_;
        std::vector<uint8_t> pending_;
    };

    bool emit(Lane& lane, Op&& op, std::string& error) {
        if (inline_) return deliver(sink_, op, error);
        sys::Held held(lock_);
        while (!stop_ && lane.out_bytes >= kMaxQueuedOut) lock_.wait();
        if (stop_) {
            error = "stopped";
            return false;
        }
        lane.out_bytes += op.data.size();
        lane.out.push_back(std::move(op));
        lock_.wake_all();
        return true;
    }

    // The lane's next packed chunk; false when none is left, or with `why` set when the
    // run stops or the archive cannot be read.
    bool take_input(Lane& lane, std::vector<uint8_t>& chunk, std::string& why) {
        if (inline_) {
            if (lane.packed_left == 0 || !read_chunk(lane, chunk, why)) return false;
            lane.offset += chunk.size();
            lane.packed_left -= chunk.size();
            return true;
        }
        sys::Held held(lock_);
        while (!stop_ && lane.in.empty() && lane.packed_left > 0) lock_.wait();
        if (stop_) why = "stopped";
        if (stop_ || lane.in.empty()) return false;
        chunk = std::move(lane.in.front());
        lane.in.pop_front();
        lock_.wake_all();
        return true;
    }

    bool decode(Lane& lane, std::string& error) {
        const Block& block = index_.blocks[lane.block];
        Decoder dec;
        if (!dec.init(block.filters, block.dict_size)) {
            error = "cannot start the decompressor (out of memory?)";
            return false;
        }
        lzma_stream& s = dec.strm_;
        std::vector<uint8_t> chunk, outbuf(kOutChunk);
        size_t next = lane.first;
        uint64_t unpacked = 0, entry_left = 0;
        std::unique_ptr<Handover> handover;
        std::unique_ptr<FileStage> stage;

        bool in_entry = false; // `next` was begun and not ended
        // Ends the entry being decoded; false with the reason when it is damaged.
        auto end_entry = [&]() -> bool {
            std::string why = "CRC error in " + index_.entries[next].path;
            bool ok = !stage || stage->finish(why);
            if (ok && handover && !handover->finish(error)) return false;
            stage.reset();
            handover.reset();
            in_entry = false;
            std::string ignored;
            if (!emit(lane, Op{Op::kEnd, next, {}, ok}, ok ? error : ignored)) return false;
            if (!ok) error = why;
            ++next;
            return ok;
        };
        auto fail = [&](const std::string& why) {
            error = why;
            if (in_entry) {
                if (why.compare(0, 7, "archive") == 0) error += " (in " + index_.entries[next].path + ")";
                stage.reset();
                std::string ignored;
                emit(lane, Op{Op::kEnd, next, {}, false}, ignored);
            }
            return false;
        };
        // Starts every entry whose data begins here; entries without data end at once.
        auto open_entries = [&]() -> bool {
            while (!in_entry && next < lane.end) {
                const Entry& e = index_.entries[next];
                if (!emit(lane, Op{Op::kBegin, next, {}, true}, error)) return false;
                in_entry = true;
                if (e.type == EntryType::File) {
                    handover.reset(new Handover(*this, lane, next));
                    stage = make_file_stage(e, *handover);
                    if (!stage) return fail("unknown transform in " + e.path);
                    if (e.stored() > 0) {
                        entry_left = e.stored();
                        return true;
                    }
                }
                if (!end_entry()) return false;
            }
            return true;
        };
        if (!open_entries()) return false;

        bool more_input = true;
        for (;;) {
            if (s.avail_in == 0 && more_input) {
                std::string why;
                if (!take_input(lane, chunk, why)) {
                    if (!why.empty()) return fail(why);
                    more_input = false;
                } else {
                    s.next_in = chunk.data();
                    s.avail_in = chunk.size();
                }
            }
            s.next_out = outbuf.data();
            s.avail_out = outbuf.size();
            lzma_ret ret = lzma_code(&s, more_input ? LZMA_RUN : LZMA_FINISH);
            size_t made = outbuf.size() - s.avail_out;
            if (ret != LZMA_OK && ret != LZMA_STREAM_END)
                return fail(ret == LZMA_MEM_ERROR ? "out of memory" : "archive data is damaged");
            if (ret == LZMA_OK && made == 0 && s.avail_in == 0 && !more_input)
                return fail("archive is truncated (data)");
            unpacked += made;
            if (unpacked > block.unpacked_size) return fail("archive data is damaged (too long)");
            const uint8_t* p = outbuf.data();
            while (made > 0) {
                // `unpacked` never exceeds the block's size, which equals the entries' sum,
                // so an entry is open whenever bytes are left here.
                size_t n = static_cast<size_t>(std::min<uint64_t>(made, entry_left));
                std::string why;
                if (!stage->write(p, n, why)) return fail(why);
                p += n;
                made -= n;
                entry_left -= n;
                if (entry_left == 0 && (!end_entry() || !open_entries())) return false;
            }
            if (ret == LZMA_STREAM_END) break;
        }
        if (unpacked != block.unpacked_size || in_entry) return fail("archive data is damaged (too short)");
        bool unread;
        {
            sys::Held held(lock_);
            unread = lane.packed_left > 0 || !lane.in.empty();
        }
        if (unread || s.avail_in != 0) return fail("archive data is damaged (block size)");
        return true;
    }

    Input& in_;
    const Index& index_;
    const bool keep_data_;
    bool inline_ = false;  // decoding on the calling thread
    Sink* sink_ = nullptr; // then entries go straight to it
    sys::Lock lock_;
    bool stop_ = false;
    std::vector<Lane> lanes_;
    size_t next_lane_ = 0;        // the first block not started
    uint64_t decoding_dicts_ = 0; // the dictionaries of the blocks being decoded
    uint64_t end_offset_ = 0;
    std::vector<std::unique_ptr<sys::Thread>> threads_;
};

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

    Engine engine(in, index, head_size, sink != nullptr);
    return engine.run(sink, error);
}

namespace {

class FileInput : public Input {
public:
    long read(uint8_t* buf, size_t n) override { return file.read(buf, n); }
    long read_at(uint64_t offset, uint8_t* buf, size_t n) override { return file.read_at(offset, buf, n); }
    long long size() const override { return file.size(); }
    sys::FileReader file;
};

// The file-system side of extraction, all of it on the calling thread: one file open
// per block at most.
class DiskWriter {
public:
    explicit DiskWriter(const std::string& base) : base_(base) {}
    DiskWriter(const DiskWriter&) = delete;
    DiskWriter& operator=(const DiskWriter&) = delete;

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
        if (!out_[e.block].create(path, error)) {
            error = "cannot create " + e.path + ": " + error;
            return false;
        }
        return true;
    }

    bool write(const Entry& e, const uint8_t* data, size_t size, std::string& error) {
        if (!out_[e.block].write(data, size, error)) {
            error = "cannot write " + e.path + ": " + error;
            return false;
        }
        return true;
    }

    bool end(const Entry& e, bool ok, std::string& error) {
        // Not open: its creation failed, and whatever stands at its name is not ours.
        if (e.type == EntryType::Folder || !out_[e.block].is_open()) return true;
        std::string path = sys::join(base_, e.path);
        std::string close_error;
        bool closed = out_[e.block].close(ok ? e.mtime : UINT64_MAX, close_error);
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
    sys::FileWriter out_[kMaxBlocks];
    std::vector<Entry> folders_;
    std::unordered_set<std::string> made_;
};

// Counts what reached the disk, so that the percentage follows the bytes written.
class ExtractSink : public Sink {
public:
    ExtractSink(const std::string& base, Progress* progress) : disk_(base), progress_(progress) {}

    bool begin(const Entry& e, std::string& error) override {
        if (progress_) progress_->update(e.path, done_, total_);
        current_ = e.path;
        return disk_.begin(e, error);
    }

    bool write(const Entry& e, const uint8_t* data, size_t size, std::string& error) override {
        if (!disk_.write(e, data, size, error)) return false;
        done_ += size;
        if (progress_ && done_ - shown_ >= (1u << 20)) {
            shown_ = done_;
            progress_->update(current_, done_, total_);
        }
        return true;
    }

    bool end(const Entry& e, bool ok, std::string& error) override {
        if (!disk_.end(e, ok, error)) return false;
        ++done_;
        return true;
    }

    bool finish(std::string& error) { return disk_.finish(error); }

    uint64_t done_ = 0, total_ = 0, shown_ = 0;

private:
    DiskWriter disk_;
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
        sink.total_ = index.written_size() + index.entries.size();
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
