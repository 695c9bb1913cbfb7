// libFuzzer target: the expander's decoding core (gzip members, CRCs, lengths,
// trailing bytes). The first byte chooses how the input is handed over (all at once or
// in small reads) and where a sink starts refusing; the result must not depend on the
// read sizes, and a refusing sink must end the decoding with a write error.
#include "gunzip.h"

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

using unpack200::GunzipResult;
using unpack200::GunzipStatus;

class MemorySource : public unpack200::ByteSource {
public:
    MemorySource(const uint8_t* data, size_t size, size_t step) : data_(data), left_(size), step_(step) {}
    bool Read(unsigned char* buf, size_t capacity, size_t* got) override {
        size_t n = std::min({capacity, left_, step_});
        if (n) std::memcpy(buf, data_, n);
        data_ += n;
        left_ -= n;
        *got = n;
        return true;
    }

private:
    const uint8_t* data_;
    size_t left_;
    size_t step_;
};

// Keeps a CRC of what it is given instead of the bytes: a small input may expand
// a thousandfold.
class DigestSink : public unpack200::ByteSink {
public:
    explicit DigestSink(uint64_t limit) : limit_(limit) {}
    bool Write(const unsigned char* data, size_t size) override {
        if (size == 0) std::abort(); // the core never writes nothing
        if (total_ + size > limit_) return false;
        crc_ = crc32(crc_, data, static_cast<uInt>(size));
        total_ += size;
        return true;
    }
    uint64_t total() const { return total_; }
    uLong crc() const { return crc_; }

private:
    uint64_t limit_;
    uint64_t total_ = 0;
    uLong crc_ = crc32(0, nullptr, 0);
};

const uint64_t kNoLimit = ~0ull;
unpack200::GunzipBuffers g_buffers;

bool IsDataError(GunzipStatus s) {
    return s == GunzipStatus::kCrcError || s == GunzipStatus::kLengthMismatch || s == GunzipStatus::kNotGzip ||
           s == GunzipStatus::kCorrupt;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const uint8_t mode = data[0];
    ++data;
    --size;

    MemorySource whole_in(data, size, size_t(1) << 20);
    DigestSink whole_out(kNoLimit);
    GunzipResult whole = unpack200::Gunzip(whole_in, whole_out, g_buffers);
    if (whole.status == GunzipStatus::kReadError || whole.status == GunzipStatus::kWriteError ||
        whole.status == GunzipStatus::kOutOfMemory)
        std::abort(); // neither the memory source nor an unlimited sink fails
    if (IsDataError(whole.status) && whole.detail.empty() && whole.status != GunzipStatus::kCorrupt)
        std::abort();                                                 // the data errors keep zlib's words
    if (whole.status == GunzipStatus::kOk && size < 18) std::abort(); // no member is shorter

    // Reads of 1 to 16 bytes: member boundaries and headers fall across reads.
    MemorySource small_in(data, size, 1 + (mode & 15));
    DigestSink small_out(kNoLimit);
    GunzipResult small = unpack200::Gunzip(small_in, small_out, g_buffers);
    if (small.status != whole.status) std::abort();
    if (whole.status == GunzipStatus::kOk &&
        (small_out.total() != whole_out.total() || small_out.crc() != whole_out.crc()))
        std::abort();

    // A sink that refuses after some bytes.
    uint64_t limit = (mode >> 4) * (whole_out.total() / 16);
    MemorySource limited_in(data, size, size_t(1) << 20);
    DigestSink limited_out(limit);
    GunzipResult limited = unpack200::Gunzip(limited_in, limited_out, g_buffers);
    if (whole_out.total() <= limit) {
        if (limited.status != whole.status) std::abort();
    } else if (whole.status == GunzipStatus::kOk && limited.status != GunzipStatus::kWriteError) {
        std::abort();
    }
    return 0;
}
