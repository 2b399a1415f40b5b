#include "cli/EntryConvert.h"

#include "preview/EntryDecoders.h"
#include "preview/PngWriter.h"
#include "preview/RgdFormat.h"
#include "preview/TextEntry.h"
#include "preview/Ucs.h"

namespace sga::cli {

std::string convertedExtension(std::string_view name) {
    if (entryExtension(name) == "ucs") return "txt";
    const EntryDecoder* row = findEntryDecoder(name);
    if (!row) return {};
    if (row->source == PictureSource::Own) return "png";
    if (row->view == EntryView::Attributes) return "json";
    return {};
}

Expected<ConvertedEntry> convertEntry(std::string_view name, std::span<const uint8_t> bytes,
                                      const RgdDictionary& dictionary) {
    const std::string extension = convertedExtension(name);
    if (extension.empty()) return Status::error(ErrorCode::Unsupported, "no converted form for this kind of entry");
    if (extension == "txt") {
        const std::string text = ucsToUtf8(bytes.data(), bytes.size());
        return ConvertedEntry{extension, std::vector<uint8_t>(text.begin(), text.end())};
    }
    if (extension == "json") {
        auto file = readRgd(bytes);
        if (!file) return file.status();
        const std::string json = formatRgd(*file, dictionary, RgdOutput::Json);
        return ConvertedEntry{extension, std::vector<uint8_t>(json.begin(), json.end())};
    }
    auto picture = findEntryDecoder(name)->decodePicture(bytes);
    if (!picture) return picture.status();
    auto png = encodePng(*picture);
    if (!png) return png.status();
    return ConvertedEntry{extension, std::move(*png)};
}

} // namespace sga::cli
