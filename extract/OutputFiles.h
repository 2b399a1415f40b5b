#pragma once
// Writing extracted files and folders without ever leaving the target.
// The folder the user names is opened once (a link there is followed: it is
// theirs); everything below it is reached one part at a time with openat and
// O_NOFOLLOW, so a link planted below it is refused, never followed, and no
// check can be raced by a later write. Each file is written under a
// temporary name in its own folder and renamed into place once complete: a
// failed or interrupted write never leaves a partial file under the entry's
// name nor harms an earlier one.

#include "core/Status.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

namespace sga {

// A folder held open by its descriptor.
class Folder {
public:
    Folder() = default;
    explicit Folder(int fd) : fd_(fd) {}
    ~Folder();
    Folder(Folder&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    Folder& operator=(Folder&& other) noexcept;
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;

    int fd() const { return fd_; }
    bool isOpen() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

// The folder the user names: a link there is followed. With create, it and
// its missing parents are made first.
Expected<Folder> openUserFolder(const std::filesystem::path& folder, bool create);

// The folder relative (parts separated by "/") below base, each part opened
// without following a link and, with create, made when missing. *madeLast
// (when given) tells whether the last part was made now. A link is refused
// with a message that names it (its path below base), a file in the way too.
// An empty relative opens base again.
Expected<Folder> openFolderBelow(const Folder& base, const std::filesystem::path& relative, bool create,
                                 bool* madeLast = nullptr);

// What is at name in folder, without following a link.
enum class NodeKind { Missing, File, Folder, Link, Other };
NodeKind nodeKindIn(const Folder& folder, const std::string& name);

// True when folder's file system takes names that differ only in letter
// case for one name (probed with a temporary file).
bool foldsLetterCase(const Folder& folder);

// One output file written in pieces: open, write..., commit. Destroyed
// without a commit (or after a failure) it leaves nothing behind.
class OutputFile {
public:
    OutputFile() = default;
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Starts name (one part) in folder: a temporary beside it until commit.
    Status open(const Folder& folder, const std::string& name);
    // The same for a path whose folder the caller names (a link there is followed).
    Status open(const std::filesystem::path& target);
    Status write(const uint8_t* data, size_t size);
    // Renames the temporary to the name; a link or folder at the name is
    // refused (the link is named).
    Status commit();
    // Closes and removes what was written (nothing when committed).
    void abandon();
    // The system's error number of the last failure (ENOSPC: disk full), 0 when none.
    int lastError() const { return lastError_; }

private:
    Status fail(int error, const std::string& what = {});

    int fd_ = -1;
    Folder folder_;
    std::string name_;
    std::string temporary_;
    int lastError_ = 0;
};

// Writes the whole file name in folder at once (a temporary renamed into place).
Status writeWholeFileIn(const Folder& folder, const std::string& name, const uint8_t* data, size_t size);
// The same for a path whose folder the caller names (a link there is followed).
Status writeWholeFile(const std::filesystem::path& target, const uint8_t* data, size_t size);
// Creates the folder and every missing parent.
Status createFolders(const std::filesystem::path& folder);
// True when something (file, folder, link, ...) exists at path.
bool pathExists(const std::filesystem::path& path);

// Disk paths (UTF-8) as the 8-bit activity log shows them.
std::string logText(const std::string& utf8Path);
// An archive path with "/" in place of "\" (the separator on disk).
std::string withSlashes(std::string text);

} // namespace sga
