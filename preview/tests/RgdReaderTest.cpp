// RGD: every value type and nested tables of both generations, written out as
// Lua, JSON and text; key names from dictionaries, learned from strings, or
// from the file itself; hostile tables refused.
#include "preview/RgdFormat.h"
#include "preview/RgdReader.h"
#include "preview/tests/ChunkyBuilder.h"

#include <gtest/gtest.h>

#include <cstring>

namespace sga {
namespace {

using test::appendLe32;
using test::TestChunk;

struct TestValue {
    uint64_t key;
    uint32_t type;
    std::vector<uint8_t> data;          // the value's bytes for leaves
    std::vector<TestValue> children;    // tables and lists
};

// Count, descriptors, then the data area holding each value (nested tables inline).
std::vector<uint8_t> tableBytes(const std::vector<TestValue>& entries, bool wide) {
    std::vector<uint8_t> head, area;
    appendLe32(head, static_cast<uint32_t>(entries.size()));
    for (const TestValue& e : entries) {
        appendLe32(head, static_cast<uint32_t>(e.key));
        if (wide) appendLe32(head, static_cast<uint32_t>(e.key >> 32));
        appendLe32(head, e.type);
        appendLe32(head, static_cast<uint32_t>(area.size()));
        const auto bytes = e.type == 100 || e.type == 101 ? tableBytes(e.children, wide) : e.data;
        area.insert(area.end(), bytes.begin(), bytes.end());
    }
    head.insert(head.end(), area.begin(), area.end());
    return head;
}

std::vector<uint8_t> firstGeneration(const std::vector<TestValue>& entries) {
    const auto table = tableBytes(entries, false);
    std::vector<uint8_t> payload;
    appendLe32(payload, 0x12345678);   // CRC, not checked
    appendLe32(payload, static_cast<uint32_t>(table.size()));
    payload.insert(payload.end(), table.begin(), table.end());
    return test::chunkyFile(1, {TestChunk{"FOLDAEGD", 1, "", {}, {TestChunk{"DATAAEGD", 1, "", payload, {}}}}});
}

std::vector<uint8_t> f32(float v) {
    uint32_t bits;
    std::memcpy(&bits, &v, 4);
    std::vector<uint8_t> out;
    appendLe32(out, bits);
    return out;
}
std::vector<uint8_t> i32(int32_t v) {
    std::vector<uint8_t> out;
    appendLe32(out, static_cast<uint32_t>(v));
    return out;
}
std::vector<uint8_t> str(const std::string& s) {
    std::vector<uint8_t> out(s.begin(), s.end());
    out.push_back(0);
    return out;
}
std::vector<uint8_t> wstr(const std::u16string& s) {
    std::vector<uint8_t> out;
    for (char16_t c : s) out.push_back(static_cast<uint8_t>(c)), out.push_back(static_cast<uint8_t>(c >> 8));
    out.push_back(0);
    out.push_back(0);
    return out;
}

constexpr uint32_t kHealth = 0x2D909FCC;
constexpr uint32_t kHitpoints = 0xF0A351FD;

std::vector<TestValue> everyType() {
    return {
        {kHealth, 100, {}, {{kHitpoints, 0, f32(750.0f), {}}, {0x00000011, 0, f32(0.1f), {}}}},
        {0x0000AAAA, 1, i32(-5), {}},
        {0x0000BBBB, 2, {1}, {}},
        {0x0000CCCC, 3, str("say \"hi\"\xE9"), {}},
        {0x0000DDDD, 4, wstr(u"\u03A9x"), {}},
        {0x0000EEEE, 101, {}, {{1, 1, i32(7), {}}, {2, 0, f32(1e20f), {}}, {0x10000, 2, {0}, {}}}},
        {0x0000FFFF, 254, {}, {}},
        {0x00001234, 7, {}, {}},
        {0x00005678, 100, {}, {}},
    };
}

RgdDictionary healthDictionary() {
    RgdDictionary dictionary;
    EXPECT_TRUE(dictionary.addText("#RGD_DIC\n0x2d909fcc=health # comment\n\n0xF0A351FD = hitpoints\n", "test").ok());
    return dictionary;
}

TEST(RgdTest, Lookup2HashOfKnownNames) {
    const std::pair<const char*, uint32_t> cases[] = {
        {"GameData", 0xF693C657}, {"health", 0x2D909FCC},     {"hitpoints", 0xF0A351FD},
        {"a", 0x29EEC818},        {"abcdefghijkl", 0x0B1B3EA5}, {"abcdefghijklm", 0x3122B031},
    };
    for (const auto& [name, hash] : cases) EXPECT_EQ(rgdHash(name), hash) << name;
}

TEST(RgdTest, EveryTypeAsLua) {
    const auto file = readRgd(firstGeneration(everyType()));
    ASSERT_TRUE(file.ok()) << file.message();
    EXPECT_FALSE(file->secondGeneration);
    EXPECT_EQ(formatRgd(*file, healthDictionary(), RgdOutput::Lua),
              "GameData = {}\n"
              "GameData[\"health\"] = {}\n"
              "GameData[\"health\"][\"hitpoints\"] = 750.0\n"
              "GameData[\"health\"][\"0x00000011\"] = 0.1\n"
              "GameData[\"0x0000AAAA\"] = -5\n"
              "GameData[\"0x0000BBBB\"] = true\n"
              "GameData[\"0x0000CCCC\"] = \"say \\\"hi\\\"\xC3\xA9\"\n"
              "GameData[\"0x0000DDDD\"] = \"\xCE\xA9x\"\n"
              "GameData[\"0x0000EEEE\"] = {}\n"
              "GameData[\"0x0000EEEE\"][1] = 7\n"
              "GameData[\"0x0000EEEE\"][2] = 1e+20\n"
              "GameData[\"0x0000EEEE\"][\"0x00010000\"] = false\n"
              "GameData[\"0x0000FFFF\"] = nil -- no data\n"
              "GameData[\"0x00001234\"] = nil -- unknown type 7\n"
              "GameData[\"0x00005678\"] = {}\n");
}

TEST(RgdTest, EveryTypeAsJson) {
    const auto file = readRgd(firstGeneration(everyType()));
    ASSERT_TRUE(file.ok()) << file.message();
    EXPECT_EQ(formatRgd(*file, healthDictionary(), RgdOutput::Json),
              "{\n"
              "  \"health\": {\n"
              "    \"hitpoints\": 750.0,\n"
              "    \"0x00000011\": 0.1\n"
              "  },\n"
              "  \"0x0000AAAA\": -5,\n"
              "  \"0x0000BBBB\": true,\n"
              "  \"0x0000CCCC\": \"say \\\"hi\\\"\xC3\xA9\",\n"
              "  \"0x0000DDDD\": \"\xCE\xA9x\",\n"
              "  \"0x0000EEEE\": {\n"
              "    \"1\": 7,\n"
              "    \"2\": 1e+20,\n"
              "    \"0x00010000\": false\n"
              "  },\n"
              "  \"0x0000FFFF\": null,\n"
              "  \"0x00001234\": {\n"
              "    \"unknown type\": 7\n"
              "  },\n"
              "  \"0x00005678\": {}\n"
              "}\n");
}

TEST(RgdTest, EveryTypeAsText) {
    const auto file = readRgd(firstGeneration(everyType()));
    ASSERT_TRUE(file.ok()) << file.message();
    EXPECT_EQ(formatRgd(*file, healthDictionary(), RgdOutput::Text),
              "health.hitpoints = 750.0\n"
              "health.0x00000011 = 0.1\n"
              "0x0000AAAA = -5\n"
              "0x0000BBBB = true\n"
              "0x0000CCCC = \"say \\\"hi\\\"\xC3\xA9\"\n"
              "0x0000DDDD = \"\xCE\xA9x\"\n"
              "0x0000EEEE.1 = 7\n"
              "0x0000EEEE.2 = 1e+20\n"
              "0x0000EEEE.0x00010000 = false\n"
              "0x0000FFFF = (no data)\n"
              "0x00001234 = (unknown type 7)\n"
              "0x00005678 = {}\n");
}

TEST(RgdTest, NamesAreLearnedFromStringValues) {
    const auto file = readRgd(firstGeneration({{kHitpoints, 3, str("hitpoints"), {}}, {kHealth, 1, i32(1), {}}}));
    ASSERT_TRUE(file.ok()) << file.message();
    RgdDictionary dictionary;
    dictionary.add(kHitpoints, "named");   // a dictionary name is kept
    dictionary.learnFrom(*file);
    const auto other = readRgd(firstGeneration({{0, 3, str("health"), {}}}));
    ASSERT_TRUE(other.ok());
    dictionary.learnFrom(*other);
    EXPECT_EQ(formatRgd(*file, dictionary, RgdOutput::Text), "named = \"hitpoints\"\nhealth = 1\n");
}

std::vector<uint8_t> secondGeneration(const std::vector<TestValue>& entries,
                                      const std::vector<std::pair<uint64_t, std::string>>& keys) {
    std::vector<uint8_t> keyBytes;
    appendLe32(keyBytes, static_cast<uint32_t>(keys.size()));
    for (const auto& [key, name] : keys) {
        appendLe32(keyBytes, static_cast<uint32_t>(key));
        appendLe32(keyBytes, static_cast<uint32_t>(key >> 32));
        appendLe32(keyBytes, static_cast<uint32_t>(name.size()));
        keyBytes.insert(keyBytes.end(), name.begin(), name.end());
    }
    std::vector<uint8_t> payload;
    appendLe32(payload, 1);
    const auto table = tableBytes(entries, true);
    payload.insert(payload.end(), table.begin(), table.end());
    return test::chunkyFile(4, {TestChunk{"FOLDGAME", 1, "", {}, {TestChunk{"DATAKEYS", 1, "", keyBytes, {}},
                                                                   TestChunk{"DATAAEGD", 1, "", payload, {}}}}});
}

TEST(RgdTest, SecondGenerationNamesItsOwnKeys) {
    const uint64_t weapon = 0x1122334455667788ull, damage = 0xFFEEDDCCBBAA9988ull, unnamed = 0x0000000100000002ull;
    const auto bytes = secondGeneration(
        {{weapon, 100, {}, {{damage, 0, f32(12.5f), {}}, {unnamed, 4, wstr(u"w"), {}}}}},
        {{weapon, "weapon"}, {damage, "damage"}, {weapon, "second name"}});
    const auto file = readRgd(bytes);
    ASSERT_TRUE(file.ok()) << file.message();
    EXPECT_TRUE(file->secondGeneration);
    EXPECT_EQ(formatRgd(*file, RgdDictionary{}, RgdOutput::Lua),
              "GameData = {}\n"
              "GameData[\"weapon\"] = {}\n"
              "GameData[\"weapon\"][\"damage\"] = 12.5\n"
              "GameData[\"weapon\"][\"0x0000000100000002\"] = \"w\"\n");
}

TEST(RgdTest, DictionaryFilesAreCheckedLineByLine) {
    struct Case {
        std::string text;
        std::string message;   // empty: accepted
        size_t names;
    };
    const Case cases[] = {
        {"#RGD_DIC\n0xAB=one\n0Xcd = two # comment\n# only a comment\n\n", "", 2},
        {"\xEF\xBB\xBF#RGD_DIC\r\n0x01=one\r\n", "", 1},
        {"0x01=one\n", "d.txt: line 1 is not \"#RGD_DIC\"", 0},
        {"#RGD_DIC\n0x01=one\nname without hash\n", "d.txt: line 3 is not \"0xHHHHHHHH=name\"", 0},
        {"#RGD_DIC\n0xZZ=bad\n", "d.txt: line 2 is not \"0xHHHHHHHH=name\"", 0},
        {"", "d.txt: empty, not a \"#RGD_DIC\" dictionary", 0},
    };
    for (const Case& c : cases) {
        RgdDictionary dictionary;
        const Status status = dictionary.addText(c.text, "d.txt");
        EXPECT_EQ(status.ok() ? "" : status.message(), c.message) << c.text;
        EXPECT_EQ(dictionary.size(), c.names) << c.text;
    }
}

TEST(RgdTest, HostileTablesAreRefused) {
    // A chain of nested tables one deeper than allowed.
    TestValue deep{1, 1, i32(0), {}};
    for (int i = 0; i < kMaxRgdDepth; ++i) deep = TestValue{1, 100, {}, {deep}};
    const auto tooDeep = readRgd(firstGeneration({deep}));
    ASSERT_FALSE(tooDeep.ok());
    EXPECT_NE(tooDeep.message().find("nested deeper than 64 levels"), std::string::npos) << tooDeep.message();

    // Many entries pointing at one shared table that again shares: more entries than the file holds.
    std::vector<uint8_t> shared;
    const uint32_t fan = 60;
    appendLe32(shared, fan);
    for (uint32_t i = 0; i < fan; ++i) {
        appendLe32(shared, i);
        appendLe32(shared, 100);
        appendLe32(shared, 0);   // every entry points at the table right after the descriptors
    }
    const auto innerTable = shared;   // which again is this same table
    shared.insert(shared.end(), innerTable.begin(), innerTable.end());
    shared.insert(shared.end(), innerTable.begin(), innerTable.end());
    appendLe32(shared, 0);
    std::vector<uint8_t> payload;
    appendLe32(payload, 0);
    appendLe32(payload, static_cast<uint32_t>(shared.size()));
    payload.insert(payload.end(), shared.begin(), shared.end());
    const auto fanned = readRgd(test::chunkyFile(1, {TestChunk{"DATAAEGD", 1, "", payload, {}}}));
    ASSERT_FALSE(fanned.ok());
    EXPECT_NE(fanned.message().find("more table entries than the file can hold"), std::string::npos)
        << fanned.message();

    struct Case {
        std::vector<TestValue> entries;
        std::string message;
    };
    const Case cases[] = {
        {{{1, 0, {1, 2}, {}}}, "RGD: float value at offset 88 runs past its table, at offset 76"},
        {{{1, 3, {'a', 'b'}, {}}}, "RGD: string without its NUL at offset 88"},
        {{{1, 4, {'a', 0, 'b'}, {}}}, "RGD: wide string without its NUL at offset 88"},
    };
    for (const Case& c : cases) {
        const auto file = readRgd(firstGeneration(c.entries));
        ASSERT_FALSE(file.ok());
        EXPECT_EQ(file.message(), c.message);
    }
    const auto noTable = readRgd(test::chunkyFile(1, {TestChunk{"DATAOTHR", 1, "", {}, {}}}));
    EXPECT_EQ(noTable.message(), "RGD: no DATAAEGD chunk");
}

TEST(RgdTest, EveryPrefixAndChangedByteIsHandled) {
    for (const auto& bytes : {firstGeneration(everyType()),
                              secondGeneration({{5, 100, {}, {{6, 3, str("x"), {}}}}}, {{5, "a"}, {6, "b"}})}) {
        for (size_t n = 0; n + 1 < bytes.size(); ++n) {
            const auto file = readRgd(std::span<const uint8_t>(bytes.data(), n));
            if (!file.ok()) EXPECT_FALSE(file.message().empty());
        }
        for (size_t at = 0; at < bytes.size(); ++at)
            for (int bit = 0; bit < 8; ++bit) {
                auto changed = bytes;
                changed[at] ^= static_cast<uint8_t>(1u << bit);
                const auto file = readRgd(changed);
                if (file.ok()) {
                    EXPECT_EQ(formatRgd(*file, RgdDictionary{}, RgdOutput::Lua).rfind("GameData = {}\n", 0), 0u);
                    EXPECT_EQ(formatRgd(*file, RgdDictionary{}, RgdOutput::Json).front(), '{');
                    formatRgd(*file, RgdDictionary{}, RgdOutput::Text);
                } else {
                    EXPECT_FALSE(file.message().empty());
                }
            }
    }
}

} // namespace
} // namespace sga
