// Windows build only: memmove, memcpy and memset of our own, linked before msvcrt's.
#include <cstddef>
#include <cstdint>

// The decoders copy and fill in many short runs (an LZMA match is a memcpy of a few
// bytes). Wine's msvcrt aligns the destination with string instructions first, which
// costs more than such a copy itself; these take short runs in a few loads and stores,
// and long ones with `rep movsb` / `rep stosb`. The loops must not be turned back into
// calls to the functions they implement.
namespace {
inline uint64_t load8(const unsigned char* p) {
    uint64_t v;
    __builtin_memcpy(&v, p, 8);
    return v;
}
inline void store8(unsigned char* p, uint64_t v) { __builtin_memcpy(p, &v, 8); }
inline uint32_t load4(const unsigned char* p) {
    uint32_t v;
    __builtin_memcpy(&v, p, 4);
    return v;
}
inline void store4(unsigned char* p, uint32_t v) { __builtin_memcpy(p, &v, 4); }

constexpr size_t kLongRun = 512;

// Up to 32 bytes, everything loaded before anything is stored: overlap is harmless.
inline void move_short(unsigned char* d, const unsigned char* s, size_t n) {
    if (n >= 16) {
        uint64_t a = load8(s), b = load8(s + 8), c = load8(s + n - 16), e = load8(s + n - 8);
        store8(d, a);
        store8(d + 8, b);
        store8(d + n - 16, c);
        store8(d + n - 8, e);
    } else if (n >= 8) {
        uint64_t a = load8(s), b = load8(s + n - 8);
        store8(d, a);
        store8(d + n - 8, b);
    } else if (n >= 4) {
        uint32_t a = load4(s), b = load4(s + n - 4);
        store4(d, a);
        store4(d + n - 4, b);
    } else if (n > 0) {
        unsigned char a = s[0], b = s[n / 2], c = s[n - 1];
        d[0] = a;
        d[n / 2] = b;
        d[n - 1] = c;
    }
}
} // namespace

extern "C" {

__attribute__((optimize("no-tree-loop-distribute-patterns"))) void* memmove(void* dst, const void* src, size_t n) {
    unsigned char* d = static_cast<unsigned char*>(dst);
    const unsigned char* s = static_cast<const unsigned char*>(src);
    if (n <= 32) {
        move_short(d, s, n);
        return dst;
    }
    const uintptr_t da = reinterpret_cast<uintptr_t>(d), sa = reinterpret_cast<uintptr_t>(s);
    if (da <= sa || da >= sa + n) {
        // Forwards. A chunk's stores reach no source byte not yet read, since the
        // destination does not start after the source.
        if (n >= kLongRun && (da + n <= sa || da >= sa + n)) {
            __asm__ volatile("rep movsb" : "+D"(d), "+S"(s), "+c"(n) : : "memory");
            return dst;
        }
        for (; n > 8; n -= 8, d += 8, s += 8) store8(d, load8(s));
        move_short(d, s, n);
        return dst;
    }
    // Backwards: the destination overlaps the source's end.
    for (; n > 8; n -= 8) store8(d + n - 8, load8(s + n - 8));
    move_short(d, s, n);
    return dst;
}

void* memcpy(void* dst, const void* src, size_t n) { return memmove(dst, src, n); }

__attribute__((optimize("no-tree-loop-distribute-patterns"))) void* memset(void* dst, int c, size_t n) {
    unsigned char* d = static_cast<unsigned char*>(dst);
    if (n >= kLongRun) {
        __asm__ volatile("rep stosb" : "+D"(d), "+c"(n) : "a"(c) : "memory");
        return dst;
    }
    const uint64_t v = 0x0101010101010101ull * static_cast<unsigned char>(c);
    if (n >= 8) {
        for (size_t i = 0; i + 8 < n; i += 8) store8(d + i, v);
        store8(d + n - 8, v);
    } else if (n >= 4) {
        store4(d, static_cast<uint32_t>(v));
        store4(d + n - 4, static_cast<uint32_t>(v));
    } else if (n > 0) {
        d[0] = d[n / 2] = d[n - 1] = static_cast<unsigned char>(c);
    }
    return dst;
}

} // extern "C"
