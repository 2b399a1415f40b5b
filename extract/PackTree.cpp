// Packing, the tree half. Failures inside are raised as TreeFailure and
// become an error at each public function.
#include "extract/PackTree.h"

#include "core/Cp1252.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sga::pack {
namespace {

namespace fs = std::filesystem;

struct TreeFailure {
    std::string message;
};

std::string quotedPath(std::string_view shown) { return "\"" + std::string(shown) + "\""; }

[[noreturn]] void fail(std::string message) { throw TreeFailure{std::move(message)}; }

[[noreturn]] void refuse(std::string_view shown, std::string_view why) {
    fail(quotedPath(shown) + ": " + std::string(why));
}

bool isControl(unsigned char c) {
    // The five bytes Windows-1252 leaves unassigned stand for C1 controls.
    return c < 0x20 || c == 0x7F || c == 0x81 || c == 0x8D || c == 0x8F || c == 0x90 || c == 0x9D;
}

constexpr char32_t kNotUtf8 = 0xFFFFFFFF;

// The code point that begins at text[i], or kNotUtf8.
char32_t utf8At(std::string_view text, size_t i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) return c;
    int extra = 0;
    char32_t cp = 0;
    if ((c & 0xE0) == 0xC0) extra = 1, cp = c & 0x1F;
    else if ((c & 0xF0) == 0xE0) extra = 2, cp = c & 0x0F;
    else if ((c & 0xF8) == 0xF0) extra = 3, cp = c & 0x07;
    else return kNotUtf8;
    if (i + static_cast<size_t>(extra) >= text.size()) return kNotUtf8;
    for (int k = 1; k <= extra; ++k) {
        const auto d = static_cast<unsigned char>(text[i + static_cast<size_t>(k)]);
        if ((d & 0xC0) != 0x80) return kNotUtf8;
        cp = (cp << 6) | (d & 0x3F);
    }
    static constexpr char32_t kLeast[] = {0, 0x80, 0x800, 0x10000};
    if (cp < kLeast[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return kNotUtf8;
    return cp;
}

size_t utf8Length(char32_t cp) { return cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4; }

void appendCodePoint(std::string& out, char32_t cp) {
    if (cp < 0x10000) return appendUtf8(out, cp);
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
}

char32_t lowerCodePoint(char32_t c) {
    if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) return c + 0x20;
    if ((c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177)) return c | 1;
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return (c & 1) ? c + 1 : c;
    if (c == 0x178) return 0xFF;
    if ((c >= 0x391 && c <= 0x3A9 && c != 0x3A2) || (c >= 0x410 && c <= 0x42F)) return c + 0x20;
    if (c >= 0x400 && c <= 0x40F) return c + 0x50;
    return c;
}

class Scanner {
public:
    Scanner(const ScanOptions& options, std::vector<std::string>& warnings, std::string shownRoot)
        : options_(options), warnings_(warnings), shownRoot_(std::move(shownRoot)) {}

    void scan(SourceFolder& folder, const std::string& relative) {
        std::error_code ec;
        fs::directory_iterator it(folder.path, ec);
        if (ec) refuse(shown(relative), "cannot read the folder: " + ec.message());
        // Sibling names once stored, to catch two disk names that become one.
        std::vector<std::pair<std::string, std::string>> seen;
        for (; it != fs::directory_iterator(); it.increment(ec)) {
            const fs::path path = it->path();
            const std::string diskName = path.filename().string();
            const std::string rel = relative.empty() ? diskName : relative + "/" + diskName;
            if (!options_.exclude.empty() && path == options_.exclude) {
                warnings_.push_back("skipped " + quotedPath(shown(rel)) + ": it is the target archive");
                continue;
            }
            struct stat st {};
            if (::lstat(path.c_str(), &st) != 0)
                refuse(shown(rel), std::string("cannot read it: ") + std::strerror(errno));
            if (S_ISLNK(st.st_mode)) {
                warnings_.push_back("skipped " + quotedPath(shown(rel)) +
                                    ": symbolic links are not followed");
                continue;
            }
            if (!S_ISDIR(st.st_mode) && !S_ISREG(st.st_mode)) {
                warnings_.push_back("skipped " + quotedPath(shown(rel)) + ": not a regular file");
                continue;
            }
            Expected<std::string> stored = storedName(diskName, options_, shown(rel));
            if (!stored) fail(stored.message());
            const std::string name = std::move(stored.value());
            seen.emplace_back(options_.utf8 ? lowerUtf8(name) : lowerCp1252(name), rel);
            if (S_ISDIR(st.st_mode)) {
                SourceFolder child;
                child.name = name;
                child.path = path;
                scan(child, rel);
                folder.folders.push_back(std::move(child));
            } else {
                const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
                if (fd < 0) refuse(shown(rel), std::string("cannot read it: ") + std::strerror(errno));
                ::close(fd);
                folder.files.push_back({name, path, static_cast<uint64_t>(st.st_size),
                                        static_cast<int64_t>(st.st_mtime)});
            }
        }
        if (ec) refuse(shown(relative), "cannot read the folder: " + ec.message());
        std::sort(seen.begin(), seen.end());
        for (size_t i = 1; i < seen.size(); ++i) {
            if (seen[i].first == seen[i - 1].first)
                refuse(shown(seen[i].second), "its stored name is the same as that of " +
                                                  quotedPath(shown(seen[i - 1].second)) +
                                                  " (names are stored without case)");
        }
        auto byName = [](const auto& a, const auto& b) { return a.name < b.name; };
        std::sort(folder.folders.begin(), folder.folders.end(), byName);
        std::sort(folder.files.begin(), folder.files.end(), byName);
    }

private:
    std::string shown(const std::string& relative) const {
        return relative.empty() ? shownRoot_ : shownRoot_ + "/" + relative;
    }

    const ScanOptions& options_;
    std::vector<std::string>& warnings_;
    std::string shownRoot_;
};

class Numbering {
public:
    Numbering(TocPlan& plan, const LayoutFacts& layout) : plan_(plan), layout_(layout) {}

    void drive(const PlanDrive& d) {
        TocDrive drive;
        drive.alias = alias_ = d.alias;
        drive.root = drive.firstFolder = count();
        const size_t firstIndex = plan_.folders.size();
        sources_.push_back(d.root);
        plan_.folders.push_back({"", 0, 0, 0, 0});
        folderBlocks(firstIndex, "");
        drive.lastFolder = count();
        // Files folder after folder, in the order of the folder table.
        drive.firstFile = static_cast<uint32_t>(plan_.files.size());
        for (size_t i = firstIndex; i < plan_.folders.size(); ++i) {
            TocFolder& folder = plan_.folders[i];
            folder.firstFile = static_cast<uint32_t>(plan_.files.size());
            for (const SourceFile& f : sources_[i]->files) {
                checkRoom(plan_.files.size() + 1, "files", d.alias, folder.path, f.name);
                const auto mtime = std::clamp<int64_t>(f.mtime, 0, 0xFFFFFFFF);
                plan_.files.push_back({f.name, shownOf(d.alias, folder.path, f.name), f.path, f.size,
                                       static_cast<uint32_t>(mtime)});
            }
            folder.lastFile = static_cast<uint32_t>(plan_.files.size());
        }
        drive.lastFile = static_cast<uint32_t>(plan_.files.size());
        plan_.drives.push_back(std::move(drive));
    }

    void finish() {
        const size_t names = plan_.folders.size() + plan_.files.size();
        if (names > layout_.maxNames)
            fail("too many names: " + std::to_string(plan_.folders.size()) + " folders and " +
                 std::to_string(plan_.files.size()) + " files, a " + layout_.word +
                 " archive holds at most " + std::to_string(layout_.maxNames) + " in all");
    }

private:
    uint32_t count() const { return static_cast<uint32_t>(plan_.folders.size()); }

    static std::string shownOf(const std::string& alias, const std::string& dir,
                               const std::string& name) {
        return alias + ":" + (dir.empty() ? name : dir + "\\" + name);
    }

    void checkRoom(size_t wanted, const char* what, const std::string& alias, const std::string& dir,
                   const std::string& name) const {
        const uint64_t most = std::min(layout_.maxRecords, layout_.maxNames);
        if (wanted > most) {
            const std::string shown = shownOf(alias, dir, name);
            fail("too many " + std::string(what) + ": " + quotedPath(layout_.utf8 ? shown : cp1252ToUtf8(shown)) +
                 " would be number " + std::to_string(wanted) + ", a " + layout_.word + " archive holds at most " +
                 std::to_string(most));
        }
    }

    // Gives the children of folder `index` one block, then numbers each child's.
    // path is a copy: the folders vector grows under it.
    void folderBlocks(size_t index, const std::string path) {
        const SourceFolder* source = sources_[index];
        plan_.folders[index].firstFolder = count();
        for (const SourceFolder& child : source->folders) {
            const std::string childPath = path.empty() ? child.name : path + "\\" + child.name;
            checkRoom(plan_.folders.size() + 1, "folders", alias_, path, child.name);
            sources_.push_back(&child);
            plan_.folders.push_back({childPath, 0, 0, 0, 0});
        }
        plan_.folders[index].lastFolder = count();
        const size_t first = plan_.folders[index].firstFolder;
        const size_t last = plan_.folders[index].lastFolder;
        for (size_t i = first; i < last; ++i) folderBlocks(i, plan_.folders[i].path);
    }

    TocPlan& plan_;
    const LayoutFacts& layout_;
    std::vector<const SourceFolder*> sources_;   // beside plan_.folders
    std::string alias_;
};

} // namespace

std::string lowerCp1252(std::string text) {
    for (char& ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7))
            ch = static_cast<char>(c + 0x20);
        else if (c == 0x8A || c == 0x8C || c == 0x8E)
            ch = static_cast<char>(c + 0x10);
        else if (c == 0x9F)
            ch = static_cast<char>(0xFF);
    }
    return text;
}

std::string lowerUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        const char32_t cp = utf8At(text, i);
        if (cp == kNotUtf8) {
            out.push_back(text[i++]);
            continue;
        }
        i += utf8Length(cp);
        appendCodePoint(out, lowerCodePoint(cp));
    }
    return out;
}

Expected<std::string> storedName(std::string_view diskName, const ScanOptions& options, std::string_view shown) {
    try {
        std::string text;
        if (options.utf8) {
            for (size_t i = 0; i < diskName.size();) {
                const char32_t cp = utf8At(diskName, i);
                if (cp == kNotUtf8) refuse(shown, "the name is not UTF-8");
                if (cp < 0x20 || (cp >= 0x7F && cp < 0xA0)) refuse(shown, "the name holds a control character");
                i += utf8Length(cp);
            }
            text = diskName;
        } else {
            text = utf8ToCp1252(diskName);
            if (cp1252ToUtf8(text) != diskName) refuse(shown, "the name cannot be written in Windows-1252");
            for (char c : text)
                if (isControl(static_cast<unsigned char>(c))) refuse(shown, "the name holds a control character");
        }
        for (char c : text) {
            if (c == '\\') refuse(shown, "the name holds a backslash, the archive's separator");
            if (c == ':') refuse(shown, "the name holds a colon, which ends a drive alias in archive paths");
        }
        if (text.size() > options.maxNameBytes)
            refuse(shown, "the name is " + std::to_string(text.size()) + " bytes long, at most " +
                              std::to_string(options.maxNameBytes) + " fit");
        if (options.keepCase) return text;
        return options.utf8 ? lowerUtf8(text) : lowerCp1252(text);
    } catch (const TreeFailure& f) {
        return Status::error(ErrorCode::BadField, f.message);
    }
}

Expected<SourceFolder> scanFolder(const fs::path& folder, const ScanOptions& options,
                                  std::vector<std::string>& warnings) {
    std::error_code ec;
    const std::string shownRoot = folder.string();
    if (!fs::is_directory(folder, ec))
        return Status::error(ErrorCode::CannotOpen,
                             quotedPath(shownRoot) + ": not a folder" +
                                 (ec && ec != std::errc::no_such_file_or_directory ? " (" + ec.message() + ")"
                                                                                   : std::string()));
    SourceFolder root;
    root.path = fs::canonical(folder, ec);
    if (ec) return Status::error(ErrorCode::CannotOpen, quotedPath(shownRoot) + ": " + ec.message());
    try {
        Scanner scanner(options, warnings, shownRoot);
        scanner.scan(root, "");
    } catch (const TreeFailure& f) {
        return Status::error(ErrorCode::CannotOpen, f.message);
    }
    return root;
}

Expected<TocPlan> layOut(const std::vector<PlanDrive>& drives, const LayoutFacts& layout) {
    TocPlan plan;
    try {
        Numbering numbering(plan, layout);
        for (const PlanDrive& d : drives) numbering.drive(d);
        numbering.finish();
    } catch (const TreeFailure& f) {
        return Status::error(ErrorCode::BadField, f.message);
    }
    return plan;
}

} // namespace sga::pack
