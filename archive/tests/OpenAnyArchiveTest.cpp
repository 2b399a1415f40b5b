// Opening through the detector: foreign files are refused as such, and the
// archives of the 17-byte reader come out exactly as that loader reads
// them, with a model that says the same.
#include "archive/ArchiveOpen.h"
#include "archive/modSGA.h"
#include "core/ActivityLog.h"
#include "tests/support/ArchiveWriter.h"
#include "tests/support/RecordingHost.h"

#include <gtest/gtest.h>

namespace sga {
namespace {

using namespace sga::testing;

ArchivePlan nestedPlan(int32_t version) {
    ArchivePlan plan;
    plan.version = version;
    plan.dirs = {{"art", 1}, {"art\\textures", 2}};
    plan.files = {{.name = "readme.txt", .data = textBytes("hello")},
                  {.name = "a.lua", .data = textBytes("print(1)"), .compress = true},
                  {.name = "rock.tga", .data = Bytes(10, 7)}};
    return plan;
}

struct Opened {
    OpenedArchive archive;
    MemoryLog log;
    RecordingHost host;
    Status status;
};

void open(Opened& o, const std::filesystem::path& path) {
    o.status = openAnyArchive(path, o.archive, o.log, o.host);
}

TEST(OpenAnyArchive, ForeignFilesAreNotArchives) {
    const std::vector<std::pair<std::string, Bytes>> cases = {
        {"text", textBytes("root:x:0:0:root:/root:/bin/bash\n")},
        {"one byte", Bytes{'x'}},
        {"magic in lower case", textBytes("_archive\x02\0\0\0")},
        {"magic one letter off", textBytes("_ARCHIVF\x02\0\0\0")},
        {"empty", Bytes{}},
    };
    for (const auto& [what, bytes] : cases) {
        TempDir dir;
        Opened o;
        open(o, dir.write("x.big", bytes));
        ASSERT_FALSE(o.status.ok()) << what;
        EXPECT_EQ(o.status.code(), ErrorCode::NotAnArchive) << what;
        EXPECT_EQ(o.status.message(),
                  "Cannot load x.big: not an SGA archive: the file does not begin with \"_ARCHIVE\"")
            << what;
        EXPECT_EQ(o.host.statusText, o.status.message()) << what;
        EXPECT_EQ(o.log.lines, std::vector<std::string>{o.status.message()}) << what;
        EXPECT_TRUE(o.archive.empty() && o.archive.tree.size() == 0) << what;
        EXPECT_FALSE(o.host.isBusy) << what;
    }
}

// A file that starts like the magic but ends inside it is the loader's to
// report: it says where the file ends.
TEST(OpenAnyArchive, ShortFilesThatBeginWithTheMagicReachTheLoader) {
    for (size_t n : {1u, 5u, 8u, 11u}) {
        Bytes bytes = buildArchive(nestedPlan(2));
        bytes.resize(n);
        TempDir dir;
        Opened o;
        open(o, dir.write("short.big", bytes));
        ASSERT_FALSE(o.status.ok()) << n;
        EXPECT_NE(o.status.message().find("truncated archive"), std::string::npos) << o.status.message();
    }
}

TEST(OpenAnyArchive, TheSeventeenByteReaderKeepsItsTraceTreeAndIndex) {
    for (int32_t version : {1, 2, 0, 3, 11}) {
        TempDir dir;
        const auto path = dir.write("data.big", buildArchive(nestedPlan(version)));
        Opened any;
        open(any, path);
        ASSERT_TRUE(any.status.ok()) << version << ": " << any.status.message();

        ArchiveIndex index;
        ArchiveTree tree;
        MemoryLog log;
        RecordingHost host;
        ASSERT_TRUE(openArchive(path, index, tree, log, host).ok());
        EXPECT_EQ(any.log.lines, log.lines) << version;
        EXPECT_EQ(any.host.calls, host.calls) << version;
        ASSERT_TRUE(any.archive.index.has_value());
        EXPECT_EQ(any.archive.index->entries.size(), index.entries.size());
        ASSERT_EQ(any.archive.tree.size(), tree.size());
        for (size_t i = 0; i < tree.size(); ++i) {
            EXPECT_EQ(any.archive.tree[i].key, tree[i].key);
            EXPECT_EQ(any.archive.tree[i].parent, tree[i].parent);
        }
        EXPECT_EQ(any.archive.model.layout, Layout::V2Narrow);
        EXPECT_EQ(any.archive.model.major, version);
    }
}

TEST(OpenAnyArchive, ModelOfTheSeventeenByteReaderMatchesItsIndex) {
    TempDir dir;
    const ArchivePlan plan = nestedPlan(2);
    const Bytes bytes = buildArchive(plan);
    const auto path = dir.write("data.big", bytes);
    Opened o;
    open(o, path);
    ASSERT_TRUE(o.status.ok());
    const ArchiveModel& m = o.archive.model;
    const ArchiveIndex& idx = *o.archive.index;
    ASSERT_EQ(m.folderCount(), 2);
    EXPECT_EQ(m.folders[0].path, "art");
    EXPECT_EQ(m.folders[0].parent, -1);
    EXPECT_EQ(m.folders[1].path, "art\\textures");
    EXPECT_EQ(m.folders[1].parent, 0);
    ASSERT_EQ(m.files.size(), 3u);
    const std::vector<std::string> paths = {"readme.txt", "art\\a.lua", "art\\textures\\rock.tga"};
    for (size_t i = 0; i < m.files.size(); ++i) {
        const ArchiveFile& f = m.files[i];
        const FileEntry& e = idx.entries[static_cast<size_t>(idx.dirCount()) + i];
        EXPECT_EQ(f.path(), paths[i]);
        EXPECT_EQ(f.blockPos, e.filePos);
        EXPECT_EQ(f.dataPos, int64_t{e.filePos} + 264);
        EXPECT_EQ(f.storedSize, int64_t{e.compSize} + 1);
        EXPECT_EQ(f.size, static_cast<int64_t>(plan.files[i].data.size()));
        EXPECT_EQ(f.storage, plan.files[i].compress ? Storage::ZlibStream : Storage::Stored);
        // The stored bytes lie where the model says.
        if (!plan.files[i].compress) {
            const Bytes at(bytes.begin() + f.dataPos, bytes.begin() + f.dataPos + f.storedSize);
            EXPECT_EQ(at, plan.files[i].data);
        }
        // Entry numbers in the tree keys name the same file.
        EXPECT_GE(o.archive.tree.find(f.path() + "|" + std::to_string(m.fileNumber(i))), 0);
    }
    EXPECT_TRUE(m.hasHeaderSignatures);
    EXPECT_EQ(m.tocOffset, 180);
    EXPECT_EQ(m.fileSize, static_cast<int64_t>(bytes.size()));
}

// The tree of a model that the 17-byte reader did not make: drives as top-level
// folders, files under their folder, a folder whose parent comes later
// under the root.
TEST(OpenAnyArchive, TreeOfAModel) {
    ArchiveModel m;
    m.folders = {{"data", -1, 0}, {"data\\art", 0, 0}, {"attrib", -1, 1}, {"late\\child", 4, 1},
                 {"late", -1, 1}};
    ArchiveFile a;
    a.name = "a.lua";
    a.folder = "data\\art";
    a.folderIndex = 1;
    ArchiveFile b;
    b.name = "top.txt";
    m.files = {a, b};
    const ArchiveTree tree = treeFromModel(m, "x.sga");
    struct Row {
        std::string key, text, parentKey;
    };
    const std::vector<Row> expected = {
        {"root", "x.sga", ""},
        {"d..data", "data", "root"},
        {"d..data\\art", "art", "d..data"},
        {"d..attrib", "attrib", "root"},
        {"d..late\\child", "late\\child", "root"},
        {"d..late", "late", "root"},
        {"data\\art\\a.lua|6", "a.lua", "d..data\\art"},
        {"top.txt|7", "top.txt", "root"},
    };
    ASSERT_EQ(tree.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(tree[i].key, expected[i].key);
        EXPECT_EQ(tree[i].text, expected[i].text);
        const std::string parent = tree[i].parent < 0 ? "" : tree[static_cast<size_t>(tree[i].parent)].key;
        EXPECT_EQ(parent, expected[i].parentKey) << expected[i].key;
    }
}

} // namespace
} // namespace sga
