// What the installer reads from the carried archive's index (docs/archive-format.md):
// the room unpacking needs, and the size and CRC-32 of a file it will start. The layout's
// sizes and magic are the archiver's own (tools/uharc/uharc.h); the archiver's reader is
// not linked, as it brings liblzma with it. Portable (no windows.h).
#pragma once
#include <cstddef>
#include <cstdint>

struct ArchiveNeeds {
    uint64_t files = 0;     // bytes of every file the index lists, each rounded up to a cluster
    uint64_t libraries = 0; // room for the expanded libraries (jre\lib\*.pack.gz, jre\lib\ext\*.pack.gz)
    uint32_t fileCount = 0;
};

// Reads the index of the archive in data (size bytes, the format version 6 of
// docs/archive-format.md). The index does not hold what a packed library expands to (its
// gzip trailer is inside the compressed data), so each counts at twice its packed size:
// the libraries are jars whose entries are deflated already, which gzip shrinks by a few
// per cent (the demo's by 2 to 5), and twice leaves room for jars with stored entries.
// FALSE when the header or index cannot be read (the archiver refuses such an archive).
bool ReadArchiveNeeds(const void* data, size_t size, uint32_t clusterBytes, ArchiveNeeds& needs);

// The bytes the installation needs on the volume: the archive and the archiver written
// beside the files, the files and the expanded libraries, all rounded up to clusters.
uint64_t InstallationBytes(const ArchiveNeeds& needs, uint64_t archiveBytes, uint64_t archiverBytes,
                           uint32_t clusterBytes);

// The size and CRC-32 that the index declares for the file at path ('/' between
// components, compared without regard to ASCII case). FALSE when it lists no such file.
bool FindArchiveFile(const void* data, size_t size, const char* path, uint64_t& bytes, uint32_t& crc);

// The CRC-32 (as in zip and xz) of size bytes, continuing from crc (0 to begin).
uint32_t Crc32(uint32_t crc, const void* data, size_t size);
