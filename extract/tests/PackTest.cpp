#include "archive/ArchiveOpen.h"
// sga pack: folders packed and read back, field by field for both record
// layouts and through the loader, verify and Extract all for 17-byte records;
// refused input; the same bytes whatever the number of jobs.
#include "core/Cp1252.h"
#include "extract/OutputFiles.h"
#include "extract/Pack.h"
#include "extract/PackTree.h"
#include "extract/Verify.h"
#include "extract/tests/ExtractFixture.h"

#include <functional>
#include <gtest/gtest.h>
#include <libdeflate.h>
#include <map>
#include <csignal>
#include <fcntl.h>
#include <cstring>
#include <fstream>
#include <sys/socket.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace sga {
namespace {

using namespace sga::testing;
namespace fs = std::filesystem;

// Relative path (UTF-8, "/") -> bytes; a path ending in "/" is an empty folder.
using FolderPlan = std::map<std::string, Bytes>;

Bytes repeated(const std::string& text, size_t times) {
    Bytes b;
    for (size_t i = 0; i < times; ++i) b.insert(b.end(), text.begin(), text.end());
    return b;
}

Bytes noise(size_t size, uint32_t seed) {
    Bytes b(size);
    for (auto& c : b) c = static_cast<uint8_t>((seed = seed * 1103515245u + 12345u) >> 16);
    return b;
}

// Nested folders, empty files and folders, spaces, "é", text and binary,
// small (stored), incompressible (stored) and compressible files.
FolderPlan mixedFolder() {
    return {
        {"readme.txt", repeated("read me first\r\n", 20)},
        {"empty.dat", {}},
        {"tiny.lua", textBytes("x = 1\n")},
        {"scripts/main.lua", repeated("function f() return 1 end\n", 40)},
        {"scripts/ai/cpu.lua", repeated("local a = {}\n", 30)},
        {"scripts/ai/deep/deeper/leaf.txt", repeated("leaf ", 50)},
        {"art/fx/spark.tga", Bytes(5000, 7)},
        {"art/fx/noise.bin", noise(3000, 1)},
        {"art/caf\xC3\xA9 menu/logo \xC3\xA9t\xC3\xA9.tga", repeated("\x01\x02\x03", 400)},
        {"art/empty folder/", {}},
        // A file in the last top folder while scripts\ai\deep\deeper is the
        // table's last folder: the file table must still end with its files.
        {"zz last/z.txt", repeated("z", 150)},
        {"locale/english.ucs", repeated("1\tHello\r\n", 60)},
    };
}

void writeFolder(const fs::path& root, const FolderPlan& plan) {
    fs::create_directories(root);
    for (const auto& [path, bytes] : plan) {
        if (path.back() == '/') {
            fs::create_directories(root / path);
            continue;
        }
        fs::create_directories((root / path).parent_path());
        FILE* f = std::fopen((root / path).c_str(), "wb");
        ASSERT_NE(f, nullptr) << path;
        if (!bytes.empty()) {
            ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), f), bytes.size());
        }
        std::fclose(f);
    }
}

PackReport pack(const fs::path& folder, const fs::path& target, PackLayout layout, int jobs = 1,
                std::optional<uint32_t> mtime = 1700000000) {
    PackOptions o;
    o.drives = {{"Data", folder}};
    o.target = target;
    o.layout = layout;
    o.jobs = jobs;
    o.mtime = mtime;
    o.archiveName = "Data";
    NullLog log;
    ReportSink host;
    return packArchive(o, log, host);
}

uint32_t u32(const Bytes& b, size_t at) {
    return uint32_t{b.at(at)} | uint32_t{b.at(at + 1)} << 8 | uint32_t{b.at(at + 2)} << 16 |
           uint32_t{b.at(at + 3)} << 24;
}
uint16_t u16(const Bytes& b, size_t at) { return static_cast<uint16_t>(b.at(at) | b.at(at + 1) << 8); }
std::string cstr(const Bytes& b, size_t at) {
    std::string s;
    while (b.at(at) != 0) s.push_back(static_cast<char>(b[at++]));
    return s;
}

// The archive read field by field, independently of the program's readers.
struct ReadBack {
    std::map<std::string, Bytes> files;     // UTF-8 path with "/" -> inflated bytes
    std::set<std::string> folders;          // UTF-8 paths with "/", root left out
    std::vector<std::string> problems;
};

ReadBack readBack(const Bytes& a, size_t record) {
    ReadBack r;
    auto problem = [&](std::string s) { r.problems.push_back(std::move(s)); };
    if (std::string(a.begin(), a.begin() + 8) != "_ARCHIVE") problem("magic");
    if (u16(a, 8) != 2 || u16(a, 10) != 0) problem("version");
    const uint32_t tocSize = u32(a, 172), dataOffset = u32(a, 176);
    const size_t toc = 180;
    if (dataOffset != toc + tocSize) problem("data offset is not 180 + ToC size");
    const uint32_t drives = u32(a, toc), folders = u32(a, toc + 6), files = u32(a, toc + 12),
                   names = u32(a, toc + 18);
    const uint16_t nDrives = u16(a, toc + 4), nFolders = u16(a, toc + 10), nFiles = u16(a, toc + 16),
                   nNames = u16(a, toc + 22);
    if (drives != 24) problem("drive table offset");
    if (folders != drives + 138u * nDrives) problem("folder table offset");
    if (files != folders + 12u * nFolders) problem("file table offset");
    if (names != files + record * nFiles) problem("name table offset");
    if (nNames != nFolders + nFiles) problem("name count");
    // The names fill the ToC exactly.
    size_t at = toc + names;
    for (int i = 0; i < nNames; ++i) at += cstr(a, at).size() + 1;
    if (at != toc + tocSize) problem("names do not end the ToC");
    const TempDir dir;
    const fs::path copy = dir.write("a.big", a);
    const auto sig = computeSignatures(copy, static_cast<int32_t>(tocSize));
    if (!sig) {
        problem(sig.message());
    } else {
        if (!std::equal(sig->headerBlock.begin(), sig->headerBlock.end(), a.begin() + 12)) problem("data MD5");
        if (!std::equal(sig->extraBlock.begin(), sig->extraBlock.end(), a.begin() + 156)) problem("ToC MD5");
    }

    libdeflate_decompressor* inflater = libdeflate_alloc_decompressor();
    for (int d = 0; d < nDrives; ++d) {
        const size_t dr = toc + drives + 138u * static_cast<size_t>(d);
        const uint16_t firstFolder = u16(a, dr + 128), lastFolder = u16(a, dr + 130),
                       firstFile = u16(a, dr + 132), lastFile = u16(a, dr + 134), root = u16(a, dr + 136);
        if (root != firstFolder) problem("root folder is not the drive's first");
        const std::string drive = nDrives > 1 ? cstr(a, dr) + ":" : "";
        std::vector<int> parentOf(nFolders, -1);
        uint32_t filesSeen = 0;
        for (int f = firstFolder; f < lastFolder; ++f) {
            const size_t fr = toc + folders + 12u * static_cast<size_t>(f);
            const std::string path = cp1252ToUtf8(cstr(a, toc + names + u32(a, fr)));
            if (f == root ? !path.empty() : path.empty()) problem("folder name " + path);
            for (int c = u16(a, fr + 4); c < u16(a, fr + 6); ++c) {
                const size_t cr = toc + folders + 12u * static_cast<size_t>(c);
                const std::string child = cp1252ToUtf8(cstr(a, toc + names + u32(a, cr)));
                const std::string prefix = path.empty() ? "" : path + "\\";
                if (child.rfind(prefix, 0) != 0 || child.find('\\', prefix.size()) != std::string::npos)
                    problem("folder " + child + " is not a child of " + path);
                parentOf[static_cast<size_t>(c)] = f;
            }
            if (f != root && parentOf[static_cast<size_t>(f)] < 0) problem("folder " + path + " has no parent");
            std::string slashed = path;
            std::replace(slashed.begin(), slashed.end(), '\\', '/');
            if (f != root) r.folders.insert(drive + slashed + "/");
            for (uint32_t k = u16(a, fr + 8); k < u16(a, fr + 10); ++k, ++filesSeen) {
                const size_t rec = toc + files + record * k;
                const std::string name = cstr(a, toc + names + u32(a, rec));
                const size_t v = record == 17 ? 5 : 8;
                const uint32_t flag = record == 17 ? a.at(rec + 4) : u32(a, rec + 4);
                const uint32_t data = dataOffset + u32(a, rec + v), stored = u32(a, rec + v + 4),
                               size = u32(a, rec + v + 8);
                if (cstr(a, data - 264) != name) problem(name + ": block name");
                Bytes bytes(size);
                if (flag == 0) {
                    if (stored != size) problem(name + ": stored sizes differ");
                    std::copy_n(a.begin() + data, std::min(stored, size), bytes.begin());
                } else if (libdeflate_zlib_decompress(inflater, a.data() + data, stored, bytes.data(), size,
                                                      nullptr) != LIBDEFLATE_SUCCESS) {
                    problem(name + ": does not inflate to its size");
                }
                if (u32(a, data - 4) != libdeflate_crc32(0, bytes.data(), bytes.size())) problem(name + ": CRC");
                if (u32(a, data - 8) != 1700000000u) problem(name + ": mtime");
                r.files[drive + (slashed.empty() ? "" : slashed + "/") + cp1252ToUtf8(name)] = bytes;
            }
        }
        if (filesSeen != uint32_t{lastFile} - firstFile) problem("folders do not cover the drive's files");
    }
    libdeflate_free_decompressor(inflater);
    return r;
}

FolderPlan filesOf(const FolderPlan& plan) {
    FolderPlan files;
    for (const auto& [path, bytes] : plan)
        if (path.back() != '/') files[path] = bytes;
    return files;
}
std::set<std::string> foldersOf(const FolderPlan& plan) {
    std::set<std::string> folders;
    for (const auto& [path, bytes] : plan)
        for (size_t s = path.find('/'); s != std::string::npos; s = path.find('/', s + 1))
            folders.insert(path.substr(0, s + 1));
    return folders;
}

// The program's own loader, verify and Extract all: every file under its own
// folder's node, every check passing, the folder tree and bytes back on
// disk. Paths of several drives begin with the drive's alias.
void checkWithTheReaders(const fs::path& target, const fs::path& out, const FolderPlan& plannedFiles,
                         const std::set<std::string>& plannedFolders, bool signedHeader = true) {
    auto onDisk = [](std::string path) {
        if (const auto colon = path.find(':'); colon != std::string::npos) path[colon] = '/';
        return path;
    };
    FolderPlan files;
    std::set<std::string> folders;
    for (const auto& [path, bytes] : plannedFiles) files[onDisk(path)] = bytes;
    for (const std::string& f : plannedFolders) {
        folders.insert(onDisk(f));
        if (const auto colon = f.find(':'); colon != std::string::npos) folders.insert(f.substr(0, colon) + "/");
    }
    for (const auto& [path, bytes] : plannedFiles)
        if (const auto colon = path.find(':'); colon != std::string::npos) folders.insert(path.substr(0, colon) + "/");

    OpenedArchive archive;
    NullLog log;
    ReportSink host;
    ASSERT_TRUE(openAnyArchive(target, archive, log, host).ok());
    const ArchiveTree& tree = archive.tree;
    std::set<std::string> inTree;
    for (const TreeNode& node : tree.nodes()) {
        const NodeRef ref = decodeNodeKey(node.key);
        if (ref.kind != NodeRef::Kind::File) continue;
        const auto slash = ref.path.rfind('\\');
        EXPECT_EQ(tree[static_cast<size_t>(node.parent)].key,
                  slash == std::string::npos ? "root" : "d.." + ref.path.substr(0, slash))
            << ref.path;
        inTree.insert(withSlashes(modelTextToUtf8(archive.model, ref.path)));
    }
    std::set<std::string> expected = folders;
    std::set<std::string> expectedFiles;
    for (const auto& [path, bytes] : files) {
        expected.insert(path);
        expectedFiles.insert(path);
    }
    EXPECT_EQ(inTree, expectedFiles);

    const VerifyReport verified = verifyArchive(archive.model, target, log);
    EXPECT_TRUE(verified.ok()) << verified.problems.front().message;
    EXPECT_EQ(verified.signaturesChecked, signedHeader);
    EXPECT_EQ(verified.entriesChecked, static_cast<int>(files.size()));

    const ExtractReport extracted = extractAll({archive.model, target, out, log, host});
    EXPECT_EQ(extracted.failed, 0) << extracted.summary;
    const fs::path base = out / target.filename();
    EXPECT_EQ(treeOf(base), expected);
    for (const auto& [path, bytes] : files) EXPECT_EQ(readFile(base / path), bytes) << path;
}

struct RoundTripCase {
    const char* name;
    PackLayout layout;
    size_t record;
    std::vector<std::pair<std::string, FolderPlan>> drives;   // alias, content
    std::string archiveName = "";
};

class PackRoundTrip : public ::testing::TestWithParam<RoundTripCase> {};

TEST_P(PackRoundTrip, EveryFolderFileAndByteComesBack) {
    const RoundTripCase& c = GetParam();
    TempDir dir;
    PackOptions o;
    o.target = dir.path() / "out.sga";
    o.layout = c.layout;
    o.mtime = 1700000000;
    o.archiveName = c.archiveName;
    FolderPlan files;
    std::set<std::string> folders;
    for (const auto& [alias, plan] : c.drives) {
        writeFolder(dir.path() / alias, plan);
        o.drives.push_back({alias, dir.path() / alias});
        const std::string prefix = c.drives.size() > 1 ? alias + ":" : "";
        for (const auto& [path, bytes] : filesOf(plan)) files[prefix + path] = bytes;
        for (const std::string& f : foldersOf(plan)) folders.insert(prefix + f);
    }
    NullLog log;
    ReportSink host;
    const PackReport report = packArchive(o, log, host);
    ASSERT_TRUE(report.ok) << report.error;
    EXPECT_EQ(report.files, static_cast<int>(files.size()));
    EXPECT_EQ(report.folders, static_cast<int>(folders.size() + c.drives.size()));

    const Bytes bytes = readFile(o.target);
    EXPECT_EQ(report.archiveBytes, static_cast<int64_t>(bytes.size()));
    const ReadBack back = readBack(bytes, c.record);
    EXPECT_TRUE(back.problems.empty()) << back.problems.front();
    EXPECT_EQ(back.files, files);
    EXPECT_EQ(back.folders, folders);
    checkWithTheReaders(o.target, dir.path() / "out", files, folders);
}

const FolderPlan kAttrib = {{"attrib/a.rgd", Bytes(500, 4)}, {"b.txt", repeated("b", 300)}, {"e/", {}}};

INSTANTIATE_TEST_SUITE_P(
    Layouts, PackRoundTrip,
    ::testing::Values(RoundTripCase{"Narrow", PackLayout::Narrow, 17, {{"Data", mixedFolder()}}},
                      RoundTripCase{"Wide", PackLayout::Wide, 20, {{"Data", mixedFolder()}}},
                      RoundTripCase{"WideTwoDrives", PackLayout::Wide, 20,
                                    {{"data", mixedFolder()}, {"attrib", kAttrib}}},
                      RoundTripCase{"NarrowFewFolders", PackLayout::Narrow, 17, {{"Data", kAttrib}}},
                      RoundTripCase{"NarrowEmpty", PackLayout::Narrow, 17, {{"Data", {}}}},
                      RoundTripCase{"WideEmpty", PackLayout::Wide, 20, {{"Data", {}}}},
                      RoundTripCase{"WideLocale", PackLayout::Wide, 20, {{"Locale", kAttrib}}, "HW2LocaleArchive"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Pack, SameBytesForEveryJobCountAndEveryRun) {
    TempDir dir;
    FolderPlan plan = mixedFolder();
    for (int i = 0; i < 40; ++i)
        plan["many/f" + std::to_string(i) + ".bin"] = noise(static_cast<size_t>(i) * 997, static_cast<uint32_t>(i % 3));
    writeFolder(dir.path() / "src", plan);
    for (PackLayout layout : {PackLayout::Narrow, PackLayout::Wide}) {
        ASSERT_TRUE(pack(dir.path() / "src", dir.path() / "ref.big", layout, 1).ok);
        const Bytes reference = readFile(dir.path() / "ref.big");
        for (int jobs : {1, 2, 3, 8}) {
            const fs::path target = dir.path() / ("j" + std::to_string(jobs) + ".big");
            ASSERT_TRUE(pack(dir.path() / "src", target, layout, jobs).ok);
            EXPECT_EQ(readFile(target), reference) << "jobs " << jobs;
        }
    }
}

// Each case spoils a good folder; the pack must fail naming the culprit and
// leave the earlier archive and the target's folder as they were.
struct BadCase {
    const char* what;
    std::function<void(const fs::path& src, PackOptions&)> spoil;
    const char* mentions;
    bool needsNonRoot = false;
};

TEST(Pack, BadInputIsRefusedBeforeAnythingIsWritten) {
    const std::vector<BadCase> cases = {
        {"not Windows-1252", [](const fs::path& s, PackOptions&) { writeFolder(s, {{"\xE6\x97\xA5.txt", {}}}); }, "\xE6\x97\xA5.txt"},
        {"control character", [](const fs::path& s, PackOptions&) { writeFolder(s, {{"a\tb.txt", {}}}); }, "a\tb.txt"},
        {"backslash", [](const fs::path& s, PackOptions&) { writeFolder(s, {{"sub/a\\b.txt", {}}}); }, "a\\b.txt"},
        {"folder name not Windows-1252", [](const fs::path& s, PackOptions&) { writeFolder(s, {{"\xE2\x98\x83/", {}}}); }, "\xE2\x98\x83"},
        {"two names differing in case", [](const fs::path& s, PackOptions&) { writeFolder(s, {{"Up.txt", {}}, {"uP.txt", {}}}); }, "Up.txt"},
        {"file past 32 bits", [](const fs::path& s, PackOptions&) {
             FILE* f = std::fopen((s / "huge.dat").c_str(), "wb");
             ASSERT_EQ(::ftruncate(fileno(f), (int64_t{1} << 32) + 1), 0);
             std::fclose(f);
         }, "huge.dat"},
        {"unreadable file", [](const fs::path& s, PackOptions&) {
             writeFolder(s, {{"locked.bin", Bytes(10, 1)}});
             fs::permissions(s / "locked.bin", fs::perms::none);
         }, "locked.bin", true},
        {"unreadable folder", [](const fs::path& s, PackOptions&) {
             writeFolder(s, {{"shut/x.bin", Bytes(10, 1)}});
             fs::permissions(s / "shut", fs::perms::none);
         }, "shut", true},
        {"missing folder", [](const fs::path& s, PackOptions& o) { o.drives = {{"Extra", s / "absent"}}; }, "absent"},
        {"alias not Windows-1252", [](const fs::path& s, PackOptions& o) { o.drives = {{"\xE2\x98\x83", s}}; }, "\xE2\x98\x83"},
        {"same alias twice", [](const fs::path& s, PackOptions& o) {
             o.layout = PackLayout::Wide;
             o.drives.push_back({"DATA", s});
         }, "DATA"},
        {"two drives in 17-byte records", [](const fs::path& s, PackOptions& o) { o.drives.push_back({"Locale", s}); }, "Locale"},
        {"archive name too long", [](const fs::path&, PackOptions& o) { o.archiveName = std::string(64, 'x'); }, "xxxx"},
        {"locale name in 17-byte records", [](const fs::path&, PackOptions& o) { o.archiveName = "HW2LocaleArchive"; }, "HW2LocaleArchive"},
        {"level out of range", [](const fs::path&, PackOptions& o) { o.level = 13; }, "13"},
    };
    const bool root = ::geteuid() == 0;
    for (const BadCase& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.needsNonRoot && root) continue;   // permissions do not stop root
        TempDir dir;
        const fs::path src = dir.path() / "src", outDir = dir.path() / "out";
        writeFolder(src, {{"good/a.lua", repeated("a = 1\n", 50)}});
        fs::create_directories(outDir);
        const Bytes earlier = textBytes("an earlier archive");
        const fs::path target = dir.write("out/mod.big", earlier);
        PackOptions o;
        o.drives = {{"Data", src}};
        o.target = target;
        c.spoil(src, o);
        MemoryLog log;
        ReportSink host;
        const PackReport report = packArchive(o, log, host);
        fs::permissions(src, fs::perms::owner_all);
        for (const auto& e : fs::recursive_directory_iterator(src))
            if (!e.is_symlink()) fs::permissions(e.path(), fs::perms::owner_all);
        EXPECT_FALSE(report.ok);
        EXPECT_NE(report.error.find(c.mentions), std::string::npos) << report.error;
        EXPECT_EQ(report.error.find('\n'), std::string::npos);
        EXPECT_EQ(readFile(target), earlier);
        EXPECT_EQ(treeOf(outDir), std::set<std::string>{"mod.big"});
    }
}

TEST(Pack, StoredNames) {
    // {disk name (UTF-8), keep case, stored name or empty when refused}
    const std::vector<std::tuple<std::string, bool, std::string>> cases = {
        {"Readme.TXT", false, "readme.txt"},
        {"Readme.TXT", true, "Readme.TXT"},
        {"\xC3\x89t\xC3\xA9 \xC5\x92uvre \xC5\xB8.lua", false, "\xE9t\xE9 \x9Cuvre \xFF.lua"},
        {"caf\xC3\xA9 \xE2\x82\xAC.txt", true, "caf\xE9 \x80.txt"},
        {"\xC3\x97\xC3\x9F", false, "\xD7\xDF"},          // neither has a lower case
        {std::string(255, 'n'), false, std::string(255, 'n')},
        {std::string(256, 'n'), false, ""},
        {std::string(128, 'x') + std::string(64, '\xC3') , false, ""},   // not UTF-8
        {"\xE6\x97\xA5", false, ""},
        {"a\x7F", false, ""},
        {"a\xC2\x81", false, ""},                            // a C1 control
        {"a\\b", false, ""},
        {"tab\there", false, ""},
        {"c:drive.txt", false, ""},
    };
    for (const auto& [disk, keep, stored] : cases) {
        pack::ScanOptions options;
        options.keepCase = keep;
        const auto got = pack::storedName(disk, options, "shown/" + disk);
        if (!got) EXPECT_NE(got.message().find("shown/"), std::string::npos);
        EXPECT_EQ(got ? *got : std::string(), stored) << disk;
    }
}

TEST(Pack, CountsBeyondSixteenBitsAreRefused) {
    // {folders, files per folder, refused}
    const std::vector<std::tuple<int, int, bool>> cases = {
        {1, 32766, false}, {1, 32767, true}, {2, 16382, false}, {2, 16383, true},
        {32767, 0, false}, {32768, 0, true}};
    for (const auto& [folders, perFolder, refused] : cases) {
        SCOPED_TRACE(std::to_string(folders) + " x " + std::to_string(perFolder));
        pack::SourceFolder root;
        for (int f = 0; f < folders - 1; ++f) root.folders.push_back({"d" + std::to_string(f), {}, {}, {}});
        auto fill = [&](pack::SourceFolder& folder) {
            for (int i = 0; i < perFolder; ++i) folder.files.push_back({"f" + std::to_string(i), {}, 0, 0});
        };
        fill(root);
        for (auto& child : root.folders) fill(child);
        const auto plan = pack::layOut({{"data", &root}}, pack::factsOf(PackLayout::Narrow));
        if (plan) EXPECT_EQ(plan->files.size(), static_cast<size_t>(folders) * static_cast<size_t>(perFolder));
        EXPECT_EQ(!plan, refused);
    }
}

TEST(Pack, LinksAreSkippedAndTheTargetIsNeverPackedIntoItself) {
    TempDir dir;
    const fs::path src = dir.path() / "src";
    writeFolder(src, {{"a.txt", repeated("text ", 100)}, {"sub/b.bin", Bytes(200, 3)}});
    writeFolder(dir.path() / "outside", {{"secret.txt", textBytes("secret")}});
    fs::create_symlink(dir.path() / "outside", src / "out-link");
    fs::create_symlink(src / "a.txt", src / "sub" / "in-link.txt");
    const fs::path target = src / "self.big";
    for (int run = 0; run < 2; ++run) {   // the second run finds the first archive in the folder
        PackOptions o;
        o.drives = {{"Data", src}};
        o.target = target;
        o.mtime = 1700000000;
        NullLog log;
        ReportSink host;
        const PackReport report = packArchive(o, log, host);
        ASSERT_TRUE(report.ok) << report.error;
        EXPECT_EQ(report.warnings.size(), run == 0 ? 2u : 3u);
        const ReadBack back = readBack(readFile(target), 17);
        std::set<std::string> names;
        for (const auto& [path, bytes] : back.files) names.insert(path);
        EXPECT_EQ(names, (std::set<std::string>{"a.txt", "sub/b.bin"}));
    }
}

TEST(Pack, StoppingLeavesTheEarlierArchive) {
    TempDir dir;
    FolderPlan plan;
    for (int i = 0; i < 20; ++i) plan["f" + std::to_string(i) + ".bin"] = Bytes(500, static_cast<uint8_t>(i));
    writeFolder(dir.path() / "src", plan);
    const fs::path target = dir.write("out/mod.big", textBytes("earlier"));
    for (int jobs : {1, 3}) {
        PackOptions o;
        o.drives = {{"Data", dir.path() / "src"}};
        o.target = target;
        o.jobs = jobs;
        NullLog log;
        RecordingHost host;
        host.stopAfterEvents = 5;
        const PackReport report = packArchive(o, log, host);
        EXPECT_FALSE(report.ok);
        EXPECT_EQ(readFile(target), textBytes("earlier"));
        EXPECT_EQ(treeOf(dir.path() / "out"), std::set<std::string>{"mod.big"});
    }
}

TEST(Pack, HowEachFileIsKept) {
    // {stored name, size, flag}
    const std::vector<std::tuple<std::string, uint64_t, uint32_t>> cases = {
        {"a.lua", 100, 0},     {"a.lua", 101, 0x20},   {"a.ucs", 5000, 0x20}, {"a.txt", 5000, 0x20},
        {"a.tga", 100, 0},     {"a.tga", 101, 0x10},   {"noext", 5000, 0x10}, {"a.LUA", 5000, 0x20},
        {"a.lua.bak", 5000, 0x10}, {"empty.lua", 0, 0}};
    for (const auto& [name, size, flag] : cases)
        EXPECT_EQ(chooseFlag(name, size), flag) << name << " " << size;
}

// The real Homeworld 2 archive extracted, repacked as each layout, verified
// and extracted again: the same 890 files with the same bytes.
class RepackedRealArchive : public ::testing::TestWithParam<PackLayout> {};

TEST_P(RepackedRealArchive, HoldsTheSameFiles) {
    const fs::path real = realArchivesDir() / "hw2-mod-options.big";
    if (realArchivesDir().empty() || !fs::exists(real)) GTEST_SKIP() << "no real archives here";
    TempDir dir;
    NullLog log;
    ReportSink host;
    OpenedArchive original;
    ASSERT_TRUE(openAnyArchive(real, original, log, host).ok());
    ASSERT_EQ(extractAll({original.model, real, dir.path() / "x", log, host}).failed, 0);
    const fs::path folder = dir.path() / "x" / "hw2-mod-options.big";
    const fs::path target = dir.path() / "repacked.sga";
    const PackReport report = pack(folder, target, GetParam(), 2, std::nullopt);
    ASSERT_TRUE(report.ok) << report.error;
    EXPECT_EQ(report.files, 890);

    OpenedArchive repacked;
    ASSERT_TRUE(openAnyArchive(target, repacked, log, host).ok());
    const VerifyReport verified = verifyArchive(repacked.model, target, log);
    EXPECT_TRUE(verified.ok());
    EXPECT_EQ(verified.entriesChecked, 890);
    ASSERT_EQ(extractAll({repacked.model, target, dir.path() / "y", log, host}).failed, 0);
    const fs::path again = dir.path() / "y" / "repacked.sga";
    EXPECT_EQ(treeOf(again), treeOf(folder));
    int compared = 0;
    for (const std::string& p : treeOf(folder)) {
        if (p.back() == '/') continue;
        EXPECT_EQ(readFile(again / p), readFile(folder / p)) << p;
        ++compared;
    }
    EXPECT_EQ(compared, 890);
}

INSTANTIATE_TEST_SUITE_P(EveryLayout, RepackedRealArchive,
                         ::testing::Values(PackLayout::Narrow, PackLayout::Wide, PackLayout::V4, PackLayout::V5,
                                           PackLayout::V7, PackLayout::V9, PackLayout::V10),
                         [](const auto& info) { return std::string(pack::factsOf(info.param).word); });

// Every layout the packer writes, with every verification kind it has and
// both storages of version 10, one drive and several, read back by the
// program's own readers: list, verify and extract to the same tree and bytes.
struct LayoutCase {
    PackLayout layout;
    PackVerification verification = PackVerification::None;
    PackStorage storage = PackStorage::Zlib;
    bool severalDrives = false;
    uint32_t blockSize = 32768;
};

std::string caseName(const LayoutCase& c) {
    static const char* kKinds[] = {"none", "crc", "blockcrc", "blockmd5", "blocksha1"};
    std::string name = pack::factsOf(c.layout).word;
    name += std::string("_") + kKinds[static_cast<int>(c.verification)];
    if (c.storage == PackStorage::Brotli) name += "_brotli";
    if (c.severalDrives) name += "_drives";
    if (c.blockSize != 32768) name += "_block" + std::to_string(c.blockSize);
    return name;
}

// Names beyond Windows-1252 for the layouts that store UTF-8, all in lower case.
FolderPlan utf8Folder() {
    return {{"\xE6\x97\xA5\xE6\x9C\xAC/\xE3\x83\x86\xE3\x82\xB9\xE3\x83\x88.txt", repeated("\xCF\x89 ", 80)},
            {"\xCF\x89mega/\xD0\xB6.lua", repeated("x = 'y'\n", 30)},
            {"\xF0\x9F\x98\x80/", {}}};
}

class PackEveryLayout : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(PackEveryLayout, ListsVerifiesAndExtractsBackToTheSameTree) {
    const LayoutCase& c = GetParam();
    const pack::LayoutFacts& facts = pack::factsOf(c.layout);
    TempDir dir;
    std::vector<std::pair<std::string, FolderPlan>> drives = {{"data", mixedFolder()}};
    if (facts.utf8) drives[0].second.merge(utf8Folder());
    // A file beyond the size read whole: streamed, compressible.
    drives[0].second["big/large.txt"] = repeated("a line of a large text file\n", (5 << 20) / 28);
    if (c.severalDrives) drives.push_back({"attrib", kAttrib});
    PackOptions o;
    o.target = dir.path() / "out.sga";
    o.layout = c.layout;
    o.verification = c.verification;
    o.storage = c.storage;
    o.blockSize = c.blockSize;
    o.mtime = 1700000000;
    o.jobs = 3;
    FolderPlan files;
    std::set<std::string> folders;
    for (const auto& [alias, plan] : drives) {
        writeFolder(dir.path() / alias, plan);
        o.drives.push_back({alias, dir.path() / alias});
        const std::string prefix = drives.size() > 1 ? alias + ":" : "";
        for (const auto& [path, bytes] : filesOf(plan)) files[prefix + path] = bytes;
        for (const std::string& f : foldersOf(plan)) folders.insert(prefix + f);
    }
    NullLog log;
    ReportSink host;
    const PackReport report = packArchive(o, log, host);
    ASSERT_TRUE(report.ok) << report.error;
    EXPECT_EQ(report.files, static_cast<int>(files.size()));
    EXPECT_EQ(report.archiveBytes, static_cast<int64_t>(fs::file_size(o.target)));

    OpenedArchive archive;
    ASSERT_TRUE(openAnyArchive(o.target, archive, log, host).ok());
    EXPECT_EQ(archive.model.major, facts.major);
    EXPECT_EQ(archive.model.encoding, facts.utf8 ? TextEncoding::Utf8 : TextEncoding::Cp1252);
    for (const ArchiveFile& f : archive.model.files) {
        // Compressed only where that makes it smaller; by the chosen codec.
        if (f.storage == Storage::Stored) EXPECT_EQ(f.storedSize, f.size) << f.name;
        else EXPECT_LT(f.storedSize, f.size) << f.name;
        if (f.storage != Storage::Stored)
            EXPECT_EQ(f.storage == Storage::BrotliStream || f.storage == Storage::BrotliBuffer,
                      c.storage == PackStorage::Brotli) << f.name;
        if (facts.verification) EXPECT_EQ(f.crcKind, c.verification == PackVerification::Crc ? CrcKind::OfStoredBytes : CrcKind::None);
        static constexpr BlockHash kHash[] = {BlockHash::None, BlockHash::None, BlockHash::Crc32, BlockHash::Md5,
                                              BlockHash::Sha1};
        EXPECT_EQ(f.blockHash, kHash[static_cast<int>(c.verification)]) << f.name;
    }
    checkWithTheReaders(o.target, dir.path() / "out", files, folders, facts.headerMd5s);
}

std::vector<LayoutCase> everyLayoutCase() {
    std::vector<LayoutCase> cases = {{PackLayout::Narrow}, {PackLayout::Wide}, {PackLayout::Wide, {}, {}, true},
                                     {PackLayout::V4},     {PackLayout::V4, {}, {}, true}, {PackLayout::V5},
                                     {PackLayout::V5, {}, {}, true}};
    for (PackLayout l : {PackLayout::V7, PackLayout::V9, PackLayout::V10})
        for (int v = 0; v <= 4; ++v) cases.push_back({l, static_cast<PackVerification>(v)});
    for (int v = 0; v <= 4; ++v) cases.push_back({PackLayout::V10, static_cast<PackVerification>(v), PackStorage::Brotli});
    for (PackLayout l : {PackLayout::V7, PackLayout::V9, PackLayout::V10})
        cases.push_back({l, PackVerification::BlockSha1, PackStorage::Zlib, true, 4096});
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Layouts, PackEveryLayout, ::testing::ValuesIn(everyLayoutCase()),
                         [](const auto& info) { return caseName(info.param); });

TEST(Pack, SameBytesForEveryJobCountInEveryLayout) {
    TempDir dir;
    FolderPlan plan = mixedFolder();
    for (int i = 0; i < 30; ++i)
        plan["many/f" + std::to_string(i) + ".bin"] = noise(static_cast<size_t>(i) * 997, static_cast<uint32_t>(i % 3));
    plan["big/noise.bin"] = noise(5 << 20, 9);   // streamed, then stored: noise does not shrink
    writeFolder(dir.path() / "src", plan);
    for (const LayoutCase& c : {LayoutCase{PackLayout::V4}, LayoutCase{PackLayout::V5},
                                LayoutCase{PackLayout::V7, PackVerification::BlockMd5},
                                LayoutCase{PackLayout::V9, PackVerification::BlockCrc},
                                LayoutCase{PackLayout::V10, PackVerification::Crc, PackStorage::Brotli}}) {
        SCOPED_TRACE(caseName(c));
        Bytes reference;
        for (int jobs : {1, 2, 5}) {
            PackOptions o;
            o.drives = {{"data", dir.path() / "src"}};
            o.target = dir.path() / "a.sga";
            o.layout = c.layout;
            o.verification = c.verification;
            o.storage = c.storage;
            o.jobs = jobs;
            o.mtime = 7;
            NullLog log;
            ReportSink host;
            ASSERT_TRUE(packArchive(o, log, host).ok);
            if (jobs > 1) {
                EXPECT_EQ(readFile(o.target), reference) << "jobs " << jobs;
                continue;
            }
            reference = readFile(o.target);
            // The streamed noise did not shrink: it is stored, and reads back.
            OpenedArchive archive;
            ASSERT_TRUE(openAnyArchive(o.target, archive, log, host).ok());
            const auto noisy = std::find_if(archive.model.files.begin(), archive.model.files.end(),
                                            [](const ArchiveFile& f) { return f.name == "noise.bin"; });
            ASSERT_NE(noisy, archive.model.files.end());
            EXPECT_EQ(noisy->storage, Storage::Stored);
            EXPECT_TRUE(verifyArchive(archive.model, o.target, log).ok());
        }
    }
}

// Versions 4 and 5 carry the two MD5s of version 2 over their own ranges:
// a change anywhere after the header breaks the data MD5, one in the table
// of contents also the ToC MD5; both fields zero is "not signed".
TEST(Pack, VersionFourAndFiveHeaderMd5s) {
    struct Case {
        PackLayout layout;
        const char* change;    // "none", "toc" (a name byte), "data" (the last data byte), "zero" (both MD5s)
        size_t problems;
        bool notSigned;
    };
    const std::vector<Case> cases = {
        {PackLayout::V4, "none", 0, false}, {PackLayout::V4, "toc", 2, false}, {PackLayout::V4, "data", 1, false},
        {PackLayout::V4, "zero", 0, true},  {PackLayout::V5, "none", 0, false}, {PackLayout::V5, "toc", 2, false},
        {PackLayout::V5, "data", 1, false}, {PackLayout::V5, "zero", 0, true}};
    TempDir dir;
    writeFolder(dir.path() / "src", {{"a.bin", Bytes(50, 1)}, {"sub/b.bin", Bytes(60, 2)}});
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(pack::factsOf(c.layout).word) + " " + c.change);
        const fs::path target = dir.path() / "a.sga";
        ASSERT_TRUE(pack(dir.path() / "src", target, c.layout).ok);
        Bytes bytes = readFile(target);
        const uint32_t tocSize = u32(bytes, 172);
        const size_t tocAt = c.layout == PackLayout::V5 ? u32(bytes, 180) : 184;
        const std::string change = c.change;
        if (change == "toc") bytes[tocAt + tocSize - 2] ^= 0x01;    // last letter of "b.bin": still a name
        if (change == "data") bytes[u32(bytes, 176) + 260 + 49] ^= 0x01;   // a.bin's last byte, stored
        if (change == "zero") {
            std::fill(bytes.begin() + 12, bytes.begin() + 28, 0);
            std::fill(bytes.begin() + 156, bytes.begin() + 172, 0);
        }
        const fs::path changed = dir.write("changed.sga", bytes);
        OpenedArchive archive;
        NullLog log;
        ReportSink host;
        ASSERT_TRUE(openAnyArchive(changed, archive, log, host).ok());
        const VerifyReport report = verifyArchive(archive.model, changed, log);
        size_t header = 0;
        for (const VerifyProblem& p : report.problems) header += p.entryNumber == 0;
        EXPECT_EQ(header, c.problems);
        EXPECT_EQ(report.notSigned, c.notSigned);
        EXPECT_EQ(report.signaturesChecked, !c.notSigned);
    }
}

// What the target may be: a regular file (replaced, keeping its permission
// bits), nothing yet, or else refused in one line, with the target as it was.
TEST(Pack, TheTargetIsARegularFileOrNothing) {
    struct Case {
        const char* what;
        std::function<bool(const fs::path&)> make;   // false: cannot be made here (skipped)
        bool force;
        const char* mentions;                        // empty: packed
        fs::perms perms = fs::perms::none;           // packed: the bits the archive keeps
    };
    auto regular = [](fs::perms p) {
        return [p](const fs::path& t) {
            std::ofstream(t) << "earlier";
            fs::permissions(t, p);
            return true;
        };
    };
    const std::vector<Case> cases = {
        {"nothing yet", [](const fs::path&) { return true; }, false, ""},
        {"a 0600 archive", regular(fs::perms(0600)), false, "", fs::perms(0600)},
        {"a 0640 archive", regular(fs::perms(0640)), false, "", fs::perms(0640)},
        {"a read-only archive", regular(fs::perms(0444)), false, "read-only"},
        {"a read-only archive, forced", regular(fs::perms(0444)), true, "", fs::perms(0444)},
        {"a folder", [](const fs::path& t) { return fs::create_directory(t); }, false, "folder"},
        {"a FIFO", [](const fs::path& t) { return ::mkfifo(t.c_str(), 0644) == 0; }, true, "FIFO"},
        {"a symbolic link", [](const fs::path& t) { fs::create_symlink("elsewhere", t); return true; }, false, "link"},
        {"a socket", [](const fs::path& t) {
             const int s = ::socket(AF_UNIX, SOCK_STREAM, 0);
             sockaddr_un a{};
             a.sun_family = AF_UNIX;
             std::strncpy(a.sun_path, t.c_str(), sizeof a.sun_path - 1);
             const bool made = t.string().size() < sizeof a.sun_path && ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
             ::close(s);
             return made;
         }, true, "socket"},
        {"a device", [](const fs::path& t) { return ::mknod(t.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0; }, true, "device"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        writeFolder(dir.path() / "src", {{"a.txt", repeated("a", 500)}});
        const fs::path target = dir.path() / "out" / "t.sga";
        fs::create_directories(target.parent_path());
        if (!c.make(target)) continue;
        struct stat before {};
        ::lstat(target.c_str(), &before);
        PackOptions o;
        o.drives = {{"data", dir.path() / "src"}};
        o.target = target;
        o.layout = PackLayout::V10;
        o.force = c.force;
        NullLog log;
        ReportSink host;
        const PackReport report = packArchive(o, log, host);
        EXPECT_EQ(treeOf(target.parent_path()).size(), 1u) << "a temporary file stayed";
        struct stat after {};
        ::lstat(target.c_str(), &after);
        if (*c.mentions == 0) {
            ASSERT_TRUE(report.ok) << report.error;
            EXPECT_TRUE(S_ISREG(after.st_mode));
            if (c.perms != fs::perms::none) EXPECT_EQ(after.st_mode & 07777, static_cast<mode_t>(c.perms));
            continue;
        }
        EXPECT_FALSE(report.ok);
        EXPECT_NE(report.error.find(c.mentions), std::string::npos) << report.error;
        EXPECT_EQ(report.error.find('\n'), std::string::npos);
        EXPECT_EQ(after.st_ino, before.st_ino);
        EXPECT_EQ(after.st_mode, before.st_mode);
    }
}

// Limits of each layout's fields, refused before anything is written.
TEST(Pack, CountsAndNamesWithinEachLayoutsFields) {
    // {layout, folders, files per folder, refused}
    const std::vector<std::tuple<PackLayout, int, int, bool>> counts = {
        {PackLayout::V4, 1, 65534, false}, {PackLayout::V4, 1, 65535, true},
        {PackLayout::V5, 2, 32766, false}, {PackLayout::V5, 2, 32767, true},
        {PackLayout::V7, 2, 40000, false}, {PackLayout::V10, 1, 70000, false}};
    for (const auto& [layout, folders, perFolder, refused] : counts) {
        SCOPED_TRACE(std::string(pack::factsOf(layout).word) + " " + std::to_string(folders) + " x " + std::to_string(perFolder));
        pack::SourceFolder root;
        for (int f = 0; f < folders - 1; ++f) root.folders.push_back({"d" + std::to_string(f), {}, {}, {}});
        auto fill = [&](pack::SourceFolder& folder) {
            for (int i = 0; i < perFolder; ++i) folder.files.push_back({"f" + std::to_string(i), {}, 0, 0});
        };
        fill(root);
        for (auto& child : root.folders) fill(child);
        const auto plan = pack::layOut({{"data", &root}}, pack::factsOf(layout));
        EXPECT_EQ(!plan, refused) << (plan ? "" : plan.message());
    }
    // {disk name, UTF-8 layout, keep case, stored name or empty when refused}
    const std::vector<std::tuple<std::string, bool, bool, std::string>> names = {
        {"\xCE\xA9MEGA \xD0\x96.txt", true, false, "\xCF\x89mega \xD0\xB6.txt"},
        {"\xCE\xA9MEGA.txt", true, true, "\xCE\xA9MEGA.txt"},
        {"\xC3\x89T\xC3\x89 \xC5\x81\xC3\xB3" "d\xC5\xBA.lua", true, false, "\xC3\xA9t\xC3\xA9 \xC5\x82\xC3\xB3" "d\xC5\xBA.lua"},
        {"\xE6\x97\xA5\xE6\x9C\xAC.TXT", true, false, "\xE6\x97\xA5\xE6\x9C\xAC.txt"},
        {"\xE6\x97\xA5\xE6\x9C\xAC.TXT", false, false, ""},
        {"bad\xC3(.txt", true, false, ""},
        {"\xC2\x85next", true, false, ""},
        {"a\\b", true, false, ""},
        {"c:d", true, false, ""}};
    for (const auto& [disk, utf8, keep, stored] : names) {
        pack::ScanOptions options;
        options.utf8 = utf8;
        options.keepCase = keep;
        const auto got = pack::storedName(disk, options, disk);
        EXPECT_EQ(got ? *got : std::string(), stored) << disk;
    }
}

// The sga binary's pack command, run as a user would.
namespace cli {

struct Result {
    int status = -1;
    std::string err;
};

std::string quoted(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

Result sga(const TempDir& dir, const std::string& args, const std::string& env = "") {
    const fs::path err = dir.path() / "stderr";
    const std::string command = "env -u SOURCE_DATE_EPOCH " + env + " " + quoted(SGA_BINARY) + " " + args +
                                " >/dev/null 2>" + quoted(err.string());
    const int raw = std::system(command.c_str());
    const Bytes e = readFile(err);
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, std::string(e.begin(), e.end())};
}

size_t lines(const std::string& text) { return static_cast<size_t>(std::count(text.begin(), text.end(), '\n')); }

TEST(PackCommandLine, StatusAndOneLineOnStandardError) {
    struct Case {
        const char* args;          // SRC and OUT stand for the folder and the target
        int status;
        const char* mentions;      // in stderr; empty: stderr empty
        bool replaced;             // the earlier target was replaced
        bool readOnly = false;     // the earlier target is 0444
    };
    const std::vector<Case> cases = {
        {"pack SRC -o OUT", 0, "", true},
        {"pack --layout dow --name Mod --alias Locale --level 1 -j 3 --keep-case --mtime 5 SRC -o OUT", 0, "", true},
        {"pack --layout dow --drive data=SRC --drive attrib=SRC -o OUT", 0, "", true},
        {"pack --drive data=SRC --drive attrib=SRC -o OUT", 1, "attrib", false},
        {"pack SRC/bad -o OUT", 1, "\xE2\x98\x83", false},
        {"pack SRC/absent -o OUT", 1, "absent", false},
        {"pack --drive nofolder -o OUT", 1, "nofolder", false},
        {"pack -o OUT", 1, "nothing to pack", false},
        {"pack --mtime -3 SRC -o OUT", 1, "-3", false},
        {"pack --level 13 SRC -o OUT", 2, "level", false},
        {"pack --layout zip SRC -o OUT", 2, "layout", false},
        {"pack --layout v2 SRC -o OUT", 0, "", true},
        {"pack --layout v2-wide --drive data=SRC --drive attrib=SRC -o OUT", 0, "", true},
        {"pack --layout v4 --drive data=SRC --drive attrib=SRC -o OUT", 0, "", true},
        {"pack --layout v10 --storage brotli --verification block-sha1 --block-size 4096 SRC -o OUT", 0, "", true},
        {"pack --layout v7 --verification none SRC -o OUT", 0, "", true},
        {"pack --layout v4 --verification crc SRC -o OUT", 1, "--verification", false},
        {"pack --layout v5 --block-size 8192 SRC -o OUT", 1, "--block-size", false},
        {"pack --layout v9 --storage brotli SRC -o OUT", 1, "brotli", false},
        {"pack --layout v9 --block-size 100 SRC -o OUT", 2, "block-size", false},
        {"pack --layout v11 SRC -o OUT", 2, "layout", false},
        {"pack --layout v9 SRC -o OUT", 1, "read-only", false, true},
        {"pack --layout v9 --force SRC -o OUT", 0, "", true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        TempDir dir;
        const fs::path src = dir.path() / "src";
        writeFolder(src, {{"a.lua", repeated("a = 1\n", 40)}, {"b/c.bin", Bytes(300, 9)}});
        writeFolder(src / "bad", {{"\xE2\x98\x83.txt", {}}});
        const fs::path out = dir.write("out/mod.big", textBytes("earlier"));
        if (c.readOnly) fs::permissions(out, fs::perms(0444));
        std::string args = c.args;
        for (auto [from, to] : {std::pair{"SRC", src.string()}, std::pair{"OUT", out.string()}})
            for (size_t at; (at = args.find(from)) != std::string::npos;) args.replace(at, 3, cli::quoted(to));
        if (std::string(c.args).find("SRC/") == std::string::npos && c.status == 0)
            fs::remove_all(src / "bad");
        const Result r = sga(dir, args);
        EXPECT_EQ(r.status, c.status) << r.err;
        if (*c.mentions == 0) {
            EXPECT_EQ(r.err, "");
        } else {
            EXPECT_NE(r.err.find(c.mentions), std::string::npos) << r.err;
            if (c.status == 1) {
                EXPECT_EQ(lines(r.err), 1u) << r.err;
            }
        }
        EXPECT_EQ(readFile(out) != textBytes("earlier"), c.replaced);
        EXPECT_EQ(treeOf(dir.path() / "out"), std::set<std::string>{"mod.big"});
    }
}

TEST(PackCommandLine, ExplicitTimeThenSourceDateEpochThenTheFiles) {
    TempDir dir;
    writeFolder(dir.path() / "src", {{"a.lua", repeated("a = 1\n", 40)}});
    const std::string src = quoted((dir.path() / "src").string());
    auto packed = [&](const std::string& options, const std::string& env) {
        const Result r = sga(dir, "pack " + options + " " + src + " -o " + quoted((dir.path() / "a.big").string()), env);
        EXPECT_EQ(r.status, 0) << r.err;
        return readFile(dir.path() / "a.big");
    };
    const Bytes at1234 = packed("--mtime 1234", "");
    const size_t record = 180 + u32(at1234, 180 + 12);
    EXPECT_EQ(u32(at1234, u32(at1234, 176) + u32(at1234, record + 5) - 8), 1234u);
    EXPECT_EQ(packed("", "SOURCE_DATE_EPOCH=1234"), at1234);
    EXPECT_EQ(packed("--mtime 1234", "SOURCE_DATE_EPOCH=99"), at1234);
    EXPECT_NE(packed("--mtime 99", "SOURCE_DATE_EPOCH=1234"), at1234);
    EXPECT_EQ(packed("", ""), packed("", ""));
    const Result bad = sga(dir, "pack " + src + " -o " + quoted((dir.path() / "b.big").string()), "SOURCE_DATE_EPOCH=soon");
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.err.find("SOURCE_DATE_EPOCH"), std::string::npos);
}

TEST(PackCommandLine, LogHasALinePerFileAndLinksGiveWarnings) {
    TempDir dir;
    FolderPlan plan;
    for (int i = 0; i < 12; ++i) plan["d" + std::to_string(i % 3) + "/f" + std::to_string(i) + ".txt"] = repeated("x", 200);
    writeFolder(dir.path() / "src", plan);
    fs::create_symlink("/etc", dir.path() / "src" / "away");
    const Result r = sga(dir, "pack -j 2 --log " + quoted((dir.path() / "pack.log").string()) + " " +
                               quoted((dir.path() / "src").string()) + " -o " + quoted((dir.path() / "a.big").string()));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(lines(r.err), 1u);
    EXPECT_NE(r.err.find("away"), std::string::npos);
    const auto logLines = readLines(dir.path() / "pack.log");
    ASSERT_GE(logLines.size(), plan.size());
    size_t packedLines = 0;
    for (const std::string& l : logLines) packedLines += l.rfind("Packed Data:", 0) == 0;
    EXPECT_EQ(packedLines, plan.size());
}

TEST(PackCommandLine, InterruptedPackKeepsTheEarlierArchive) {
    TempDir dir;
    FolderPlan plan;
    for (int i = 0; i < 200; ++i) plan["f" + std::to_string(i) + ".bin"] = noise(256 << 10, static_cast<uint32_t>(i) & 7);
    writeFolder(dir.path() / "src", plan);
    const fs::path out = dir.write("out/mod.big", textBytes("earlier"));
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const int devNull = ::open("/dev/null", O_WRONLY);
        ::dup2(devNull, 2);
        ::execl(SGA_BINARY, "sga", "pack", "--level", "12", "-j", "1", (dir.path() / "src").c_str(), "-o",
                out.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    // Signal once the temporary archive exists: the pack is then under way.
    for (int waited = 0; waited < 1000 && treeOf(dir.path() / "out").size() < 2; ++waited) ::usleep(10 * 1000);
    ::kill(child, SIGINT);
    int raw = 0;
    ::waitpid(child, &raw, 0);
    ASSERT_TRUE(WIFEXITED(raw));
    EXPECT_EQ(WEXITSTATUS(raw), 128 + SIGINT) << "the pack ended before the signal: give it more to do";
    EXPECT_EQ(readFile(out), textBytes("earlier"));
    EXPECT_EQ(treeOf(dir.path() / "out"), std::set<std::string>{"mod.big"});
}

} // namespace cli
} // namespace
} // namespace sga
