#include "ui/TreeFilter.h"

#include "core/Cp1252.h"

#include <algorithm>

namespace sga::ui {

namespace {

// Folds one code unit of Windows-1252 text to lower case.
unsigned char foldCp1252(unsigned char c) {
    if (c >= 'A' && c <= 'Z') return static_cast<unsigned char>(c + 32);
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<unsigned char>(c + 32);
    if (c == 0x8A || c == 0x8C || c == 0x8E) return static_cast<unsigned char>(c + 16);   // Š Œ Ž
    if (c == 0x9F) return 0xFF;                                                           // Ÿ
    return c;
}

std::string foldText(std::string_view text, bool utf8) {
    std::string out(text);
    for (size_t i = 0; i < out.size(); ++i) {
        auto c = static_cast<unsigned char>(out[i]);
        if (c == '/') {
            out[i] = '\\';
        } else if (!utf8) {
            out[i] = static_cast<char>(foldCp1252(c));
        } else if (c >= 'A' && c <= 'Z') {
            out[i] = static_cast<char>(c + 32);
        } else if (c == 0xC3 && i + 1 < out.size()) {
            // U+00C0..U+00DE but U+00D7: the second byte moves up by 0x20.
            const auto next = static_cast<unsigned char>(out[i + 1]);
            if (next >= 0x80 && next <= 0x9E && next != 0x97) out[i + 1] = static_cast<char>(next + 0x20);
            ++i;
        }
    }
    return out;
}

} // namespace

bool isWildcardText(std::string_view text) {
    return text.find_first_of("*?") != std::string_view::npos;
}

bool wildcardMatch(std::string_view pattern, std::string_view text) {
    // Greedy with one backtrack point: the last "*" seen.
    size_t p = 0, t = 0;
    size_t starP = std::string_view::npos, starT = 0;
    while (t < text.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == text[t]) && pattern[p] != '*') {
            ++p;
            ++t;
        } else if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starT = t;
        } else if (starP != std::string_view::npos) {
            p = starP + 1;
            t = ++starT;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
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
    return foldText(text, utf8_);
}

TreeFilter::Query TreeFilter::prepare(std::string_view text) const {
    // The typed text is UTF-8; the tree's may be Windows-1252.
    const std::string archiveText = utf8_ ? std::string(text) : utf8ToCp1252(text);
    return {fold(archiveText), isWildcardText(text)};
}

bool TreeFilter::matchesFolded(std::string_view path, const Query& query) const {
    if (!query.wildcard) return path.find(query.folded) != std::string_view::npos;
    if (wildcardMatch(query.folded, path)) return true;
    for (size_t at = path.find('\\'); at != std::string_view::npos; at = path.find('\\', at + 1)) {
        if (wildcardMatch(query.folded, path.substr(at + 1))) return true;
    }
    return false;
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
