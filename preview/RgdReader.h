#pragma once
// RGD attribute files: a Relic Chunky file whose DATAAEGD chunk holds a table
// of keyed values (floats, integers, booleans, strings, wide strings, nested
// tables and lists). First generation: 32-bit hashed keys, named by
// dictionaries. Second generation (with a DATAKEYS chunk): 64-bit keys named
// by the file itself.

#include "core/Status.h"

#include <cstdint>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

namespace sga {

enum class RgdType : uint32_t {
    Float = 0,
    Integer = 1,
    Boolean = 2,
    String = 3,
    WideString = 4,
    Table = 100,
    List = 101,
    NoData = 254,
};

struct RgdEntry;

struct RgdValue {
    uint32_t type = 0;                 // an RgdType, or another number met in the file
    float number = 0;
    int32_t integer = 0;
    bool boolean = false;
    std::string text;                  // strings as UTF-8 (8-bit text read as Windows-1252 in the first generation)
    std::vector<RgdEntry> entries;     // tables and lists
    uint64_t offset = 0;               // of the value's bytes in the file (a table's: its count and descriptors)
    uint64_t size = 0;                 // of those bytes; 0 for a value without any

    bool isTable() const { return type == uint32_t(RgdType::Table) || type == uint32_t(RgdType::List); }
};

struct RgdEntry {
    uint64_t key = 0;
    RgdValue value;
};

struct RgdFile {
    bool secondGeneration = false;                      // 64-bit keys
    std::unordered_map<uint64_t, std::string> keyNames; // from DATAKEYS
    std::vector<RgdEntry> entries;                      // of every DATAAEGD table, in file order
};

// Nested tables deeper than this are refused.
inline constexpr int kMaxRgdDepth = 64;

Expected<RgdFile> readRgd(std::span<const uint8_t> bytes);

// Bob Jenkins' 1996 lookup2 hash with initial value 0: the key hash of the first generation.
uint32_t rgdHash(std::string_view name);

} // namespace sga
