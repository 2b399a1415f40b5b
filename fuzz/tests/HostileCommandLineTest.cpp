// Hostile archives through the command line, as a user would run it: `sga
// list` and `sga extract` (and `sga image` for pictures) in a fresh folder,
// each under a timeout and a memory cap in proportion to the archive. A run
// must end by itself with exit status 0, 1 or 2 (never a signal or a
// sanitizer report; under AddressSanitizer an allocation beyond the cap is
// such a report), and write nothing outside its target folder.

#include "archive/tests/LayoutTesting.h"
#include "fuzz/Seeds.h"
#include "fuzz/tests/ChildRun.h"
#include "fuzz/tests/Sandbox.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <random>
#include <set>

namespace sga {
namespace {

using namespace sga::testing;

// Memory a run may take: a base for the program and its libraries plus a
// multiple of the archive's size.
ChildLimits limitsFor(uint64_t archiveBytes) {
    ChildLimits limits;
    const uint64_t scaled = (archiveBytes * 64) >> 20;
    limits.addressSpaceMb = 512 + scaled;
    limits.allocationMb = 32 + scaled;
    return limits;
}

// The job count of every parallel run here: the memory limits must not
// depend on the machine's cores.
constexpr const char* kJobs = "4";

// Runs `sga <command> ARCHIVE <extra>` in the sandbox; expects a clean end.
ChildResult expectSafeRun(const Sandbox& box, std::vector<std::string> args, const std::string& what) {
    const bool parallel = args.front() == "extract" || args.front() == "verify";
    if (parallel && std::find(args.begin(), args.end(), "--jobs") == args.end())
        args.insert(args.begin() + 1, {"--jobs", kJobs});
    const ChildResult r = runChild(SGA_BINARY, args, box.workDir(),
                                   limitsFor(std::filesystem::file_size(box.archive())));
    EXPECT_TRUE(r.endedCleanly()) << what << ": sga " << args.front() << ": " << r.describe();
    return r;
}

void listAndExtract(const Bytes& archive, const std::string& what, bool list = true) {
    Sandbox box(archive);
    if (list) expectSafeRun(box, {"list", "--long", box.archive().string()}, what);
    expectSafeRun(box, {"extract", box.archive().string(), "-o", box.target().string()}, what);
    EXPECT_EQ(box.escapes(), "") << what;
}

ArchivePlan seed(const std::string& name) {
    for (auto& [n, plan] : fuzz::seedArchives())
        if (n == name) return plan;
    throw std::runtime_error("no seed archive " + name);
}

TEST(HostileCommandLine, ValidArchiveExtractsCleanly) {
    Sandbox box(buildArchive(seed("v2-dirs")));
    const ChildResult r =
        expectSafeRun(box, {"extract", box.archive().string(), "-o", box.target().string()}, "valid");
    EXPECT_EQ(r.exitCode, 0) << r.describe();
    EXPECT_TRUE(std::filesystem::is_regular_file(box.target() / "hostile.big" / "art" / "a.lua"));
    EXPECT_EQ(box.escapes(), "");
}

// Every structural boundary of the file, one byte either side, and a stride
// through everything else.
TEST(HostileCommandLine, PrefixesOfBothVersions) {
    for (const char* name : {"v1-dirs", "v2-dirs"}) {
        const ArchivePlan plan = seed(name);
        const Bytes whole = buildArchive(plan);
        const PlanOffsets l = offsetsOf(plan);
        std::set<size_t> cuts;
        for (size_t at : {size_t{0}, size_t{8}, size_t{12}, size_t{28}, l.headerSize, l.dirTable,
                          l.fileCount, l.fileTable, l.nameTable, l.dataArea, whole.size()}) {
            for (size_t d : {size_t{0}, size_t{1}, size_t{2}}) {
                if (at >= d) cuts.insert(at - d);
                cuts.insert(at + d);
            }
        }
        for (size_t at = 0; at < whole.size(); at += 97) cuts.insert(at);
        // Each file's block: its start, the end of its name field, its bytes.
        size_t block = l.dataArea;
        for (const auto& f : plan.files) {
            const size_t stored = f.compress ? zlibCompress(f.data).size() : f.data.size();
            for (size_t at : {block + 1, block + 256, block + 263, block + 264, block + 264 + stored / 2})
                cuts.insert(at);
            block += 264 + stored;
        }
        for (size_t cut : cuts) {
            if (cut > whole.size()) continue;
            listAndExtract(Bytes(whole.begin(), whole.begin() + static_cast<long>(cut)),
                           std::string(name) + " cut at " + std::to_string(cut), cut % 3 == 0);
        }
    }
}

TEST(HostileCommandLine, CountsAtTheirLimits) {
    for (int16_t value : {int16_t{0}, int16_t{-1}, int16_t{-32768}, int16_t{32767}}) {
        for (int part = 0; part < 3; ++part) {
            ArchivePlan plan = seed(value % 2 ? "v1-dirs" : "v2-dirs");
            if (part == 0) plan.dirCount = value;
            if (part == 1) plan.totalEntries = value;
            if (part == 2) plan.countAfterDirs = value;
            listAndExtract(buildArchive(plan), "count part " + std::to_string(part) + " = " +
                                                   std::to_string(value));
        }
        ArchivePlan records = seed("v2-dirs");
        records.numOfRecords = value;
        listAndExtract(buildArchive(records), "numOfRecords " + std::to_string(value));
    }
}

TEST(HostileCommandLine, RandomBitFlipsOverTheIndex) {
    const ArchivePlan plan = seed("v2-dirs");
    const Bytes whole = buildArchive(plan);
    const size_t indexEnd = offsetsOf(plan).dataArea;
    std::mt19937 random(20261207);
    for (int run = 0; run < 40; ++run) {
        Bytes b = whole;
        std::string what = "flips";
        for (int k = 0; k < 1 + run % 3; ++k) {
            const size_t bit = random() % (indexEnd * 8);
            b[bit / 8] ^= static_cast<uint8_t>(1u << (bit % 8));
            what += " " + std::to_string(bit);
        }
        listAndExtract(b, what, run % 4 == 0);
    }
}

// Names that try to leave the target: parent steps, absolute paths, drive
// letters, both separators, and the marker name in the temporary folder.
TEST(HostileCommandLine, NamesAimedOutsideTheTarget) {
    const std::string marker = escapeMarker();
    const std::string tmp = std::filesystem::temp_directory_path().string();
    std::string tmpBack = tmp;
    std::replace(tmpBack.begin(), tmpBack.end(), '/', '\\');
    const std::vector<std::pair<std::string, std::string>> names = {
        {"..\\..\\..\\..", marker},
        {"..\\..\\..\\..\\..\\..\\..\\..\\..\\.." + tmpBack, marker},
        {tmpBack, marker},
        {tmp, marker},
        {"ok", "..\\..\\..\\..\\..\\" + marker},
        {"ok", "../../../../../" + marker},
        {"ok", tmp + "/" + marker},
        {"c:\\windows", marker},
        {"a\\.\\..\\..", marker},
        {"ok", ".."},
        {"ok", "."},
        {"ok", ""}};
    for (const auto& [dirName, fileName] : names) {
        ArchivePlan plan;
        plan.dirs = {{dirName, 0}};
        plan.files = {{.name = fileName, .data = textBytes("escaped"), .compress = true}};
        listAndExtract(buildArchive(plan), "\"" + dirName + "\" / \"" + fileName + "\"");
    }
}

// The later layouts: every layout's two-drive archive cut at a stride
// through its index and through its data, and with bits flipped in its
// index; list, extract and verify must end cleanly and stay in the target.
class HostileLayoutCommandLine : public ::testing::TestWithParam<sga::Layout> {};

TEST_P(HostileLayoutCommandLine, ValidArchiveExtractsAndVerifies) {
    Sandbox box(buildLayout(twoDrivePlan(GetParam())), "hostile.sga");
    for (const char* command : {"list", "verify"}) {
        const ChildResult r = expectSafeRun(box, {command, box.archive().string()}, command);
        EXPECT_EQ(r.exitCode, 0) << command << ": " << r.describe();
    }
    const ChildResult r =
        expectSafeRun(box, {"extract", box.archive().string(), "-o", box.target().string()}, "extract");
    EXPECT_EQ(r.exitCode, 0) << r.describe();
    EXPECT_TRUE(std::filesystem::is_directory(box.target() / "hostile.sga" / "attrib"));
    EXPECT_EQ(box.escapes(), "");
}

TEST_P(HostileLayoutCommandLine, PrefixesAndFlippedBits) {
    const LayoutBytes parts = buildLayoutParts(twoDrivePlan(GetParam()));
    const Bytes whole = parts.joined();
    std::set<size_t> cuts;
    const size_t stride = std::max<size_t>(1, whole.size() / 16);
    for (size_t at = 0; at < whole.size(); at += stride) cuts.insert(at);
    for (size_t at : {size_t{8}, size_t{12}, parts.head.size() - 1, parts.head.size(), whole.size() - 1})
        cuts.insert(at);
    for (size_t cut : cuts) {
        listAndExtract(Bytes(whole.begin(), whole.begin() + static_cast<long>(cut)),
                       layoutLabel(GetParam()) + " cut at " + std::to_string(cut), cut % 2 == 0);
    }
    // Bits flipped in the header and table of contents (for the layout whose
    // table follows the data, in the part after it).
    const bool tocAtEnd = GetParam() == sga::Layout::V5A;
    const size_t from = tocAtEnd ? whole.size() - parts.tail.size() : 12;
    const size_t to = tocAtEnd ? whole.size() : parts.head.size();
    std::mt19937 random(20261207u + static_cast<unsigned>(GetParam()));
    for (int run = 0; run < 8; ++run) {
        Bytes b = whole;
        std::string what = layoutLabel(GetParam()) + " flips";
        for (int k = 0; k < 1 + run % 3; ++k) {
            const size_t bit = from * 8 + random() % ((to - from) * 8);
            b[bit / 8] ^= static_cast<uint8_t>(1u << (bit % 8));
            what += " " + std::to_string(bit);
        }
        Sandbox box(b, "hostile.sga");
        expectSafeRun(box, {"verify", box.archive().string()}, what);
        expectSafeRun(box, {"extract", box.archive().string(), "-o", box.target().string()}, what);
        EXPECT_EQ(box.escapes(), "") << what;
    }
}

// Folder and file names aimed outside the target, in the later layouts'
// name tables.
TEST_P(HostileLayoutCommandLine, NamesAimedOutsideTheTarget) {
    const std::string marker = escapeMarker();
    const std::string tmp = std::filesystem::temp_directory_path().string();
    const std::vector<std::pair<std::string, std::string>> names = {
        {"..\\..\\..\\..", marker}, {"ok", "..\\..\\..\\..\\" + marker}, {"ok", "../../../../" + marker},
        {"ok", tmp + "/" + marker},   {"c:\\windows", marker},             {"ok", ".."}};
    for (const auto& [folderName, fileName] : names) {
        LayoutPlan plan = samplePlan(GetParam());
        FolderPlan folder{.name = "ok", .files = {{.name = fileName, .data = textBytes("escaped")}}};
        if (folderName != "ok") folder.storedName = folderName;
        plan.drives[0].root.folders.push_back(folder);
        listAndExtract(buildLayout(plan),
                       layoutLabel(GetParam()) + " \"" + folderName + "\" / \"" + fileName + "\"");
    }
}

INSTANTIATE_TEST_SUITE_P(Layouts, HostileLayoutCommandLine, ::testing::ValuesIn(allLayouts()),
                         [](const auto& info) { return layoutLabel(info.param); });

TEST(HostileCommandLine, RealArchives) {
    const auto dir = realArchivesDir();
    if (dir.empty()) GTEST_SKIP() << "real archives not present";
    for (const auto& file : std::filesystem::directory_iterator(dir)) {
        const auto ext = file.path().extension();
        if (ext != ".big" && ext != ".sga") continue;
        Sandbox box(readFile(file.path()), file.path().filename().string());
        const std::string what = file.path().filename().string();
        expectSafeRun(box, {"list", box.archive().string()}, what);
        expectSafeRun(box, {"verify", box.archive().string()}, what);
        expectSafeRun(box, {"extract", box.archive().string(), "-o", box.target().string()}, what);
        EXPECT_EQ(box.escapes(), "") << what;
    }
}

// Tiny pictures whose headers claim the largest sizes: decoding them must
// neither allocate for the claim nor crash.
TEST(HostileCommandLine, PicturesClaimingHugeSizes) {
    auto be32 = [](Bytes& b, size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) b[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (24 - 8 * i));
    };
    std::vector<std::pair<std::string, Bytes>> pictures;
    for (uint32_t side : {16384u, 16385u, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu}) {
        for (int compression : {0, 1}) {
            for (int channels : {0, 3, 16}) {
                Bytes psd = fuzz::seedPsd(2, 2, 3, compression);
                psd[12] = 0;
                psd[13] = static_cast<uint8_t>(channels);
                be32(psd, 14, side);
                be32(psd, 18, side);
                pictures.emplace_back("p" + std::to_string(side) + "-" + std::to_string(compression) +
                                          "-" + std::to_string(channels) + ".psd", psd);
            }
        }
    }
    for (int side : {16384, 32767, -1, -32768}) {
        for (int depth : {24, 32, 255}) {
            Bytes tga = fuzz::seedTga(2, 2, 24, 0);
            tga[12] = tga[14] = static_cast<uint8_t>(side);
            tga[13] = tga[15] = static_cast<uint8_t>(side >> 8);
            tga[16] = static_cast<uint8_t>(depth);
            pictures.emplace_back("t" + std::to_string(side) + "-" + std::to_string(depth) + ".tga", tga);
        }
    }
    for (int side : {16383, 65535}) {
        for (int planes : {1, 3}) {
            Bytes pcx = fuzz::seedPcx(2, 2, planes);
            pcx[8] = pcx[10] = static_cast<uint8_t>(side);
            pcx[9] = pcx[11] = static_cast<uint8_t>(side >> 8);
            pcx[66] = pcx[8];
            pcx[67] = pcx[9];
            pictures.emplace_back("x" + std::to_string(side) + "-" + std::to_string(planes) + ".pcx", pcx);
        }
    }
    ArchivePlan plan;
    for (const auto& [name, bytes] : pictures)
        plan.files.push_back({.name = name, .data = bytes, .compress = true});
    Sandbox box(buildArchive(plan));
    for (const auto& [name, bytes] : pictures) {
        expectSafeRun(box, {"image", box.archive().string(), name, "-o",
                            (box.target() / "picture.png").string()},
                      name);
    }
    EXPECT_EQ(box.escapes(), "");
}

} // namespace
} // namespace sga
