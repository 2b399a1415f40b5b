// The shared path matcher: selection rules, folding, and agreement with a
// plain recursive matcher over random patterns.
#include "archive/PathPattern.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <vector>

namespace sga {
namespace {

struct SelectCase {
    const char* pattern;
    const char* path;
    bool selected;
};

class Selects : public ::testing::TestWithParam<SelectCase> {};

TEST_P(Selects, AsTheRulesSay) {
    const SelectCase& c = GetParam();
    const PathPattern pattern(c.pattern, true);
    EXPECT_EQ(pattern.selects(foldPathText(c.path, true)), c.selected) << c.pattern << " on " << c.path;
}

INSTANTIATE_TEST_SUITE_P(
    PathPattern, Selects,
    ::testing::Values(
        // exact
        SelectCase{"attrib\\x.rgd", "attrib\\x.rgd", true}, SelectCase{"attrib\\x.rgd", "attrib\\x.rgdx", false},
        SelectCase{"x.rgd", "attrib\\x.rgd", false},   // a pattern starts at the path's start
        // folder prefix, with or without the closing "\"
        SelectCase{"attrib", "attrib\\x.rgd", true}, SelectCase{"attrib\\", "attrib\\x.rgd", true},
        SelectCase{"attrib", "attrib\\deep\\x.rgd", true}, SelectCase{"attrib\\deep", "attrib\\deep\\x", true},
        SelectCase{"attr", "attrib\\x.rgd", false},   // only a whole leading part
        SelectCase{"attrib", "attribs\\x.rgd", false}, SelectCase{"attrib\\", "attrib", false},
        // "*" crosses "\"
        SelectCase{"*.lua", "a.lua", true}, SelectCase{"*.lua", "art\\fx\\a.lua", true},
        SelectCase{"art*a.lua", "art\\fx\\a.lua", true}, SelectCase{"*.lua", "a.luac", false},
        SelectCase{"*", "anything\\at\\all", true}, SelectCase{"a**b", "a\\b", true},
        SelectCase{"*\\fx", "art\\fx\\a.lua", true},   // a folder found at any depth, and what is in it
        // "?" is one character
        SelectCase{"?.lua", "a.lua", true}, SelectCase{"?.lua", "ab.lua", false}, SelectCase{"?.lua", ".lua", false},
        SelectCase{"caf?.txt", "caf\xC3\xA9.txt", true},   // one UTF-8 character, two bytes
        SelectCase{"caf??.txt", "caf\xC3\xA9.txt", false}, SelectCase{"a?b", "a\\b", true},
        // case
        SelectCase{"ART\\A.LUA", "art\\a.lua", true}, SelectCase{"art", "ART\\a.lua", true},
        SelectCase{"caf\xC3\x89", "CAF\xC3\xA9\\x", true},   // É and é
        SelectCase{"\xC5\xA0", "\xC5\xA1", true},            // Š and š
        // "/" stands for "\"
        SelectCase{"art/fx/a.lua", "art\\fx\\a.lua", true}, SelectCase{"art/", "art\\a", true},
        // no match
        SelectCase{"b.lua", "art\\a.lua", false}, SelectCase{"", "a", false}, SelectCase{"a", "", false}));

struct TailCase {
    const char* pattern;
    const char* path;
    bool found;
};

class MatchesTail : public ::testing::TestWithParam<TailCase> {};

TEST_P(MatchesTail, AsTheWindowsFindDoes) {
    const TailCase& c = GetParam();
    EXPECT_EQ(PathPattern(c.pattern, false).matchesTail(foldPathText(c.path, false)), c.found)
        << c.pattern << " on " << c.path;
}

INSTANTIATE_TEST_SUITE_P(
    PathPattern, MatchesTail,
    ::testing::Values(TailCase{"ship\\hgn_*", "data\\ship\\hgn_scout\\x.lua", true},
                      TailCase{"ship\\hgn_*", "ship\\kus\\hgn.lua", false}, TailCase{"a.*", "art\\a.lua", true},
                      TailCase{"rt\\*", "art\\a.lua", false}, TailCase{"*.lu", "art\\a.lua", false},
                      TailCase{"b\\c", "a\\xx\\b\\c", true},   // a start after a dead end
                      TailCase{"\xC9*", "caf\\\xE9t\xE9", true}));   // Windows-1252 É and é

// The rules restated as plainly as possible: try every split (remembering
// the answers, so that long patterns finish).
bool plainWhole(std::string_view p, std::string_view t) {
    std::vector<std::vector<int8_t>> memo(p.size() + 1, std::vector<int8_t>(t.size() + 1, -1));
    std::function<bool(size_t, size_t)> at = [&](size_t i, size_t j) -> bool {
        int8_t& known = memo[i][j];
        if (known >= 0) return known != 0;
        bool r;
        if (i == p.size()) {
            r = j == t.size();
        } else if (p[i] == '*') {
            r = false;
            for (size_t k = j; k <= t.size() && !r; ++k) r = at(i + 1, k);
        } else {
            r = j < t.size() && (p[i] == '?' || p[i] == t[j]) && at(i + 1, j + 1);
        }
        known = r ? 1 : 0;
        return r;
    };
    return at(0, 0);
}

bool plainSelects(std::string_view p, std::string_view t) {
    for (size_t k = 0; k <= t.size(); ++k) {
        const bool atEdge = k == t.size() || t[k] == '\\' || (k > 0 && t[k - 1] == '\\');
        if (atEdge && plainWhole(p, t.substr(0, k))) return true;
    }
    return false;
}

bool plainTail(std::string_view p, std::string_view t) {
    for (size_t k = 0; k <= t.size(); ++k)
        if ((k == 0 || t[k - 1] == '\\') && plainWhole(p, t.substr(k))) return true;
    return false;
}

TEST(PathPattern, AgreesWithThePlainRulesOnRandomPatterns) {
    std::mt19937 random(7);
    const std::string patternChars = "ab\\*?", pathChars = "ab\\";
    auto draw = [&](const std::string& from, size_t maxLength) {
        std::string s(random() % (maxLength + 1), ' ');
        for (char& c : s) c = from[random() % from.size()];
        return s;
    };
    for (int round = 0; round < 20000; ++round) {
        // Long patterns cross the 64-position word boundary.
        const std::string p = draw(patternChars, round % 10 == 0 ? 90 : 7);
        const std::string t = draw(pathChars, round % 10 == 0 ? 100 : 9);
        const PathPattern pattern(p, false);
        ASSERT_EQ(pattern.matchesWhole(t), plainWhole(pattern.folded(), t)) << p << " / " << t;
        ASSERT_EQ(pattern.selects(t), plainSelects(pattern.folded(), t)) << p << " / " << t;
        ASSERT_EQ(pattern.matchesTail(t), plainTail(pattern.folded(), t)) << p << " / " << t;
    }
}

TEST(PathPattern, PatternsThatMakeBacktrackersBlowUpAnswerAtOnce) {
    // A backtracking matcher tries about 30^n splits here.
    std::string pattern, path(5000, 'a');
    for (int i = 0; i < 30; ++i) pattern += "*a";
    pattern += "*b";
    EXPECT_FALSE(PathPattern(pattern, false).matchesWhole(path));
    EXPECT_TRUE(PathPattern(pattern, false).matchesWhole(path + "b"));
}

struct SelectionCase {
    std::vector<std::string> patterns;
    std::vector<std::string> excludes;
    std::vector<std::string> taken;
    std::vector<std::string> unmatched;
};

TEST(EntrySelection, PatternsThenExcludes) {
    const std::vector<std::string> paths = {"art\\a.lua", "art\\fx\\b.tga", "attrib\\x.rgd", "readme.txt"};
    const SelectionCase cases[] = {
        {{}, {}, paths, {}},
        {{"art"}, {}, {"art\\a.lua", "art\\fx\\b.tga"}, {}},
        {{"art", "nothing"}, {}, {"art\\a.lua", "art\\fx\\b.tga"}, {"nothing"}},
        {{}, {"*.tga"}, {"art\\a.lua", "attrib\\x.rgd", "readme.txt"}, {}},
        {{"a*"}, {"art/fx", "ATTRIB"}, {"art\\a.lua"}, {}},
        {{"*.lua"}, {"*.lua"}, {}, {}},   // selected, then excluded: the pattern did match
        {{"x", "y"}, {}, {}, {"x", "y"}},
    };
    for (const SelectionCase& c : cases) {
        EntrySelection selection(c.patterns, c.excludes, true);
        std::vector<std::string> taken;
        for (const std::string& p : paths)
            if (selection.takes(p)) taken.push_back(p);
        EXPECT_EQ(taken, c.taken) << ::testing::PrintToString(c.patterns);
        EXPECT_EQ(selection.unmatched(), c.unmatched) << ::testing::PrintToString(c.patterns);
    }
}

} // namespace
} // namespace sga
