// The decoding core of unpack200: every gzip member of a byte stream, each checked
// against its CRC and length. No platform calls: the Windows tool gives it files, the
// fuzz target memory.
#pragma once

#include <cstddef>
#include <string>

namespace unpack200 {

class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Up to `capacity` bytes into `buf`; *got == 0 is the end. False on a read error,
    // which ends the decoding.
    virtual bool Read(unsigned char* buf, size_t capacity, size_t* got) = 0;
};

class ByteSink {
public:
    virtual ~ByteSink() = default;
    // False on a write error, which ends the decoding.
    virtual bool Write(const unsigned char* data, size_t size) = 0;
};

enum class GunzipStatus {
    kOk,
    kOutOfMemory,
    kReadError,       // the source said so
    kWriteError,      // the sink said so
    kTrailingGarbage, // something other than another member after a member
    kTruncated,
    kCrcError,
    kLengthMismatch,
    kNotGzip,
    kCorrupt,
};

struct GunzipResult {
    GunzipStatus status = GunzipStatus::kOk;
    std::string detail; // zlib's own words for the data errors
};

// Scratch space of Gunzip: too large for the stack, and worth keeping between streams.
struct GunzipBuffers {
    unsigned char in[1 << 16];
    unsigned char out[1 << 17];
};

// Reads `in` to its end and writes the expanded bytes to `out` as they come; on a
// failure `out` has had a prefix of the data and must be thrown away.
GunzipResult Gunzip(ByteSource& in, ByteSink& out, GunzipBuffers& buffers);

} // namespace unpack200
