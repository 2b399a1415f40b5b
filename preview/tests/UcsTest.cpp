// UCS text decoding and which entries count as text.
#include "preview/TextEntry.h"
#include "preview/Ucs.h"

#include <gtest/gtest.h>

#include <vector>

namespace sga {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes utf16le(std::u16string_view text, bool mark) {
    Bytes out;
    if (mark) out = {0xFF, 0xFE};
    for (char16_t u : text) {
        out.push_back(static_cast<uint8_t>(u & 0xFF));
        out.push_back(static_cast<uint8_t>(u >> 8));
    }
    return out;
}

struct UcsCase {
    const char* what;
    Bytes bytes;
    std::string utf8;
};

TEST(Ucs, DecodesToUtf8) {
    const UcsCase cases[] = {
        {"marked", utf16le(u"name=Caf\u00e9\r\n", true), "name=Caf\xC3\xA9\r\n"},
        {"unmarked, found by its zero bytes", utf16le(u"1000\tHello world", false), "1000\tHello world"},
        {"three-byte characters", utf16le(u"\u4e2d\u6587", true), "\xE4\xB8\xAD\xE6\x96\x87"},
        {"a surrogate pair", utf16le(u"\U0001F600", true), "\xF0\x9F\x98\x80"},
        {"a lone high surrogate", utf16le(u"a\xD800" "b", true), "a\xEF\xBF\xBD" "b"},
        {"a lone low surrogate", utf16le(u"a\xDC00", true), "a\xEF\xBF\xBD"},
        {"a high surrogate at the end", utf16le(u"a\xD800", true), "a\xEF\xBF\xBD"},
        {"an odd last byte", Bytes{0xFF, 0xFE, 'a', 0, 'b'}, "a\xEF\xBF\xBD"},
        {"only the mark", Bytes{0xFF, 0xFE}, ""},
        {"8-bit text stays as it is", Bytes{'a', '=', '1', '\n'}, "a=1\n"},
        {"empty", Bytes{}, ""},
    };
    for (const UcsCase& c : cases) {
        EXPECT_EQ(ucsToUtf8(c.bytes.data(), c.bytes.size()), c.utf8) << c.what;
        if (!looksLikeUtf16le(c.bytes.data(), c.bytes.size())) continue;
        // Any split into two pieces decodes the same.
        for (size_t cut = 0; cut <= c.bytes.size(); ++cut) {
            Utf16leDecoder decoder;
            std::string out;
            decoder.feed(c.bytes.data(), cut, out);
            decoder.feed(c.bytes.data() + cut, c.bytes.size() - cut, out);
            decoder.finish(out);
            EXPECT_EQ(out, c.utf8) << c.what << ", cut at " << cut;
        }
    }
}

TEST(Ucs, DetectionWithoutAMark) {
    EXPECT_TRUE(looksLikeUtf16le(utf16le(u"abc", false).data(), 6));
    const Bytes binary = {1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_FALSE(looksLikeUtf16le(binary.data(), binary.size()));
    const Bytes zeros(64, 0);   // zero bytes everywhere: not text
    EXPECT_FALSE(looksLikeUtf16le(zeros.data(), zeros.size()));
    EXPECT_FALSE(looksLikeUtf16le(utf16le(u"a", false).data(), 1));
}

TEST(TextEntry, KindsByExtension) {
    struct Case {
        const char* path;
        TextKind kind;
    };
    const Case cases[] = {{"a\\b.lua", TextKind::Plain},     {"B.LUA", TextKind::Plain},
                          {"x.ini", TextKind::Plain},        {"x.txt", TextKind::Plain},
                          {"x.events", TextKind::Plain},     {"locale\\en.ucs", TextKind::Ucs},
                          {"EN.UCS", TextKind::Ucs},         {"x.rgd", TextKind::NotText},
                          {"x.tga", TextKind::NotText},      {"lua", TextKind::NotText},
                          {"dir.lua\\file", TextKind::NotText}, {"x.lua.bak", TextKind::NotText}};
    for (const Case& c : cases) EXPECT_EQ(textKindOf(c.path), c.kind) << c.path;
}

} // namespace
} // namespace sga
