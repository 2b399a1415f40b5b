#include "preview/tests/PictureBuilders.h"

#include <gtest/gtest.h>

namespace sga::testing {
namespace {
void le16(Bytes& out, uint16_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}
void be16(Bytes& out, uint16_t v) {
    out.push_back(static_cast<uint8_t>(v >> 8));
    out.push_back(static_cast<uint8_t>(v));
}
void be32(Bytes& out, uint32_t v) {
    be16(out, static_cast<uint16_t>(v >> 16));
    be16(out, static_cast<uint16_t>(v));
}
void append(Bytes& out, const Bytes& more) {
    out.insert(out.end(), more.begin(), more.end());
}
} // namespace

Bytes concat(const std::vector<Bytes>& parts) {
    Bytes out;
    for (const Bytes& p : parts) append(out, p);
    return out;
}

PreviewImage sentinelImage() {
    PreviewImage image;
    image.width = 1;
    image.height = 2;
    image.bitsPerPixel = 24;
    image.palette = {{1, 2, 3, 4}};
    image.pixels = {9, 8, 7, 6, 5, 4};
    return image;
}

bool sameImage(const PreviewImage& a, const PreviewImage& b) {
    return a.width == b.width && a.height == b.height && a.bitsPerPixel == b.bitsPerPixel &&
           a.palette == b.palette && a.pixels == b.pixels;
}

void expectRefused(Decoder decode, const Bytes& file, const std::string& why) {
    PreviewImage image = sentinelImage();
    const Status status = decode(file, image);
    EXPECT_FALSE(status.ok()) << file.size() << " bytes";
    if (!why.empty()) {
        EXPECT_NE(status.message().find(why), std::string::npos) << status.message();
    }
    EXPECT_TRUE(sameImage(image, sentinelImage()));
}

PreviewImage expectDecoded(Decoder decode, const Bytes& file) {
    PreviewImage image = sentinelImage();
    const Status status = decode(file, image);
    EXPECT_TRUE(status.ok()) << status.message();
    return image;
}

void expectEveryPrefixRefused(Decoder decode, const Bytes& file) {
    for (size_t n = 0; n < file.size(); ++n)
        expectRefused(decode, Bytes(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(n)));
    expectDecoded(decode, file);
}

void expectByteChangesSafe(Decoder decode, const Bytes& file) {
    for (size_t at = 0; at < file.size(); ++at) {
        for (uint8_t value : {0x00, 0x01, 0x7F, 0x80, 0xFF}) {
            Bytes changed = file;
            changed[at] = value;
            PreviewImage image = sentinelImage();
            if (decode(changed, image).ok()) {
                EXPECT_EQ(image.pixels.size(), size_t{3} * static_cast<size_t>(image.width) *
                                                   static_cast<size_t>(image.height));
                EXPECT_EQ(image.bitsPerPixel, 24);
            } else {
                EXPECT_TRUE(sameImage(image, sentinelImage()))
                    << "byte " << at << " = " << int{value};
            }
        }
    }
}

Bytes buildTga(const TgaSpec& spec) {
    Bytes out;
    out.push_back(static_cast<uint8_t>(spec.id.size()));
    out.push_back(spec.colourMapType);
    out.push_back(spec.imageType);
    le16(out, 0);
    le16(out, spec.colourMapLength);
    out.push_back(spec.colourMapEntrySize);
    le16(out, 0);
    le16(out, 0);
    le16(out, static_cast<uint16_t>(spec.width));
    le16(out, static_cast<uint16_t>(spec.height));
    out.push_back(spec.pixelDepth);
    out.push_back(spec.descriptor);
    append(out, spec.id);
    // Colour map entries that would show up as 0xEE pixels if not skipped.
    out.insert(out.end(), size_t{spec.colourMapLength} * ((spec.colourMapEntrySize + 7) / 8), 0xEE);
    append(out, spec.pixels);
    return out;
}

Bytes buildPsd(const PsdSpec& spec) {
    Bytes out = {'8', 'B', 'P', 'S'};
    be16(out, spec.version);
    out.insert(out.end(), 6, 0);
    be16(out, spec.channels);
    be32(out, static_cast<uint32_t>(spec.height));
    be32(out, static_cast<uint32_t>(spec.width));
    be16(out, spec.depth);
    be16(out, spec.colourMode);
    for (const Bytes* section : {&spec.colourModeData, &spec.imageResources, &spec.layerInfo}) {
        be32(out, static_cast<uint32_t>(section->size()));
        append(out, *section);
    }
    be16(out, spec.compression);
    append(out, spec.imageData);
    return out;
}

Bytes packBitsData(int channels, int height, const Bytes& stream) {
    Bytes out(static_cast<size_t>(channels) * static_cast<size_t>(height) * 2, 0xFF);
    append(out, stream);
    return out;
}

Bytes buildPcx(const PcxSpec& spec) {
    Bytes out = {0x0A, spec.version, spec.encoding, spec.bitsPerPixel};
    le16(out, spec.xMin);
    le16(out, spec.yMin);
    le16(out, spec.xMax);
    le16(out, spec.yMax);
    le16(out, 72);
    le16(out, 72);
    out.insert(out.end(), 48, 0);   // 16-colour palette, unused
    out.push_back(0);
    out.push_back(spec.planes);
    le16(out,
         spec.bytesPerLine ? spec.bytesPerLine : static_cast<uint16_t>(spec.xMax - spec.xMin + 1));
    le16(out, 1);
    out.resize(128, 0);
    append(out, spec.data);
    if (spec.palette) {
        out.push_back(0x0C);
        append(out, *spec.palette);
    }
    return out;
}

Bytes pcxRle(const Bytes& raw) {
    Bytes out;
    for (size_t i = 0; i < raw.size();) {
        size_t run = 1;
        while (i + run < raw.size() && raw[i + run] == raw[i] && run < 63) ++run;
        if (run > 1 || raw[i] >= 0xC0) {
            out.push_back(static_cast<uint8_t>(0xC0 | run));
            out.push_back(raw[i]);
        } else {
            out.push_back(raw[i]);
        }
        i += run;
    }
    return out;
}

} // namespace sga::testing
