#include "ui/TreeFilter.h"

#include "archive/PathPattern.h"
#include "core/Cp1252.h"

#include <algorithm>

namespace sga::ui {

bool isWildcardText(std::string_view text) {
    return text.find_first_of("*?") != std::string_view::npos;
}

bool wildcardMatch(std::string_view pattern, std::string_view text) {
    return PathPattern(pattern, false).matchesWhole(text);
}

TreeFilter::TreeFilter(const ArchiveTree& tree) : utf8_(tree.utf8Text) {
    const size_t n = tree.size();
    parent_.resize(n);
    children_.resize(n);
    for (size_t i = 0; i < n; ++i) {
        const TreeNode& node = tree[i];
        parent_[i] = node.parent;
        children_[i] = node.children;
        const std::string& key = node.key;
        if (key == ArchiveTree::kRootKey || key.starts_with(ArchiveTree::kDirPrefix)) continue;
        const auto bar = key.rfind('|');
        files_.push_back(static_cast<int>(i));
        foldedPaths_.push_back(fold(std::string_view(key).substr(0, bar)));
    }
}

std::string TreeFilter::fold(std::string_view text) const {
    return foldPathText(text, utf8_);
}

TreeFilter::Query TreeFilter::prepare(std::string_view text) const {
    // The typed text is UTF-8; the tree's may be Windows-1252.
    const std::string archiveText = utf8_ ? std::string(text) : utf8ToCp1252(text);
    Query query;
    query.pattern = PathPattern(archiveText, utf8_);
    return query;
}

bool TreeFilter::matchesFolded(std::string_view path, const Query& query) const {
    if (!query.pattern.wildcard()) return path.find(query.pattern.folded()) != std::string_view::npos;
    return query.pattern.matchesTail(path);
}

bool TreeFilter::matches(std::string_view path, std::string_view text) const {
    if (text.empty()) return false;
    return matchesFolded(fold(path), prepare(text));
}

FilteredTree TreeFilter::apply(std::string_view text) const {
    FilteredTree out;
    const size_t n = parent_.size();
    out.shown.assign(n, 0);
    if (!text.empty()) {
        const Query query = prepare(text);
        for (size_t k = 0; k < files_.size(); ++k) {
            if (!matchesFolded(foldedPaths_[k], query)) continue;
            ++out.matches;
            // Mark the file and the folders above it, stopping at one
            // already marked by an earlier match.
            for (int node = files_[k]; node >= 0 && !out.shown[static_cast<size_t>(node)];
                 node = parent_[static_cast<size_t>(node)])
                out.shown[static_cast<size_t>(node)] = 1;
        }
    }
    out.childStart.resize(n + 1);
    out.childList.reserve(n);
    for (size_t i = 0; i < n; ++i) {
        out.childStart[i] = static_cast<int>(out.childList.size());
        if (!out.shown[i]) continue;
        if (parent_[i] < 0) out.topLevel.push_back(static_cast<int>(i));
        for (int child : children_[i])
            if (out.shown[static_cast<size_t>(child)]) out.childList.push_back(child);
    }
    out.childStart[n] = static_cast<int>(out.childList.size());
    return out;
}

} // namespace sga::ui
