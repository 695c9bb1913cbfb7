#include "repack.h"

#include "gzipdeflate.h"

#include <algorithm>
#include <cstring>

namespace uharc {

namespace {

constexpr uint8_t kRepackMagic[4] = {'U', 'R', 'P', 1};
constexpr uint8_t kTagRaw = 0, kTagDeflate = 1, kTagGzip = 2, kTagEnd = 0xFF;
constexpr size_t kRawFields = 4, kDeflateFields = 20, kGzipFields = 17;
// Both sides hand zlib the same pieces, so its output cannot depend on how the
// decompressor happens to cut the stored bytes.
constexpr size_t kPiece = 1u << 16;
constexpr size_t kOutPiece = 1u << 16;
// Streams that inflate beyond this are left as they are.
constexpr size_t kMaxInflated = size_t(1) << 30;

uint32_t get16(const uint8_t* p) { return p[0] | (p[1] << 8); }
uint32_t get32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24); }
uint64_t get64(const uint8_t* p) { return get32(p) | (static_cast<uint64_t>(get32(p + 4)) << 32); }
void put32(std::vector<uint8_t>& b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void put64(std::vector<uint8_t>& b, uint64_t v) {
    for (int i = 0; i < 8; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// zlib's parameters, or (gzip set) GNU gzip's level alone.
struct Params {
    uint8_t level, mem_level, window_bits, strategy;
    bool gzip = false;
    bool operator==(const Params& o) const {
        return level == o.level && mem_level == o.mem_level && window_bits == o.window_bits && strategy == o.strategy &&
               gzip == o.gzip;
    }
};

bool valid(const Params& p) {
    if (p.gzip) return GzipDeflater::ValidLevel(p.level);
    return p.level >= 1 && p.level <= 9 && p.mem_level >= 1 && p.mem_level <= 9 && p.window_bits >= 9 &&
           p.window_bits <= 15 && p.strategy <= Z_RLE;
}

bool start_deflate(z_stream& zs, const Params& p) {
    zs = z_stream{};
    return deflateInit2(&zs, p.level, Z_DEFLATED, -p.window_bits, p.mem_level, p.strategy) == Z_OK;
}

// One piece through deflate; `emit` sees the output as it comes.
template <typename Emit>
bool deflate_piece(z_stream& zs, const uint8_t* in, size_t n, bool finish, uint8_t* out, Emit&& emit) {
    zs.next_in = const_cast<Bytef*>(in);
    zs.avail_in = static_cast<uInt>(n);
    for (;;) {
        zs.next_out = out;
        zs.avail_out = kOutPiece;
        int r = deflate(&zs, finish ? Z_FINISH : Z_NO_FLUSH);
        size_t made = kOutPiece - zs.avail_out;
        if (r == Z_STREAM_ERROR) return false;
        if (made && !emit(out, made)) return false;
        if (finish && r == Z_STREAM_END) return true;
        if (!finish && zs.avail_in == 0 && zs.avail_out != 0) return true;
        if (made == 0 && r == Z_BUF_ERROR) return false;
    }
}

// Whether deflating `plain` with `p` gives exactly `packed`; stops at the first difference.
bool reproduces(const Params& p, const uint8_t* plain, size_t plain_n, const uint8_t* packed, size_t packed_n,
                uint8_t* out) {
    size_t pos = 0;
    auto compare = [&](const uint8_t* q, size_t k) {
        if (k > packed_n - pos || std::memcmp(q, packed + pos, k) != 0) return false;
        pos += k;
        return true;
    };
    if (p.gzip) {
        GzipDeflater gz(p.level, plain_n, compare);
        return gz.Write(plain, plain_n) && gz.Finish() && pos == packed_n;
    }
    z_stream zs;
    if (!start_deflate(zs, p)) return false;
    bool ok = true;
    for (size_t off = 0; ok;) {
        size_t k = std::min(kPiece, plain_n - off);
        bool last = off + k == plain_n;
        ok = deflate_piece(zs, plain + off, k, last, out, compare);
        off += k;
        if (last) break;
    }
    deflateEnd(&zs);
    return ok && pos == packed_n;
}

// Inflates the raw deflate stream at `p`; `used` receives its length in bytes.
bool inflate_raw(const uint8_t* p, size_t n, std::vector<uint8_t>& plain, size_t& used) {
    z_stream zs{};
    if (inflateInit2(&zs, -15) != Z_OK) return false;
    plain.clear();
    zs.next_in = const_cast<Bytef*>(p);
    zs.avail_in = static_cast<uInt>(std::min<size_t>(n, UINT32_MAX));
    int r = Z_OK;
    while (r == Z_OK) {
        if (plain.size() >= kMaxInflated) break;
        size_t at = plain.size();
        plain.resize(at + std::max<size_t>(kPiece, at / 2));
        zs.next_out = plain.data() + at;
        zs.avail_out = static_cast<uInt>(plain.size() - at);
        r = inflate(&zs, Z_NO_FLUSH);
        plain.resize(plain.size() - zs.avail_out);
        if (r == Z_BUF_ERROR && zs.avail_in != 0) r = Z_OK;
    }
    used = static_cast<size_t>(zs.next_in - p);
    inflateEnd(&zs);
    return r == Z_STREAM_END;
}

struct Stream {
    size_t start, size;
    bool open_end; // size is only the room left; the stream ends where inflating stops
};

// The deflated members of a zip, from its central directory.
std::vector<Stream> zip_streams(const uint8_t* d, size_t n) {
    std::vector<Stream> found;
    if (n < 22) return found;
    size_t eocd = SIZE_MAX;
    for (size_t i = n - 22 + 1, stop = n > 22 + 65535 ? n - 22 - 65535 : 0; i-- > stop;)
        if (get32(d + i) == 0x06054b50 && i + 22 + get16(d + i + 20) <= n) {
            eocd = i;
            break;
        }
    if (eocd == SIZE_MAX) return found;
    size_t count = get16(d + eocd + 10);
    size_t cd = get32(d + eocd + 16), cd_end = cd + get32(d + eocd + 12);
    if (cd_end > eocd || cd > cd_end) return found;
    for (size_t i = 0, p = cd; i < count; ++i) {
        if (cd_end - p < 46 || get32(d + p) != 0x02014b50) return {};
        uint32_t method = get16(d + p + 10), csize = get32(d + p + 20);
        size_t local = get32(d + p + 42);
        p += 46 + get16(d + p + 28) + get16(d + p + 30) + get16(d + p + 32);
        if (p > cd_end) return {};
        if (method != 8 || csize == UINT32_MAX || local > cd || cd - local < 30) continue;
        if (get32(d + local) != 0x04034b50) continue;
        size_t data = local + 30 + get16(d + local + 26) + get16(d + local + 28);
        if (data > cd || cd - data < csize) continue;
        found.push_back({data, csize, false});
    }
    std::sort(found.begin(), found.end(), [](const Stream& a, const Stream& b) { return a.start < b.start; });
    std::vector<Stream> disjoint;
    for (const Stream& s : found)
        if (disjoint.empty() || disjoint.back().start + disjoint.back().size <= s.start) disjoint.push_back(s);
    return disjoint;
}

// The first member of a gzip file; its length is what inflating it consumes.
std::vector<Stream> gzip_streams(const uint8_t* d, size_t n) {
    if (n < 18 || d[0] != 0x1f || d[1] != 0x8b || d[2] != 8 || (d[3] & 0xE0)) return {};
    size_t pos = 10;
    uint8_t flags = d[3];
    if (flags & 4) {
        if (n - pos < 2) return {};
        size_t extra = get16(d + pos);
        if (n - pos - 2 < extra) return {};
        pos += 2 + extra;
    }
    for (uint8_t bit : {8, 16})
        if (flags & bit) {
            const void* nul = std::memchr(d + pos, 0, n - pos);
            if (!nul) return {};
            pos = static_cast<size_t>(static_cast<const uint8_t*>(nul) - d) + 1;
        }
    if (flags & 2) pos += 2;
    if (pos >= n) return {};
    return {{pos, n - pos, true}};
}

void put_raw(std::vector<uint8_t>& out, const uint8_t* p, size_t n) {
    while (n > 0) {
        size_t k = std::min<size_t>(n, UINT32_MAX);
        out.push_back(kTagRaw);
        put32(out, static_cast<uint32_t>(k));
        out.insert(out.end(), p, p + k);
        p += k;
        n -= k;
    }
}

} // namespace

bool Repack(const uint8_t* data, size_t n, std::vector<uint8_t>& stored) {
    std::vector<Stream> streams = zip_streams(data, n);
    if (streams.empty()) streams = gzip_streams(data, n);
    if (streams.empty()) return false;

    // zlib's defaults first (what jar, java.util.zip and most zip tools use), then its
    // other levels, then GNU gzip's -9 and -6 (which zlib matches only on streams too
    // short for a second block); once a file's stream matched, its parameters come first.
    static const Params kTries[] = {{6, 8, 15, 0}, {9, 8, 15, 0},      {1, 8, 15, 0},     {5, 8, 15, 0}, {4, 8, 15, 0},
                                    {7, 8, 15, 0}, {8, 8, 15, 0},      {2, 8, 15, 0},     {3, 8, 15, 0}, {6, 9, 15, 0},
                                    {9, 9, 15, 0}, {9, 0, 0, 0, true}, {6, 0, 0, 0, true}};
    const size_t kTriesWhileLooking = sizeof(kTries) / sizeof(kTries[0]);
    const size_t kTriesAfterHit = 3; // the hint and two more
    const size_t kMissesBeforeGivingUp = 8;

    std::vector<uint8_t> out(kRepackMagic, kRepackMagic + 4), plain, buf(kOutPiece);
    bool have_hint = false;
    Params hint{};
    size_t cursor = 0, hits = 0, misses_in_row = 0;
    for (Stream s : streams) {
        if (hits == 0 && misses_in_row >= kMissesBeforeGivingUp) break;
        size_t used = 0;
        if (!inflate_raw(data + s.start, s.size, plain, used) || (used != s.size && !s.open_end)) continue;
        s.size = used;
        std::vector<Params> order;
        if (have_hint) order.push_back(hint);
        for (const Params& p : kTries)
            if (!(have_hint && p == hint)) order.push_back(p);
        order.resize(std::min(order.size(), have_hint ? kTriesAfterHit : kTriesWhileLooking));
        bool matched = false;
        for (const Params& p : order)
            if (reproduces(p, plain.data(), plain.size(), data + s.start, s.size, buf.data())) {
                hint = p;
                have_hint = matched = true;
                break;
            }
        if (!matched) {
            ++misses_in_row;
            continue;
        }
        ++hits;
        misses_in_row = 0;
        put_raw(out, data + cursor, s.start - cursor);
        if (hint.gzip) {
            out.push_back(kTagGzip);
            out.push_back(hint.level);
        } else {
            out.push_back(kTagDeflate);
            out.insert(out.end(), {hint.level, hint.mem_level, hint.window_bits, hint.strategy});
        }
        put64(out, plain.size());
        put64(out, s.size);
        out.insert(out.end(), plain.begin(), plain.end());
        cursor = s.start + s.size;
    }
    if (hits == 0) return false;
    put_raw(out, data + cursor, n - cursor);
    out.push_back(kTagEnd);

    // The extractor's own code must give the file back.
    size_t pos = 0;
    bool same = true;
    Rebuilder check(n, [&](const uint8_t* p, size_t k) {
        same = same && k <= n - pos && std::memcmp(p, data + pos, k) == 0;
        pos += k;
        return same;
    });
    if (!check.Write(out.data(), out.size()) || !check.Finish() || !same || pos != n) return false;
    stored = std::move(out);
    return true;
}

Rebuilder::Rebuilder(uint64_t limit, Output out) : limit_(limit), out_(std::move(out)) {}

Rebuilder::~Rebuilder() {
    if (zs_live_) deflateEnd(&zs_);
}

bool Rebuilder::Fail() {
    if (zs_live_) deflateEnd(&zs_);
    zs_live_ = false;
    gz_.reset();
    state_ = State::Failed;
    return false;
}

bool Rebuilder::Emit(const uint8_t* p, size_t n) {
    if (n > limit_ - made_) return false;
    made_ += n;
    return out_(p, n);
}

bool Rebuilder::StartSegment() {
    if (state_ == State::Magic) {
        if (std::memcmp(fields_, kRepackMagic, 4) != 0) return false;
        state_ = State::Tag;
        need_ = 1;
        return true;
    }
    if (state_ == State::Tag) {
        uint8_t tag = fields_[0];
        if (tag == kTagEnd) {
            state_ = State::End;
            return true;
        }
        if (tag != kTagRaw && tag != kTagDeflate && tag != kTagGzip) return false;
        tag_ = tag;
        state_ = State::Fields;
        need_ = tag == kTagRaw ? kRawFields : tag == kTagDeflate ? kDeflateFields : kGzipFields;
        return true;
    }
    // the fields of a segment
    if (tag_ == kTagRaw) {
        left_ = get32(fields_);
        state_ = left_ ? State::Raw : State::Tag;
        need_ = 1;
        return true;
    }
    const bool gzip = tag_ == kTagGzip;
    const Params p = gzip ? Params{fields_[0], 0, 0, 0, true} : Params{fields_[0], fields_[1], fields_[2], fields_[3]};
    left_ = get64(fields_ + (gzip ? 1 : 4));
    deflated_ = get64(fields_ + (gzip ? 9 : 12));
    produced_ = 0;
    if (!valid(p) || deflated_ > limit_ - made_) return false;
    if (gzip) {
        gz_.reset(new GzipDeflater(p.level, left_, [this](const uint8_t* q, size_t k) { return Produced(q, k); }));
    } else {
        if (!start_deflate(zs_, p)) return false;
        zs_live_ = true;
    }
    if (in_.empty()) {
        in_.resize(kPiece);
        outbuf_.resize(kOutPiece);
    }
    in_used_ = 0;
    state_ = State::Inflated;
    need_ = 1;
    return left_ != 0 || Deflate(true);
}

bool Rebuilder::Produced(const uint8_t* p, size_t k) {
    if (k > deflated_ - produced_) return false;
    produced_ += k;
    return Emit(p, k);
}

bool Rebuilder::Deflate(bool finish) {
    if (gz_) {
        if (!gz_->Write(in_.data(), in_used_) || (finish && !gz_->Finish())) return false;
    } else if (!deflate_piece(zs_, in_.data(), in_used_, finish, outbuf_.data(),
                              [this](const uint8_t* p, size_t k) { return Produced(p, k); })) {
        return false;
    }
    in_used_ = 0;
    if (!finish) return true;
    if (gz_) {
        gz_.reset();
    } else {
        deflateEnd(&zs_);
        zs_live_ = false;
    }
    state_ = State::Tag;
    return produced_ == deflated_;
}

bool Rebuilder::Write(const uint8_t* data, size_t n) {
    while (n > 0) {
        switch (state_) {
        case State::Magic:
        case State::Tag:
        case State::Fields: {
            size_t k = std::min(need_ - have_, n);
            std::memcpy(fields_ + have_, data, k);
            have_ += k;
            data += k;
            n -= k;
            if (have_ == need_) {
                have_ = 0;
                if (!StartSegment()) return Fail();
            }
            break;
        }
        case State::Raw: {
            size_t k = static_cast<size_t>(std::min<uint64_t>(left_, n));
            if (!Emit(data, k)) return Fail();
            data += k;
            n -= k;
            left_ -= k;
            if (left_ == 0) state_ = State::Tag;
            break;
        }
        case State::Inflated: {
            size_t k = static_cast<size_t>(std::min<uint64_t>(std::min(left_, uint64_t(kPiece - in_used_)), n));
            std::memcpy(in_.data() + in_used_, data, k);
            in_used_ += k;
            data += k;
            n -= k;
            left_ -= k;
            if (left_ == 0) {
                if (!Deflate(true)) return Fail();
            } else if (in_used_ == kPiece && !Deflate(false)) {
                return Fail();
            }
            break;
        }
        case State::End:
        case State::Failed:
            return Fail();
        }
    }
    return true;
}

bool Rebuilder::Finish() { return state_ == State::End && made_ == limit_ ? true : Fail(); }

} // namespace uharc
