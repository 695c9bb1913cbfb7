// The archiver's own memmove, memcpy and memset against a byte-by-byte model: every
// length up to past the long-run threshold, every overlap distance a short copy can
// have in either direction, and misaligned starts. Exit status 0 when all held.
#include <cstdio>
#include <cstring>
#include <vector>

extern "C" {
void* memmove(void*, const void*, size_t);
void* memcpy(void*, const void*, size_t);
void* memset(void*, int, size_t);
}

namespace {

// Through pointers, so that the compiler keeps the calls to the functions under test.
void* (*volatile move_fn)(void*, const void*, size_t) = memmove;
void* (*volatile copy_fn)(void*, const void*, size_t) = memcpy;
void* (*volatile set_fn)(void*, int, size_t) = memset;

int failures = 0;

void fill_pattern(std::vector<unsigned char>& b) {
    for (size_t i = 0; i < b.size(); ++i) b[i] = static_cast<unsigned char>(i * 7 + 1);
}

bool same(const std::vector<unsigned char>& got, const std::vector<unsigned char>& want, const char* what, size_t n,
          long shift, size_t at) {
    if (got == want) return true;
    size_t i = 0;
    while (got[i] == want[i]) ++i;
    if (++failures <= 20)
        std::printf("FAILED: %s of %zu bytes, destination %+ld from the source at %zu: byte %zu is %u, not %u\n", what,
                    n, shift, at, i, got[i], want[i]);
    return false;
}

} // namespace

int main() {
    const size_t kMax = 1100; // beyond the 512-byte long run
    const size_t kRoom = kMax + 128;
    std::vector<unsigned char> buf(kRoom), model(kRoom);
    for (size_t n = 0; n <= kMax; ++n) {
        for (long shift = -40; shift <= 40; ++shift) {
            if (n > 96 && shift % 9 != 0 && shift != 1 && shift != -1) continue; // long runs: a sample of shifts
            const size_t src = 48 + (n & 7);
            const size_t dst = static_cast<size_t>(static_cast<long>(src) + shift);
            fill_pattern(buf);
            fill_pattern(model);
            std::vector<unsigned char> from(model.begin() + static_cast<long>(src),
                                            model.begin() + static_cast<long>(src + n));
            for (size_t i = 0; i < n; ++i) model[dst + i] = from[i];
            if (move_fn(buf.data() + dst, buf.data() + src, n) != buf.data() + dst) {
                ++failures;
                std::printf("FAILED: memmove of %zu bytes returned another pointer\n", n);
            }
            if (!same(buf, model, "memmove", n, shift, src)) continue;
            if (shift <= -static_cast<long>(n) || shift >= static_cast<long>(n)) { // apart: memcpy too
                fill_pattern(buf);
                copy_fn(buf.data() + dst, buf.data() + src, n);
                same(buf, model, "memcpy", n, shift, src);
            }
        }
        for (size_t at = 0; at < 8; ++at) {
            fill_pattern(buf);
            fill_pattern(model);
            for (size_t i = 0; i < n; ++i) model[at + i] = 0xA5;
            if (set_fn(buf.data() + at, 0x1A5, n) != buf.data() + at) ++failures; // only the low byte counts
            same(buf, model, "memset", n, 0, at);
        }
    }
    std::printf("%s: %d failure(s)\n", failures ? "FAILED" : "ok", failures);
    return failures ? 1 : 0;
}
