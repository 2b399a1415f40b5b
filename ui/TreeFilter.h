#pragma once
// Narrowing the archive tree to the files whose path matches a find text.
// Plain C++ over ArchiveTree: the window shows the result, the benchmark
// times it.
//
// A text without "*" or "?" matches every file whose path ("folder\name")
// contains it. A text with either is a wildcard pattern: "?" stands for any
// one character, "*" for any run of characters, "\" included, so "*.lua"
// finds .lua files at every depth and "ship\hgn_*" everything in the folders
// whose names start with "hgn_" inside a folder "ship". A pattern matches a
// path as a whole or any tail of it that starts after a "\"; "ship\hgn_*"
// thus also finds "data\ship\hgn_scout\hgn_scout.lua". Both kinds ignore
// letter case (ASCII, and the Latin letters of Windows-1252 or the Latin-1
// range of UTF-8, as the tree's text is), and "/" in the text counts as "\".

#include "archive/ArchiveTree.h"
#include "archive/PathPattern.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace sga::ui {

// The nodes a find leaves in view: each node's shown children in tree
// order, and how many files matched.
struct FilteredTree {
    std::vector<int> childStart;   // node i's shown children: childList[childStart[i] .. childStart[i + 1])
    std::vector<int> childList;
    std::vector<int> topLevel;     // shown nodes without a parent
    std::vector<uint8_t> shown;    // per node: 1 when it is in view
    int matches = 0;               // files that match

    std::span<const int> children(int node) const {
        const auto i = static_cast<size_t>(node);
        return {childList.data() + childStart[i], static_cast<size_t>(childStart[i + 1] - childStart[i])};
    }
};

class TreeFilter {
public:
    TreeFilter() = default;
    explicit TreeFilter(const ArchiveTree& tree);

    // The tree narrowed to the files matching text (UTF-8, as typed) and the
    // folders that lead to them. An empty text leaves nothing in view.
    FilteredTree apply(std::string_view text) const;
    // Whether one path (archive text, "\" between parts) matches text.
    bool matches(std::string_view path, std::string_view text) const;

private:
    struct Query {
        PathPattern pattern;
    };
    Query prepare(std::string_view text) const;
    bool matchesFolded(std::string_view foldedPath, const Query& query) const;
    std::string fold(std::string_view text) const;

    bool utf8_ = false;
    std::vector<int> parent_;
    std::vector<std::vector<int>> children_;
    std::vector<int> files_;               // node indexes of the file nodes
    std::vector<std::string> foldedPaths_; // per file node, in files_ order
};

// "*" or "?" in a text makes it a pattern.
bool isWildcardText(std::string_view text);
// Whether the whole of text matches the pattern ("*" any run, "?" any one byte),
// by the shared path matcher.
bool wildcardMatch(std::string_view pattern, std::string_view text);

} // namespace sga::ui
