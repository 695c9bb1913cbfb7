#include "uharc.h"

#include <lzma.h>

#include <algorithm>
#include <cstring>
#include <unordered_set>

namespace uharc {

namespace {

void put16(std::vector<uint8_t>& b, uint16_t v) {
    for (int i = 0; i < 2; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void put32(std::vector<uint8_t>& b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void put64(std::vector<uint8_t>& b, uint64_t v) {
    for (int i = 0; i < 8; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
uint16_t get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t get32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}
uint64_t get64(const uint8_t* p) {
    return static_cast<uint64_t>(get32(p)) | (static_cast<uint64_t>(get32(p + 4)) << 32);
}

std::string fold_case(const std::string& s) {
    std::string r = s;
    for (char& c : r)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return r;
}

} // namespace

uint32_t crc32(const void* data, size_t size, uint32_t crc) {
    return lzma_crc32(static_cast<const uint8_t*>(data), size, crc);
}

uint64_t Index::total_size() const {
    uint64_t t = 0;
    for (const Block& b : blocks) t += b.unpacked_size;
    return t;
}

uint64_t Index::written_size() const {
    uint64_t t = 0;
    for (const Entry& e : entries) t += e.size;
    return t;
}

uint64_t Index::dict_total() const {
    uint64_t t = 0;
    for (const Block& b : blocks) t += b.dict_size;
    return t;
}

std::string check_index(const Index& index) {
    if (index.blocks.empty() || index.blocks.size() > kMaxBlocks) return "bad block count";
    for (const Block& b : index.blocks)
        if (b.dict_size < kMinDictSize || b.dict_size > kMaxDictSize) return "unsupported dictionary size";
    if (index.entries.size() > kMaxEntries) return "too many entries";
    std::vector<uint64_t> sums(index.blocks.size(), 0);
    std::unordered_set<std::string> seen, folders;
    size_t last_block = 0;
    for (const Entry& e : index.entries) {
        std::string why = check_path(e.path);
        if (!why.empty()) return "unsafe path \"" + e.path + "\": " + why;
        if (e.type != EntryType::File && e.type != EntryType::Folder) return "bad entry type";
        if (e.block >= index.blocks.size() || e.block < last_block) return "bad block number";
        last_block = e.block;
        if (e.type == EntryType::Folder && e.size != 0) return "folder with data";
        if (e.transform > kTransformRepack || (e.transform && e.type != EntryType::File)) return "unknown transform";
        if (e.stored() > UINT64_MAX - sums[e.block]) return "bad file size";
        sums[e.block] += e.stored();
        std::string key = fold_case(e.path);
        if (!seen.insert(key).second) return "duplicate path \"" + e.path + "\"";
        if (e.type == EntryType::Folder) folders.insert(key);
    }
    // A file must not stand where another entry needs a folder.
    for (const Entry& e : index.entries) {
        std::string key = fold_case(e.path);
        for (size_t p = key.find('/'); p != std::string::npos; p = key.find('/', p + 1)) {
            std::string parent = key.substr(0, p);
            if (seen.count(parent) && !folders.count(parent)) return "path \"" + e.path + "\" lies below a file";
        }
    }
    for (size_t i = 0; i < index.blocks.size(); ++i) {
        if (sums[i] != index.blocks[i].unpacked_size) return "block sizes do not match the entries";
        if (index.blocks[i].filters & ~kFilterX86) return "unknown filter";
    }
    return "";
}

std::vector<uint8_t> encode_head(const Index& index) {
    std::vector<uint8_t> body;
    for (const Block& b : index.blocks) {
        body.push_back(b.filters);
        put64(body, b.packed_size);
        put64(body, b.unpacked_size);
        put32(body, b.dict_size);
    }
    for (const Entry& e : index.entries) {
        body.push_back(static_cast<uint8_t>(e.type));
        body.push_back(e.block);
        put16(body, static_cast<uint16_t>(e.path.size()));
        put32(body, e.attributes);
        put32(body, e.mode);
        put64(body, e.mtime);
        put64(body, e.size);
        put32(body, e.crc32);
        body.push_back(e.transform);
        put64(body, e.stored());
        body.insert(body.end(), e.path.begin(), e.path.end());
    }
    uint64_t packed = 0;
    for (const Block& b : index.blocks) packed += b.packed_size;

    std::vector<uint8_t> head(kMagic, kMagic + 4);
    put16(head, static_cast<uint16_t>(kHeaderSize));
    head.push_back(static_cast<uint8_t>(index.blocks.size()));
    head.push_back(0);
    put32(head, static_cast<uint32_t>(std::min<uint64_t>(index.dict_total(), UINT32_MAX)));
    put32(head, static_cast<uint32_t>(index.entries.size()));
    put32(head, static_cast<uint32_t>(body.size()));
    put32(head, crc32(body.data(), body.size()));
    put64(head, index.total_size());
    put64(head, packed);
    put32(head, 0);
    put32(head, crc32(head.data(), head.size()));
    head.insert(head.end(), body.begin(), body.end());
    return head;
}

bool head_size_from_header(const uint8_t* h, size_t size, size_t& head_size, std::string& error) {
    if (size < 4 || std::memcmp(h, kMagic, 4) != 0) {
        error = "not a UHA archive (version 6)";
        return false;
    }
    if (size < kHeaderSize) {
        error = "archive is truncated (header)";
        return false;
    }
    if (crc32(h, kHeaderSize - 4) != get32(h + kHeaderSize - 4)) {
        error = "archive header is damaged (checksum)";
        return false;
    }
    if (get16(h + 4) != kHeaderSize || h[7] != 0 || get32(h + 40) != 0) {
        error = "unsupported archive header";
        return false;
    }
    uint32_t index_size = get32(h + 16);
    if (index_size > kMaxIndexSize) {
        error = "archive index is too large";
        return false;
    }
    head_size = kHeaderSize + index_size;
    return true;
}

bool decode_head(const uint8_t* data, size_t size, Index& index, size_t& head_size, std::string& error) {
    if (!head_size_from_header(data, size, head_size, error)) return false;
    if (size < head_size) {
        error = "archive is truncated (index)";
        return false;
    }
    const uint8_t* body = data + kHeaderSize;
    size_t body_size = head_size - kHeaderSize;
    if (crc32(body, body_size) != get32(data + 20)) {
        error = "archive index is damaged (checksum)";
        return false;
    }
    size_t blocks = data[6];
    uint32_t count = get32(data + 12);
    if (blocks == 0 || blocks > kMaxBlocks || count > kMaxEntries) {
        error = "archive index is inconsistent";
        return false;
    }
    Index out;
    size_t pos = 0;
    if (body_size < blocks * kBlockRecordSize) {
        error = "archive index is inconsistent";
        return false;
    }
    for (size_t i = 0; i < blocks; ++i, pos += kBlockRecordSize) {
        Block b;
        b.filters = body[pos];
        b.packed_size = get64(body + pos + 1);
        b.unpacked_size = get64(body + pos + 9);
        b.dict_size = get32(body + pos + 17);
        out.blocks.push_back(b);
    }
    out.entries.reserve(std::min<size_t>(count, body_size / kEntryFixedSize + 1));
    for (uint32_t i = 0; i < count; ++i) {
        if (body_size - pos < kEntryFixedSize) {
            error = "archive index is inconsistent";
            return false;
        }
        const uint8_t* p = body + pos;
        Entry e;
        if (p[0] > 1) {
            error = "archive index is inconsistent";
            return false;
        }
        e.type = static_cast<EntryType>(p[0]);
        e.block = p[1];
        size_t len = get16(p + 2);
        e.attributes = get32(p + 4);
        e.mode = get32(p + 8);
        e.mtime = get64(p + 12);
        e.size = get64(p + 20);
        e.crc32 = get32(p + 28);
        e.transform = p[32];
        e.stored_size = get64(p + 33);
        if (!e.transform && e.stored_size != e.size) {
            error = "archive index is inconsistent";
            return false;
        }
        pos += kEntryFixedSize;
        if (body_size - pos < len) {
            error = "archive index is inconsistent";
            return false;
        }
        e.path.assign(reinterpret_cast<const char*>(body + pos), len);
        pos += len;
        out.entries.push_back(std::move(e));
    }
    if (pos != body_size) {
        error = "archive index is inconsistent";
        return false;
    }
    uint64_t packed = 0, unpacked = 0;
    for (const Block& b : out.blocks) {
        if (b.packed_size > UINT64_MAX - packed || b.unpacked_size > UINT64_MAX - unpacked) {
            error = "archive index is inconsistent";
            return false;
        }
        packed += b.packed_size;
        unpacked += b.unpacked_size;
    }
    if (packed != get64(data + 32) || unpacked != get64(data + 24) || out.dict_total() != get32(data + 8)) {
        error = "archive index is inconsistent";
        return false;
    }
    std::string why = check_index(out);
    if (!why.empty()) {
        error = "archive refused: " + why;
        return false;
    }
    index = std::move(out);
    return true;
}

std::string manifest_text(const std::vector<Entry>& entries) {
    std::vector<std::string> lines;
    bool has_self = false;
    for (const Entry& e : entries) {
        if (e.path == kManifestName) has_self = true;
        lines.push_back(e.path + (e.type == EntryType::Folder ? "/" : ""));
    }
    if (!has_self) lines.push_back(kManifestName);
    std::sort(lines.begin(), lines.end());
    std::string text;
    for (std::string& l : lines) {
        std::replace(l.begin(), l.end(), '/', '\\');
        text += l;
        text += "\r\n";
    }
    return text;
}

long MemoryInput::read_at(uint64_t offset, uint8_t* buf, size_t n) {
    if (offset > size_) return 0;
    size_t k = static_cast<size_t>(std::min<uint64_t>(n, size_ - offset));
    if (k) std::memcpy(buf, data_ + offset, k);
    return static_cast<long>(k);
}

long MemoryInput::read(uint8_t* buf, size_t n) {
    size_t k = std::min(n, size_ - pos_);
    if (k) std::memcpy(buf, data_ + pos_, k);
    pos_ += k;
    return static_cast<long>(k);
}

} // namespace uharc
