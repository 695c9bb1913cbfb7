// Bit-exact re-packing of deflate containers (zip/jar entries, gzip members).
// A file whose deflate streams zlib, or our copy of GNU gzip's deflate, reproduces
// byte for byte is stored with those streams inflated (LZMA compresses that far
// better) plus the parameters; the extractor deflates them again. The stored form is described in
// docs/archive-format.md ("Re-packed files").
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include <zlib.h>

namespace uharc {

class GzipDeflater;

// Creation: `stored` receives the stored form when at least one stream could be
// reproduced and the stored form, run through Rebuilder, gives back `data` exactly.
bool Repack(const uint8_t* data, size_t n, std::vector<uint8_t>& stored);

// Extraction: turns the stored form, fed in pieces of any size, back into the
// original bytes, handed to `out` as they are made. Memory stays bounded whatever
// the input; anything malformed, or output beyond `limit` bytes, makes Write or
// Finish return false (and `out` is not called again).
class Rebuilder {
public:
    using Output = std::function<bool(const uint8_t*, size_t)>;
    Rebuilder(uint64_t limit, Output out);
    ~Rebuilder();
    Rebuilder(const Rebuilder&) = delete;
    Rebuilder& operator=(const Rebuilder&) = delete;

    bool Write(const uint8_t* data, size_t n);
    // True when the stored form ended properly and exactly `limit` bytes were made.
    bool Finish();

private:
    enum class State { Magic, Tag, Fields, Raw, Inflated, End, Failed };
    bool Fail();
    bool Emit(const uint8_t* p, size_t n);
    bool StartSegment();
    bool Deflate(bool finish);
    bool Produced(const uint8_t* p, size_t n);

    uint64_t limit_;
    Output out_;
    State state_ = State::Magic;
    uint8_t fields_[24];
    uint8_t tag_ = 0;
    size_t have_ = 0, need_ = 4;
    uint64_t made_ = 0;
    uint64_t left_ = 0;     // bytes of the current segment still to come
    uint64_t deflated_ = 0; // what the current deflate segment must come to
    uint64_t produced_ = 0; // what it has come to so far
    z_stream zs_{};
    bool zs_live_ = false;
    std::unique_ptr<GzipDeflater> gz_; // instead of zlib, for a gzip-made segment
    std::vector<uint8_t> in_, outbuf_;
    size_t in_used_ = 0;
};

} // namespace uharc
