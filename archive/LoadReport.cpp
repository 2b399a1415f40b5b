#include "archive/LoadReport.h"

#include "archive/modSGA.h"
#include "core/ActivityLog.h"
#include "core/Cp1252.h"
#include "core/ReportSink.h"

namespace sga {

void reportOpened(const std::filesystem::path& path, LogSink& log) {
    log("Opened " + utf8ToCp1252(path.string()) + " successfully!");
}

std::string loadedStatusText(int64_t entries, std::string_view version) {
    std::string text = std::to_string(entries) + " entries found.";
    if (!version.empty()) text += " Version " + std::string(version);
    return text;
}

void reportLoaded(int64_t entries, std::string_view version, LogSink& log, ReportSink& host) {
    host.status(loadedStatusText(entries, version));
    log("Finished parsing - " + std::to_string(entries) + " entries found.");
    log("Open SGA finished!");
}

Status reportCannotLoad(const std::filesystem::path& path, const Status& why, LogSink& log,
                        ReportSink& host) {
    const std::string message =
        "Cannot load " + utf8ToCp1252(fileNameOf(path.string())) + ": " + why.message();
    host.status(message);
    log(message);
    return Status::error(why.code(), message);
}

} // namespace sga
