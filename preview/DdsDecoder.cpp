#include "preview/DdsDecoder.h"

#include "preview/BlockFormats.h"
#include "preview/ByteReader.h"

#include <bit>
#include <cstring>
#include <optional>
#include <string>

namespace sga {
namespace {

constexpr size_t kHeaderEnd = 128;   // magic and the 124-byte header
constexpr size_t kDx10End = 148;     // and the 20-byte DX10 extension
constexpr uint32_t kFourCcFlag = 0x4;
constexpr uint32_t kRgbFlag = 0x40;
constexpr uint32_t kAlphaPixelsFlag = 0x1;

constexpr uint32_t fourCc(const char (&text)[5]) {
    return static_cast<uint32_t>(static_cast<uint8_t>(text[0])) |
           static_cast<uint32_t>(static_cast<uint8_t>(text[1])) << 8 |
           static_cast<uint32_t>(static_cast<uint8_t>(text[2])) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(text[3])) << 24;
}

// How the first level's pixels are stored.
struct PixelLayout {
    std::optional<BlockFormat> blocks;
    uint32_t bitsPerPixel = 0;              // uncompressed only
    uint32_t masks[4] = {};                 // red, green, blue, alpha
    std::string name;
};

Status refuse(const std::string& what) { return Status::error(ErrorCode::Unsupported, "DDS: " + what); }

PixelLayout uncompressed(uint32_t bits, uint32_t r, uint32_t g, uint32_t b, uint32_t a, std::string name) {
    PixelLayout layout;
    layout.bitsPerPixel = bits;
    layout.masks[0] = r;
    layout.masks[1] = g;
    layout.masks[2] = b;
    layout.masks[3] = a;
    layout.name = std::move(name);
    return layout;
}

PixelLayout blockLayout(BlockFormat format) {
    PixelLayout layout;
    layout.blocks = format;
    layout.name = blockFormatName(format);
    return layout;
}

Expected<PixelLayout> dxgiLayout(uint32_t dxgi) {
    switch (dxgi) {
    case 70: case 71: case 72: return blockLayout(BlockFormat::BC1);
    case 73: case 74: case 75: return blockLayout(BlockFormat::BC2);
    case 76: case 77: case 78: return blockLayout(BlockFormat::BC3);
    case 79: case 80: return blockLayout(BlockFormat::BC4);
    case 82: case 83: return blockLayout(BlockFormat::BC5);
    case 97: case 98: case 99: return blockLayout(BlockFormat::BC7);
    case 27: case 28: case 29:
        return uncompressed(32, 0x000000FF, 0x0000FF00, 0x00FF0000, 0xFF000000, "R8G8B8A8");
    case 87: case 90: case 91:
        return uncompressed(32, 0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000, "B8G8R8A8");
    case 88: case 92: case 93:
        return uncompressed(32, 0x00FF0000, 0x0000FF00, 0x000000FF, 0, "B8G8R8X8");
    case 81: return refuse("BC4 with signed values (DXGI format 81) cannot be shown");
    case 84: return refuse("BC5 with signed values (DXGI format 84) cannot be shown");
    case 94: case 95: case 96:
        return refuse("BC6H (DXGI format " + std::to_string(dxgi) + ") cannot be shown");
    default: return refuse("DXGI format " + std::to_string(dxgi) + " cannot be shown");
    }
}

std::string fourCcText(uint32_t code) {
    std::string text;
    for (int i = 0; i < 4; ++i) {
        const char c = static_cast<char>((code >> (8 * i)) & 0xFF);
        if (c < 0x20 || c > 0x7E) return "number " + std::to_string(code);
        text += c;
    }
    return "\"" + text + "\"";
}

Expected<PixelLayout> legacyLayout(uint32_t flags, uint32_t code, uint32_t bits, const uint32_t masks[4]) {
    if (flags & kFourCcFlag) {
        if (code == fourCc("DXT1")) return blockLayout(BlockFormat::BC1);
        if (code == fourCc("DXT2") || code == fourCc("DXT3")) return blockLayout(BlockFormat::BC2);
        if (code == fourCc("DXT4") || code == fourCc("DXT5")) return blockLayout(BlockFormat::BC3);
        if (code == fourCc("ATI1") || code == fourCc("BC4U")) return blockLayout(BlockFormat::BC4);
        if (code == fourCc("ATI2") || code == fourCc("BC5U")) return blockLayout(BlockFormat::BC5);
        return refuse("FourCC " + fourCcText(code) + " cannot be shown");
    }
    if (!(flags & kRgbFlag)) return refuse("pixel format flags 0x" + [&] {
        char hex[9];
        std::snprintf(hex, sizeof hex, "%X", flags);
        return std::string(hex);
    }() + " name neither a FourCC nor RGB pixels");
    if (bits != 24 && bits != 32)
        return refuse(std::to_string(bits) + "-bit RGB pixels cannot be shown (24 and 32 can)");
    const uint32_t alpha = (flags & kAlphaPixelsFlag) ? masks[3] : 0;
    const uint64_t limit = bits == 32 ? 0xFFFFFFFFull : 0xFFFFFFull;
    for (int i = 0; i < 4; ++i)
        if ((i < 3 || alpha) && ((i < 3 ? masks[i] : alpha) == 0 || (i < 3 ? masks[i] : alpha) > limit))
            return Status::error(ErrorCode::BadField,
                                 std::string("DDS: ") + "RGBA"[i] + " mask at offset " + std::to_string(92 + 4 * i) +
                                     " does not fit " + std::to_string(bits) + "-bit pixels");
    return uncompressed(bits, masks[0], masks[1], masks[2], alpha,
                        std::to_string(bits) + "-bit " + (alpha ? "RGBA" : "RGB"));
}

// One channel of a pixel, scaled from its mask's width to 8 bits.
uint8_t channel(uint32_t pixel, uint32_t mask) {
    if (!mask) return 255;
    const int shift = std::countr_zero(mask);
    const uint32_t top = mask >> shift;
    const uint64_t value = (pixel & mask) >> shift;
    return static_cast<uint8_t>((value * 255 + top / 2) / top);
}

std::vector<uint8_t> decodeUncompressed(const PixelLayout& layout, const uint8_t* data, uint32_t width,
                                        uint32_t height) {
    const uint32_t bytesPerPixel = layout.bitsPerPixel / 8;
    std::vector<uint8_t> rgba(static_cast<size_t>(width) * height * 4);
    const size_t count = static_cast<size_t>(width) * height;
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* p = data + i * bytesPerPixel;
        const uint32_t pixel = static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                               static_cast<uint32_t>(p[2]) << 16 |
                               (bytesPerPixel == 4 ? static_cast<uint32_t>(p[3]) << 24 : 0);
        for (int c = 0; c < 4; ++c) rgba[i * 4 + c] = channel(pixel, layout.masks[c]);
    }
    return rgba;
}

uint64_t levelBytes(const PixelLayout& layout, uint64_t width, uint64_t height) {
    return layout.blocks ? blockLevelBytes(*layout.blocks, width, height) : width * height * (layout.bitsPerPixel / 8);
}

} // namespace

bool looksLikeDds(std::span<const uint8_t> bytes) {
    return bytes.size() >= 4 && std::memcmp(bytes.data(), "DDS ", 4) == 0;
}

Expected<Picture> decodeDds(std::span<const uint8_t> bytes) {
    if (!looksLikeDds(bytes))
        return Status::error(ErrorCode::BadField, "DDS: no \"DDS \" magic at offset 0");
    if (bytes.size() < kHeaderEnd)
        return Status::error(ErrorCode::Truncated, "DDS: the 124-byte header at offset 4 runs past the end (" +
                                                       std::to_string(bytes.size()) + " bytes)");
    const uint8_t* h = bytes.data();
    const uint32_t headerSize = readLe32(h + 4);
    if (headerSize != 124)
        return Status::error(ErrorCode::BadField,
                             "DDS: header size at offset 4 is " + std::to_string(headerSize) + ", not 124");
    const uint32_t height = readLe32(h + 12);
    const uint32_t width = readLe32(h + 16);
    const uint32_t mips = readLe32(h + 28);
    const uint32_t formatFlags = readLe32(h + 80);
    const uint32_t code = readLe32(h + 84);
    const uint32_t masks[4] = {readLe32(h + 92), readLe32(h + 96), readLe32(h + 100), readLe32(h + 104)};

    size_t dataStart = kHeaderEnd;
    Expected<PixelLayout> layout = Status::error("no layout");
    if ((formatFlags & kFourCcFlag) && code == fourCc("DX10")) {
        if (bytes.size() < kDx10End)
            return Status::error(ErrorCode::Truncated, "DDS: the 20-byte DX10 header at offset 128 runs past the end (" +
                                                           std::to_string(bytes.size()) + " bytes)");
        layout = dxgiLayout(readLe32(h + 128));
        dataStart = kDx10End;
    } else {
        layout = legacyLayout(formatFlags, code, readLe32(h + 88), masks);
    }
    if (!layout) return layout.status();
    if (Status size = checkTextureSize("DDS", width, height); !size) return size;

    const uint32_t fullChain = std::bit_width(std::max(width, height));
    const uint32_t mipCount = std::max<uint32_t>(1, mips);
    if (mipCount > fullChain)
        return Status::error(ErrorCode::BadField, "DDS: mip count at offset 28 is " + std::to_string(mips) +
                                                      ", more than the " + std::to_string(fullChain) + " a " +
                                                      std::to_string(width) + " x " + std::to_string(height) +
                                                      " picture has");
    uint64_t offset = dataStart;
    for (uint32_t level = 0; level < mipCount; ++level) {
        const uint64_t need = levelBytes(*layout, std::max<uint64_t>(1, width >> level),
                                         std::max<uint64_t>(1, height >> level));
        if (offset + need > bytes.size())
            return Status::error(ErrorCode::Truncated,
                                 "DDS: mip " + std::to_string(level + 1) + " of " + std::to_string(mipCount) +
                                     " at offset " + std::to_string(offset) + " needs " + std::to_string(need) +
                                     " bytes; the file ends after " + std::to_string(bytes.size() - offset));
        offset += need;
    }

    Picture picture;
    picture.width = static_cast<int32_t>(width);
    picture.height = static_cast<int32_t>(height);
    picture.format = layout->name;
    picture.mipCount = static_cast<int32_t>(mipCount);
    const std::span<const uint8_t> first = bytes.subspan(dataStart);
    if (layout->blocks) {
        auto pixels = decodeBlocks(*layout->blocks, first, width, height);
        if (!pixels) return pixels.status();
        picture.rgba = std::move(*pixels);
    } else {
        picture.rgba = decodeUncompressed(*layout, first.data(), width, height);
    }
    return picture;
}

} // namespace sga
