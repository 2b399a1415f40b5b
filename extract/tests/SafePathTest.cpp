#include "extract/SafePath.h"

#include <gtest/gtest.h>

namespace sga {
namespace {

struct Case {
    std::string dirName, name;
};

TEST(SafePath, PlainNamesBecomeRelativePaths) {
    EXPECT_EQ(safeRelativePath("", "a.lua"), std::filesystem::path("a.lua"));
    EXPECT_EQ(safeRelativePath("art\\fx", "spark.tga"), std::filesystem::path("art/fx/spark.tga"));
    EXPECT_EQ(safeRelativePath("art/fx", "ui\\b.lua"), std::filesystem::path("art/fx/ui/b.lua"));
    EXPECT_EQ(safeRelativePath("", "...x"), std::filesystem::path("...x"));
    EXPECT_EQ(safeRelativePath("", "a..b"), std::filesystem::path("a..b"));
    // Windows-1252 becomes UTF-8 on disk.
    EXPECT_EQ(safeRelativePath("caf\xE9", "\x80.txt")->string(), "caf\xC3\xA9/\xE2\x82\xAC.txt");
}

TEST(SafePath, HostileNamesAreRefusedWithAReason) {
    const std::vector<Case> hostile = {
        {"", ""},          {"", ".."},         {"", "."},        {"..", "x"},
        {"art\\..", "x"},  {"art", "..\\x"},   {"art", "../x"},  {"\\art", "x"},
        {"/etc", "passwd"}, {"", "/etc/passwd"}, {"art\\", "x"}, {"art\\\\fx", "x"},
        {"C:", "x"},       {"", "C:\\x"},      {"", "c:x"},      {"art", "x\\"},
        {"", std::string("a\0b", 3)}, {"", "a\nb"}, {"", "tab\there"}, {"", "del\x7F"},
        {"a\\.\\b", "x"},  {"", "x/.."},
    };
    for (const Case& c : hostile) {
        std::string why;
        EXPECT_FALSE(safeRelativePath(c.dirName, c.name, &why).has_value())
            << "dir [" << c.dirName << "] name [" << c.name << "]";
        EXPECT_FALSE(why.empty());
    }
    std::string why;
    safeRelativePath("art\\..", "x", &why);
    EXPECT_EQ(why, "path component \"..\"");
}

} // namespace
} // namespace sga
