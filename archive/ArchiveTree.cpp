#include "archive/ArchiveTree.h"

#include "archive/ArchiveIndex.h"

#include <charconv>

namespace sga {

void ArchiveTree::clear() {
    nodes_.clear();
    byKey_.clear();
    utf8Text = false;
}

int ArchiveTree::add(int parent, std::string key, std::string text) {
    if (auto it = byKey_.find(key); it != byKey_.end()) return it->second;
    const int index = static_cast<int>(nodes_.size());
    byKey_.emplace(key, index);
    nodes_.push_back(TreeNode{std::move(key), std::move(text), parent, false, {}});
    if (parent >= 0) nodes_[static_cast<size_t>(parent)].children.push_back(index);
    return index;
}

int ArchiveTree::find(std::string_view key) const {
    auto it = byKey_.find(std::string(key));
    return it == byKey_.end() ? -1 : it->second;
}

void ArchiveTree::expandRoot() {
    for (auto& node : nodes_) {
        if (node.key == kRootKey) node.expanded = true;
    }
}

uint16_t countBackslashes(std::string_view text) {
    uint16_t count = 0;
    for (char c : text) {
        if (c == '\\') ++count;
    }
    return count;
}

std::string findDirKey(const ArchiveTree& tree, std::string_view path) {
    std::string wanted(ArchiveTree::kDirPrefix);
    wanted.append(path);
    return tree.find(wanted) >= 0 ? wanted : std::string();
}

std::string parentDirKey(const ArchiveTree& tree, std::string_view path) {
    const auto last = path.rfind('\\');
    if (last == std::string_view::npos) return {};
    return findDirKey(tree, path.substr(0, last));
}

DirectoryOwners::DirectoryOwners(const ArchiveIndex& index) : index_(index) {
    // Record position 0 is never examined; later records overwrite earlier ones.
    const int32_t last = std::min<int32_t>(index.dirCount(),
                                           static_cast<int32_t>(index.dirRecords.size()) - 1);
    for (int32_t i = 1; i <= last; ++i) {
        ownerOf_[int32_t{index.dirRecords[static_cast<size_t>(i)].start} + 1] = i;
    }
}

std::string DirectoryOwners::ownerDirName(int32_t m) const {
    auto it = ownerOf_.find(m);
    if (it == ownerOf_.end()) return {};
    const auto entry = static_cast<size_t>(it->second - 1);
    return entry < index_.entries.size() ? index_.entries[entry].name : std::string();
}

NodeRef decodeNodeKey(std::string_view key) {
    NodeRef ref;
    if (key == ArchiveTree::kRootKey) return ref;
    if (key.substr(0, 3) == ArchiveTree::kDirPrefix) {
        ref.kind = NodeRef::Kind::Directory;
        ref.path = std::string(key.substr(3));
        return ref;
    }
    ref.kind = NodeRef::Kind::File;
    const auto bar = key.rfind('|');
    ref.path = std::string(bar == std::string_view::npos ? key : key.substr(0, bar));
    const std::string_view digits = bar == std::string_view::npos ? key : key.substr(bar + 1);
    int64_t number = 0;
    auto [ptr, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
    if (ec == std::errc() && ptr == digits.data() + digits.size()) ref.entryNumber = number;
    return ref;
}

TreeBuilder::TreeBuilder(ArchiveTree& tree, ArchiveIndex& index, int root)
    : tree_(tree), index_(index), root_(root), owners_(index) {}

void TreeBuilder::addEntry(int32_t m) {
    if (m > index_.dirCount()) {
        addFile(m);
    } else {
        addDirectory(m);
    }
}

void TreeBuilder::addDirectory(int32_t m) {
    const std::string& name = index_.entries[static_cast<size_t>(m - 1)].name;
    std::string key = std::string(ArchiveTree::kDirPrefix) + name;
    const std::string parentKey = parentDirKey(tree_, name);
    if (!parentKey.empty()) {
        tree_.add(tree_.find(parentKey), std::move(key), name.substr(name.rfind('\\') + 1));
    } else {
        tree_.add(root_, std::move(key), name);
    }
}

void TreeBuilder::addFile(int32_t m) {
    FileEntry& entry = index_.entries[static_cast<size_t>(m - 1)];
    std::string owner = owners_.ownerDirName(m);
    if (!owner.empty() && owner != currentDir_) currentDir_ = std::move(owner);
    entry.dirName = currentDir_;
    const std::string number = "|" + std::to_string(m);
    if (!entry.dirName.empty()) {
        const int parent = tree_.find(std::string(ArchiveTree::kDirPrefix) + entry.dirName);
        tree_.add(parent >= 0 ? parent : root_, entry.dirName + "\\" + entry.name + number, entry.name);
    } else {
        tree_.add(root_, entry.name + number, entry.name);
    }
}

} // namespace sga
