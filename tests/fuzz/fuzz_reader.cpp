// libFuzzer target: the archive reader (header, index, path rules, decompression,
// CRCs). The first byte chooses whether the checksums of the header and the index
// are recomputed first, so that mutations also reach the parser behind them.
#include "uharc.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

void put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// The blocks are decoded side by side: each may have one entry open at a time, and
// an entry ends with no more bytes than its size, and all of them when it is good.
class CheckingSink : public uharc::Sink {
public:
    bool begin(const uharc::Entry& e, std::string&) override {
        // Only checked paths may ever reach a sink.
        if (!uharc::check_path(e.path).empty()) std::abort();
        Open& o = at(e);
        if (o.entry) std::abort();
        o.entry = &e;
        o.left = e.size;
        return true;
    }
    bool write(const uharc::Entry& e, const uint8_t*, size_t size, std::string&) override {
        Open& o = at(e);
        if (o.entry != &e || size > o.left) std::abort();
        o.left -= size;
        return true;
    }
    bool end(const uharc::Entry& e, bool ok, std::string&) override {
        Open& o = at(e);
        if (o.entry != &e || (ok && o.left != 0)) std::abort();
        o.entry = nullptr;
        return true;
    }

private:
    struct Open {
        const uharc::Entry* entry = nullptr;
        uint64_t left = 0;
    };
    Open& at(const uharc::Entry& e) {
        if (e.block >= uharc::kMaxBlocks) std::abort();
        return open_[e.block];
    }
    Open open_[uharc::kMaxBlocks];
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    bool fix = data[0] & 1;
    std::vector<uint8_t> bytes(data + 1, data + size);
    if (fix && bytes.size() >= uharc::kHeaderSize) {
        uint32_t index_size =
                bytes[16] | (bytes[17] << 8) | (bytes[18] << 16) | (static_cast<uint32_t>(bytes[19]) << 24);
        if (index_size <= bytes.size() - uharc::kHeaderSize)
            put32(&bytes[20], uharc::crc32(&bytes[uharc::kHeaderSize], index_size));
        put32(&bytes[uharc::kHeaderSize - 4], uharc::crc32(bytes.data(), uharc::kHeaderSize - 4));
    }
    uharc::MemoryInput in(bytes.data(), bytes.size());
    CheckingSink sink;
    std::string error;
    bool ok = uharc::read_archive(in, &sink, error);
    if (!ok && error.empty()) std::abort(); // every failure must say why
    return 0;
}
