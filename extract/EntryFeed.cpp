#include "extract/EntryFeed.h"

#include "core/TerminalText.h"
#include "extract/EntryReader.h"

namespace sga {
namespace {

Status entryError(const ArchiveModel& model, const ArchiveFile& file, int result) {
    const ErrorCode code = result == kEntryTruncated || result == kEntryOutside ? ErrorCode::Truncated
                           : result == kEntryNoMemory || result == kEntryTooLarge ? ErrorCode::NoMemory
                           : result == kEntryEncrypted || result == kEntryUnknownStorage ? ErrorCode::Unsupported
                                                                                          : ErrorCode::BadData;
    return Status::error(code, printable(modelTextToUtf8(model, file.path())) + ": " +
                                   describeEntryFailure(file, result));
}

} // namespace

Status EntryFeed::open(const std::filesystem::path& archive) {
    path_ = archive;
    if (!archive_.open(archive))
        return Status::error(ErrorCode::CannotOpen, "cannot open " + printable(archive.string()) + ": " + archive_.error());
    return {};
}

Status EntryFeed::feed(const ArchiveModel& model, const ArchiveFile& file, LogSink& log, const ChunkSink& consumer) {
    if (!archive_.isOpen()) return Status::error(ErrorCode::CannotOpen, "the archive is not open");
    EntryReader reader(archive_, log);
    bool stopped = false;
    const Status read = reader.stream(file, [&](const uint8_t* data, size_t size) {
        stopped = !consumer(data, size);
        return !stopped;
    });
    if (stopped || read) return {};
    return entryError(model, file, reader.result());
}

Status EntryFeed::readWhole(const ArchiveModel& model, const ArchiveFile& file, LogSink& log,
                            std::vector<uint8_t>& out) {
    if (!archive_.isOpen()) return Status::error(ErrorCode::CannotOpen, "the archive is not open");
    EntryReader reader(archive_, log);
    if (reader.read(file, out, inMemoryLimit())) return {};
    return entryError(model, file, reader.result());
}

} // namespace sga
