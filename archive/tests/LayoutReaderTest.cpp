// Every layout reader on archives built in code: the model says where each
// file's stored bytes lie and how they are stored, names come through as
// stored, and the tree comes from the folders' own ranges.

#include "archive/tests/LayoutTesting.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace sga::testing {
namespace {

using sga::Layout;

class LayoutReaderTest : public ::testing::TestWithParam<Layout> {
protected:
    ArchiveModel readOk(const LayoutPlan& plan, LayoutBytes* parts = nullptr) {
        const LayoutBytes built = buildLayoutParts(plan);
        if (parts) *parts = built;
        bytes_ = built.joined();
        auto r = files_.read(bytes_);
        EXPECT_TRUE(r.layout.ok()) << r.layout.message();
        if (r.layout.ok()) {
            EXPECT_EQ(*r.layout, plan.layout);
        }
        EXPECT_TRUE(r.model.ok()) << r.model.message();
        return r.model.ok() ? *r.model : ArchiveModel{};
    }
    Bytes bytesAt(int64_t pos, size_t n) const {
        if (pos < 0 || static_cast<size_t>(pos) + n > bytes_.size()) return {};
        return Bytes(bytes_.begin() + pos, bytes_.begin() + pos + static_cast<std::ptrdiff_t>(n));
    }
    const ArchiveFile* fileAt(const ArchiveModel& m, const std::string& path) {
        for (const auto& f : m.files)
            if (f.path() == path) return &f;
        ADD_FAILURE() << "no file " << path;
        return nullptr;
    }

    LayoutFiles files_;
    Bytes bytes_;
};

TEST_P(LayoutReaderTest, FilesLieWhereTheWriterPutThem) {
    const LayoutPlan plan = samplePlan(GetParam());
    LayoutBytes parts;
    const ArchiveModel m = readOk(plan, &parts);
    ASSERT_EQ(m.files.size(), parts.paths.size());
    EXPECT_EQ(m.fileSize, static_cast<int64_t>(bytes_.size()));
    EXPECT_EQ(m.dataOffset, parts.dataOffset);
    EXPECT_EQ(m.name, "test archive");
    EXPECT_EQ(m.encoding, modernLayout(GetParam()) ? TextEncoding::Utf8 : TextEncoding::Cp1252);
    for (size_t i = 0; i < m.files.size(); ++i) {
        const ArchiveFile& f = m.files[i];
        SCOPED_TRACE(parts.paths[i]);
        EXPECT_EQ(f.path(), parts.paths[i]);
        EXPECT_EQ(f.dataPos, parts.dataPos[i]);
        EXPECT_EQ(f.storedSize, static_cast<int64_t>(parts.stored[i].size()));
        EXPECT_EQ(bytesAt(f.dataPos, parts.stored[i].size()), parts.stored[i]);
    }
}

TEST_P(LayoutReaderTest, StorageSizesAndTimesFollowThePlan) {
    const LayoutPlan plan = samplePlan(GetParam());
    const ArchiveModel m = readOk(plan);
    struct Expect { std::string path; Storage storage; int64_t size; };
    std::vector<Expect> table{{"root.txt", Storage::Stored, 12},
                              {"empty.bin", Storage::Stored, 0},
                              {"art\\fx\\spark one.txt", Storage::ZlibStream, 500},
                              {"art\\a.lua", Storage::Stored, 11}};
    if (hasBrotli(GetParam())) {
        table.push_back({"art\\fx\\b1.lua", Storage::BrotliStream, 300});
        table.push_back({"art\\fx\\b2.lua", Storage::BrotliBuffer, 5});
    }
    for (const auto& e : table) {
        SCOPED_TRACE(e.path);
        const ArchiveFile* f = fileAt(m, e.path);
        if (!f) continue;
        EXPECT_EQ(f->storage, e.storage);
        EXPECT_EQ(f->size, e.size);
    }
    const ArchiveFile* root = fileAt(m, "root.txt");
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->folderIndex, -1);
    const bool hasMtime = GetParam() != Layout::V10;
    EXPECT_EQ(root->hasMtime, hasMtime);
    if (hasMtime) {
        EXPECT_EQ(root->mtime, 1700000000u);
    }
}

TEST_P(LayoutReaderTest, OneDriveFoldersComeFromTheRootWithParentsFirst) {
    const ArchiveModel m = readOk(samplePlan(GetParam()));
    ASSERT_EQ(m.drives.size(), 1u);
    EXPECT_EQ(m.drives[0].alias, "data");
    EXPECT_EQ(m.drives[0].rootFolder, -1);
    std::vector<std::string> paths;
    for (const auto& f : m.folders) paths.push_back(f.path);
    EXPECT_EQ(paths, (std::vector<std::string>{"art", "art\\fx", "scripts"}));
    for (size_t i = 0; i < m.folders.size(); ++i) EXPECT_LT(m.folders[i].parent, static_cast<int32_t>(i));
    EXPECT_EQ(m.folders[1].parent, 0);
    for (const auto& f : m.files) {
        if (f.folderIndex >= 0) {
            EXPECT_EQ(f.folder, m.folders[static_cast<size_t>(f.folderIndex)].path);
        }
    }
}

TEST_P(LayoutReaderTest, SeveralDrivesShowAsTopLevelFolders) {
    const ArchiveModel m = readOk(twoDrivePlan(GetParam()));
    ASSERT_EQ(m.drives.size(), 2u);
    std::vector<std::string> paths;
    for (const auto& f : m.folders) paths.push_back(f.path);
    EXPECT_EQ(paths, (std::vector<std::string>{"data", "data\\art", "attrib", "attrib\\units"}));
    EXPECT_EQ(m.drives[1].rootFolder, 2);
    EXPECT_EQ(m.folders[3].parent, 2);
    EXPECT_EQ(m.folders[3].drive, 1);
    std::vector<std::string> files;
    for (const auto& f : m.files) files.push_back(f.path());
    EXPECT_EQ(files, (std::vector<std::string>{"data\\top.txt", "data\\art\\a.txt", "attrib\\units\\u.txt"}));
}

TEST_P(LayoutReaderTest, NamesAreKeptAsStored) {
    const ArchiveModel m = readOk(samplePlan(GetParam()));
    const std::string name = modernLayout(GetParam()) ? "caf\xC3\xA9.txt" : "caf\xE9.txt";
    EXPECT_NE(fileAt(m, "art\\fx\\" + name), nullptr);
    EXPECT_NE(fileAt(m, "art\\fx\\spark one.txt"), nullptr);
}

TEST_P(LayoutReaderTest, OverridesAHostileArchiveMayHold) {
    struct Case {
        const char* what;
        void (*change)(LayoutPlan&);
        void (*check)(const ArchiveModel&);
    };
    const Case cases[] = {
        {"leading backslash",
         [](LayoutPlan& p) { p.drives[0].root.folders[0].storedName = "\\art"; },
         [](const ArchiveModel& m) { EXPECT_EQ(m.folders.at(0).path, "art"); }},
        {"wrong drive ranges",
         [](LayoutPlan& p) { p.drives[0].ranges = DriveRanges{0, 1, 3, 99}; },
         [](const ArchiveModel& m) {
             EXPECT_EQ(m.folders.size(), 3u);
             EXPECT_EQ(m.files.at(3).folder, "art\\fx");
         }},
        {"files no folder reaches stay listed at the top level",
         [](LayoutPlan& p) { p.drives[0].root.subfolders = {1, 1}; },
         [](const ArchiveModel& m) {
             EXPECT_TRUE(m.folders.empty());
             EXPECT_EQ(m.files.size(), samplePlan(m.layout).drives[0].root.files.size() + (m.layout == Layout::V2Wide ? 3u : 5u));
             EXPECT_EQ(m.files.at(3).path(), "spark one.txt");
             EXPECT_EQ(m.files.at(3).folderIndex, -1);
         }},
        {"data beyond the file",
         [](LayoutPlan& p) { p.drives[0].root.files[0].dataOffset = 0xFFFFFF00u; },
         [](const ArchiveModel& m) {
             EXPECT_GT(m.files.at(0).dataPos, m.fileSize);
             EXPECT_EQ(m.files.at(0).blockPos, -1);
         }},
        {"unknown storage",
         [](LayoutPlan& p) { p.drives[0].root.files[0].storageValue = p.layout == Layout::V2Wide ? 0x30 : 0x12; },
         [](const ArchiveModel& m) {
             const bool v2 = m.layout == Layout::V2Wide;
             EXPECT_EQ(m.files.at(0).storage, v2 ? Storage::Unknown : Storage::Encrypted);
             EXPECT_EQ(m.files.at(0).storageValue, v2 ? 0x30u : 0x12u);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        LayoutPlan plan = samplePlan(GetParam());
        c.change(plan);
        c.check(readOk(plan));
    }
}

TEST_P(LayoutReaderTest, FolderRangesThatLoopOrOverrunAreRefused) {
    struct Case {
        const char* what;
        void (*change)(FolderPlan& root);
        const char* words;
    };
    const Case cases[] = {
        {"root among its own subfolders", [](FolderPlan& r) { r.subfolders = {{0, 1}}; }, "folder record 0 is reached twice"},
        {"subfolders past the table", [](FolderPlan& r) { r.subfolders = {{1, 99}}; }, "subfolders 1 to 99"},
        {"subfolders backwards", [](FolderPlan& r) { r.subfolders = {{2, 1}}; }, "subfolders 2 to 1"},
        {"files past the table", [](FolderPlan& r) { r.fileRange = {{0, 999}}; }, "files 0 to 999"},
        {"a file in two folders", [](FolderPlan& r) { r.fileRange = {{0, 3}}; }, "file record 2 belongs to another folder"},
    };
    for (const Case& c : cases) {
        LayoutPlan plan = samplePlan(GetParam());
        c.change(plan.drives[0].root);
        const auto r = files_.read(buildLayout(plan));
        ASSERT_TRUE(r.layout.ok()) << r.layout.message();
        ASSERT_FALSE(r.model.ok()) << c.what;
        EXPECT_NE(r.model.message().find(c.words), std::string::npos) << c.what << ": " << r.model.message();
        EXPECT_NE(r.model.message().find("folder record "), std::string::npos) << r.model.message();
    }
}

TEST_P(LayoutReaderTest, TraceNamesHeaderAndFiles) {
    MemoryLog log;
    const auto r = files_.read(buildLayout(samplePlan(GetParam())), log);
    ASSERT_TRUE(r.model.ok()) << r.model.message();
    ASSERT_FALSE(log.lines.empty());
    EXPECT_EQ(log.lines[0].rfind("Archive version ", 0), 0u) << log.lines[0];
    EXPECT_TRUE(std::any_of(log.lines.begin(), log.lines.end(), [](const std::string& l) {
        return l.rfind("File 3: art\\fx\\spark one.txt at ", 0) == 0 && l.find("zlib stream") != std::string::npos;
    }));
}

INSTANTIATE_TEST_SUITE_P(AllLayouts, LayoutReaderTest, ::testing::ValuesIn(allLayouts()),
                         [](const auto& info) { return layoutLabel(info.param); });

} // namespace
} // namespace sga::testing
