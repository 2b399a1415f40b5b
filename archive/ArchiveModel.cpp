#include "archive/ArchiveModel.h"

#include "core/Cp1252.h"

namespace sga {

std::string_view layoutName(Layout layout) { return traitsOf(layout).name; }

std::string layoutDescription(const ArchiveModel& model) {
    const LayoutTraits& row = traitsOf(model.layout);
    // The 17-byte layout serves two games, one per major version.
    const std::string games = model.layout != Layout::V2Narrow ? std::string(row.games)
                              : model.major == 1                ? "Impossible Creatures"
                                                                : "Homeworld 2";
    return std::to_string(model.major) + "." + std::to_string(model.minor) + " (" + games + "; " +
           std::string(row.name) + ")";
}

std::string_view storageName(Storage storage) {
    switch (storage) {
    case Storage::Stored: return "store";
    case Storage::ZlibStream: return "zlib";
    case Storage::ZlibBuffer: return "zlib";
    case Storage::BrotliStream: return "brotli";
    case Storage::BrotliBuffer: return "brotli";
    case Storage::Encrypted: return "encrypted";
    case Storage::Unknown: return "unknown";
    }
    return "unknown";
}

std::string_view storageDescription(Storage storage) {
    switch (storage) {
    case Storage::Stored: return "stored";
    case Storage::ZlibStream: return "zlib stream";
    case Storage::ZlibBuffer: return "zlib buffer";
    case Storage::BrotliStream: return "brotli stream";
    case Storage::BrotliBuffer: return "brotli buffer";
    case Storage::Encrypted: return "encrypted";
    case Storage::Unknown: return "unknown storage";
    }
    return "unknown storage";
}

std::string modelTextToUtf8(const ArchiveModel& model, std::string_view text) {
    return model.encoding == TextEncoding::Utf8 ? std::string(text) : cp1252ToUtf8(text);
}

std::string trimAtNul(std::string_view text) {
    const auto nul = text.find('\0');
    return std::string(nul == std::string_view::npos ? text : text.substr(0, nul));
}

} // namespace sga
