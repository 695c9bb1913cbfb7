#include "gunzip.h"

#include <zlib.h>

#include <utility>

namespace unpack200 {
namespace {

class Inflater {
public:
    Inflater() { ok_ = inflateInit2(&z_, 15 + 16) == Z_OK; } // gzip wrapper only
    ~Inflater() {
        if (ok_) inflateEnd(&z_);
    }
    Inflater(const Inflater&) = delete;
    Inflater& operator=(const Inflater&) = delete;
    bool ok() const { return ok_; }
    z_stream* operator->() { return &z_; }
    z_stream* get() { return &z_; }

private:
    z_stream z_{};
    bool ok_ = false;
};

GunzipResult Result(GunzipStatus status, std::string detail = std::string()) {
    GunzipResult r;
    r.status = status;
    r.detail = std::move(detail);
    return r;
}

GunzipResult DataError(const char* zmsg) {
    std::string msg = zmsg ? zmsg : "invalid data";
    GunzipStatus status = msg == "incorrect data check"     ? GunzipStatus::kCrcError
                          : msg == "incorrect length check" ? GunzipStatus::kLengthMismatch
                          : msg == "incorrect header check" ? GunzipStatus::kNotGzip
                                                            : GunzipStatus::kCorrupt;
    return Result(status, msg);
}

} // namespace

GunzipResult Gunzip(ByteSource& in, ByteSink& out, GunzipBuffers& buffers) {
    Inflater z;
    if (!z.ok()) return Result(GunzipStatus::kOutOfMemory);
    GunzipBuffers* buf = &buffers;
    bool in_eof = false;
    bool ended = false; // the last member ended and nothing followed yet
    z->avail_in = 0;
    for (;;) {
        if (z->avail_in == 0 && !in_eof) {
            size_t got = 0;
            if (!in.Read(buf->in, sizeof(buf->in), &got)) return Result(GunzipStatus::kReadError);
            if (got > sizeof(buf->in)) return Result(GunzipStatus::kReadError);
            if (got == 0) in_eof = true;
            z->next_in = buf->in;
            z->avail_in = static_cast<uInt>(got);
        }
        if (ended) {
            if (z->avail_in == 0 && in_eof) return Result(GunzipStatus::kOk);
            if (z->avail_in == 0) continue;
            // Another member may follow, as gzip allows; anything else is damage.
            if (z->next_in[0] != 0x1f) return Result(GunzipStatus::kTrailingGarbage);
            if (inflateReset(z.get()) != Z_OK) return Result(GunzipStatus::kOutOfMemory);
            ended = false;
        }
        if (z->avail_in == 0 && in_eof) return Result(GunzipStatus::kTruncated);
        z->next_out = buf->out;
        z->avail_out = sizeof(buf->out);
        int rc = inflate(z.get(), Z_NO_FLUSH);
        size_t produced = sizeof(buf->out) - z->avail_out;
        if (produced && !out.Write(buf->out, produced)) return Result(GunzipStatus::kWriteError);
        if (rc == Z_STREAM_END) {
            ended = true;
        } else if (rc == Z_DATA_ERROR) {
            return DataError(z->msg);
        } else if (rc == Z_MEM_ERROR) {
            return Result(GunzipStatus::kOutOfMemory);
        } else if (rc != Z_OK && rc != Z_BUF_ERROR) {
            return Result(GunzipStatus::kCorrupt);
        }
    }
}

} // namespace unpack200
