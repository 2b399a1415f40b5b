#include "tests/support/PictureWriter.h"

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
