// libFuzzer target: re-packing. Selector 0 feeds the bytes to the extractor's
// rebuilder as a stored form (in pieces cut by the input itself, against a size
// limit taken from it); selector 1 offers them to the creation side as a zip or
// gzip file, whose stored form must then give the file back exactly.
#include "repack.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    uint8_t mode = data[0], cut = data[1], limit_byte = data[2];
    data += 3;
    size -= 3;
    if (mode & 1) {
        std::vector<uint8_t> stored;
        if (!uharc::Repack(data, size, stored)) return 0;
        std::vector<uint8_t> back;
        uharc::Rebuilder rb(size, [&](const uint8_t* p, size_t n) {
            back.insert(back.end(), p, p + n);
            return true;
        });
        if (!rb.Write(stored.data(), stored.size()) || !rb.Finish()) std::abort();
        if (back.size() != size || std::memcmp(back.data(), data, size) != 0) std::abort();
        return 0;
    }
    uint64_t limit = limit_byte == 0xFF ? UINT64_MAX : static_cast<uint64_t>(limit_byte) << (limit_byte & 7) * 2;
    uint64_t made = 0;
    uharc::Rebuilder rb(limit, [&](const uint8_t*, size_t n) {
        made += n;
        if (made > limit) std::abort(); // the rebuilder must stop before its limit
        return true;
    });
    size_t piece = cut ? cut : size;
    bool ok = true;
    for (size_t off = 0; ok && off < size; off += piece) ok = rb.Write(data + off, std::min(piece, size - off));
    if (ok && rb.Finish() && made != limit) std::abort();
    return 0;
}
