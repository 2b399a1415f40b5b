#pragma once
// Line differences of two texts printed as "diff -u" prints them: the two
// label lines, then hunks with three lines of context, deletions of a
// change before its insertions, "\ No newline at end of file" after a last
// line without one. Changes are found by Myers' linear-space algorithm and
// then slid as far down as they can go (back to a change in the other text
// where one lies on the way), which is where "diff -u" puts them.

#include <string>
#include <string_view>

namespace sga::cli {

struct UnifiedDiffOptions {
    int context = 3;
    // Work allowed for one split before a good split stands in for the
    // best: very different large texts then get a correct but longer diff
    // instead of running for hours.
    int costLimit = 4096;
};

// Empty when the texts are equal.
std::string unifiedDiff(std::string_view oldText, std::string_view newText, std::string_view oldLabel,
                        std::string_view newLabel, const UnifiedDiffOptions& options = {});

} // namespace sga::cli
