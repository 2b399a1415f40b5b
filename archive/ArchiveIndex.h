#pragma once
// The in-memory index of the open archive: header, data header, table of
// contents, directory records and one entry per name. Counts and positions
// are held as the loader adjusts them (see openArchive).

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace sga {

struct ArchiveHeader {
    std::string magic;                      // 8 characters
    int32_t version = 0;
    std::array<int32_t, 4> headerBlock{};   // the data signature (the model's dataSignature)
    std::string archiveName;                // 128 characters, NULs kept
    std::array<int32_t, 4> extraBlock{};    // version 2 only: the ToC signature (tocSignature)
    int32_t headerValue = 0;
    int32_t dataOffset = 0;
};

// The data header followed by the table of contents.
struct EngineData {
    int32_t table1Offset = 0;
    int16_t table1Count = 0;
    int32_t dirTableOffset = 0;
    int16_t dirCount = 0;        // in memory: named directories (stored - 1)
    int32_t fileTableOffset = 0;
    int16_t fileCount = 0;
    int32_t nameTableOffset = 0;
    int16_t totalEntries = 0;    // in memory: names (stored - 1)
    std::string tocText1;        // 64 characters
    std::string tocText2;        // 64 characters
    int16_t tocWord = 0;
    int32_t numOfRecords = 0;
    int16_t noOfChunks = 0;      // in memory: the count after the directory table
};

struct DirectoryEntry {
    int16_t int4 = 0;
    int32_t toc = 0;
    int16_t int2 = 0;
    int16_t int3 = 0;
    int16_t start = 0;           // in memory: index in entries of the first file
};

struct FileEntry {
    std::string name;
    std::string dirName;         // files only; empty at the top level
    int32_t toc = 0;
    uint8_t null = 0;            // nonzero: compressed
    int32_t filePos = 0;         // offset of the 264-byte block before the bytes
    int32_t compSize = 0;        // stored byte count - 1
    int32_t orgSize = 0;
};

// A header field of four 32-bit words as the 16 bytes stored on disk.
inline std::array<uint8_t, 16> wordsToBytes(const std::array<int32_t, 4>& words) {
    std::array<uint8_t, 16> bytes{};
    for (size_t i = 0; i < 16; ++i)
        bytes[i] = static_cast<uint8_t>(static_cast<uint32_t>(words[i / 4]) >> (8 * (i % 4)));
    return bytes;
}

// Size of the block that precedes every file's stored bytes.
inline constexpr int32_t kDataBlockSize = 264;

struct ArchiveIndex : ArchiveHeader {
    EngineData myEngineData;
    std::vector<DirectoryEntry> dirRecords;
    std::vector<FileEntry> entries;          // named directories first, then files
    std::string archiveFolder;               // up to and including the last separator
    int32_t nameTablePos = 0;                // 1-based read position of the name table

    int dirCount() const { return myEngineData.dirCount; }
    int totalEntries() const { return myEngineData.totalEntries; }
    bool empty() const { return entries.empty(); }
    // Entry numbers count from 1; 1 to dirCount are directories.
    bool isFileNumber(int64_t m) const { return m > dirCount() && m <= totalEntries(); }
};

} // namespace sga
