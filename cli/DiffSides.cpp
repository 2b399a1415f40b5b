#include "cli/DiffSides.h"

#include "archive/PathPattern.h"
#include "cli/Scripting.h"
#include "core/ActivityLog.h"
#include "core/ReportSink.h"
#include "core/TerminalText.h"
#include "extract/EntryFeed.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace sga::cli {
namespace {

namespace fs = std::filesystem;

constexpr size_t kChunk = size_t{4} << 20;

class ArchiveReader final : public DiffSide::Reader {
public:
    explicit ArchiveReader(const OpenedArchive& archive) : archive_(archive) {}
    Status open() { return feed_.open(archive_.path); }
    Status feed(const SideEntry& entry, const ChunkSink& consumer) override {
        return feed_.feed(archive_.model, archive_.model.files[entry.index], log_, consumer);
    }

private:
    const OpenedArchive& archive_;
    EntryFeed feed_;
    NullLog log_;
};

class FolderReader final : public DiffSide::Reader {
public:
    FolderReader(fs::path folder, const std::vector<fs::path>& files) : folder_(std::move(folder)), files_(files) {}
    Status feed(const SideEntry& entry, const ChunkSink& consumer) override {
        const fs::path path = folder_ / files_[entry.index];
        std::FILE* file = std::fopen(path.c_str(), "rb");
        if (!file)
            return Status::error(ErrorCode::CannotOpen, "cannot open " + printable(path.string()) + ": " + std::strerror(errno));
        // Held whole up to the in-memory limit, as archive entries are.
        const bool whole = entry.size <= inMemoryLimit();
        std::vector<uint8_t> buffer(whole ? static_cast<size_t>(entry.size) + 1 : kChunk);
        Status status;
        size_t held = 0;
        while (true) {
            const size_t got = std::fread(buffer.data() + held, 1, buffer.size() - held, file);
            held += got;
            if (std::ferror(file)) {
                status = Status::error(ErrorCode::CannotOpen, "cannot read " + printable(path.string()));
                break;
            }
            if (whole) {
                if (held == buffer.size()) {
                    status = Status::error(ErrorCode::Failed, printable(path.string()) + ": changed while being read");
                    break;
                }
                if (std::feof(file)) {
                    consumer(buffer.data(), held);
                    break;
                }
                continue;
            }
            if (held > 0 && !consumer(buffer.data(), held)) break;
            held = 0;
            if (std::feof(file)) break;
        }
        std::fclose(file);
        return status;
    }

private:
    fs::path folder_;
    const std::vector<fs::path>& files_;
};

std::string archivePathOf(const fs::path& relative) {
    std::string path = relative.generic_string();
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

} // namespace

Status DiffSide::Reader::readWhole(const SideEntry& entry, std::vector<uint8_t>& out) {
    out.clear();
    if (entry.size > inMemoryLimit())
        return Status::error(ErrorCode::NoMemory, printable(entry.path) + ": too large to hold whole");
    out.reserve(static_cast<size_t>(entry.size));
    return feed(entry, [&](const uint8_t* data, size_t size) {
        out.insert(out.end(), data, data + size);
        return true;
    });
}

Expected<std::unique_ptr<DiffSide>> DiffSide::open(const std::string& path) {
    auto side = std::unique_ptr<DiffSide>(new DiffSide);
    side->label_ = path;
    std::error_code ec;
    if (fs::is_directory(path, ec)) {
        side->folder_ = path;
        fs::recursive_directory_iterator it(path, fs::directory_options::skip_permission_denied, ec), end;
        if (ec) return Status::error(ErrorCode::CannotOpen, "cannot read " + printable(path) + ": " + ec.message());
        for (; it != end; it.increment(ec)) {
            if (ec) return Status::error(ErrorCode::CannotOpen, "cannot read " + printable(path) + ": " + ec.message());
            // Regular files only: links are not followed, so no walk leaves the folder or loops.
            const fs::file_status status = it->symlink_status(ec);
            if (ec || !fs::is_regular_file(status)) continue;
            const uintmax_t size = it->file_size(ec);
            if (ec) continue;
            SideEntry entry;
            entry.path = archivePathOf(fs::relative(it->path(), path, ec));
            if (ec) continue;
            entry.key = foldPathText(entry.path, true);
            entry.size = static_cast<int64_t>(size);
            entry.index = side->files_.size();
            side->files_.push_back(fs::relative(it->path(), path, ec));
            side->entries_.push_back(std::move(entry));
        }
        return side;
    }
    OpenedArchive archive;
    NullLog log;
    ReportSink quiet;
    const Status status = openAnyArchive(path, archive, log, quiet);
    if (!status) return status;
    const ArchiveModel& model = archive.model;
    side->entries_.reserve(model.files.size());
    for (size_t i = 0; i < model.files.size(); ++i) {
        const ArchiveFile& f = model.files[i];
        SideEntry entry;
        entry.path = modelTextToUtf8(model, f.path());
        entry.key = foldPathText(entry.path, true);
        entry.size = f.size;
        entry.crc = knownCrcOfBytes(model, f);
        entry.index = i;
        side->entries_.push_back(std::move(entry));
    }
    side->archive_ = std::move(archive);
    return side;
}

void DiffSide::keep(const std::vector<size_t>& indexes) {
    std::vector<SideEntry> kept;
    kept.reserve(indexes.size());
    for (size_t i : indexes) kept.push_back(std::move(entries_[i]));
    entries_ = std::move(kept);
}

Expected<std::unique_ptr<DiffSide::Reader>> DiffSide::reader() const {
    if (!archive_) return std::unique_ptr<Reader>(new FolderReader(folder_, files_));
    auto reader = std::make_unique<ArchiveReader>(*archive_);
    if (Status s = reader->open(); !s) return s;
    return std::unique_ptr<Reader>(std::move(reader));
}

} // namespace sga::cli
