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

std::string quotedPath(std::string_view shown) { return "\"" + std::string(shown) + "\""; }

[[noreturn]] void refuse(std::string_view shown, std::string_view why) {
    throw PackError(quotedPath(shown) + ": " + std::string(why));
}

bool isControl(unsigned char c) {
    // The five bytes Windows-1252 leaves unassigned stand for C1 controls.
    return c < 0x20 || c == 0x7F || c == 0x81 || c == 0x8D || c == 0x8F || c == 0x90 || c == 0x9D;
}

void put16(std::vector<uint8_t>& b, uint32_t v) {
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}
void put32(std::vector<uint8_t>& b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void putField(std::vector<uint8_t>& b, const std::string& text, size_t width) {
    for (size_t i = 0; i < width; ++i)
        b.push_back(i < text.size() ? static_cast<uint8_t>(text[i]) : uint8_t{0});
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
            const std::string name = storedName(diskName, options_.keepCase, shown(rel));
            seen.emplace_back(lowerCp1252(name), rel);
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
    explicit Numbering(TocPlan& plan) : plan_(plan) {}

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
        if (names > kMaxNames)
            throw PackError("too many names: " + std::to_string(plan_.folders.size()) +
                            " folders and " + std::to_string(plan_.files.size()) +
                            " files, the archive holds at most " + std::to_string(kMaxNames) +
                            " in all");
    }

private:
    uint32_t count() const { return static_cast<uint32_t>(plan_.folders.size()); }

    static std::string shownOf(const std::string& alias, const std::string& dir,
                               const std::string& name) {
        return alias + ":" + (dir.empty() ? name : dir + "\\" + name);
    }

    void checkRoom(size_t wanted, const char* what, const std::string& alias, const std::string& dir,
                   const std::string& name) const {
        if (wanted > kMaxNames)
            throw PackError("too many " + std::string(what) + ": " + quotedPath(cp1252ToUtf8(
                                                                        shownOf(alias, dir, name))) +
                            " would be number " + std::to_string(wanted) + ", the archive holds at most " +
                            std::to_string(kMaxNames));
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

std::string storedName(std::string_view diskName, bool keepCase, std::string_view shown) {
    const std::string text = utf8ToCp1252(diskName);
    if (cp1252ToUtf8(text) != diskName)
        refuse(shown, "the name cannot be written in Windows-1252");
    for (char c : text) {
        if (isControl(static_cast<unsigned char>(c)))
            refuse(shown, "the name holds a control character");
        if (c == '\\') refuse(shown, "the name holds a backslash, the archive's separator");
        if (c == ':') refuse(shown, "the name holds a colon, which ends a drive alias in archive paths");
    }
    if (text.size() >= kBlockNameSize)
        refuse(shown, "the name is " + std::to_string(text.size()) + " bytes long, at most " +
                          std::to_string(kBlockNameSize - 1) + " fit");
    return keepCase ? text : lowerCp1252(text);
}

SourceFolder scanFolder(const fs::path& folder, const ScanOptions& options,
                        std::vector<std::string>& warnings) {
    std::error_code ec;
    const std::string shownRoot = folder.string();
    if (!fs::is_directory(folder, ec))
        throw PackError(quotedPath(shownRoot) + ": not a folder" +
                        (ec && ec != std::errc::no_such_file_or_directory ? " (" + ec.message() + ")"
                                                                           : std::string()));
    SourceFolder root;
    root.path = fs::canonical(folder, ec);
    if (ec) throw PackError(quotedPath(shownRoot) + ": " + ec.message());
    Scanner scanner(options, warnings, shownRoot);
    scanner.scan(root, "");
    return root;
}

TocPlan layOut(const std::vector<PlanDrive>& drives) {
    TocPlan plan;
    Numbering numbering(plan);
    for (const PlanDrive& d : drives) numbering.drive(d);
    numbering.finish();
    return plan;
}

std::vector<uint8_t> tocBytes(const TocPlan& plan, RecordLayout layout,
                              const std::vector<StoredEntry>& entries) {
    constexpr uint32_t kTocHeader = 24, kDrive = 138, kFolder = 12;
    const uint32_t record = layout == RecordLayout::Narrow ? 17 : 20;
    const uint32_t drives = kTocHeader;
    const uint32_t folders = drives + kDrive * static_cast<uint32_t>(plan.drives.size());
    const uint32_t files = folders + kFolder * static_cast<uint32_t>(plan.folders.size());
    const uint32_t names = files + record * static_cast<uint32_t>(plan.files.size());

    std::vector<uint8_t> nameBytes;
    std::vector<uint32_t> folderName, fileName;
    for (const TocFolder& f : plan.folders) {
        folderName.push_back(static_cast<uint32_t>(nameBytes.size()));
        nameBytes.insert(nameBytes.end(), f.path.begin(), f.path.end());
        nameBytes.push_back(0);
    }
    for (const TocFile& f : plan.files) {
        fileName.push_back(static_cast<uint32_t>(nameBytes.size()));
        nameBytes.insert(nameBytes.end(), f.name.begin(), f.name.end());
        nameBytes.push_back(0);
    }

    std::vector<uint8_t> b;
    b.reserve(names + nameBytes.size());
    put32(b, drives);
    put16(b, static_cast<uint32_t>(plan.drives.size()));
    put32(b, folders);
    put16(b, static_cast<uint32_t>(plan.folders.size()));
    put32(b, files);
    put16(b, static_cast<uint32_t>(plan.files.size()));
    put32(b, names);
    put16(b, static_cast<uint32_t>(plan.folders.size() + plan.files.size()));
    for (const TocDrive& d : plan.drives) {
        putField(b, d.alias, 64);
        putField(b, d.alias, 64);
        for (uint32_t v : {d.firstFolder, d.lastFolder, d.firstFile, d.lastFile, d.root}) put16(b, v);
    }
    for (size_t i = 0; i < plan.folders.size(); ++i) {
        const TocFolder& f = plan.folders[i];
        put32(b, folderName[i]);
        for (uint32_t v : {f.firstFolder, f.lastFolder, f.firstFile, f.lastFile}) put16(b, v);
    }
    for (size_t i = 0; i < plan.files.size(); ++i) {
        const StoredEntry e = i < entries.size() ? entries[i] : StoredEntry{};
        put32(b, fileName[i]);
        if (layout == RecordLayout::Narrow)
            b.push_back(static_cast<uint8_t>(e.flag));
        else
            put32(b, e.flag);
        put32(b, e.dataOffset);
        put32(b, e.storedSize);
        put32(b, e.size);
    }
    b.insert(b.end(), nameBytes.begin(), nameBytes.end());
    return b;
}

} // namespace sga::pack
