#include "core/Cp1252.h"
#include "archive/modSGA.h"
#include "core/ActivityLog.h"

#include <gtest/gtest.h>

namespace sga {
namespace {

TEST(TraceFormat, PadRightAlignsAndNeverCuts) {
    EXPECT_EQ(pad(7, 5), "    7");
    EXPECT_EQ(pad(-12, 5), "  -12");
    EXPECT_EQ(pad("abc", 2), "abc");
    EXPECT_EQ(pad("toc", 9), "      toc");
}

TEST(TraceFormat, Hex16) {
    EXPECT_EQ(hex16(300), "12C");
    EXPECT_EQ(hex16(0), "0");
    EXPECT_EQ(hex16(-1), "FFFF");
    EXPECT_EQ(hex16(-32768), "8000");
    EXPECT_EQ(hex16(32767), "7FFF");
}

TEST(TraceFormat, NumberFormOfTheLog) {
    EXPECT_EQ(LogSink::numberForm(2), " 2 ");
    EXPECT_EQ(LogSink::numberForm(-7), "-7 ");
    EXPECT_EQ(LogSink::numberForm(0), " 0 ");
}

TEST(TraceFormat, StripNulsRemovesEveryNul) {
    EXPECT_EQ(stripNuls(std::string("H\0W\0" "2\0\0 ", 8)), "HW2 ");
    EXPECT_EQ(stripNuls(std::string(5, '\0')), "");
}

TEST(Cp1252, RoundTripsEveryByte) {
    for (int b = 1; b < 256; ++b) {
        const std::string one(1, static_cast<char>(b));
        EXPECT_EQ(utf8ToCp1252(cp1252ToUtf8(one)), one) << b;
    }
    EXPECT_EQ(cp1252ToUtf8("\x80"), "\xE2\x82\xAC");   // euro sign
    EXPECT_EQ(cp1252ToUtf8("\xE9"), "\xC3\xA9");       // e acute
    EXPECT_EQ(utf8ToCp1252("\xE4\xB8\xAD"), "?");      // not in the code page
    EXPECT_EQ(utf8ToCp1252("a\xC3"), "a?");            // cut sequence
}

} // namespace
} // namespace sga
