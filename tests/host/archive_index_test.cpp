// What the installer reads from the archive's index: the room unpacking needs and the
// declared size and CRC-32 of a file, on archives laid out by hand after
// docs/archive-format.md.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "install/ArchiveIndex.h"

namespace {

struct Entry {
    uint8_t type; // 0 folder, 1 file
    std::string path;
    uint64_t size;
    uint32_t crc;
};

void Put(std::vector<unsigned char>& out, uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<unsigned char>(v >> (8 * i)));
}

// Header (48 bytes), one block record per block, the entries; no data (the reader of
// the index needs none).
std::vector<unsigned char> Archive(const std::vector<Entry>& entries, int blocks = 1) {
    std::vector<unsigned char> index;
    for (int b = 0; b < blocks; ++b) {
        index.push_back(0);
        Put(index, 0, 8);
        Put(index, 0, 8);
        Put(index, 1 << 16, 4);
    }
    for (const Entry& e : entries) {
        index.push_back(e.type);
        index.push_back(0);
        Put(index, e.path.size(), 2);
        Put(index, 0x20, 4);
        Put(index, 0, 4);
        Put(index, 0, 8);
        Put(index, e.size, 8);
        Put(index, e.crc, 4);
        index.push_back(0);    // transform
        Put(index, e.size, 8); // stored size
        index.insert(index.end(), e.path.begin(), e.path.end());
    }
    std::vector<unsigned char> a = {'U', 'H', 'A', 6};
    Put(a, 48, 2);
    a.push_back(static_cast<unsigned char>(blocks));
    a.push_back(0);
    Put(a, blocks << 16, 4);
    Put(a, entries.size(), 4);
    Put(a, index.size(), 4);
    Put(a, 0, 4);
    Put(a, 0, 8);
    Put(a, 0, 8);
    Put(a, 0, 4);
    Put(a, 0, 4);
    a.insert(a.end(), index.begin(), index.end());
    return a;
}

const std::vector<Entry> kPayload = {
        {0, "jre", 0, 0},
        {0, "jre/lib", 0, 0},
        {1, "pkl.exe", 5000, 1},
        {1, "jre/bin/unpack200.exe", 4096, 0xCAFEBABE},
        {1, "jre/lib/rt.jar.pack.gz", 10000, 2},
        {1, "jre/lib/ext/x.jar.PACK.GZ", 1, 3},
        {1, "jre/lib/deeper/y.jar.pack.gz", 100, 4}, // not where the expansion looks
        {1, "docs/readme.pack.gz", 100, 5},          // nor here
        {1, "empty.txt", 0, 0},
};

TEST(ArchiveIndex, NeedsCountEveryFileInWholeClustersAndTheLibrariesTwiceAgain) {
    const std::vector<unsigned char> a = Archive(kPayload, 2);
    ArchiveNeeds needs;
    ASSERT_TRUE(ReadArchiveNeeds(a.data(), a.size(), 4096, needs));
    EXPECT_EQ(7u, needs.fileCount);
    // 5000 -> 8192, 4096, 10000 -> 12288, 1 -> 4096, 100 -> 4096 twice, 0 -> 0
    EXPECT_EQ(8192u + 4096 + 12288 + 4096 + 4096 + 4096, needs.files);
    // each packed library twice: 20000 -> 20480, 2 -> 4096
    EXPECT_EQ(20480u + 4096, needs.libraries);
    // archive 100000 -> 102400, archiver 111104 -> 114688
    EXPECT_EQ(102400u + 114688 + needs.files + needs.libraries, InstallationBytes(needs, 100000, 111104, 4096));
    ASSERT_TRUE(ReadArchiveNeeds(a.data(), a.size(), 1, needs));
    EXPECT_EQ(5000u + 4096 + 10000 + 1 + 100 + 100, needs.files);
}

TEST(ArchiveIndex, FindsTheDeclaredSizeAndCrcOfAFile) {
    const std::vector<unsigned char> a = Archive(kPayload);
    uint64_t bytes = 0;
    uint32_t crc = 0;
    ASSERT_TRUE(FindArchiveFile(a.data(), a.size(), "jre/bin/unpack200.exe", bytes, crc));
    EXPECT_EQ(4096u, bytes);
    EXPECT_EQ(0xCAFEBABEu, crc);
    EXPECT_TRUE(FindArchiveFile(a.data(), a.size(), "JRE/BIN/UNPACK200.EXE", bytes, crc));
    EXPECT_FALSE(FindArchiveFile(a.data(), a.size(), "jre/bin/unpack200", bytes, crc));
    EXPECT_FALSE(FindArchiveFile(a.data(), a.size(), "jre", bytes, crc)) << "a folder is no file";
}

TEST(ArchiveIndex, RefusesWhatIsNoReadableIndex) {
    const std::vector<unsigned char> good = Archive(kPayload);
    ArchiveNeeds needs;
    uint64_t bytes = 0;
    uint32_t crc = 0;
    EXPECT_FALSE(ReadArchiveNeeds(nullptr, 0, 4096, needs));
    EXPECT_FALSE(ReadArchiveNeeds(good.data(), 47, 4096, needs));
    // cut inside the index: its declared size runs past the end
    EXPECT_FALSE(ReadArchiveNeeds(good.data(), good.size() - 1, 4096, needs));
    EXPECT_FALSE(FindArchiveFile(good.data(), good.size() - 1, "pkl.exe", bytes, crc));
    std::vector<unsigned char> bad = good;
    bad[3] = 5; // format version 5
    EXPECT_FALSE(ReadArchiveNeeds(bad.data(), bad.size(), 4096, needs));
    bad = good;
    bad[12] += 1; // one entry more than the index holds
    EXPECT_FALSE(ReadArchiveNeeds(bad.data(), bad.size(), 4096, needs));
    bad = good;
    bad[48 + 21 + 2] = 0xFF; // the first path runs past the index
    EXPECT_FALSE(ReadArchiveNeeds(bad.data(), bad.size(), 4096, needs));
    EXPECT_EQ(0u, needs.files) << "nothing is reported from a refused index";
}

TEST(ArchiveIndex, Crc32IsTheZipOne) {
    EXPECT_EQ(0x00000000u, Crc32(0, "", 0));
    EXPECT_EQ(0xCBF43926u, Crc32(0, "123456789", 9));
    EXPECT_EQ(0xCBF43926u, Crc32(Crc32(0, "1234", 4), "56789", 5));
}

} // namespace
