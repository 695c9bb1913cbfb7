#include "platform.h"
#include "repack.h"
#include "uharc.h"

#include <lzma.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <tuple>

namespace uharc {

namespace {

constexpr size_t kChunk = 1u << 20;

std::string lower_extension(const std::string& path) {
    size_t slash = path.rfind('/');
    size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    std::string ext = path.substr(dot + 1);
    for (char& c : ext)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return ext;
}

// x86 and x86-64 machine code (ELF or PE) compresses better after the BCJ filter.
bool is_x86_code(const uint8_t* h, size_t n) {
    if (n >= 20 && std::memcmp(h,
                               "\x7f"
                               "ELF",
                               4) == 0) {
        unsigned machine = h[18] | (h[19] << 8);
        return machine == 3 || machine == 62;
    }
    if (n >= 0x40 && h[0] == 'M' && h[1] == 'Z') {
        uint32_t pe = h[0x3C] | (h[0x3D] << 8) | (h[0x3E] << 16) | (static_cast<uint32_t>(h[0x3F]) << 24);
        if (pe <= n - 6 && std::memcmp(h + pe, "PE\0\0", 4) == 0) {
            unsigned machine = h[pe + 4] | (h[pe + 5] << 8);
            return machine == 0x14C || machine == 0x8664;
        }
    }
    return false;
}

class Encoder {
public:
    Encoder() = default;
    ~Encoder() { lzma_end(&strm_); }
    Encoder(const Encoder&) = delete;
    Encoder& operator=(const Encoder&) = delete;

    bool init(uint8_t filters, uint32_t dict, uint32_t preset, uint32_t lc, std::string& error) {
        if (lzma_lzma_preset(&opt_, preset | LZMA_PRESET_EXTREME)) {
            error = "bad compression preset";
            return false;
        }
        opt_.dict_size = dict;
        opt_.lc = lc;
        lzma_filter chain[3];
        size_t i = 0;
        if (filters & kFilterX86) chain[i++] = {LZMA_FILTER_X86, nullptr};
        chain[i++] = {LZMA_FILTER_LZMA2, &opt_};
        chain[i] = {LZMA_VLI_UNKNOWN, nullptr};
        if (lzma_raw_encoder(&strm_, chain) != LZMA_OK) {
            error = "cannot start the compressor (out of memory?)";
            return false;
        }
        return true;
    }

    // Compresses `in` (or finishes with finish=true), appending to `out`.
    bool feed(const uint8_t* in, size_t n, bool finish, std::vector<uint8_t>& out, std::string& error) {
        strm_.next_in = in;
        strm_.avail_in = n;
        for (;;) {
            strm_.next_out = buf_;
            strm_.avail_out = sizeof(buf_);
            lzma_ret r = lzma_code(&strm_, finish ? LZMA_FINISH : LZMA_RUN);
            out.insert(out.end(), buf_, buf_ + (sizeof(buf_) - strm_.avail_out));
            if (r == LZMA_STREAM_END) return true;
            if (r != LZMA_OK) {
                error = "compression failed";
                return false;
            }
            if (!finish && strm_.avail_in == 0 && strm_.avail_out != 0) return true;
        }
    }

private:
    lzma_stream strm_ = LZMA_STREAM_INIT;
    lzma_options_lzma opt_{};
    uint8_t buf_[1u << 16];
};

struct Source {
    Entry entry;
    std::string full;    // file on disk, empty for generated content
    std::string content; // generated content (the manifest)
    bool code = false;
    std::vector<uint8_t> stored; // the re-packed form, when the entry is transformed
    int group = 0;
};

// Zip (and jar) or gzip: worth trying to re-pack.
bool is_deflate_container(const uint8_t* h, size_t n) {
    return (n >= 4 && std::memcmp(h, "PK\3\4", 4) == 0) || (n >= 3 && std::memcmp(h, "\x1f\x8b\x08", 3) == 0);
}

// Reads the whole file and re-packs it when zlib reproduces its streams.
bool try_repack(Source& s, std::string& error) {
    constexpr uint64_t kMaxRepackInput = 1u << 30;
    if (s.entry.size > kMaxRepackInput) return true;
    std::vector<uint8_t> data(static_cast<size_t>(s.entry.size));
    sys::FileReader r;
    if (!r.open(s.full, error)) return false;
    size_t got = 0;
    while (got < data.size()) {
        long n = r.read(data.data() + got, data.size() - got);
        if (n <= 0) break;
        got += static_cast<size_t>(n);
    }
    if (got != data.size()) {
        error = "cannot read " + s.entry.path;
        return false;
    }
    if (!Repack(data.data(), data.size(), s.stored)) return true;
    s.entry.transform = kTransformRepack;
    s.entry.stored_size = s.stored.size();
    s.entry.crc32 = crc32(data.data(), data.size());
    return true;
}

// What a block's data looks like to the compressor: its filters and literal context
// bits are tried on a sample of it.
struct Plan {
    std::vector<size_t> files; // indexes into the sources, in archive order
    uint64_t size = 0;
    uint8_t filters = 0;
    uint32_t lc = 3;
    uint32_t dict = kMinDictSize;
    std::vector<uint8_t> packed;
    std::string error;
};

constexpr uint64_t kLargeFile = 4u << 20;
constexpr size_t kSampleSize = 2u << 20;
constexpr size_t kSamplePieces = 8;
// The dictionaries of any two blocks together, so that two decode side by side within
// the extractor's limit (kMaxDictSize) with room to spare.
constexpr uint64_t kDictBudget = 44u << 20;
// Re-deflating a file costs a few times what decoding its bytes does.
constexpr uint64_t kRepackCost = 4;

// Reads `size` bytes at `offset` of the source into `out` (appending).
bool read_piece(const Source& s, uint64_t offset, size_t size, std::vector<uint8_t>& out, std::string& error) {
    if (s.entry.transform) {
        out.insert(out.end(), s.stored.begin() + static_cast<long>(offset),
                   s.stored.begin() + static_cast<long>(offset + size));
        return true;
    }
    if (s.full.empty()) {
        out.insert(out.end(), s.content.begin() + static_cast<long>(offset),
                   s.content.begin() + static_cast<long>(offset + size));
        return true;
    }
    sys::FileReader r;
    if (!r.open(s.full, error)) return false;
    size_t at = out.size();
    out.resize(at + size);
    size_t got = 0;
    while (got < size) {
        long n = r.read_at(offset + got, out.data() + at + got, size - got);
        if (n <= 0) {
            error = "cannot read " + s.entry.path;
            return false;
        }
        got += static_cast<size_t>(n);
    }
    return true;
}

// A few evenly spread pieces of the block's stream, about kSampleSize together.
bool take_sample(const std::vector<Source>& sources, const Plan& plan, std::vector<uint8_t>& sample,
                 std::string& error) {
    uint64_t piece = std::min<uint64_t>(plan.size, kSampleSize) / kSamplePieces;
    if (piece == 0) return true;
    uint64_t stride = plan.size / kSamplePieces, start = 0;
    size_t k = 0;
    for (size_t i : plan.files) {
        const Source& s = sources[i];
        uint64_t size = s.entry.stored();
        while (k < kSamplePieces && k * stride < start + size) {
            uint64_t from = k * stride - std::min(k * stride, start);
            uint64_t n = std::min<uint64_t>(piece, size - from);
            if (n && !read_piece(s, from, static_cast<size_t>(n), sample, error)) return false;
            ++k;
        }
        start += size;
    }
    return true;
}

size_t packed_size_of(const std::vector<uint8_t>& sample, uint8_t filters, uint32_t lc, uint32_t preset) {
    Encoder enc;
    std::vector<uint8_t> out;
    std::string error;
    if (!enc.init(filters, static_cast<uint32_t>(std::max<size_t>(kMinDictSize, sample.size())), preset, lc, error) ||
        !enc.feed(sample.data(), sample.size(), true, out, error))
        return SIZE_MAX;
    return out.size();
}

void choose_coding(const std::vector<Source>& sources, Plan& plan, uint32_t preset) {
    std::vector<uint8_t> sample;
    if (!take_sample(sources, plan, sample, plan.error) || sample.empty()) return;
    size_t plain = packed_size_of(sample, 0, 3, preset);
    size_t bcj = packed_size_of(sample, kFilterX86, 3, preset);
    if (bcj < plain) plan.filters = kFilterX86;
    size_t lc4 = packed_size_of(sample, plan.filters, 4, preset);
    if (lc4 < std::min(plain, bcj)) plan.lc = 4;
}

// Compresses the block's files in archive order, noting each one's CRC-32.
void compress_block(std::vector<Source>& sources, std::vector<Entry>& entries, Plan& plan, uint32_t preset) {
    Encoder enc;
    std::string& error = plan.error;
    if (!enc.init(plan.filters, plan.dict, preset, plan.lc, error)) return;
    std::vector<uint8_t> buf(kChunk);
    for (size_t i : plan.files) {
        Source& s = sources[i];
        Entry& e = entries[i];
        uint32_t crc = 0;
        if (e.transform) {
            if (!enc.feed(s.stored.data(), s.stored.size(), false, plan.packed, error)) return;
            std::vector<uint8_t>().swap(s.stored);
            continue;
        }
        if (!s.full.empty()) {
            if (e.size == 0) continue;
            sys::FileReader r;
            if (!r.open(s.full, error)) return;
            uint64_t total = 0;
            for (;;) {
                long n = r.read(buf.data(), buf.size());
                if (n < 0) {
                    error = "cannot read " + e.path;
                    return;
                }
                if (n == 0) break;
                total += static_cast<uint64_t>(n);
                if (total > e.size) break;
                crc = crc32(buf.data(), static_cast<size_t>(n), crc);
                if (!enc.feed(buf.data(), static_cast<size_t>(n), false, plan.packed, error)) return;
            }
            if (total != e.size) {
                error = "file changed while it was read: " + e.path;
                return;
            }
        } else {
            const uint8_t* p = reinterpret_cast<const uint8_t*>(s.content.data());
            crc = crc32(p, s.content.size());
            if (!enc.feed(p, s.content.size(), false, plan.packed, error)) return;
        }
        e.crc32 = crc;
    }
    enc.feed(nullptr, 0, true, plan.packed, error);
}

bool fail_remove(sys::FileWriter& out, const std::string& archive) {
    std::string ignored;
    if (out.is_open()) out.close(UINT64_MAX, ignored);
    sys::remove_file(archive);
    return false;
}

// The largest cap with the two largest min(size, cap) within the budget: a small block
// keeps a dictionary as large as itself, and any two blocks decode side by side.
void size_dictionaries(std::vector<Plan>& plans) {
    auto need = [](const Plan& p) {
        return std::max<uint64_t>(kMinDictSize, std::min<uint64_t>(kMaxDictSize, (p.size + 0xFFFF) & ~0xFFFFull));
    };
    uint64_t lo = kMinDictSize, hi = kMaxDictSize;
    auto pair = [&](uint64_t cap) {
        uint64_t first = 0, second = 0;
        for (const Plan& p : plans) {
            uint64_t d = std::max<uint64_t>(kMinDictSize, std::min(need(p), cap));
            if (d > first) {
                second = first;
                first = d;
            } else if (d > second) {
                second = d;
            }
        }
        return first + second;
    };
    while (lo < hi) {
        uint64_t mid = (lo + hi + 1) / 2;
        if (pair(mid) <= kDictBudget)
            lo = mid;
        else
            hi = mid - 1;
    }
    for (Plan& p : plans)
        p.dict = static_cast<uint32_t>(std::max<uint64_t>(kMinDictSize, std::min<uint64_t>(need(p), lo & ~0xFFFull)));
}

} // namespace

bool create_archive(const std::string& folder, const std::string& archive, const WriteOptions& options,
                    std::string& error) {
    std::vector<sys::ScanItem> items;
    if (!sys::scan_folder(folder, items, error)) return false;
    std::string base;
    if (!sys::folder_base(folder, base, error)) return false;

    std::vector<Source> sources;
    uint64_t newest = 0;
    for (const sys::ScanItem& it : items) {
        std::string why = check_path(it.path);
        if (!why.empty()) {
            error = "cannot store \"" + it.path + "\": " + why;
            return false;
        }
        if (options.manifest && it.path == kManifestName) {
            if (options.note) options.note("the folder's own uninstall.lst is replaced by the generated list");
            continue;
        }
        Source s;
        s.entry.type = it.type;
        s.entry.path = it.path;
        s.entry.attributes = it.attributes & kAttrMask;
        s.entry.mode = it.mode;
        s.entry.mtime = it.mtime;
        s.entry.size = it.size;
        s.full = sys::join(base, it.path);
        newest = std::max(newest, it.mtime);
        if (it.type == EntryType::File && it.size > 0) {
            sys::FileReader r;
            if (!r.open(s.full, error)) return false;
            uint8_t head[4096];
            long n = r.read(head, sizeof(head));
            s.code = n > 0 && is_x86_code(head, static_cast<size_t>(n));
            if (n > 0 && is_deflate_container(head, static_cast<size_t>(n)) && !try_repack(s, error)) return false;
        }
        sources.push_back(std::move(s));
    }
    if (options.manifest) {
        std::vector<Entry> listed;
        for (const Source& s : sources) listed.push_back(s.entry);
        Source m;
        m.entry.path = kManifestName;
        m.entry.mode = 0644;
        m.entry.mtime = newest; // not the clock: the same folder must give the same bytes
        m.content = manifest_text(listed);
        m.entry.size = m.content.size();
        sources.push_back(std::move(m));
    }

    // Blocks by content, each decoded on a thread of its own: large executables
    // together, large files of the same kind (two or more sharing an extension, or one
    // re-packed, whose re-deflating is worth a thread) together, and all the rest;
    // similar files side by side within each.
    std::vector<std::string> large_kinds;
    {
        std::vector<std::string> seen;
        for (const Source& s : sources)
            if (s.entry.type == EntryType::File && !s.code && s.entry.stored() >= kLargeFile) {
                std::string ext = lower_extension(s.entry.path);
                if (s.entry.transform || std::find(seen.begin(), seen.end(), ext) != seen.end()) {
                    if (std::find(large_kinds.begin(), large_kinds.end(), ext) == large_kinds.end())
                        large_kinds.push_back(ext);
                } else {
                    seen.push_back(ext);
                }
            }
        std::sort(large_kinds.begin(), large_kinds.end());
        large_kinds.resize(std::min(large_kinds.size(), kMaxBlocks - 2));
    }
    // group 0: the rest, 1: large executables, 2...: large files of one kind
    for (Source& s : sources) {
        if (s.entry.type != EntryType::File || s.entry.stored() < kLargeFile) continue;
        if (s.code) {
            s.group = 1;
            continue;
        }
        auto it = std::find(large_kinds.begin(), large_kinds.end(), lower_extension(s.entry.path));
        if (it != large_kinds.end()) s.group = 2 + static_cast<int>(it - large_kinds.begin());
    }
    std::vector<uint64_t> group_cost(2 + large_kinds.size(), 0);
    for (const Source& s : sources) group_cost[s.group] += s.entry.stored() * (s.entry.transform ? kRepackCost : 1);
    // The costliest block first, so that the last one to start is a short one.
    std::vector<int> order;
    for (int g = 0; g < static_cast<int>(group_cost.size()); ++g)
        if (group_cost[g] > 0 || g == 0) order.push_back(g);
    std::stable_sort(order.begin(), order.end(), [&](int x, int y) { return group_cost[x] > group_cost[y]; });
    std::vector<int> block_of(group_cost.size(), 0);
    for (size_t i = 0; i < order.size(); ++i) block_of[order[i]] = static_cast<int>(i);
    auto rank = [&](const Source& s) { return s.entry.type == EntryType::Folder ? -1 : block_of[s.group]; };
    std::sort(sources.begin(), sources.end(), [&](const Source& a, const Source& b) {
        return std::make_tuple(rank(a), lower_extension(a.entry.path), a.entry.path) <
               std::make_tuple(rank(b), lower_extension(b.entry.path), b.entry.path);
    });

    Index index;
    std::vector<Plan> plans(order.size());
    for (size_t i = 0; i < sources.size(); ++i) {
        Source& s = sources[i];
        s.entry.block = static_cast<uint8_t>(s.entry.type == EntryType::Folder ? 0 : block_of[s.group]);
        Plan& plan = plans[s.entry.block];
        plan.size += s.entry.stored();
        if (s.entry.type == EntryType::File) plan.files.push_back(i);
        index.entries.push_back(s.entry);
    }
    size_dictionaries(plans);
    for (const Plan& plan : plans) index.blocks.push_back({0, 0, plan.size, plan.dict});
    std::string why = check_index(index);
    if (!why.empty()) {
        error = "cannot store the folder: " + why;
        return false;
    }

    // The blocks are compressed side by side too.
    {
        std::vector<std::unique_ptr<sys::Thread>> threads;
        sys::Lock lock;
        size_t next = 0;
        auto work = [&] {
            for (;;) {
                size_t b;
                {
                    sys::Held held(lock);
                    if (next == plans.size()) return;
                    b = next++;
                }
                choose_coding(sources, plans[b], options.preset);
                if (plans[b].error.empty()) compress_block(sources, index.entries, plans[b], options.preset);
            }
        };
        size_t count = std::min<size_t>(std::max(1u, sys::processor_count()), plans.size());
        for (size_t i = 1; i < count; ++i) {
            threads.emplace_back(new sys::Thread);
            if (!threads.back()->start(work)) threads.pop_back();
        }
        work();
        for (auto& t : threads) t->join();
    }
    for (size_t b = 0; b < plans.size(); ++b) {
        if (!plans[b].error.empty()) {
            error = plans[b].error;
            return false;
        }
        index.blocks[b].filters = plans[b].filters;
        index.blocks[b].packed_size = plans[b].packed.size();
    }

    sys::FileWriter out;
    if (!out.create(archive, error, true)) {
        error = "cannot create " + archive + ": " + error;
        return false;
    }
    std::vector<uint8_t> head = encode_head(index);
    if (!out.write(head.data(), head.size(), error)) return fail_remove(out, archive);
    for (Plan& plan : plans) {
        if (!out.write(plan.packed.data(), plan.packed.size(), error)) return fail_remove(out, archive);
        std::vector<uint8_t>().swap(plan.packed);
    }
    if (!out.close(UINT64_MAX, error)) {
        error = "cannot write " + archive + ": " + error;
        return fail_remove(out, archive);
    }
    return true;
}

} // namespace uharc
