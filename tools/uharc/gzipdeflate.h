// Deflate as GNU gzip makes it (levels 4 to 9, its lazy matcher), byte for byte. gzip
// keeps up to 32 Ki symbols per block and may end a block early when its matches run
// short, where zlib ends one every 16 Ki symbols: zlib cannot reproduce a large .gz,
// this can. The input comes in pieces of any size; the output does not depend on how
// it is cut.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

namespace uharc {

class GzipDeflater {
public:
    using Output = std::function<bool(const uint8_t*, size_t)>;
    static bool ValidLevel(int level) { return level >= 4 && level <= 9; }

    // `total` is the whole input's size, which must be known in advance: gzip reads
    // ahead, and where its reading ends shapes the last matches.
    GzipDeflater(int level, uint64_t total, Output out);
    ~GzipDeflater();
    GzipDeflater(const GzipDeflater&) = delete;
    GzipDeflater& operator=(const GzipDeflater&) = delete;

    // False when `out` refused the output or the input went beyond `total`; the
    // deflater is then spent.
    bool Write(const uint8_t* data, size_t n);
    // After exactly `total` bytes: the last block, and the output's final byte.
    bool Finish();

private:
    struct State;
    std::unique_ptr<State> s_;
};

} // namespace uharc
