#pragma once
// How every load reports, whichever reader read the file: the lines that
// open and close the trace, the status text of a loaded archive and the
// "Cannot load" report of one that could not be loaded.

#include "core/Status.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace sga {

class LogSink;
class ReportSink;

// "Opened <path> successfully!" (the path in the log's code page).
void reportOpened(const std::filesystem::path& path, LogSink& log);

// The status text of a loaded archive: the entry count, then the version
// when there is one to show ("5 entries found. Version 4.0 (...)").
std::string loadedStatusText(int64_t entries, std::string_view version);

// Shows loadedStatusText and logs the two closing lines.
void reportLoaded(int64_t entries, std::string_view version, LogSink& log, ReportSink& host);

// "Cannot load <file name>: <why>", shown as the status text and logged as
// one line; returned as the error, with why's code.
Status reportCannotLoad(const std::filesystem::path& path, const Status& why, LogSink& log,
                        ReportSink& host);

} // namespace sga
