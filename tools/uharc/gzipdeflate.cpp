#include "gzipdeflate.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace uharc {

namespace {

constexpr unsigned kWSize = 0x8000, kWMask = kWSize - 1, kWindowSize = 2 * kWSize;
constexpr unsigned kHashBits = 15, kHashSize = 1u << kHashBits, kHashMask = kHashSize - 1;
constexpr unsigned kHashShift = (kHashBits + 3 - 1) / 3;
constexpr unsigned kMinMatch = 3, kMaxMatch = 258;
constexpr unsigned kMinLookahead = kMaxMatch + kMinMatch + 1;
constexpr unsigned kMaxDist = kWSize - kMinLookahead;
constexpr unsigned kTooFar = 4096;
constexpr unsigned kLitBufSize = 0x8000, kDistBufSize = 0x8000;
constexpr unsigned kNil = 0;
// The match search reads up to 8 bytes at a time, a few past the window's end.
constexpr unsigned kReadSlack = 16;
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the match search compares little-endian words");

constexpr int kMaxBits = 15, kMaxBlBits = 7;
constexpr int kLengthCodes = 29, kLiterals = 256, kEndBlock = 256;
constexpr int kLCodes = kLiterals + 1 + kLengthCodes, kDCodes = 30, kBlCodes = 19;
constexpr int kHeapSize = 2 * kLCodes + 1;
constexpr int kRep3To6 = 16, kRepZ3To10 = 17, kRepZ11To138 = 18;

constexpr int kExtraLBits[kLengthCodes] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                           2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr int kExtraDBits[kDCodes] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                      6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
constexpr int kExtraBlBits[kBlCodes] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 3, 7};
constexpr uint8_t kBlOrder[kBlCodes] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

struct Config {
    unsigned good, lazy, nice, chain;
};
// gzip's table for its lazy levels.
constexpr Config kConfig[10] = {{0, 0, 0, 0},         {0, 0, 0, 0},        {0, 0, 0, 0},      {0, 0, 0, 0},
                                {4, 4, 16, 16},       {8, 16, 32, 32},     {8, 16, 128, 128}, {8, 32, 128, 256},
                                {32, 128, 258, 1024}, {32, 258, 258, 4096}};

unsigned reverse_bits(unsigned code, int len) {
    unsigned r = 0;
    do {
        r |= code & 1;
        code >>= 1;
        r <<= 1;
    } while (--len > 0);
    return r >> 1;
}

// A Huffman tree's nodes: the leaves, then the inner nodes as they are made.
struct Tree {
    explicit Tree(size_t n) : freq(n), code(n), dad(n), len(n) {}
    std::vector<uint32_t> freq;
    std::vector<uint16_t> code, dad, len;
};

struct Tables {
    uint8_t length_code[256];
    int base_length[kLengthCodes];
    uint8_t dist_code[512];
    int base_dist[kDCodes];
    Tree static_ltree{kLCodes + 2}, static_dtree{kDCodes};

    Tables() {
        int length = 0, code;
        for (code = 0; code < kLengthCodes - 1; ++code) {
            base_length[code] = length;
            for (int n = 0; n < (1 << kExtraLBits[code]); ++n) length_code[length++] = static_cast<uint8_t>(code);
        }
        // 258 has a code of its own, though 227 + 31 would reach it
        length_code[length - 1] = static_cast<uint8_t>(code);
        base_length[code] = 0;
        int dist = 0;
        for (code = 0; code < 16; ++code) {
            base_dist[code] = dist;
            for (int n = 0; n < (1 << kExtraDBits[code]); ++n) dist_code[dist++] = static_cast<uint8_t>(code);
        }
        dist >>= 7;
        for (; code < kDCodes; ++code) {
            base_dist[code] = dist << 7;
            for (int n = 0; n < (1 << (kExtraDBits[code] - 7)); ++n)
                dist_code[256 + dist++] = static_cast<uint8_t>(code);
        }
        uint16_t count[kMaxBits + 1] = {};
        int n = 0;
        for (; n <= 143; ++n) static_ltree.len[n] = 8;
        for (; n <= 255; ++n) static_ltree.len[n] = 9;
        for (; n <= 279; ++n) static_ltree.len[n] = 7;
        for (; n <= 287; ++n) static_ltree.len[n] = 8;
        for (n = 0; n <= 287; ++n) ++count[static_ltree.len[n]];
        make_codes(static_ltree, kLCodes + 1, count);
        for (n = 0; n < kDCodes; ++n) {
            static_dtree.len[n] = 5;
            static_dtree.code[n] = static_cast<uint16_t>(reverse_bits(static_cast<unsigned>(n), 5));
        }
    }

    static void make_codes(Tree& tree, int max_code, const uint16_t* count) {
        uint16_t next[kMaxBits + 1];
        unsigned code = 0;
        for (int bits = 1; bits <= kMaxBits; ++bits)
            next[bits] = static_cast<uint16_t>(code = (code + count[bits - 1]) << 1);
        for (int n = 0; n <= max_code; ++n) {
            int len = tree.len[static_cast<size_t>(n)];
            if (len) tree.code[static_cast<size_t>(n)] = static_cast<uint16_t>(reverse_bits(next[len]++, len));
        }
    }

    unsigned d_code(unsigned dist) const { return dist < 256 ? dist_code[dist] : dist_code[256 + (dist >> 7)]; }
};

const Tables& tables() {
    static const Tables t;
    return t;
}

struct TreeDesc {
    Tree* dyn;
    const Tree* stat;
    const int* extra;
    int extra_base, elems, max_length;
    int max_code = 0;
};

} // namespace

struct GzipDeflater::State {
    State(int level, uint64_t total, Output out)
        : cfg(kConfig[level]), total(total), out(std::move(out)), window(kWindowSize + kReadSlack), prev(kWSize),
          head(kHashSize), lit(kLitBufSize), dist(kLitBufSize), ltree(kHeapSize), dtree(2 * kDCodes + 1),
          bltree(2 * kBlCodes + 1), l_desc{&ltree,  &tables().static_ltree, kExtraLBits, kLiterals + 1, kLCodes,
                                           kMaxBits},
          d_desc{&dtree, &tables().static_dtree, kExtraDBits, 0, kDCodes, kMaxBits}, bl_desc{&bltree,      nullptr,
                                                                                             kExtraBlBits, 0,
                                                                                             kBlCodes,     kMaxBlBits} {
        init_block();
    }

    const Config cfg;
    const uint64_t total;
    Output out;
    bool failed = false, started = false, done = false;

    // input not yet in the window
    std::vector<uint8_t> pending;
    size_t pending_at = 0;
    uint64_t taken = 0; // bytes moved into the window

    std::vector<uint8_t> window;
    std::vector<uint16_t> prev, head;
    unsigned ins_h = 0, strstart = 0, lookahead = 0, match_start = 0, prev_length = 0, prev_match = 0;
    unsigned match_length = kMinMatch - 1;
    bool match_available = false, eofile = false;
    bool need_first_hash = false;
    long block_start = 0;

    // the current block's symbols: a literal (dist 0) or a length - 3 and distance - 1 + 1
    std::vector<uint8_t> lit;
    std::vector<uint16_t> dist;
    unsigned last_lit = 0, last_dist = 0;

    Tree ltree, dtree, bltree;
    TreeDesc l_desc, d_desc, bl_desc;
    uint16_t bl_count[kMaxBits + 1] = {};
    int heap[kHeapSize] = {};
    int heap_len = 0, heap_max = 0;
    uint8_t depth[kHeapSize] = {};
    uint64_t opt_len = 0, static_len = 0;

    uint64_t bit_buf = 0;
    int bit_count = 0;
    std::vector<uint8_t> outbuf;

    // Output

    bool flush_out() {
        if (outbuf.empty()) return true;
        bool ok = out(outbuf.data(), outbuf.size());
        outbuf.clear();
        return ok;
    }
    void send_bits(unsigned value, int length) {
        bit_buf |= static_cast<uint64_t>(value) << bit_count;
        bit_count += length;
        while (bit_count >= 8) {
            outbuf.push_back(static_cast<uint8_t>(bit_buf));
            bit_buf >>= 8;
            bit_count -= 8;
        }
    }
    void windup() {
        if (bit_count > 0) outbuf.push_back(static_cast<uint8_t>(bit_buf));
        bit_buf = 0;
        bit_count = 0;
    }
    void send_code(unsigned c, const Tree& t) { send_bits(t.code[c], t.len[c]); }

    // Trees

    void init_block() {
        std::fill(ltree.freq.begin(), ltree.freq.begin() + kLCodes, 0);
        std::fill(dtree.freq.begin(), dtree.freq.begin() + kDCodes, 0);
        std::fill(bltree.freq.begin(), bltree.freq.begin() + kBlCodes, 0);
        ltree.freq[kEndBlock] = 1;
        opt_len = static_len = 0;
        last_lit = last_dist = 0;
    }

    bool smaller(const Tree& t, int n, int m) const {
        return t.freq[static_cast<size_t>(n)] < t.freq[static_cast<size_t>(m)] ||
               (t.freq[static_cast<size_t>(n)] == t.freq[static_cast<size_t>(m)] && depth[n] <= depth[m]);
    }

    void down_heap(const Tree& t, int k) {
        int v = heap[k];
        int j = k << 1;
        while (j <= heap_len) {
            if (j < heap_len && smaller(t, heap[j + 1], heap[j])) ++j;
            if (smaller(t, v, heap[j])) break;
            heap[k] = heap[j];
            k = j;
            j <<= 1;
        }
        heap[k] = v;
    }

    void gen_bitlen(TreeDesc& desc) {
        Tree& t = *desc.dyn;
        int overflow = 0;
        std::fill(std::begin(bl_count), std::end(bl_count), 0);
        t.len[static_cast<size_t>(heap[heap_max])] = 0;
        int h;
        for (h = heap_max + 1; h < kHeapSize; ++h) {
            size_t n = static_cast<size_t>(heap[h]);
            int bits = t.len[t.dad[n]] + 1;
            if (bits > desc.max_length) {
                bits = desc.max_length;
                ++overflow;
            }
            t.len[n] = static_cast<uint16_t>(bits);
            if (static_cast<int>(n) > desc.max_code) continue;
            ++bl_count[bits];
            int xbits = static_cast<int>(n) >= desc.extra_base ? desc.extra[static_cast<int>(n) - desc.extra_base] : 0;
            uint64_t f = t.freq[n];
            opt_len += f * static_cast<uint64_t>(bits + xbits);
            if (desc.stat) static_len += f * static_cast<uint64_t>(desc.stat->len[n] + xbits);
        }
        if (overflow == 0) return;
        do {
            int bits = desc.max_length - 1;
            while (bl_count[bits] == 0) --bits;
            --bl_count[bits];
            bl_count[bits + 1] = static_cast<uint16_t>(bl_count[bits + 1] + 2);
            --bl_count[desc.max_length];
            overflow -= 2;
        } while (overflow > 0);
        for (int bits = desc.max_length; bits != 0; --bits) {
            int n = bl_count[bits];
            while (n != 0) {
                int m = heap[--h];
                if (m > desc.max_code) continue;
                size_t mm = static_cast<size_t>(m);
                if (t.len[mm] != bits) {
                    opt_len += static_cast<uint64_t>(static_cast<int64_t>(bits - t.len[mm]) *
                                                     static_cast<int64_t>(t.freq[mm]));
                    t.len[mm] = static_cast<uint16_t>(bits);
                }
                --n;
            }
        }
    }

    void build_tree(TreeDesc& desc) {
        Tree& t = *desc.dyn;
        int max_code = -1, node = desc.elems;
        heap_len = 0;
        heap_max = kHeapSize;
        for (int n = 0; n < desc.elems; ++n) {
            if (t.freq[static_cast<size_t>(n)] != 0) {
                heap[++heap_len] = max_code = n;
                depth[n] = 0;
            } else {
                t.len[static_cast<size_t>(n)] = 0;
            }
        }
        // at least two codes, even with fewer symbols
        while (heap_len < 2) {
            int added = heap[++heap_len] = max_code < 2 ? ++max_code : 0;
            t.freq[static_cast<size_t>(added)] = 1;
            depth[added] = 0;
            --opt_len;
            if (desc.stat) static_len -= desc.stat->len[static_cast<size_t>(added)];
        }
        desc.max_code = max_code;
        for (int n = heap_len / 2; n >= 1; --n) down_heap(t, n);
        do {
            int n = heap[1];
            heap[1] = heap[heap_len--];
            down_heap(t, 1);
            int m = heap[1];
            heap[--heap_max] = n;
            heap[--heap_max] = m;
            size_t nn = static_cast<size_t>(n), mm = static_cast<size_t>(m), no = static_cast<size_t>(node);
            t.freq[no] = t.freq[nn] + t.freq[mm];
            depth[node] = static_cast<uint8_t>(std::max(depth[n], depth[m]) + 1);
            t.dad[nn] = t.dad[mm] = static_cast<uint16_t>(node);
            heap[1] = node++;
            down_heap(t, 1);
        } while (heap_len >= 2);
        heap[--heap_max] = heap[1];
        gen_bitlen(desc);
        Tables::make_codes(t, max_code, bl_count);
    }

    // Counts (scan) or sends (!scan) a tree's code lengths in the run-length form.
    void lengths(Tree& t, int max_code, bool scan) {
        int prevlen = -1, nextlen = t.len[0], count = 0;
        int max_count = 7, min_count = 4;
        if (nextlen == 0) max_count = 138, min_count = 3;
        if (scan) t.len[static_cast<size_t>(max_code + 1)] = 0xffff; // guard
        for (int n = 0; n <= max_code; ++n) {
            int curlen = nextlen;
            nextlen = t.len[static_cast<size_t>(n + 1)];
            if (++count < max_count && curlen == nextlen) continue;
            if (count < min_count) {
                if (scan)
                    bltree.freq[static_cast<size_t>(curlen)] += static_cast<uint32_t>(count);
                else
                    do send_code(static_cast<unsigned>(curlen), bltree);
                    while (--count != 0);
            } else if (curlen != 0) {
                if (curlen != prevlen) {
                    if (scan)
                        ++bltree.freq[static_cast<size_t>(curlen)];
                    else {
                        send_code(static_cast<unsigned>(curlen), bltree);
                        --count;
                    }
                }
                if (scan)
                    ++bltree.freq[kRep3To6];
                else {
                    send_code(kRep3To6, bltree);
                    send_bits(static_cast<unsigned>(count - 3), 2);
                }
            } else if (count <= 10) {
                if (scan)
                    ++bltree.freq[kRepZ3To10];
                else {
                    send_code(kRepZ3To10, bltree);
                    send_bits(static_cast<unsigned>(count - 3), 3);
                }
            } else {
                if (scan)
                    ++bltree.freq[kRepZ11To138];
                else {
                    send_code(kRepZ11To138, bltree);
                    send_bits(static_cast<unsigned>(count - 11), 7);
                }
            }
            count = 0;
            prevlen = curlen;
            if (nextlen == 0)
                max_count = 138, min_count = 3;
            else if (curlen == nextlen)
                max_count = 6, min_count = 3;
            else
                max_count = 7, min_count = 4;
        }
    }

    int build_bl_tree() {
        lengths(ltree, l_desc.max_code, true);
        lengths(dtree, d_desc.max_code, true);
        build_tree(bl_desc);
        int max_blindex;
        for (max_blindex = kBlCodes - 1; max_blindex >= 3; --max_blindex)
            if (bltree.len[kBlOrder[max_blindex]] != 0) break;
        opt_len += 3 * static_cast<uint64_t>(max_blindex + 1) + 5 + 5 + 4;
        return max_blindex;
    }

    void compress_block(const Tree& lt, const Tree& dt) {
        const Tables& tb = tables();
        for (unsigned i = 0; i < last_lit; ++i) {
            unsigned lc = lit[i], d = dist[i];
            if (d == 0) {
                send_code(lc, lt);
                continue;
            }
            unsigned code = tb.length_code[lc];
            send_code(code + kLiterals + 1, lt);
            if (int extra = kExtraLBits[code]) send_bits(lc - static_cast<unsigned>(tb.base_length[code]), extra);
            --d;
            code = tb.d_code(d);
            send_code(code, dt);
            if (int extra = kExtraDBits[code]) send_bits(d - static_cast<unsigned>(tb.base_dist[code]), extra);
        }
        send_code(kEndBlock, lt);
    }

    bool flush_block(bool eof) {
        const uint8_t* buf = block_start >= 0 ? window.data() + block_start : nullptr;
        uint64_t stored_len = static_cast<uint64_t>(static_cast<long>(strstart) - block_start);
        build_tree(l_desc);
        build_tree(d_desc);
        int max_blindex = build_bl_tree();
        uint64_t opt_lenb = (opt_len + 3 + 7) >> 3, static_lenb = (static_len + 3 + 7) >> 3;
        if (static_lenb <= opt_lenb) opt_lenb = static_lenb;
        if (stored_len + 4 <= opt_lenb && buf) {
            send_bits(eof ? 1 : 0, 3);
            windup();
            unsigned n = static_cast<unsigned>(stored_len);
            for (unsigned v : {n & 0xffff, ~n & 0xffff}) {
                outbuf.push_back(static_cast<uint8_t>(v));
                outbuf.push_back(static_cast<uint8_t>(v >> 8));
            }
            outbuf.insert(outbuf.end(), buf, buf + stored_len);
        } else if (static_lenb == opt_lenb) {
            send_bits((1u << 1) + (eof ? 1 : 0), 3);
            compress_block(tables().static_ltree, tables().static_dtree);
        } else {
            send_bits((2u << 1) + (eof ? 1 : 0), 3);
            send_bits(static_cast<unsigned>(l_desc.max_code + 1 - 257), 5);
            send_bits(static_cast<unsigned>(d_desc.max_code + 1 - 1), 5);
            send_bits(static_cast<unsigned>(max_blindex + 1 - 4), 4);
            for (int rank = 0; rank <= max_blindex; ++rank) send_bits(bltree.len[kBlOrder[rank]], 3);
            lengths(ltree, l_desc.max_code, false);
            lengths(dtree, d_desc.max_code, false);
            compress_block(ltree, dtree);
        }
        init_block();
        if (eof) windup();
        return outbuf.size() < (1u << 16) || flush_out();
    }

    // True when the block should end here: it is full, or (gzip's guess) its matches
    // have become so few and short that a new block would pay.
    bool tally(unsigned d, unsigned lc) {
        lit[last_lit] = static_cast<uint8_t>(lc);
        dist[last_lit] = static_cast<uint16_t>(d);
        ++last_lit;
        if (d == 0) {
            ++ltree.freq[lc];
        } else {
            --d;
            ++ltree.freq[tables().length_code[lc] + kLiterals + 1u];
            ++dtree.freq[tables().d_code(d)];
            ++last_dist;
        }
        if ((last_lit & 0xfff) == 0) {
            uint64_t out_length = static_cast<uint64_t>(last_lit) * 8;
            uint64_t in_length = static_cast<uint64_t>(static_cast<long>(strstart) - block_start);
            for (int dcode = 0; dcode < kDCodes; ++dcode)
                out_length += static_cast<uint64_t>(dtree.freq[static_cast<size_t>(dcode)]) *
                              static_cast<uint64_t>(5 + kExtraDBits[dcode]);
            out_length >>= 3;
            if (last_dist < last_lit / 2 && out_length < in_length / 2) return true;
        }
        return last_lit == kLitBufSize - 1 || last_dist == kDistBufSize;
    }

    // Matching

    void update_hash(unsigned c) { ins_h = ((ins_h << kHashShift) ^ c) & kHashMask; }
    unsigned insert_string(unsigned s) {
        update_hash(window[s + kMinMatch - 1]);
        unsigned match_head = head[ins_h];
        prev[s & kWMask] = static_cast<uint16_t>(match_head);
        head[ins_h] = static_cast<uint16_t>(s);
        return match_head;
    }

    // gzip's search, with wider loads: the same candidates in the same order, the same
    // first longest match.
    unsigned longest_match(unsigned cur_match) {
        unsigned chain = cfg.chain;
        const unsigned nice = cfg.nice;
        const uint8_t* const w = window.data();
        const uint16_t* const links = prev.data();
        const uint8_t* const scan = w + strstart;
        unsigned best_len = prev_length;
        const unsigned limit = strstart > kMaxDist ? strstart - kMaxDist : kNil;
        const uint8_t* const strend = scan + kMaxMatch;
        const uint16_t start = load16(scan);
        uint16_t end = load16(scan + best_len - 1);
        if (prev_length >= cfg.good) chain >>= 2;
        do {
            const uint8_t* match = w + cur_match;
            if (load16(match + best_len - 1) != end || load16(match) != start) continue;
            // The third byte is equal whenever the first two and the hash are.
            const uint8_t* s = scan + 3;
            const uint8_t* m = match + 3;
            while (s < strend) {
                uint64_t diff = load64(s) ^ load64(m);
                if (diff) {
                    s += __builtin_ctzll(diff) >> 3;
                    break;
                }
                s += 8;
                m += 8;
            }
            unsigned len = static_cast<unsigned>(std::min(s, strend) - scan);
            if (len > best_len) {
                match_start = cur_match;
                best_len = len;
                if (len >= nice) break;
                end = load16(scan + best_len - 1);
            }
        } while ((cur_match = links[cur_match & kWMask]) > limit && --chain != 0);
        return best_len;
    }

    static uint16_t load16(const uint8_t* p) {
        uint16_t v;
        std::memcpy(&v, p, sizeof(v));
        return v;
    }
    static uint64_t load64(const uint8_t* p) {
        uint64_t v;
        std::memcpy(&v, p, sizeof(v));
        return v;
    }

    size_t available() const { return pending.size() - pending_at; }

    // Moves `n` pending bytes to window[at..].
    void take(unsigned at, unsigned n) {
        if (n == 0) return;
        std::memcpy(window.data() + at, pending.data() + pending_at, n);
        pending_at += n;
        taken += n;
        if (pending_at == pending.size()) {
            pending.clear();
            pending_at = 0;
        }
    }

    // gzip reads as much as the window has room for; false when that much has not come yet.
    bool fill_window() {
        unsigned more = kWindowSize - lookahead - strstart;
        bool slide = strstart >= kWSize + kMaxDist;
        uint64_t want = std::min<uint64_t>(more + (slide ? kWSize : 0), total - taken);
        if (available() < want) return false;
        if (slide) {
            std::memcpy(window.data(), window.data() + kWSize, kWSize);
            match_start -= kWSize;
            strstart -= kWSize;
            block_start -= static_cast<long>(kWSize);
            for (auto& h : head) h = static_cast<uint16_t>(h >= kWSize ? h - kWSize : kNil);
            for (auto& p : prev) p = static_cast<uint16_t>(p >= kWSize ? p - kWSize : kNil);
            more += kWSize;
        }
        if (want == 0) {
            eofile = true;
            // what lies behind the end is never taken for data
            std::memset(window.data() + strstart + lookahead, 0, kMinMatch - 1);
        } else {
            take(strstart + lookahead, static_cast<unsigned>(want));
            lookahead += static_cast<unsigned>(want);
        }
        return true;
    }

    // Runs as far as the input allows; false on refused output.
    bool run() {
        if (!started) {
            uint64_t want = std::min<uint64_t>(kWindowSize, total);
            if (available() < want) return true;
            started = true;
            take(0, static_cast<unsigned>(want));
            lookahead = static_cast<unsigned>(want);
            if (lookahead == 0) {
                eofile = true;
            } else {
                ins_h = 0;
                // gzip hashes the first two bytes once its first reads are done
                need_first_hash = true;
            }
        }
        for (;;) {
            while (lookahead < kMinLookahead && !eofile)
                if (!fill_window()) return true;
            if (need_first_hash) {
                need_first_hash = false;
                for (unsigned j = 0; j < kMinMatch - 1; ++j) update_hash(window[j]);
            }
            if (lookahead == 0) break;
            unsigned hash_head = insert_string(strstart);
            prev_length = match_length;
            prev_match = match_start;
            match_length = kMinMatch - 1;
            if (hash_head != kNil && prev_length < cfg.lazy && strstart - hash_head <= kMaxDist &&
                strstart <= kWindowSize - kMinLookahead) {
                match_length = longest_match(hash_head);
                if (match_length > lookahead) match_length = lookahead;
                if (match_length == kMinMatch && strstart - match_start > kTooFar) --match_length;
            }
            if (prev_length >= kMinMatch && match_length <= prev_length) {
                bool flush = tally(strstart - 1 - prev_match, prev_length - kMinMatch);
                lookahead -= prev_length - 1;
                prev_length -= 2;
                do {
                    ++strstart;
                    insert_string(strstart);
                } while (--prev_length != 0);
                match_available = false;
                match_length = kMinMatch - 1;
                ++strstart;
                if (flush) {
                    if (!flush_block(false)) return false;
                    block_start = static_cast<long>(strstart);
                }
            } else if (match_available) {
                if (tally(0, window[strstart - 1])) {
                    if (!flush_block(false)) return false;
                    block_start = static_cast<long>(strstart);
                }
                ++strstart;
                --lookahead;
            } else {
                match_available = true;
                ++strstart;
                --lookahead;
            }
        }
        if (match_available) tally(0, window[strstart - 1]);
        match_available = false;
        done = true;
        return flush_block(true) && flush_out();
    }
};

GzipDeflater::GzipDeflater(int level, uint64_t total, Output out)
    : s_(new State(ValidLevel(level) ? level : 9, total, std::move(out))) {
    if (!ValidLevel(level)) s_->failed = true;
}

GzipDeflater::~GzipDeflater() = default;

bool GzipDeflater::Write(const uint8_t* data, size_t n) {
    State& s = *s_;
    if (s.failed || s.done || n > s.total - s.taken - s.available()) return !(s.failed = true);
    s.pending.insert(s.pending.end(), data, data + n);
    if (!s.run()) s.failed = true;
    return !s.failed;
}

bool GzipDeflater::Finish() {
    State& s = *s_;
    if (s.failed || s.taken + s.available() != s.total) return !(s.failed = true);
    if (!s.done && !s.run()) s.failed = true;
    return !s.failed && s.done;
}

} // namespace uharc
