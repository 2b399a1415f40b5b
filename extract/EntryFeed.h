#pragma once
// The one place the scripting commands (diff, grep, cat --text) read an
// entry's decoded bytes: the entry is held whole when it is small and
// streamed in chunks when it is large, and the consumer sees the bytes in
// order either way. Everything above this file reads through it, so a new
// entry reader is plugged in here alone.

#include "archive/ArchiveModel.h"
#include "core/FileReader.h"
#include "core/Status.h"
#include "extract/EntryData.h"

#include <filesystem>
#include <vector>

namespace sga {

class LogSink;

class EntryFeed {
public:
    // Opens the archive for this feed's reads (one feed per thread).
    Status open(const std::filesystem::path& archive);

    // Hands file's decoded bytes to consumer: in one call when the entry is
    // held whole, else chunk by chunk (a few MiB each). A failure may come
    // after some chunks; it names the entry and what is wrong. A consumer
    // that returns false stops the read with an ok status.
    Status feed(const ArchiveModel& model, const ArchiveFile& file, LogSink& log, const ChunkSink& consumer);

    // The whole of a file that is held whole (not streamed) in out.
    Status readWhole(const ArchiveModel& model, const ArchiveFile& file, LogSink& log, std::vector<uint8_t>& out);

private:
    FileReader archive_;
    std::filesystem::path path_;
};

} // namespace sga
