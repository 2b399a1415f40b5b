#include "archive/ArchiveModel.h"

#include "core/Cp1252.h"

namespace sga {

std::string_view layoutName(Layout layout) {
    switch (layout) {
    case Layout::V2Narrow: return "version 1 or 2, 17-byte file records";
    case Layout::V2Wide: return "version 2, 20-byte file records";
    case Layout::V4: return "version 4";
    case Layout::V5A: return "version 5, table of contents after the data";
    case Layout::V5B: return "version 5, 32-bit counts";
    case Layout::V6: return "version 6";
    case Layout::V7: return "version 7";
    case Layout::V8: return "version 8";
    case Layout::V9: return "version 9";
    case Layout::V10: return "version 10";
    }
    return "unknown layout";
}

namespace {

std::string_view gamesOf(const ArchiveModel& model) {
    switch (model.layout) {
    case Layout::V2Narrow:
        return model.major == 1 ? "Impossible Creatures" : model.major == 2 ? "Homeworld 2" : "unknown";
    case Layout::V2Wide: return "Dawn of War";
    case Layout::V4: return "Company of Heroes";
    case Layout::V5A:
    case Layout::V5B: return "Dawn of War II";
    case Layout::V6: return "no game known";
    case Layout::V7: return "Company of Heroes 2";
    case Layout::V8: return "Dawn of War III, early";
    case Layout::V9: return "Dawn of War III";
    case Layout::V10: return "Company of Heroes 3, Age of Empires IV";
    }
    return "unknown";
}

} // namespace

std::string layoutDescription(const ArchiveModel& model) {
    return std::to_string(model.major) + "." + std::to_string(model.minor) + " (" +
           std::string(gamesOf(model)) + "; " + std::string(layoutName(model.layout)) + ")";
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
