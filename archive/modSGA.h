#pragma once
// The archive loader: reads an archive's header, tables and names in one
// forward pass into an ArchiveIndex, writes a trace of every record to the
// activity log and builds the archive tree.

#include "archive/ArchiveIndex.h"
#include "archive/ArchiveTree.h"
#include "core/Status.h"

#include <filesystem>
#include <string>
#include <string_view>

namespace sga {

class FileReader;
class LogSink;
class ReportSink;

// Loads the archive at path. On success index and tree hold the archive; on
// failure both are empty, the reason has been logged as one line and shown
// as the status text. The front end disables its extraction commands after
// a failed load and when isNormalVisibleFile(path) is false.
Status openArchive(const std::filesystem::path& path, ArchiveIndex& index, ArchiveTree& tree,
                   LogSink& log, ReportSink& host);

// True for a regular file whose name does not begin with a dot: the files
// the extraction commands stay enabled for.
bool isNormalVisibleFile(const std::filesystem::path& path);

// Every NUL character removed, wherever it stands.
std::string stripNuls(std::string_view text);

// Reads bytes up to a zero byte (consumed, not kept) or the end of the file.
std::string readString(FileReader& file);

// Trace formatting: right-aligned in a field of width characters (never cut).
std::string pad(std::string_view text, size_t width);
std::string pad(int64_t number, size_t width);
// Upper-case hexadecimal; a negative value gives its 16-bit two's complement.
std::string hex16(int16_t value);

// The archive path after its last separator (the whole path when it has none).
std::string fileNameOf(std::string_view path);
// The archive path up to and including its last separator (empty without one).
std::string folderOf(std::string_view path);

} // namespace sga
