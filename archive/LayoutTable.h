#pragma once
// Every archive layout the program knows, one row each: its name, the games
// that use it, its header size, the widths of its tables, what the detector
// looks at and which reader reads it. Everything that depends on the layout
// reads this table; a new layout is its reader file and one row (with its
// enum value) here.

#include "core/Status.h"

#include <cstdint>
#include <span>
#include <string_view>

namespace sga {

class FileReader;
class LogSink;
struct ArchiveModel;

enum class Layout : uint8_t {
    V2Narrow,    // versions 1 and 2 with 17-byte file records (and versions no layout claims)
    V2Wide,      // version 2 with 20-byte file records
    V4,          // version 4.0
    V5A,         // version 5, table of contents after the data
    V5B,         // version 5 with 32-bit counts, like version 6
    V6,
    V7,
    V8,
    V9,
    V10,
};

// Widths of one layout's tables of contents.
struct TocShape {
    int headerSize = 24;          // 24, 32, 40 or 44 bytes
    bool wideCounts = false;      // u32 counts in ToC header, drives and folders (else u16)
    int fileRecordSize = 22;
    bool nameCountIsBytes = false;
    constexpr int driveSize() const { return wideCounts ? 148 : 138; }
    constexpr int folderSize() const { return wideCounts ? 20 : 12; }
};

// Reads the whole archive in file as the given layout, or says what stops it.
using LayoutReader = Expected<ArchiveModel> (*)(FileReader& file, Layout layout, LogSink& log);

// The readers, one file each. The 17-byte layout has none here: modSGA's
// openArchive reads it by path, with its own trace.
Expected<ArchiveModel> readV2Wide(FileReader& file, Layout layout, LogSink& log);
Expected<ArchiveModel> readV4V5(FileReader& file, Layout layout, LogSink& log);
Expected<ArchiveModel> readV6V7(FileReader& file, Layout layout, LogSink& log);
Expected<ArchiveModel> readV8ToV10(FileReader& file, Layout layout, LogSink& log);

struct LayoutTraits {
    Layout layout;
    std::string_view key;         // "V5A": a name without spaces, for lookups and test names
    std::string_view name;        // "version 5, table of contents after the data"
    std::string_view games;
    // The detector: the major version at byte 8 that names this layout. Of
    // several rows with one major version, the first whose tables fit its
    // widths wins.
    uint16_t major;
    int64_t headerSize;           // bytes before the ToC, unless tocOffsetField says otherwise
    TocShape shape;
    // A 32-bit header field that holds the ToC's absolute offset; -1: the
    // ToC follows the header.
    int64_t tocOffsetField = -1;
    // A minor version the detector refuses, and why (an empty why: none).
    uint16_t refusedMinor = 0;
    std::string_view refusal = {};
    // Taken for every major version no row names, and for its own major
    // version when no row's tables fit.
    bool fallback = false;
    LayoutReader read = nullptr;
};

inline constexpr LayoutTraits kLayoutTable[] = {
    {Layout::V2Narrow, "V2Narrow", "version 1 or 2, 17-byte file records",
     "Impossible Creatures, Homeworld 2", 2, 180, {24, false, 17, false}, -1, 0, {}, true, nullptr},
    {Layout::V2Wide, "V2Wide", "version 2, 20-byte file records", "Dawn of War", 2, 180,
     {24, false, 20, false}, -1, 0, {}, false, readV2Wide},
    {Layout::V4, "V4", "version 4", "Company of Heroes", 4, 184, {24, false, 22, false}, -1, 1,
     "version 4.1 archives encrypt their names; they cannot be read", false, readV4V5},
    {Layout::V5A, "V5A", "version 5, table of contents after the data", "Dawn of War II", 5, 196,
     {24, false, 22, false}, 180, 0, {}, false, readV4V5},
    {Layout::V5B, "V5B", "version 5, 32-bit counts", "Dawn of War II", 5, 184, {32, true, 22, false},
     -1, 0, {}, false, readV4V5},
    {Layout::V6, "V6", "version 6", "no game known", 6, 152, {32, true, 26, false}, -1, 0, {}, false,
     readV6V7},
    {Layout::V7, "V7", "version 7", "Company of Heroes 2", 7, 152, {40, true, 30, false}, -1, 0, {},
     false, readV6V7},
    {Layout::V8, "V8", "version 8", "Dawn of War III, early", 8, 416, {44, true, 30, false}, -1, 0,
     {}, false, readV8ToV10},
    {Layout::V9, "V9", "version 9", "Dawn of War III", 9, 428, {44, true, 34, true}, -1, 0, {}, false,
     readV8ToV10},
    {Layout::V10, "V10", "version 10", "Company of Heroes 3, Age of Empires IV", 10, 428,
     {44, true, 30, true}, -1, 0, {}, false, readV8ToV10},
};

// Every row, in enum order.
constexpr std::span<const LayoutTraits> layoutTable() { return kLayoutTable; }
// The row of a layout.
const LayoutTraits& traitsOf(Layout layout);
// The layout whose key is key (as in "V5A", case-insensitive), or an error
// that lists the keys.
Expected<Layout> layoutNamed(std::string_view key);

} // namespace sga
