#pragma once
// The archive tree: one root node for the archive file, one node per named
// directory and one per file, in the order the loader adds them. A node's key
// links it to the index:
//   "root"                       the root
//   "d.." + directory path        a directory
//   path + "|" + entry number     a file (path is "dir\name" or "name")

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace sga {

struct ArchiveIndex;

struct TreeNode {
    std::string key;
    std::string text;
    int parent = -1;             // node index, -1 for the root
    bool expanded = false;
    std::vector<int> children;   // in insertion order
};

class ArchiveTree {
public:
    static constexpr std::string_view kRootKey = "root";
    static constexpr std::string_view kDirPrefix = "d..";

    void clear();
    // Adds a node under parent (-1: top level). A key that is already in the
    // tree is refused: the result is the existing node's index.
    int add(int parent, std::string key, std::string text);
    // Index of the node with that key, or -1.
    int find(std::string_view key) const;
    void expandRoot();

    const std::vector<TreeNode>& nodes() const { return nodes_; }
    size_t size() const { return nodes_.size(); }
    const TreeNode& operator[](size_t i) const { return nodes_[i]; }

    // Keys and texts are UTF-8 (archives from version 6 on), not Windows-1252.
    bool utf8Text = false;

private:
    std::vector<TreeNode> nodes_;
    std::unordered_map<std::string, int> byKey_;
};

uint16_t countBackslashes(std::string_view text);
// Key of the directory's node ("d.." + path), or empty when there is none.
std::string findDirKey(const ArchiveTree& tree, std::string_view path);
// Key of the node of the directory before the last "\" of path, or empty.
std::string parentDirKey(const ArchiveTree& tree, std::string_view path);

// Which directory's first file is entry m: for every entry number, the last
// named directory (in table order) whose in-memory start + 1 equals it.
class DirectoryOwners {
public:
    explicit DirectoryOwners(const ArchiveIndex& index);
    // Name of the owning directory, or empty.
    std::string ownerDirName(int32_t m) const;

private:
    const ArchiveIndex& index_;
    std::unordered_map<int32_t, int32_t> ownerOf_;   // entry number -> record position
};

// What a node key names.
struct NodeRef {
    enum class Kind { Root, Directory, File } kind = Kind::Root;
    std::string path;            // directory path, or the file's path in the archive
    int64_t entryNumber = 0;     // files: the number after the last "|" (0 if unreadable)
};
NodeRef decodeNodeKey(std::string_view key);

// Adds the directory and file nodes of a loaded index, exactly as the loader
// does while it reads the names. Used by the loader itself.
class TreeBuilder {
public:
    TreeBuilder(ArchiveTree& tree, ArchiveIndex& index, int root);
    void addEntry(int32_t m);    // m counts from 1

private:
    void addDirectory(int32_t m);
    void addFile(int32_t m);

    ArchiveTree& tree_;
    ArchiveIndex& index_;
    int root_;
    DirectoryOwners owners_;
    std::string currentDir_;
};

} // namespace sga
