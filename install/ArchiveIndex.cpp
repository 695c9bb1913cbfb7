#include "install/ArchiveIndex.h"

#include <cstring>
#include <string>

#include "tools/uharc/uharc.h"

namespace {

const uint64_t kHeaderBytes = uharc::kHeaderSize;
const uint64_t kBlockRecordBytes = uharc::kBlockRecordSize;
const uint64_t kEntryRecordBytes = uharc::kEntryFixedSize;

uint64_t Le(const unsigned char* p, int bytes) {
    uint64_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | p[i];
    return v;
}

uint64_t RoundUp(uint64_t n, uint32_t cluster) {
    if (cluster == 0) return n;
    return (n + cluster - 1) / cluster * cluster;
}

// A packed library lies directly in jre/lib/ or jre/lib/ext/ and ends in .pack.gz in
// any letter case, as the expansion finds them.
std::string AsciiLower(const std::string& s);

bool IsPackedLibrary(const std::string& path) {
    const std::string lower = AsciiLower(path);
    static const char kSuffix[] = ".pack.gz";
    const size_t suffixLen = sizeof(kSuffix) - 1;
    if (lower.size() <= suffixLen || lower.compare(lower.size() - suffixLen, suffixLen, kSuffix) != 0) return false;
    for (const char* dir : {"jre/lib/", "jre/lib/ext/"}) {
        const size_t n = std::strlen(dir);
        if (lower.compare(0, n, dir) == 0 && lower.find('/', n) == std::string::npos) return true;
    }
    return false;
}

struct FileEntry {
    std::string path;
    uint64_t bytes;
    uint32_t crc;
};

// Calls onFile for every file entry of the index; FALSE when header or index cannot be
// read.
template <typename OnFile>
bool ForEachFile(const void* data, size_t size, OnFile onFile) {
    const unsigned char* p = static_cast<const unsigned char*>(data);
    if (!p || size < kHeaderBytes || std::memcmp(p, uharc::kMagic, sizeof(uharc::kMagic)) != 0 ||
        Le(p + 4, 2) != kHeaderBytes)
        return false;
    const uint64_t blocks = p[6];
    const uint64_t entries = Le(p + 12, 4);
    const uint64_t indexBytes = Le(p + 16, 4);
    if (indexBytes > size - kHeaderBytes || blocks * kBlockRecordBytes > indexBytes) return false;
    const unsigned char* at = p + kHeaderBytes + blocks * kBlockRecordBytes;
    const unsigned char* const end = p + kHeaderBytes + indexBytes;
    for (uint64_t i = 0; i < entries; ++i) {
        if (static_cast<size_t>(end - at) < kEntryRecordBytes) return false;
        const uint64_t pathBytes = Le(at + 2, 2);
        if (static_cast<uint64_t>(end - at) - kEntryRecordBytes < pathBytes) return false;
        if (at[0] == 1) {
            const FileEntry file = {std::string(reinterpret_cast<const char*>(at + kEntryRecordBytes), pathBytes),
                                    Le(at + 20, 8), static_cast<uint32_t>(Le(at + 28, 4))};
            onFile(file);
        }
        at += kEntryRecordBytes + pathBytes;
    }
    return true;
}

std::string AsciiLower(const std::string& s) {
    std::string lower;
    for (char c : s) lower += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    return lower;
}

} // namespace

bool ReadArchiveNeeds(const void* data, size_t size, uint32_t clusterBytes, ArchiveNeeds& needs) {
    needs = ArchiveNeeds();
    ArchiveNeeds found;
    if (!ForEachFile(data, size, [&](const FileEntry& file) {
            found.files += RoundUp(file.bytes, clusterBytes);
            ++found.fileCount;
            if (IsPackedLibrary(file.path)) found.libraries += RoundUp(2 * file.bytes, clusterBytes);
        }))
        return false;
    needs = found;
    return true;
}

bool FindArchiveFile(const void* data, size_t size, const char* path, uint64_t& bytes, uint32_t& crc) {
    const std::string wanted = AsciiLower(path ? path : "");
    bool seen = false;
    if (!ForEachFile(data, size, [&](const FileEntry& file) {
            if (!seen && AsciiLower(file.path) == wanted) {
                seen = true;
                bytes = file.bytes;
                crc = file.crc;
            }
        }))
        return false;
    return seen;
}

uint32_t Crc32(uint32_t crc, const void* data, size_t size) {
    static uint32_t table[256];
    if (table[1] == 0) {
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            table[i] = c;
        }
    }
    const unsigned char* p = static_cast<const unsigned char*>(data);
    crc = ~crc;
    for (size_t i = 0; i < size; ++i) crc = table[(crc ^ p[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

uint64_t InstallationBytes(const ArchiveNeeds& needs, uint64_t archiveBytes, uint64_t archiverBytes,
                           uint32_t clusterBytes) {
    return RoundUp(archiveBytes, clusterBytes) + RoundUp(archiverBytes, clusterBytes) + needs.files + needs.libraries;
}
