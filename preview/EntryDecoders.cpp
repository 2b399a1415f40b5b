#include "preview/EntryDecoders.h"

#include "preview/ChunkyReader.h"
#include "preview/DdsDecoder.h"
#include "preview/FormatOutlines.h"
#include "preview/PcxReader.h"
#include "preview/RrtexDecoder.h"
#include "preview/PreviewImage.h"
#include "preview/Ucs.h"
#include "preview/modFilePSD.h"
#include "preview/modFileTGA.h"

#include <algorithm>

namespace sga {
namespace {

// The readers that fill a PreviewImage (24-bit blue, green, red or 8-bit
// paletted), as an opaque Picture.
Expected<Picture> toPicture(Status status, const PreviewImage& image, std::string format) {
    if (!status) return status;
    Picture out;
    out.width = image.width;
    out.height = image.height;
    out.format = std::move(format);
    const size_t count = size_t(std::max(image.width, 0)) * size_t(std::max(image.height, 0));
    const bool paletted = image.bitsPerPixel == 8;
    if (image.pixels.size() < count * (paletted ? 1 : 3))
        return Status::error(ErrorCode::BadData, out.format + ": decoded pixels are short");
    out.rgba.resize(count * 4);
    for (size_t i = 0; i < count; ++i) {
        static constexpr std::array<uint8_t, 4> kBlack{0, 0, 0, 0};
        const uint8_t* bgr = paletted ? (image.pixels[i] < image.palette.size()
                                             ? image.palette[image.pixels[i]].data()
                                             : kBlack.data())
                                      : &image.pixels[i * 3];
        uint8_t* target = &out.rgba[i * 4];
        target[0] = bgr[2];
        target[1] = bgr[1];
        target[2] = bgr[0];
        target[3] = 255;
    }
    return out;
}

template <Status (*decode)(std::span<const uint8_t>, PreviewImage&)>
Expected<Picture> decodeWith(std::span<const uint8_t> bytes, const char* format) {
    PreviewImage image;
    Status status = decode(bytes, image);
    return toPicture(std::move(status), image, format);
}

Expected<Picture> decodeTga(std::span<const uint8_t> bytes) { return decodeWith<decodeTGA>(bytes, "TGA"); }
Expected<Picture> decodePsd(std::span<const uint8_t> bytes) { return decodeWith<decodePSD>(bytes, "PSD"); }
Expected<Picture> decodePcx(std::span<const uint8_t> bytes) { return decodeWith<decodePCX>(bytes, "PCX"); }

Expected<std::string> decodeUcs(std::span<const uint8_t> bytes) {
    return ucsToUtf8(bytes.data(), bytes.size());
}

bool startsWith(std::span<const uint8_t> head, std::string_view magic) {
    return head.size() >= magic.size() &&
           std::equal(magic.begin(), magic.end(), head.begin(),
                      [](char a, uint8_t b) { return static_cast<uint8_t>(a) == b; });
}

bool isPng(std::span<const uint8_t> head) { return startsWith(head, "\x89PNG\r\n\x1a\n"); }

std::vector<EntryDecoder> buildTable() {
    std::vector<EntryDecoder> rows;
    // The window's text kinds.
    rows.push_back({"text", "text", {"lua", "ini", "txt", "events"}, nullptr, EntryView::Text});
    rows.push_back({"ucs", "UTF-16 text", {"ucs"}, nullptr, EntryView::Text, PictureSource::None,
                    nullptr, nullptr, decodeUcs});
    rows.push_back({"tga", "TGA picture", {"tga"}, nullptr, EntryView::Picture,
                    PictureSource::Own, decodeTga});
    rows.push_back({"psd", "PSD picture", {"psd"}, nullptr, EntryView::Picture,
                    PictureSource::Own, decodePsd});
    rows.push_back({"pcx", "PCX picture", {"pcx"}, nullptr, EntryView::Picture,
                    PictureSource::Own, decodePcx});
    // The platform's readers; the content decides among them.
    rows.push_back({"bmp", "BMP, JPEG or GIF picture", {"bmp", "jpg", "gif"}, nullptr,
                    EntryView::Picture, PictureSource::Platform});
    rows.push_back({"png", "PNG picture", {"png"}, isPng, EntryView::Picture,
                    PictureSource::Platform});
    rows.push_back({"tiff", "TIFF picture", {"tif", "tiff"}, nullptr, EntryView::Picture,
                    PictureSource::Platform});
    rows.push_back({"webp", "WebP picture", {"webp"}, nullptr, EntryView::Picture,
                    PictureSource::Platform});
    rows.push_back({"ico", "icon", {"ico"}, nullptr, EntryView::Picture,
                    PictureSource::Platform});
    // Textures and Relic Chunky files of the games.
    rows.push_back({"dds", "DDS texture", {"dds"}, looksLikeDds, EntryView::Picture,
                    PictureSource::Own, decodeDds});
    rows.push_back({"rrtex", "RRTEX texture", {"rrtex"}, nullptr, EntryView::Picture,
                    PictureSource::Own, decodeRrtex});
    rows.push_back({"rgd", "RGD attributes", {"rgd"}, nullptr, EntryView::Attributes,
                    PictureSource::None, nullptr, rgdOutlineWithDictionaries});
    rows.push_back({"chunky", "Relic Chunky file",
                    {"whm", "whe", "sgm", "rsh", "wtp", "rtx", "sgb", "rgt", "rgm", "rgo", "rga",
                     "rrgeom", "rrmaterial"},
                    looksLikeChunky, EntryView::Chunks, PictureSource::None, nullptr, chunkyOutline});
    return rows;
}

} // namespace

const std::vector<EntryDecoder>& entryDecoders() {
    static const std::vector<EntryDecoder> table = buildTable();
    return table;
}

std::string lowerExtension(std::string_view name) {
    if (const size_t slash = name.rfind('\\'); slash != std::string_view::npos)
        name.remove_prefix(slash + 1);
    const size_t dot = name.rfind('.');
    std::string out(dot == std::string_view::npos ? name : name.substr(dot + 1));
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

const EntryDecoder* findEntryDecoder(std::string_view name, std::span<const uint8_t> head) {
    const std::string extension = lowerExtension(name);
    const auto& rows = entryDecoders();
    for (const EntryDecoder& row : rows)
        if (std::find(row.extensions.begin(), row.extensions.end(), extension) !=
            row.extensions.end())
            return &row;
    if (head.empty()) return nullptr;
    for (const EntryDecoder& row : rows)
        if (row.matchesContent && row.matchesContent(head)) return &row;
    return nullptr;
}

std::string describePicture(int64_t width, int64_t height, std::string_view format,
                            int64_t mipCount) {
    std::string out = std::to_string(width) + " x " + std::to_string(height);
    if (!format.empty()) out += ", " + std::string(format);
    if (mipCount > 1) out += ", " + std::to_string(mipCount) + " mips";
    return out;
}

std::string pictureExtensionList() {
    std::string out;
    for (const EntryDecoder& row : entryDecoders()) {
        if (row.view != EntryView::Picture) continue;
        for (std::string_view extension : row.extensions) {
            if (!out.empty()) out += ", ";
            out += extension;
        }
    }
    return out;
}

} // namespace sga
