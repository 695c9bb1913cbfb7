// Re-packing of deflate containers: zip and gzip round trips, streams zlib cannot
// reproduce, GNU gzip's own deflate, damaged stored forms, and a damaged re-packed
// file inside an archive.
#include "gzipdeflate.h"
#include "repack.h"
#include "support.h"
#include "uharc.h"

#include <gtest/gtest.h>
#include <lzma.h>
#include <zlib.h>

#include <cstdio>
#include <cstring>

using namespace uharc;
using namespace uharc_test;

namespace {

void put16(std::string& b, uint32_t v) {
    b.push_back(static_cast<char>(v));
    b.push_back(static_cast<char>(v >> 8));
}
void put32(std::string& b, uint32_t v) {
    put16(b, v & 0xFFFF);
    put16(b, v >> 16);
}

std::string deflated(const std::string& plain, int level, int strategy = Z_DEFAULT_STRATEGY, int window = 15) {
    z_stream zs{};
    EXPECT_EQ(Z_OK, deflateInit2(&zs, level, Z_DEFLATED, -window, 8, strategy));
    std::string out(deflateBound(&zs, plain.size()), '\0');
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(plain.data()));
    zs.avail_in = static_cast<uInt>(plain.size());
    zs.next_out = reinterpret_cast<Bytef*>(&out[0]);
    zs.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(Z_STREAM_END, deflate(&zs, Z_FINISH));
    out.resize(zs.total_out);
    deflateEnd(&zs);
    return out;
}

uint32_t zcrc(const std::string& s) {
    return static_cast<uint32_t>(::crc32(0, reinterpret_cast<const Bytef*>(s.data()), static_cast<uInt>(s.size())));
}

struct ZipMember {
    ZipMember(std::string n, std::string p, std::string k, bool d = false, std::string x = "")
        : name(std::move(n)), plain(std::move(p)), packed(std::move(k)), descriptor(d), extra(std::move(x)) {}
    std::string name, plain, packed; // packed empty: stored (method 0)
    bool descriptor;                 // sizes after the data, as streaming writers do
    std::string extra;
};

std::string zip_of(const std::vector<ZipMember>& members) {
    std::string z, cd;
    for (const ZipMember& m : members) {
        const std::string& data = m.packed.empty() ? m.plain : m.packed;
        uint32_t method = m.packed.empty() ? 0 : 8, flags = m.descriptor ? 8 : 0;
        uint32_t offset = static_cast<uint32_t>(z.size());
        z += "PK\3\4";
        put16(z, 20), put16(z, flags), put16(z, method), put32(z, 0x5A210000);
        put32(z, m.descriptor ? 0 : zcrc(m.plain));
        put32(z, m.descriptor ? 0 : static_cast<uint32_t>(data.size()));
        put32(z, m.descriptor ? 0 : static_cast<uint32_t>(m.plain.size()));
        put16(z, static_cast<uint32_t>(m.name.size())), put16(z, static_cast<uint32_t>(m.extra.size()));
        z += m.name + m.extra + data;
        if (m.descriptor) {
            z += "PK\7\x08";
            put32(z, zcrc(m.plain)), put32(z, static_cast<uint32_t>(data.size()));
            put32(z, static_cast<uint32_t>(m.plain.size()));
        }
        cd += "PK\1\2";
        put16(cd, 20), put16(cd, 20), put16(cd, flags), put16(cd, method), put32(cd, 0x5A210000);
        put32(cd, zcrc(m.plain)), put32(cd, static_cast<uint32_t>(data.size()));
        put32(cd, static_cast<uint32_t>(m.plain.size()));
        put16(cd, static_cast<uint32_t>(m.name.size())), put16(cd, 0), put16(cd, 0);
        put16(cd, 0), put16(cd, 0), put32(cd, 0), put32(cd, offset);
        cd += m.name;
    }
    uint32_t cd_at = static_cast<uint32_t>(z.size());
    z += cd + "PK\5\6";
    put16(z, 0), put16(z, 0), put16(z, static_cast<uint32_t>(members.size()));
    put16(z, static_cast<uint32_t>(members.size()));
    put32(z, static_cast<uint32_t>(cd.size())), put32(z, cd_at), put16(z, 0);
    return z;
}

std::string gzip_of(const std::string& plain, int level, const std::string& extra, const std::string& name) {
    std::string g = "\x1f\x8b\x08";
    g.push_back(static_cast<char>((extra.empty() ? 0 : 4) | (name.empty() ? 0 : 8)));
    put32(g, 0);
    g += std::string("\x02\x03", 2);
    if (!extra.empty()) put16(g, static_cast<uint32_t>(extra.size())), g += extra;
    if (!name.empty()) g += name + std::string(1, '\0');
    g += deflated(plain, level);
    put32(g, zcrc(plain)), put32(g, static_cast<uint32_t>(plain.size()));
    return g;
}

// What GNU gzip itself makes of `plain` (gzip -n -LEVEL).
std::string gnu_gzip(const std::string& plain, int level) {
    ScratchDir dir;
    write_file(dir / "in", plain);
    std::string cmd = "gzip -n -" + std::to_string(level) + " -c '" + (dir / "in") + "'";
    std::string out;
    if (FILE* p = popen(cmd.c_str(), "r")) {
        char buf[65536];
        size_t n;
        while ((n = fread(buf, 1, sizeof(buf), p)) > 0) out.append(buf, n);
        EXPECT_EQ(0, pclose(p)) << cmd;
    }
    EXPECT_GT(out.size(), 18u) << cmd;
    return out;
}

const uint8_t* bytes(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }

// Runs the stored form through the rebuilder in pieces of `piece` bytes; "" when it
// was refused. Output beyond `limit` is a failure of the rebuilder itself.
std::string rebuild(const std::string& stored, uint64_t limit, size_t piece = 4096) {
    std::string out;
    Rebuilder rb(limit, [&](const uint8_t* p, size_t n) {
        out.append(reinterpret_cast<const char*>(p), n);
        EXPECT_LE(out.size(), limit);
        return true;
    });
    bool ok = true;
    for (size_t off = 0; ok && off < stored.size(); off += piece)
        ok = rb.Write(bytes(stored) + off, std::min(piece, stored.size() - off));
    return ok && rb.Finish() ? out : std::string();
}

bool repack(const std::string& file, std::string& stored) {
    std::vector<uint8_t> v;
    if (!Repack(bytes(file), file.size(), v)) return false;
    stored.assign(v.begin(), v.end());
    return true;
}

const std::string kText = generated_bytes(150000, 7);
const std::string kSmall = generated_bytes(3000, 8);

TEST(UharcRepack, ReproducibleStreamsAreStoredInflatedAndComeBackExact) {
    std::string jar = zip_of({{"META-INF/", "", ""},
                              {"a.class", kText, deflated(kText, 6)},
                              {"stored.bin", kSmall, ""},
                              {"described.txt", kSmall, deflated(kSmall, 6), true, std::string("\xfe\xca\0\0", 4)},
                              {"empty", "", deflated("", 6)}});
    struct Case {
        const char* what;
        std::string file;
        std::string inflated; // plain text the stored form must carry
    } cases[] = {
            {"zip: stored, deflated, data descriptor, extra field", jar, kText},
            {"zip at level 9", zip_of({{"x", kText, deflated(kText, 9)}}), kText},
            {"gzip with name and extra field, level 9", gzip_of(kText, 9, "AB\2\0xy", "lib.jar"), kText},
            {"gzip at level 1", gzip_of(kSmall, 1, "", ""), kSmall},
    };
    for (const Case& c : cases) {
        std::string stored;
        ASSERT_TRUE(repack(c.file, stored)) << c.what;
        EXPECT_NE(std::string::npos, stored.find(c.inflated)) << c.what;
        EXPECT_EQ(c.file, rebuild(stored, c.file.size())) << c.what;
        EXPECT_EQ(c.file, rebuild(stored, c.file.size(), 1)) << c.what;
        EXPECT_EQ(c.file, rebuild(stored, c.file.size(), stored.size())) << c.what;
    }
}

// The raw deflate stream of a file from gnu_gzip (no name, so a 10-byte header).
std::string gzip_stream(const std::string& gz) { return gz.substr(10, gz.size() - 18); }

std::string gzip_deflated(const std::string& plain, int level, size_t piece) {
    std::string out;
    GzipDeflater gz(level, plain.size(), [&](const uint8_t* p, size_t n) {
        out.append(reinterpret_cast<const char*>(p), n);
        return true;
    });
    bool ok = true;
    for (size_t off = 0; ok && off < plain.size(); off += piece)
        ok = gz.Write(bytes(plain) + off, std::min(piece, plain.size() - off));
    return ok && gz.Finish() ? out : std::string("refused");
}

const std::string kLong = generated_bytes(600000, 11);

// GNU gzip ends blocks where zlib does not (up to 32 Ki symbols, or early when matches
// turn scarce); its own output is the expected value, at every lazy level, at the
// window's edges and the end of input, whatever pieces the input comes in.
TEST(UharcRepack, GnuGzipDeflateIsReproducedByteForByte) {
    const std::string noise = generated_bytes(70000, 12).substr(0, 16384);
    std::string scrambled;
    for (size_t i = 0; i < 70000; ++i) scrambled.push_back(static_cast<char>((i * 2654435761u) >> 13));
    const struct {
        const char* what;
        std::string plain;
    } inputs[] = {
            {"empty", ""},
            {"one byte", "x"},
            {"one lookahead", kLong.substr(0, 262)},
            {"one window", kLong.substr(0, 65536)},
            {"a window and a lookahead and one", kLong.substr(0, 65536 + 263)},
            {"zeros", std::string(300000, '\0')},
            {"text", kLong},
            {"incompressible, stored blocks", scrambled},
            {"mixed", noise + kLong.substr(0, 200000) + std::string(70000, 'a') + scrambled},
    };
    for (const auto& in : inputs)
        for (int level = 4; level <= 9; ++level) {
            std::string want = gzip_stream(gnu_gzip(in.plain, level));
            for (size_t piece : {size_t(65536), size_t(7), size_t(100003)})
                EXPECT_EQ(want, gzip_deflated(in.plain, level, piece))
                        << in.what << ", level " << level << ", pieces of " << piece;
        }
    EXPECT_EQ("refused", gzip_deflated(kSmall, 3, 4096));
}

TEST(UharcRepack, GnuGzipFilesAreRepacked) {
    for (int level : {9, 6}) {
        std::string file = gnu_gzip(kLong, level), stored;
        ASSERT_TRUE(repack(file, stored)) << level;
        EXPECT_NE(std::string::npos, stored.find(kLong.substr(300000, 4096))) << level;
        EXPECT_EQ(file, rebuild(stored, file.size())) << level;
        EXPECT_EQ(file, rebuild(stored, file.size(), 1)) << level;
        EXPECT_EQ(file, rebuild(stored, file.size(), stored.size())) << level;
    }
    // a damaged gzip segment: its level, or the size its stream must come to
    std::string file = gnu_gzip(kLong, 9), good;
    ASSERT_TRUE(repack(file, good));
    size_t level_at = good.find(std::string("\x02\x09", 2)) + 1;
    ASSERT_LT(level_at, 64u);
    size_t size_at = level_at + 9;
    for (uint8_t level : {3, 10, 6}) {
        std::string bad = good;
        bad[level_at] = static_cast<char>(level);
        EXPECT_EQ("", rebuild(bad, file.size())) << int(level);
    }
    for (int delta : {1, -1}) {
        std::string bad = good;
        bad[size_at] = static_cast<char>(bad[size_at] + delta);
        EXPECT_EQ("", rebuild(bad, file.size())) << delta;
    }
}

TEST(UharcRepack, StreamsZlibCannotReproduceStayAsTheyAre) {
    std::string fixed = deflated(kText, 6, Z_FIXED), small_window = deflated(kText, 6, Z_DEFAULT_STRATEGY, 10);
    std::string stored;
    // one reproducible entry is enough to re-pack; the other keeps its bytes
    std::string mixed = zip_of({{"fixed", kText, fixed}, {"good", kSmall, deflated(kSmall, 6)}});
    ASSERT_TRUE(repack(mixed, stored));
    EXPECT_NE(std::string::npos, stored.find(fixed));
    EXPECT_EQ(mixed, rebuild(stored, mixed.size()));

    const std::string nothing[] = {
            zip_of({{"fixed", kText, fixed}}),
            zip_of({{"window", kText, small_window}}),
            zip_of({{"stored", kText, ""}}),
            gzip_of(kText, 6, "", "").substr(0, 500), // truncated stream
            "PK\3\4 no central directory",
            std::string("\x1f\x8b\x08\xe0", 4) + std::string(40, '\0'), // reserved flags
    };
    for (const std::string& f : nothing) EXPECT_FALSE(repack(f, stored)) << f.size();
}

TEST(UharcRepack, DamagedStoredFormIsRefused) {
    std::string file = zip_of({{"a", kText, deflated(kText, 6)}, {"b", kSmall, deflated(kSmall, 6)}});
    std::string good;
    ASSERT_TRUE(repack(file, good));
    ASSERT_EQ(file, rebuild(good, file.size()));
    size_t level_at = good.find(std::string("\x01\x06\x08\x0f\x00", 5)) + 1;
    size_t plain_at = good.find(kText.substr(0, 64));
    ASSERT_NE(std::string::npos, plain_at);

    struct Case {
        const char* what;
        std::string stored;
        uint64_t limit;
    };
    std::vector<Case> cases = {
            {"magic", "X" + good.substr(1), file.size()},
            {"level", good, file.size()},
            {"level out of range", good, file.size()},
            {"unknown tag", good.substr(0, 4) + "\x07" + good.substr(5), file.size()},
            {"bytes after the end", good + "\xff", file.size()},
            {"one byte short of the file", good, file.size() - 1},
            {"one byte more than made", good, file.size() + 1},
            {"empty", "", file.size()},
    };
    cases[1].stored[level_at] = 9;
    cases[2].stored[level_at] = 10;
    for (size_t cut = 1; cut < good.size(); cut += good.size() / 97 + 1)
        cases.push_back({"cut", good.substr(0, cut), file.size()});
    for (const Case& c : cases) EXPECT_EQ("", rebuild(c.stored, c.limit, 777)) << c.what;

    // changed text deflates to other bytes, which the file's CRC-32 then refuses
    std::string changed = good;
    changed[plain_at + 1000] ^= 0x20;
    EXPECT_NE(file, rebuild(changed, file.size()));

    // a deflate segment announcing more than the file may hold stops before any output
    std::string huge = good;
    size_t sizes_at = level_at + 4;
    for (int i = 0; i < 8; ++i) huge[sizes_at + i] = '\xff';
    EXPECT_EQ("", rebuild(huge, file.size()));
}

// A re-packed file in an archive whose stored form is damaged (the LZMA2 data itself
// being intact) must not be written, and the run must fail.
TEST(UharcRepack, DamagedRepackedFileInAnArchiveIsRefused) {
    ScratchDir dir;
    make_dirs(dir / "src/lib");
    std::string jar = zip_of({{"a.class", kText, deflated(kText, 6)}});
    write_file(dir / "src/lib/rt.jar", jar);
    write_file(dir / "src/lib/tools.gz", gzip_of(kSmall, 9, "", "tools"));
    std::string error;
    ASSERT_TRUE(create_archive(dir / "src", dir / "good.uha", WriteOptions(), error)) << error;
    std::string good = read_file(dir / "good.uha");
    make_dirs(dir / "out");
    ASSERT_TRUE(extract_archive(dir / "good.uha", dir / "out", nullptr, error)) << error;
    EXPECT_EQ(jar, read_file(dir / "out/lib/rt.jar"));
    EXPECT_EQ(gzip_of(kSmall, 9, "", "tools"), read_file(dir / "out/lib/tools.gz"));

    Index index;
    size_t head_size = 0;
    ASSERT_TRUE(decode_head(bytes(good), good.size(), index, head_size, error)) << error;
    ASSERT_EQ(1u, index.blocks.size());
    const Entry* jar_entry = nullptr;
    uint64_t at = 0;
    for (const Entry& e : index.entries) {
        if (e.path == "lib/rt.jar") jar_entry = &e;
        if (!jar_entry) at += e.stored();
    }
    ASSERT_TRUE(jar_entry);
    ASSERT_EQ(kTransformRepack, jar_entry->transform);
    EXPECT_EQ(jar.size(), jar_entry->size);
    EXPECT_EQ(zcrc(jar), jar_entry->crc32);

    lzma_options_lzma opt{};
    opt.dict_size = index.blocks[0].dict_size;
    lzma_filter chain[] = {{LZMA_FILTER_LZMA2, &opt}, {LZMA_VLI_UNKNOWN, nullptr}};
    std::vector<uint8_t> plain(index.blocks[0].unpacked_size);
    size_t in_pos = 0, out_pos = 0;
    ASSERT_EQ(LZMA_OK, lzma_raw_buffer_decode(chain, nullptr, bytes(good) + head_size, &in_pos, good.size() - head_size,
                                              plain.data(), &out_pos, plain.size()));
    // a byte of the class file's inflated text (deflate then makes other bytes), and a
    // byte of its name kept as it is (only the file's CRC-32 can tell)
    std::string block(plain.begin(), plain.end());
    for (const std::string& target : {kText.substr(5000, 64), std::string("a.class")}) {
        size_t flip = block.find(target, at);
        ASSERT_LT(flip, at + jar_entry->stored_size) << target;
        std::vector<uint8_t> damaged = plain;
        damaged[flip + 1] ^= 0x01;
        lzma_lzma_preset(&opt, 6);
        opt.dict_size = index.blocks[0].dict_size;
        std::vector<uint8_t> packed(damaged.size() + damaged.size() / 2 + 4096);
        size_t packed_size = 0;
        ASSERT_EQ(LZMA_OK, lzma_raw_buffer_encode(chain, nullptr, damaged.data(), damaged.size(), packed.data(),
                                                  &packed_size, packed.size()));
        Index changed = index;
        changed.blocks[0].packed_size = packed_size;
        std::vector<uint8_t> bad = encode_head(changed);
        bad.insert(bad.end(), packed.begin(), packed.begin() + packed_size);
        write_file(dir / "bad.uha", std::string(bad.begin(), bad.end()));

        remove_tree(dir / "out");
        make_dirs(dir / "out");
        EXPECT_FALSE(extract_archive(dir / "bad.uha", dir / "out", nullptr, error)) << target;
        EXPECT_EQ("CRC error in lib/rt.jar", error);
        EXPECT_EQ(0u, snapshot(dir / "out").count("lib/rt.jar"));
        // testing without writing checks the same
        MemoryInput in(bad.data(), bad.size());
        error.clear();
        EXPECT_FALSE(read_archive(in, nullptr, error)) << target;
        EXPECT_EQ("CRC error in lib/rt.jar", error);
    }
}

} // namespace
