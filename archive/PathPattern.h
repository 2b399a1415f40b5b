#pragma once
// Matching archive paths against patterns typed by a user: the one matcher
// of the command line's entry selection (list, extract, verify, diff, grep)
// and of the window's find.
//
// "*" matches any run of characters, "\" included; "?" one character (one
// UTF-8 character in UTF-8 text, one byte in Windows-1252 text); everything
// else itself. Both sides are folded first (foldPathText): letter case is
// ignored and "/" stands for "\". Matching simulates the pattern's
// automaton over a bit set of pattern positions, so its time is linear in
// the path's length (times the pattern's length over 64): no pattern can make
// it backtrack.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sga {

// text with "/" as "\" and letters in lower case: ASCII, and the Latin
// letters of Windows-1252 (utf8 false) or the same letters in UTF-8.
std::string foldPathText(std::string_view text, bool utf8);

class PathPattern {
public:
    PathPattern() = default;
    // pattern is folded here; utf8 says how to read pattern and paths.
    PathPattern(std::string_view pattern, bool utf8);

    const std::string& folded() const { return folded_; }
    // "*" or "?" in the pattern.
    bool wildcard() const { return wildcard_; }

    // The rules below take folded paths (foldPathText with the same utf8).
    // The whole path.
    bool matchesWhole(std::string_view path) const;
    // The whole path, or a leading part of it that ends at a "\" (with or
    // without that "\"): "attrib" and "attrib\" select "attrib\x.rgd".
    bool selects(std::string_view path) const;
    // The whole path, or a tail of it that starts after a "\":
    // "ship\hgn_*" finds "data\ship\hgn_scout\x.lua".
    bool matchesTail(std::string_view path) const;

private:
    using Bits = std::vector<uint64_t>;
    enum class Mode { Whole, Leading, Tail };
    bool run(std::string_view path, Mode mode) const;
    void closeOverStars(Bits& bits) const;

    std::string folded_;
    bool wildcard_ = false;
    bool utf8_ = false;
    size_t length_ = 0;     // pattern positions after runs of "*" became one
    size_t words_ = 1;
    std::vector<uint64_t> byteMask_;   // 256 * words_: positions whose item takes this byte
    Bits starMask_;                    // positions holding "*"
    Bits afterAnyMask_;                // positions just after a "?" (UTF-8: continuation bytes stay there)
};

// Which entries a list of patterns and excludes selects: an entry is taken
// when some pattern selects it (every entry when there are none) and no
// exclude does. Each pattern remembers whether it selected anything.
class EntrySelection {
public:
    EntrySelection(const std::vector<std::string>& patterns, const std::vector<std::string>& excludes,
                   bool utf8);
    bool empty() const { return patterns_.empty() && excludes_.empty(); }
    // path is unfolded text in the encoding given at construction.
    bool takes(std::string_view path);
    // The patterns (as typed) that have selected nothing so far.
    std::vector<std::string> unmatched() const;

private:
    bool utf8_;
    std::vector<std::string> typed_;
    std::vector<PathPattern> patterns_;
    std::vector<PathPattern> excludes_;
    std::vector<uint8_t> used_;
};

} // namespace sga
