#include "extract/EntryFeed.h"

#include "core/TerminalText.h"

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
    bool stopped = false;
    if (!streamsEntry(file)) {
        const uint8_t* bytes = nullptr;
        size_t size = 0;
        const int16_t result = readFileBytesInPlace(file, archive_, log, &bytes, &size);
        if (result != kEntryOk) return entryError(model, file, result);
        consumer(bytes, size);
        return {};
    }
    const int16_t result = streamFileBytes(file, archive_, log, nullptr, [&](const uint8_t* data, size_t size) {
        stopped = !consumer(data, size);
        return !stopped;
    });
    if (stopped) return {};
    if (result != kEntryOk) return entryError(model, file, result);
    return {};
}

Status EntryFeed::readWhole(const ArchiveModel& model, const ArchiveFile& file, LogSink& log,
                            std::vector<uint8_t>& out) {
    out.clear();
    if (streamsEntry(file))
        return Status::error(ErrorCode::NoMemory, printable(modelTextToUtf8(model, file.path())) + ": " +
                                                      describeEntryResult(kEntryTooLarge));
    return feed(model, file, log, [&](const uint8_t* data, size_t size) {
        out.insert(out.end(), data, data + size);
        return true;
    });
}

} // namespace sga
