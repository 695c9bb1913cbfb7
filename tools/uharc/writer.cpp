#include "platform.h"
#include "repack.h"
#include "uharc.h"

#include <lzma.h>

#include <algorithm>
#include <cstring>
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

    bool init(uint8_t filters, uint32_t dict, uint32_t preset, std::string& error) {
        if (lzma_lzma_preset(&opt_, preset | LZMA_PRESET_EXTREME)) {
            error = "bad compression preset";
            return false;
        }
        opt_.dict_size = dict;
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

    // Compresses `in` (or finishes with finish=true) and writes to `out`.
    bool feed(const uint8_t* in, size_t n, bool finish, sys::FileWriter& out, uint64_t& packed, std::string& error) {
        strm_.next_in = in;
        strm_.avail_in = n;
        for (;;) {
            strm_.next_out = buf_;
            strm_.avail_out = sizeof(buf_);
            lzma_ret r = lzma_code(&strm_, finish ? LZMA_FINISH : LZMA_RUN);
            size_t made = sizeof(buf_) - strm_.avail_out;
            if (made && !out.write(buf_, made, error)) return false;
            packed += made;
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

bool fail_remove(sys::FileWriter& out, const std::string& archive) {
    std::string ignored;
    if (out.is_open()) out.close(UINT64_MAX, ignored);
    sys::remove_file(archive);
    return false;
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

    // Folders first, then machine code, then the rest; similar files side by side.
    auto rank = [](const Source& s) { return s.entry.type == EntryType::Folder ? 0 : (s.code ? 1 : 2); };
    std::sort(sources.begin(), sources.end(), [&](const Source& a, const Source& b) {
        return std::make_tuple(rank(a), lower_extension(a.entry.path), a.entry.path) <
               std::make_tuple(rank(b), lower_extension(b.entry.path), b.entry.path);
    });

    Index index;
    bool any_code = false, any_plain = false;
    for (const Source& s : sources) {
        if (s.entry.type == EntryType::File && s.code) any_code = true;
        if (s.entry.type == EntryType::File && !s.code) any_plain = true;
    }
    if (any_code) index.blocks.push_back({kFilterX86, 0, 0});
    if (any_plain || !any_code) index.blocks.push_back({0, 0, 0});
    for (Source& s : sources) {
        s.entry.block = (s.entry.type == EntryType::File && !s.code && any_code) ? 1 : 0;
        index.blocks[s.entry.block].unpacked_size += s.entry.stored();
        index.entries.push_back(s.entry);
    }
    uint64_t largest = 0;
    for (const Block& b : index.blocks) largest = std::max(largest, b.unpacked_size);
    index.dict_size = static_cast<uint32_t>(
            std::max<uint64_t>(kMinDictSize, std::min<uint64_t>(kMaxDictSize, (largest + 0xFFFF) & ~0xFFFFull)));
    std::string why = check_index(index);
    if (!why.empty()) {
        error = "cannot store the folder: " + why;
        return false;
    }

    sys::FileWriter out;
    if (!out.create(archive, error, true)) {
        error = "cannot create " + archive + ": " + error;
        return false;
    }
    std::vector<uint8_t> head = encode_head(index);
    if (!out.write(head.data(), head.size(), error)) return fail_remove(out, archive);

    std::vector<uint8_t> buf(kChunk);
    size_t next = 0;
    for (size_t b = 0; b < index.blocks.size(); ++b) {
        Encoder enc;
        if (!enc.init(index.blocks[b].filters, index.dict_size, options.preset, error))
            return fail_remove(out, archive);
        uint64_t packed = 0;
        for (; next < sources.size() && sources[next].entry.block == b; ++next) {
            Source& s = sources[next];
            Entry& e = index.entries[next];
            if (e.type == EntryType::Folder) continue;
            uint32_t crc = 0;
            if (e.transform) {
                if (!enc.feed(s.stored.data(), s.stored.size(), false, out, packed, error))
                    return fail_remove(out, archive);
                std::vector<uint8_t>().swap(s.stored);
                continue;
            } else if (!s.full.empty()) {
                if (e.size == 0) continue;
                sys::FileReader r;
                if (!r.open(s.full, error)) return fail_remove(out, archive);
                uint64_t total = 0;
                for (;;) {
                    long n = r.read(buf.data(), buf.size());
                    if (n < 0) {
                        error = "cannot read " + e.path;
                        return fail_remove(out, archive);
                    }
                    if (n == 0) break;
                    total += static_cast<uint64_t>(n);
                    if (total > e.size) break;
                    crc = crc32(buf.data(), static_cast<size_t>(n), crc);
                    if (!enc.feed(buf.data(), static_cast<size_t>(n), false, out, packed, error))
                        return fail_remove(out, archive);
                }
                if (total != e.size) {
                    error = "file changed while it was read: " + e.path;
                    return fail_remove(out, archive);
                }
            } else {
                const uint8_t* p = reinterpret_cast<const uint8_t*>(s.content.data());
                crc = crc32(p, s.content.size());
                if (!enc.feed(p, s.content.size(), false, out, packed, error)) return fail_remove(out, archive);
            }
            e.crc32 = crc;
        }
        if (!enc.feed(nullptr, 0, true, out, packed, error)) return fail_remove(out, archive);
        index.blocks[b].packed_size = packed;
    }
    head = encode_head(index);
    if (!out.write_at(0, head.data(), head.size(), error) || !out.close(UINT64_MAX, error)) {
        error = "cannot write " + archive + ": " + error;
        return fail_remove(out, archive);
    }
    return true;
}

} // namespace uharc
