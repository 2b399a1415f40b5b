// The sga binary's chunky, rgd, image and extract --convert, run as a user
// would on an archive holding a DDS texture, RGD attributes and a Chunky file.
#include "preview/DdsDecoder.h"
#include "preview/PngWriter.h"
#include "preview/RgdFormat.h"
#include "preview/tests/BlockEncoder.h"
#include "preview/tests/ChunkyBuilder.h"
#include "tests/support/ArchiveWriter.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <cstring>

namespace sga {
namespace {

using namespace sga::testing;
using test::appendLe32;
using test::TestChunk;
namespace fs = std::filesystem;

struct Result {
    int status = -1;
    std::string out, err;
};

std::string quoted(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

std::string text(const Bytes& b) { return std::string(b.begin(), b.end()); }

// Runs sga with an empty dictionary folder of its own.
Result sga(const TempDir& dir, const std::string& args) {
    const fs::path out = dir.path() / "stdout", err = dir.path() / "stderr";
    const std::string command = "XDG_DATA_HOME=" + quoted((dir.path() / "xdg").string()) + " " + quoted(SGA_BINARY) +
                                " " + args + " >" + quoted(out.string()) + " 2>" + quoted(err.string());
    const int raw = std::system(command.c_str());
    Result r;
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.out = text(readFile(out));
    r.err = text(readFile(err));
    return r;
}

Bytes ddsTexture() {
    test::DdsHeader h;
    h.fourCc = "DXT1";
    const auto block = test::bc1Block(0xF800, 0x001F, {0, 1, 2, 3, 0, 1, 2, 3, 0, 1, 2, 3, 0, 1, 2, 3});
    return test::ddsFile(h, Bytes(block.begin(), block.end()));
}

Bytes f32(float v) {
    uint32_t bits;
    std::memcpy(&bits, &v, 4);
    Bytes out;
    appendLe32(out, bits);
    return out;
}

// GameData: health (0x2D909FCC) = { hitpoints (0xF0A351FD) = 750.0, 0x00000005 = "armour" }
Bytes rgdAttributes() {
    Bytes inner;
    appendLe32(inner, 2);
    for (uint32_t v : {0xF0A351FDu, 0u, 0u, 5u, 3u, 4u}) appendLe32(inner, v);
    const Bytes hp = f32(750.0f);
    inner.insert(inner.end(), hp.begin(), hp.end());
    for (char c : std::string("armour")) inner.push_back(static_cast<uint8_t>(c));
    inner.push_back(0);
    Bytes table;
    for (uint32_t v : {1u, 0x2D909FCCu, 100u, 0u}) appendLe32(table, v);
    table.insert(table.end(), inner.begin(), inner.end());
    Bytes payload;
    appendLe32(payload, 0);
    appendLe32(payload, static_cast<uint32_t>(table.size()));
    payload.insert(payload.end(), table.begin(), table.end());
    return test::chunkyFile(1, {TestChunk{"FOLDAEGD", 1, "", {}, {TestChunk{"DATAAEGD", 1, "", payload, {}}}}});
}

// A second RGD whose string value names key 0x00000005 ("armour" hashes to another key,
// so it names nothing) and whose other string is "health".
Bytes rgdWithStrings() {
    Bytes table;
    for (uint32_t v : {1u, 0x99u, 3u, 0u}) appendLe32(table, v);
    for (char c : std::string("hitpoints")) table.push_back(static_cast<uint8_t>(c));
    table.push_back(0);
    Bytes payload;
    appendLe32(payload, 0);
    appendLe32(payload, static_cast<uint32_t>(table.size()));
    payload.insert(payload.end(), table.begin(), table.end());
    return test::chunkyFile(1, {TestChunk{"DATAAEGD", 1, "", payload, {}}});
}

Bytes chunkyModel() {
    return test::chunkyFile(3, {TestChunk{"FOLDMODL", 2, "body", {}, {TestChunk{"DATAMESH", 1, "", {1, 2, 3}, {}}}}});
}

struct Fixture {
    TempDir dir;
    fs::path archive;
    Fixture() {
        Bytes broken = ddsTexture();
        broken.pop_back();
        ArchivePlan plan;
        plan.files = {{.name = "sky.dds", .data = ddsTexture(), .compress = true},
                      {.name = "unit.rgd", .data = rgdAttributes()},
                      {.name = "names.rgd", .data = rgdWithStrings()},
                      {.name = "body.whm", .data = chunkyModel()},
                      {.name = "broken.dds", .data = broken},
                      {.name = "notes.txt", .data = textBytes("hello")},
                      {.name = "en.ucs", .data = Bytes{0xFF, 0xFE, 'h', 0, 0xE9, 0, '\n', 0}}};
        archive = dir.write("data.sga", buildArchive(plan));
    }
    std::string a() const { return quoted(archive.string()); }
};

TEST(FormatCommands, ChunkyPrintsTheTreeAsLinesAndJson) {
    Fixture f;
    Result r = sga(f.dir, "chunky " + f.a() + " body.whm");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "FOLD MODL v2 \"body\" 31 bytes at 0x24\n  DATA MESH v1 \"\" 3 bytes at 0x45\n");
    r = sga(f.dir, "chunky " + f.a() + " BODY.WHM --json");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "[\n  {\n    \"kind\": \"FOLD\",\n    \"id\": \"MODL\",\n    \"version\": 2,\n    \"name\": \"body\",\n"
              "    \"size\": 31,\n    \"offset\": 36,\n    \"children\": [\n      {\n        \"kind\": \"DATA\",\n"
              "        \"id\": \"MESH\",\n        \"version\": 1,\n        \"name\": \"\",\n        \"size\": 3,\n"
              "        \"offset\": 69,\n        \"children\": []\n      }\n    ]\n  }\n]\n");
    r = sga(f.dir, "chunky " + f.a() + " notes.txt");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "sga: notes.txt: Relic Chunky: no \"Relic Chunky\" signature at offset 0\n");
}

TEST(FormatCommands, RgdNamesKeysFromDictionariesAndTheArchive) {
    Fixture f;
    const fs::path dictionary = f.dir.write("names.dic", textBytes("#RGD_DIC\n0x2D909FCC=health\n"));
    struct Case {
        std::string args;
        std::string out;
    };
    const Case cases[] = {
        // "hitpoints" is learned from names.rgd's string value.
        {"unit.rgd --dictionary " + quoted(dictionary.string()),
         "GameData = {}\nGameData[\"health\"] = {}\nGameData[\"health\"][\"hitpoints\"] = 750.0\n"
         "GameData[\"health\"][\"0x00000005\"] = \"armour\"\n"},
        {"unit.rgd --no-learn --format text",
         "0x2D909FCC.0xF0A351FD = 750.0\n0x2D909FCC.0x00000005 = \"armour\"\n"},
        {"unit.rgd --format json --dictionary " + quoted(dictionary.string()),
         "{\n  \"health\": {\n    \"hitpoints\": 750.0,\n    \"0x00000005\": \"armour\"\n  }\n}\n"},
    };
    for (const Case& c : cases) {
        const Result r = sga(f.dir, "rgd " + f.a() + " " + c.args);
        ASSERT_EQ(r.status, 0) << c.args << ": " << r.err;
        EXPECT_EQ(r.out, c.out) << c.args;
    }
    // The dictionary folder is read too.
    fs::create_directories(f.dir.path() / "xdg/sga/dictionaries");
    fs::copy_file(dictionary, f.dir.path() / "xdg/sga/dictionaries/names.dic");
    Result r = sga(f.dir, "rgd " + f.a() + " unit.rgd --no-learn --format text");
    EXPECT_EQ(r.out, "health.0xF0A351FD = 750.0\nhealth.0x00000005 = \"armour\"\n");
    r = sga(f.dir, "rgd " + f.a() + " body.whm");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "sga: body.whm: RGD: no DATAAEGD chunk\n");
}

TEST(FormatCommands, ExtractConvertWritesCopiesAndNamesFailures) {
    Fixture f;
    const fs::path out = f.dir.path() / "out";
    const fs::path log = f.dir.path() / "run.log";
    const Result r = sga(f.dir, "extract " + f.a() + " --convert -o " + quoted(out.string()) + " --log " +
                                    quoted(log.string()));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("sga: cannot convert broken.dds: DDS: mip 1 of 1 at offset 128 needs 8 bytes; "
                         "the file ends after 7"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("sga: 1 conversion failed"), std::string::npos) << r.err;
    const fs::path base = out / "data.sga";
    EXPECT_EQ(readFile(base / "sky.dds"), ddsTexture());   // the original as stored
    const auto png = encodePng(*decodeDds(ddsTexture()));
    EXPECT_EQ(readFile(base / "sky.dds.png"), *png);
    const auto rgd = readRgd(rgdAttributes());
    EXPECT_EQ(text(readFile(base / "unit.rgd.json")), formatRgd(*rgd, RgdDictionary{}, RgdOutput::Json));
    EXPECT_EQ(text(readFile(base / "en.ucs.txt")), "h\xC3\xA9\n");
    EXPECT_FALSE(fs::exists(base / "broken.dds.png"));
    EXPECT_TRUE(fs::exists(base / "broken.dds"));
    EXPECT_FALSE(fs::exists(base / "notes.txt.png"));
    EXPECT_FALSE(fs::exists(base / "body.whm.json"));
    bool logged = false;
    for (const std::string& line : readLines(log)) logged = logged || line.rfind("Cannot convert broken.dds: DDS:", 0) == 0;
    EXPECT_TRUE(logged);
}

TEST(FormatCommands, ImageWritesDdsAsPng) {
    Fixture f;
    const fs::path png = f.dir.path() / "sky.png";
    Result r = sga(f.dir, "image " + f.a() + " sky.dds -o " + quoted(png.string()));
    ASSERT_EQ(r.status, 0) << r.err;
    const Bytes written = readFile(png);
    ASSERT_GE(written.size(), 8u);
    EXPECT_EQ(Bytes(written.begin(), written.begin() + 8), (Bytes{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'}));
    r = sga(f.dir, "image " + f.a() + " broken.dds -o " + quoted(png.string()));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("cannot decode broken.dds: DDS: mip 1 of 1"), std::string::npos) << r.err;
    EXPECT_EQ(readFile(png), written);   // a failed run leaves the earlier output
}

} // namespace
} // namespace sga
