// The archive format's pure parts: path rules, index rules, head encoding, manifest.
#include "uharc.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace uharc;

namespace {

struct PathCase {
    const char* path;
    bool ok;
};

const PathCase kPaths[] = {
        {"a", true},
        {"a/b/c.txt", true},
        {"\xE4\xB8\xAD\xE6\x96\x87/\xE6\x96\x87\xE4\xBB\xB6.txt", true}, // 中文/文件.txt
        {"with blank/x y.z", true},
        {".hidden", true},
        {"a..b", true},
        {"COM10", true},
        {"console.txt", true},
        {"nul_x", true},
        {"LPT", true},
        {"\xF0\x9F\x98\x80.txt", true}, // a character outside the BMP
        {"", false},
        {"/etc/passwd", false},
        {"a//b", false},
        {"a/", false},
        {"..", false},
        {"../a", false},
        {"a/../../b", false},
        {".", false},
        {"a/./b", false},
        {"C:/x", false},
        {"c:x", false},
        {"a:stream", false},
        {"a\\b", false},
        {"\\\\server\\share", false},
        {"CON", false},
        {"con.txt", false},
        {"Nul", false},
        {"a/PRN/b", false},
        {"aux.tar.gz", false},
        {"COM1.log", false},
        {"lpt9", false},
        {"COM0", false},
        {"AUX .txt", false},
        {"CONIN$", false},
        {"COM\xC2\xB9", false},
        {"name.", false},
        {"name ", false},
        {"bad\xFF", false},
        {"\xC0\xAF", false},         // overlong '/'
        {"\xED\xA0\x80", false},     // surrogate
        {"\xF4\x90\x80\x80", false}, // above U+10FFFF
        {"\xE4\xB8", false},         // cut sequence
        {"a\x01"
         "b",
         false},
        {"a\x7f", false},
        {"a|b", false},
        {"a*b", false},
        {"a?b", false},
        {"a<b>", false},
        {"a\"b", false},
};

TEST(UharcPath, Table) {
    for (const PathCase& c : kPaths) {
        std::string why = check_path(c.path);
        EXPECT_EQ(c.ok, why.empty()) << "path \"" << c.path << "\" gave \"" << why << "\"";
    }
}

TEST(UharcPath, Lengths) {
    EXPECT_EQ("", check_path(std::string(255, 'x')));
    EXPECT_NE("", check_path(std::string(256, 'x')));
    // the limit counts UTF-16 units, not the 765 bytes of 255 CJK characters
    std::string cjk;
    for (int i = 0; i < 255; ++i) cjk += "\xE4\xB8\xAD";
    EXPECT_EQ("", check_path(cjk));
    EXPECT_NE("", check_path(cjk + "\xE4\xB8\xAD"));
    std::string astral; // characters outside the BMP count twice
    for (int i = 0; i < 127; ++i) astral += "\xF0\x9F\x98\x80";
    EXPECT_EQ("", check_path(astral + "x"));
    EXPECT_NE("", check_path(astral + "xy"));
    std::string deep;
    while (deep.size() < kMaxPathBytes - 10) deep += "abcdefghi/";
    EXPECT_EQ("", check_path(deep + "x"));
    EXPECT_NE("", check_path(deep + std::string(20, 'x')));
}

Entry folder(const std::string& path) {
    Entry e;
    e.type = EntryType::Folder;
    e.path = path;
    return e;
}

Entry file(const std::string& path, uint64_t size, uint8_t block = 0) {
    Entry e;
    e.path = path;
    e.size = size;
    e.stored_size = size;
    e.block = block;
    return e;
}

Index index_of(std::vector<Entry> entries) {
    Index ix;
    ix.blocks.push_back({0, 1, 0});
    for (const Entry& e : entries) ix.blocks[0].unpacked_size += e.size;
    ix.entries = std::move(entries);
    return ix;
}

TEST(UharcIndex, Rules) {
    EXPECT_EQ("", check_index(index_of({folder("a"), file("a/b", 3), file("c", 0)})));
    EXPECT_NE("", check_index(index_of({file("a", 1), file("A", 1)}))); // case twins
    EXPECT_NE("", check_index(index_of({folder("x"), file("x", 1)})));
    EXPECT_NE("", check_index(index_of({file("a", 1), file("a/b", 1)}))); // below a file
    EXPECT_NE("", check_index(index_of({file("../a", 1)})));
    Index sizes = index_of({file("a", 5)});
    sizes.blocks[0].unpacked_size = 4;
    EXPECT_NE("", check_index(sizes));
    Index dict = index_of({file("a", 5)});
    dict.blocks[0].dict_size = kMaxDictSize + 1;
    EXPECT_NE("", check_index(dict));
    dict.blocks[0].dict_size = kMinDictSize - 1;
    EXPECT_NE("", check_index(dict));
    // the extractor decodes side by side only blocks whose dictionaries fit together:
    // the limit is on each block's own
    Index two = index_of({file("a", 1, 0), file("b", 1, 1)});
    two.blocks = {{0, 1, 1, kMaxDictSize}, {0, 1, 1, kMaxDictSize}};
    EXPECT_EQ("", check_index(two));
    two.blocks[1].dict_size += 1;
    EXPECT_NE("", check_index(two));
    Index transform = index_of({file("a", 5)});
    transform.entries[0].transform = 2; // not known to this reader
    EXPECT_NE("", check_index(transform));
    Index stored = index_of({file("a", 5)});
    stored.entries[0].stored_size = 4; // without a transform the block holds the file as it is
    stored.blocks[0].unpacked_size = 4;
    EXPECT_NE("", check_index(stored));
    Index order = index_of({file("a", 1, 1), file("b", 1, 0)});
    order.blocks = {{0, 1, 1}, {0, 1, 1}};
    EXPECT_NE("", check_index(order));
    Index filt = index_of({file("a", 1)});
    filt.blocks[0].filters = 0x80;
    EXPECT_NE("", check_index(filt));
}

TEST(UharcHead, RoundTrip) {
    Index ix = index_of({folder("d"), file("d/\xE4\xB8\xAD.txt", 7), file("e", 0)});
    ix.entries[1].attributes = kAttrReadOnly | kAttrHidden;
    ix.entries[1].mode = 0640;
    ix.entries[1].mtime = 132000000000000000ull;
    ix.entries[1].crc32 = 0xDEADBEEF;
    ix.blocks[0].packed_size = 42;
    ix.blocks[0].dict_size = 1u << 20;
    std::vector<uint8_t> head = encode_head(ix);
    ASSERT_GE(head.size(), kHeaderSize);
    EXPECT_EQ(0, std::memcmp(head.data(), "UHA\x06", 4));
    Index back;
    size_t size = 0;
    std::string error;
    ASSERT_TRUE(decode_head(head.data(), head.size(), back, size, error)) << error;
    EXPECT_EQ(head.size(), size);
    ASSERT_EQ(3u, back.entries.size());
    EXPECT_EQ("d/\xE4\xB8\xAD.txt", back.entries[1].path);
    EXPECT_EQ(kAttrReadOnly | kAttrHidden, back.entries[1].attributes);
    EXPECT_EQ(0640u, back.entries[1].mode);
    EXPECT_EQ(132000000000000000ull, back.entries[1].mtime);
    EXPECT_EQ(0xDEADBEEFu, back.entries[1].crc32);
    EXPECT_EQ(42u, back.blocks[0].packed_size);
    EXPECT_EQ(1u << 20, back.blocks[0].dict_size);
    EXPECT_EQ(7u, back.entries[1].stored_size);
}

TEST(UharcHead, EveryFlippedByteIsFound) {
    Index ix = index_of({folder("d"), file("d/x", 7)});
    std::vector<uint8_t> head = encode_head(ix);
    for (size_t i = 0; i < head.size(); ++i) {
        for (uint8_t bit : {0x01, 0x80}) {
            std::vector<uint8_t> bad = head;
            bad[i] ^= bit;
            Index out;
            size_t size;
            std::string error;
            EXPECT_FALSE(decode_head(bad.data(), bad.size(), out, size, error)) << "byte " << i << " bit " << int(bit);
            EXPECT_NE("", error);
        }
    }
}

TEST(UharcHead, EveryTruncationIsFound) {
    Index ix = index_of({folder("d"), file("d/x", 7)});
    std::vector<uint8_t> head = encode_head(ix);
    for (size_t n = 0; n < head.size(); ++n) {
        Index out;
        size_t size;
        std::string error;
        EXPECT_FALSE(decode_head(head.data(), n, out, size, error)) << "length " << n;
    }
}

TEST(UharcHead, HostilePathWithValidChecksumsIsRefused) {
    Index ix = index_of({file("../escape", 0)});
    std::vector<uint8_t> head = encode_head(ix);
    Index out;
    size_t size;
    std::string error;
    EXPECT_FALSE(decode_head(head.data(), head.size(), out, size, error));
    EXPECT_NE(std::string::npos, error.find("../escape")) << error;
}

TEST(UharcManifest, Format) {
    std::vector<Entry> entries = {file("b.txt", 1),         folder("jre"),   folder("jre/lib"),
                                  file("jre/lib/x.jar", 1), folder("empty"), file("\xE4\xB8\xAD.txt", 1)};
    EXPECT_EQ("b.txt\r\n"
              "empty\\\r\n"
              "jre\\\r\n"
              "jre\\lib\\\r\n"
              "jre\\lib\\x.jar\r\n"
              "uninstall.lst\r\n"
              "\xE4\xB8\xAD.txt\r\n",
              manifest_text(entries));
}

TEST(UharcCrc, KnownValue) {
    EXPECT_EQ(0xCBF43926u, crc32("123456789", 9));
    EXPECT_EQ(crc32("123456789", 9), crc32("6789", 4, crc32("12345", 5)));
}

} // namespace
