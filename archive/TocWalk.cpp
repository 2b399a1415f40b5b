// The drive, folder, file and name tables into the model: every table is
// shown to fit in the file before anything is sized for it, and the tree is
// walked from each drive's root folder through the folders' own ranges (the
// drives' ranges are not trusted: community tools write wrong ones).

#include "archive/TocTables.h"

#include "core/ActivityLog.h"

#include <algorithm>
#include <array>
#include <limits>

namespace sga {
namespace {

struct DriveRecord {
    std::string alias, name;
    uint32_t firstFolder, lastFolder, firstFile, lastFile, rootFolder;
    int64_t at;
};

struct FolderRecord {
    uint32_t nameOffset, firstSub, lastSub, firstFile, lastFile;
    int64_t at;
};

// Where a table lies; fails unless count records of size bytes fit in the file.
int64_t tablePosition(FieldCursor& in, const TocHeader& toc, const TocTable& table, int recordSize,
                      std::string_view what) {
    const int64_t at = toc.start + table.offset;
    const int64_t need = int64_t{table.count} * recordSize;
    if (!in.holds(at, need)) {
        failWith(ErrorCode::Truncated, "truncated archive: " + std::string(what) + " of " +
                                           num(table.count) + " records at offset " + num(at) +
                                           " needs " + num(need) + " bytes, the file ends at " +
                                           num(in.size()));
    }
    return at;
}

std::string fixedText(const uint8_t* p, size_t width) {
    return trimAtNul(std::string_view(reinterpret_cast<const char*>(p), width));
}

class NameTable {
public:
    NameTable(FieldCursor& in, const TocHeader& toc, bool countIsBytes) {
        at_ = toc.start + toc.names.offset;
        if (countIsBytes) {
            bytes_ = in.bytes(at_, toc.names.count, "name table of " + num(toc.names.count) + " bytes");
            return;
        }
        // A count of strings: each takes at least one byte, then read up to the last NUL.
        if (!in.holds(at_, toc.names.count)) {
            failWith(ErrorCode::Truncated, "truncated archive: name table at offset " + num(at_) +
                                               " cannot hold " + num(toc.names.count) +
                                               " names, the file ends at " + num(in.size()));
        }
        uint32_t found = 0;
        while (found < toc.names.count) {
            const int64_t pos = at_ + static_cast<int64_t>(bytes_.size());
            const int64_t chunk = std::min<int64_t>(64 * 1024, in.size() - pos);
            if (chunk <= 0) {
                failWith(ErrorCode::Truncated, "truncated archive: name table at offset " + num(at_) +
                                                   " ends at the end of the file after " + num(found) +
                                                   " of " + num(toc.names.count) + " names");
            }
            const auto more = in.bytes(pos, static_cast<size_t>(chunk), "name table");
            for (size_t i = 0; i < more.size() && found < toc.names.count; ++i) {
                bytes_.push_back(more[i]);
                if (more[i] == 0) ++found;
            }
        }
    }

    std::string nameAt(uint32_t offset, const std::string& owner) const {
        if (offset >= bytes_.size()) {
            failWith(ErrorCode::BadField, owner + ": name offset " + num(offset) +
                                              " lies outside the name table of " +
                                              num(static_cast<int64_t>(bytes_.size())) +
                                              " bytes at offset " + num(at_));
        }
        size_t end = offset;
        while (end < bytes_.size() && bytes_[end] != 0) ++end;
        if (end == bytes_.size()) {
            failWith(ErrorCode::BadField, owner + ": the name at offset " + num(at_ + offset) +
                                              " runs to the end of the name table");
        }
        return std::string(reinterpret_cast<const char*>(bytes_.data() + offset), end - offset);
    }

private:
    int64_t at_ = 0;
    std::vector<uint8_t> bytes_;
};

// N range words from p: 32-bit where the layout has wide counts, else 16-bit.
template <size_t N>
std::array<uint32_t, N> rangeWords(const uint8_t* p, bool wide) {
    std::array<uint32_t, N> v{};
    for (size_t k = 0; k < N; ++k) v[k] = wide ? le32(p + 4 * k) : le16(p + 2 * k);
    return v;
}

std::vector<DriveRecord> readDrives(FieldCursor& in, const TocHeader& toc, const TocShape& shape) {
    const int size = shape.driveSize();
    const int64_t at = tablePosition(in, toc, toc.drives, size, "drive table");
    std::vector<DriveRecord> drives(toc.drives.count);
    for (uint32_t i = 0; i < toc.drives.count; ++i) {
        DriveRecord& d = drives[i];
        d.at = at + int64_t{i} * size;
        const auto b = in.bytes(d.at, static_cast<size_t>(size), "drive record " + num(i));
        d.alias = fixedText(b.data(), 64);
        d.name = fixedText(b.data() + 64, 64);
        const auto v = rangeWords<5>(b.data() + 128, shape.wideCounts);
        d.firstFolder = v[0], d.lastFolder = v[1], d.firstFile = v[2], d.lastFile = v[3];
        d.rootFolder = v[4];
    }
    return drives;
}

std::vector<FolderRecord> readFolders(FieldCursor& in, const TocHeader& toc, const TocShape& shape) {
    const int size = shape.folderSize();
    const int64_t at = tablePosition(in, toc, toc.folders, size, "folder table");
    std::vector<FolderRecord> folders(toc.folders.count);
    for (uint32_t i = 0; i < toc.folders.count; ++i) {
        FolderRecord& f = folders[i];
        f.at = at + int64_t{i} * size;
        const auto b = in.bytes(f.at, static_cast<size_t>(size), "folder record " + num(i));
        f.nameOffset = le32(b.data());
        const auto v = rangeWords<4>(b.data() + 4, shape.wideCounts);
        f.firstSub = v[0], f.lastSub = v[1], f.firstFile = v[2], f.lastFile = v[3];
    }
    return folders;
}

void checkRange(uint32_t first, uint32_t last, uint32_t count, const std::string& owner,
                std::string_view what) {
    if (first > last || last > count) {
        failWith(ErrorCode::BadField, owner + ": " + std::string(what) + " " + num(first) + " to " +
                                          num(last) + " do not lie within the " + num(count) +
                                          " records");
    }
}

// Walks the folders from each drive's root into model.folders. fileOwner[i] is
// the model folder of file record i (-1 top level), or -2 when no folder claims
// it. A folder is marked when it is queued, so none is queued twice and the
// walk stays within the folder table however the ranges loop.
class TreeWalk {
public:
    TreeWalk(const std::vector<DriveRecord>& drives, const std::vector<FolderRecord>& folders,
             const NameTable& names, uint32_t fileCount, ArchiveModel& model, LogSink& log)
        : fileOwner(fileCount, -2), drives_(drives), folders_(folders), names_(names),
          model_(model), log_(log), queued_(folders.size(), false) {}

    void run() {
        for (size_t d = 0; d < drives_.size(); ++d) walkDrive(static_cast<int32_t>(d));
    }

    std::vector<int32_t> fileOwner;

private:
    std::string folderPath(const DriveRecord& drive, const FolderRecord& f, size_t r, bool isRoot) {
        std::string name = names_.nameAt(f.nameOffset, "folder record " + num(static_cast<int64_t>(r)) +
                                                           " at offset " + num(f.at));
        // Some packers write "/" inside folder names; paths here use "\\" only.
        std::replace(name.begin(), name.end(), '/', '\\');
        if (!name.empty() && name.front() == '\\') name.erase(0, 1);
        if (drives_.size() == 1) return name;
        if (isRoot) return drive.alias;
        return drive.alias + "\\" + name;
    }

    void walkDrive(int32_t driveIndex) {
        const DriveRecord& drive = drives_[static_cast<size_t>(driveIndex)];
        log_.line("Drive " + num(driveIndex) + ": " + drive.alias + " (" + drive.name +
                  "), root folder " + num(drive.rootFolder) + ", folders " + num(drive.firstFolder) +
                  " to " + num(drive.lastFolder) + ", files " + num(drive.firstFile) + " to " +
                  num(drive.lastFile));
        if (drive.rootFolder >= folders_.size()) {
            failWith(ErrorCode::BadField, "drive record " + num(driveIndex) + " at offset " +
                                              num(drive.at) + ": root folder " +
                                              num(drive.rootFolder) + " is not one of the " +
                                              num(static_cast<int64_t>(folders_.size())) + " folders");
        }
        ArchiveDrive& out = model_.drives.emplace_back();
        out.alias = drive.alias;
        out.name = drive.name;
        struct Pending { uint32_t record; int32_t parent; };
        std::vector<Pending> stack;
        queue(stack, drive.rootFolder, -1, "drive record " + num(driveIndex) + " at offset " + num(drive.at));
        while (!stack.empty()) {
            const Pending p = stack.back();
            stack.pop_back();
            const FolderRecord& f = folders_[p.record];
            const std::string owner = "folder record " + num(p.record) + " at offset " + num(f.at);
            checkRange(f.firstSub, f.lastSub, static_cast<uint32_t>(folders_.size()), owner, "subfolders");
            checkRange(f.firstFile, f.lastFile, static_cast<uint32_t>(fileOwner.size()), owner, "files");
            const bool isRoot = p.record == drive.rootFolder;
            const std::string path = folderPath(drive, f, p.record, isRoot);
            int32_t index = -1;
            if (!isRoot || drives_.size() > 1) {
                index = static_cast<int32_t>(model_.folders.size());
                model_.folders.push_back({path, p.parent, driveIndex});
                if (isRoot) model_.drives.back().rootFolder = index;
            }
            log_.line("Folder " + num(p.record) + ": \"" + path + "\", subfolders " + num(f.firstSub) +
                      " to " + num(f.lastSub) + ", files " + num(f.firstFile) + " to " + num(f.lastFile));
            for (uint32_t k = f.firstFile; k < f.lastFile; ++k) {
                if (fileOwner[k] != -2) {
                    failWith(ErrorCode::BadField, owner + ": file record " + num(k) +
                                                      " belongs to another folder already");
                }
                fileOwner[k] = index;
            }
            // Children in reverse so that they come off the stack in table order.
            for (uint32_t c = f.lastSub; c > f.firstSub; --c) queue(stack, c - 1, index, owner);
        }
    }

    template <class Stack>
    void queue(Stack& stack, uint32_t record, int32_t parent, const std::string& from) {
        if (queued_[record]) {
            failWith(ErrorCode::BadField, from + ": folder record " + num(record) +
                                              " is reached twice: folder ranges overlap or loop");
        }
        queued_[record] = true;
        stack.push_back({record, parent});
    }

    const std::vector<DriveRecord>& drives_;
    const std::vector<FolderRecord>& folders_;
    const NameTable& names_;
    ArchiveModel& model_;
    LogSink& log_;
    std::vector<bool> queued_;
};

} // namespace

void readTocTables(FieldCursor& in, const TocHeader& toc, const TocShape& shape,
                   const RecordParser& parse, ArchiveModel& model, LogSink& log) {
    log.line("Tables: " + num(toc.drives.count) + " drives at " + num(toc.drives.offset) + ", " +
             num(toc.folders.count) + " folders at " + num(toc.folders.offset) + ", " +
             num(toc.files.count) + " files at " + num(toc.files.offset) + ", names at " +
             num(toc.names.offset) + " (" + num(toc.names.count) +
             (shape.nameCountIsBytes ? " bytes)" : " names)"));
    if (toc.folders.count > static_cast<uint32_t>(std::numeric_limits<int32_t>::max())) {
        failWith(ErrorCode::BadField, "ToC header at offset " + num(toc.start) + ": " +
                                          num(toc.folders.count) + " folders are more than a model holds");
    }
    const auto drives = readDrives(in, toc, shape);
    const auto folders = readFolders(in, toc, shape);
    const int64_t filesAt = tablePosition(in, toc, toc.files, shape.fileRecordSize, "file table");
    const NameTable names(in, toc, shape.nameCountIsBytes);

    TreeWalk walk(drives, folders, names, toc.files.count, model, log);
    walk.run();

    model.files.reserve(toc.files.count);
    for (uint32_t i = 0; i < toc.files.count; ++i) {
        const int64_t at = filesAt + int64_t{i} * shape.fileRecordSize;
        const std::string owner = "file record " + num(i) + " at offset " + num(at);
        const auto b = in.bytes(at, static_cast<size_t>(shape.fileRecordSize), owner);
        const FileRecord r = parse(b.data());
        ArchiveFile& f = model.files.emplace_back();
        f.name = names.nameAt(r.nameOffset, owner);
        const int32_t folder = walk.fileOwner[i];
        if (folder == -2) log.line(owner + ": no folder claims it; listed at the top level");
        f.folderIndex = folder >= 0 ? folder : -1;
        f.folder = folder >= 0 ? model.folders[static_cast<size_t>(folder)].path : std::string();
        if (r.dataOffset > static_cast<uint64_t>(std::numeric_limits<int64_t>::max() - model.dataOffset)) {
            failWith(ErrorCode::BadField, owner + ": data offset " + std::to_string(r.dataOffset) +
                                              " is beyond any file");
        }
        f.dataPos = model.dataOffset + static_cast<int64_t>(r.dataOffset);
        f.storedSize = r.storedSize;
        f.size = r.size;
        f.storage = r.storage;
        f.storageValue = r.storageValue;
        f.hasMtime = r.hasMtime;
        f.mtime = r.mtime;
        f.crcKind = r.crcKind;
        f.crc = r.crc;
        f.blockHash = r.blockHash;
        if (r.blockHash != BlockHash::None)
            f.hashPos = toc.start + int64_t{toc.hashOffset} + int64_t{r.hashOffset};
    }
}

} // namespace sga
