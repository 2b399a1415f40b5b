// Damaged and hostile archives through the loader, the entry reader and the
// extraction, in process: every single-bit flip over the index, counts at
// their limits, positions and sizes out of reach, and the real archives.
// Each ends with a clear refusal or a safe result: entries that read give
// exactly their bytes, entries that cannot be read say so, and nothing is
// written outside the extraction target.

#include "core/FileReader.h"
#include "core/ReportSink.h"
#include "archive/ArchiveOpen.h"
#include "archive/modSGA.h"
#include "extract/EntryData.h"
#include "extract/Extract.h"
#include "fuzz/FuzzSupport.h"
#include "fuzz/Seeds.h"
#include "fuzz/tests/Sandbox.h"
#include "core/ActivityLog.h"

#include <gtest/gtest.h>
#include <limits>

namespace sga {
namespace {

using namespace sga::testing;

struct Loaded {
    Status status;
    ArchiveIndex index;
    ArchiveTree tree;
};

void load(const std::filesystem::path& path, Loaded& out) {
    NullLog log;
    ReportSink host;
    out.status = openArchive(path, out.index, out.tree, log, host);
}

// Reads every file entry as the previews do; describes the first entry whose
// result is inconsistent, or returns empty.
std::string entryFaults(const ArchiveIndex& index, const std::filesystem::path& path,
                        int* unreadable = nullptr) {
    NullLog log;
    std::vector<uint8_t> buffer;
    for (size_t i = static_cast<size_t>(index.dirCount()); i < index.entries.size(); ++i) {
        const FileEntry& e = index.entries[i];
        FileReader file;
        if (!file.open(path)) return "cannot open " + path.string();
        if (!file.seek(e.filePos)) {
            if (unreadable) ++*unreadable;
            continue;
        }
        const int16_t result = readEntryData(e, file, log, buffer);
        if (result != 0) {
            if (unreadable) ++*unreadable;
            if (describeEntryResult(result).empty()) return "result without a description";
            continue;
        }
        const int64_t expected = e.null ? int64_t{e.orgSize} : int64_t{e.compSize} + 1;
        if (static_cast<int64_t>(buffer.size()) != expected) {
            return "entry " + std::to_string(i + 1) + " read " + std::to_string(buffer.size()) +
                   " bytes, expected " + std::to_string(expected);
        }
        // Every head of an entry that reads whole is that read's prefix.
        EntryReader reader(file, log);
        for (const size_t n : {size_t{0}, size_t{100}, buffer.size() / 2}) {
            const Expected<EntryBytes> head = reader.readHead(fileOfEntry(e, e.filePos), n);
            if (!head || head->size() != std::min(n, buffer.size()) ||
                !std::equal(head->data(), head->data() + head->size(), buffer.begin()))
                return "entry " + std::to_string(i + 1) + ": its first " + std::to_string(n) +
                       " bytes differ from the whole read's";
        }
    }
    return {};
}

ExtractReport extractInto(const Sandbox& box, const ArchiveIndex& index) {
    NullLog log;
    ReportSink host;
    const ArchiveModel model = modelFromIndex(index, std::filesystem::file_size(box.archive()));
    const ExtractContext context{model, box.archive(), box.target(), log, host};
    return extractAll(context);
}

void put32(Bytes& b, size_t at, int32_t v) {
    for (int i = 0; i < 4; ++i) b[at + static_cast<size_t>(i)] = static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * i));
}

ArchivePlan seed(const std::string& name) {
    for (auto& [n, plan] : fuzz::seedArchives())
        if (n == name) return plan;
    throw std::runtime_error("no seed archive " + name);
}

TEST(HostileArchive, EverySingleBitFlipOverTheIndex) {
    for (const char* name : {"v1-dirs", "v2-dirs"}) {
        const ArchivePlan plan = seed(name);
        const Bytes whole = buildArchive(plan);
        const size_t indexEnd = offsetsOf(plan).dataArea;
        int loaded = 0;
        for (size_t bit = 0; bit < indexEnd * 8; ++bit) {
            Bytes b = whole;
            b[bit / 8] ^= static_cast<uint8_t>(1u << (bit % 8));
            const auto& path = fuzz::inputFile().write(b.data(), b.size());
            Loaded l;
            load(path, l);
            const std::string what = std::string(name) + ", bit " + std::to_string(bit);
            if (!l.status) {
                EXPECT_TRUE(l.index.entries.empty()) << what;
                continue;
            }
            ASSERT_EQ(entryFaults(l.index, path), "") << what;
            // Extraction writes files: a sample of the loadable flips is enough.
            if (++loaded % 32 == 0) {
                Sandbox box(b);
                Loaded again;
                load(box.archive(), again);
                ASSERT_TRUE(again.status.ok()) << what;
                extractInto(box, again.index);
                ASSERT_EQ(box.escapes(), "") << what;
            }
        }
        EXPECT_GT(loaded, 0) << name;
    }
}

TEST(HostileArchive, CountsAtTheirLimits) {
    using Field = std::optional<int16_t> ArchivePlan::*;
    const std::pair<const char*, Field> fields[] = {
        {"dirCount", &ArchivePlan::dirCount},         {"totalEntries", &ArchivePlan::totalEntries},
        {"fileCount", &ArchivePlan::fileCount},       {"countAfterDirs", &ArchivePlan::countAfterDirs},
        {"tocChunks", &ArchivePlan::tocChunks}};
    std::vector<std::pair<std::string, ArchivePlan>> cases;
    for (int32_t version : {1, 2}) {
        const ArchivePlan base = seed("v" + std::to_string(version) + "-dirs");
        for (const auto& [field, member] : fields) {
            for (int16_t value : {int16_t{0}, int16_t{-1}, int16_t{-32768}, int16_t{32767}}) {
                ArchivePlan plan = base;
                plan.*member = value;
                cases.emplace_back("v" + std::to_string(version) + " " + field + " " + std::to_string(value), plan);
            }
        }
        for (int32_t value : {0, -1, 32767, -32768, std::numeric_limits<int32_t>::max(),
                              std::numeric_limits<int32_t>::min()}) {
            ArchivePlan plan = base;
            plan.numOfRecords = value;
            cases.emplace_back("v" + std::to_string(version) + " numOfRecords " + std::to_string(value), plan);
        }
    }
    for (const auto& [what, plan] : cases) {
        Sandbox box(buildArchive(plan));
        Loaded l;
        load(box.archive(), l);
        if (!l.status) {
            EXPECT_FALSE(l.status.message().empty()) << what;
            continue;
        }
        EXPECT_EQ(entryFaults(l.index, box.archive()), "") << what;
        extractInto(box, l.index);
        EXPECT_EQ(box.escapes(), "") << what;
    }
}

TEST(HostileArchive, PositionsAndSizesOutOfReach) {
    constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
    constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
    for (int32_t version : {1, 2}) {
        const ArchivePlan plan = seed("v" + std::to_string(version) + "-dirs");
        const Bytes whole = buildArchive(plan);
        const PlanOffsets layout = offsetsOf(plan);
        const auto size = static_cast<int32_t>(whole.size());
        struct Patch {
            std::string what;
            size_t field;      // offset in the file record
            int32_t value;
        };
        // Each of these leaves the patched entry impossible to read.
        const std::vector<Patch> patches = {
            {"filePos at the end", 5, size},       {"filePos far past the end", 5, kMax / 2},
            {"filePos before the start", 5, -100000},
            {"compSize past the end", 9, size},    {"compSize huge", 9, kMax},
            {"compSize negative", 9, -5},          {"compSize most negative", 9, kMin + 1}};
        for (size_t record = 0; record < plan.files.size(); ++record) {
            for (const auto& patch : patches) {
                Bytes b = whole;
                put32(b, layout.fileTable + 17 * record + patch.field, patch.value);
                const std::string what = "v" + std::to_string(version) + " record " +
                                         std::to_string(record) + ": " + patch.what;
                Sandbox box(b);
                Loaded l;
                load(box.archive(), l);
                if (!l.status) continue;   // a position out of 32 bits is refused by the loader
                int unreadable = 0;
                EXPECT_EQ(entryFaults(l.index, box.archive(), &unreadable), "") << what;
                EXPECT_GE(unreadable, 1) << what;
                const ExtractReport report = extractInto(box, l.index);
                EXPECT_GE(report.failed, 1) << what;
                EXPECT_FALSE(report.summary.empty()) << what;
                EXPECT_EQ(box.escapes(), "") << what;
            }
        }
        // A compressed entry claiming more than its stream can hold, or a
        // negative size, and a data offset that moves every entry away.
        const std::vector<std::pair<std::string, std::pair<size_t, int32_t>>> others = {
            {"orgSize huge", {layout.fileTable + 13, kMax}},
            {"orgSize negative", {layout.fileTable + 13, -1}},
            {"orgSize most negative", {layout.fileTable + 13, kMin}},
            {"dataOffset huge", {layout.headerSize - 4, kMax - 1000}},
            {"dataOffset negative", {layout.headerSize - 4, -size}}};
        for (const auto& [what, patch] : others) {
            Bytes b = whole;
            put32(b, patch.first, patch.second);
            Sandbox box(b);
            Loaded l;
            load(box.archive(), l);
            if (!l.status) continue;
            int unreadable = 0;
            EXPECT_EQ(entryFaults(l.index, box.archive(), &unreadable), "") << what;
            EXPECT_GE(unreadable, 1) << what;
            const ExtractReport report = extractInto(box, l.index);
            EXPECT_GE(report.failed, 1) << what;
            EXPECT_EQ(box.escapes(), "") << what;
        }
    }
}

TEST(HostileArchive, RealArchivesReadEveryEntrySafely) {
    const auto dir = realArchivesDir();
    if (dir.empty()) GTEST_SKIP() << "real archives not present";
    int seen = 0;
    for (const auto& file : std::filesystem::directory_iterator(dir)) {
        const auto ext = file.path().extension();
        if (ext != ".big" && ext != ".sga") continue;
        ++seen;
        Loaded l;
        load(file.path(), l);
        if (!l.status) {
            EXPECT_FALSE(l.status.message().empty()) << file.path();
            continue;
        }
        EXPECT_EQ(entryFaults(l.index, file.path()), "") << file.path();
    }
    EXPECT_GT(seen, 0);
}

} // namespace
} // namespace sga
