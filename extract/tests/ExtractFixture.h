#pragma once
// An archive written to a temporary folder and loaded as the window loads it.

#include "archive/ArchiveOpen.h"
#include "archive/ArchiveTree.h"
#include "core/ReportSink.h"
#include "archive/modSGA.h"
#include "extract/Extract.h"
#include "tests/support/ArchiveWriter.h"
#include "tests/support/RecordingHost.h"
#include "core/ActivityLog.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <zlib.h>

namespace sga::testing {

struct LoadedFixture {
    TempDir dir;
    std::filesystem::path archive;
    ArchiveIndex index;
    ArchiveTree tree;
    // Made from index, as the program opens it, whenever a context is asked
    // for: tests change index to damage an entry.
    mutable ArchiveModel model;

    explicit LoadedFixture(const ArchivePlan& plan, const std::string& fileName = "data.big") {
        archive = dir.write("in/" + fileName, buildArchive(plan));
        load();
    }
    void load() {
        NullLog quiet;
        ReportSink host;
        const Status status = openArchive(archive, index, tree, quiet, host);
        ASSERT_TRUE(status.ok()) << status.message();
        model = modelFromIndex(index, static_cast<int64_t>(std::filesystem::file_size(archive)));
    }
    std::filesystem::path out() const { return dir.path() / "out"; }
    ExtractContext context(LogSink& log, ReportSink& host) const {
        model = modelFromIndex(index, static_cast<int64_t>(std::filesystem::file_size(archive)));
        return ExtractContext{model, archive, out(), log, host};
    }
};

// art (a.lua), art\fx (spark.tga) and readme.txt at the top level.
inline ArchivePlan smallArchive() {
    ArchivePlan plan;
    plan.dirs = {{"art", 1}, {"art\\fx", 2}};
    plan.files = {{.name = "readme.txt", .data = textBytes("read me\r\n")},
                  {.name = "a.lua", .data = textBytes("print('hello')\n"), .compress = true},
                  {.name = "spark.tga", .data = Bytes(300, 7), .compress = true}};
    return plan;
}

// Every path below root, relative, with "/" after folders.
inline std::set<std::string> treeOf(const std::filesystem::path& root) {
    std::set<std::string> all;
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator(root, ec);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        std::string rel = std::filesystem::relative(it->path(), root).string();
        if (it->is_directory() && !it->is_symlink()) rel += "/";
        all.insert(rel);
    }
    return all;
}

// The "pad: " line of an entry written by the archive writer.
inline std::string padLineOf(const Bytes& data) {
    const uint32_t crc = static_cast<uint32_t>(::crc32(0, data.data(), static_cast<unsigned>(data.size())));
    std::string line = "pad: 0 0 0 0 ";
    for (int i = 0; i < 4; ++i) line += std::to_string((crc >> (8 * i)) & 0xFF) + " ";
    return line;
}

} // namespace sga::testing
