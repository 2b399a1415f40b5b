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

Bytes buildTga(const TgaPlan& plan) {
    Bytes out;
    out.push_back(static_cast<uint8_t>(plan.id.size()));
    out.push_back(plan.colourMapType);
    out.push_back(plan.imageType);
    le16(out, 0);
    le16(out, plan.colourMapLength);
    out.push_back(plan.colourMapEntrySize);
    le16(out, 0);
    le16(out, 0);
    le16(out, static_cast<uint16_t>(plan.width));
    le16(out, static_cast<uint16_t>(plan.height));
    out.push_back(plan.pixelDepth);
    out.push_back(plan.descriptor);
    append(out, plan.id);
    // Colour map entries that would show up as 0xEE pixels if not skipped.
    out.insert(out.end(), size_t{plan.colourMapLength} * ((plan.colourMapEntrySize + 7) / 8), 0xEE);
    append(out, plan.pixels);
    return out;
}

Bytes buildPsd(const PsdPlan& plan) {
    Bytes out = {'8', 'B', 'P', 'S'};
    be16(out, plan.version);
    out.insert(out.end(), 6, 0);
    be16(out, plan.channels);
    be32(out, static_cast<uint32_t>(plan.height));
    be32(out, static_cast<uint32_t>(plan.width));
    be16(out, plan.depth);
    be16(out, plan.colourMode);
    for (const Bytes* section : {&plan.colourModeData, &plan.imageResources, &plan.layerInfo}) {
        be32(out, static_cast<uint32_t>(section->size()));
        append(out, *section);
    }
    be16(out, plan.compression);
    append(out, plan.imageData);
    return out;
}

Bytes packBitsData(int channels, int height, const Bytes& stream) {
    Bytes out(static_cast<size_t>(channels) * static_cast<size_t>(height) * 2, 0xFF);
    append(out, stream);
    return out;
}

Bytes buildPcx(const PcxPlan& plan) {
    Bytes out = {0x0A, plan.version, plan.encoding, plan.bitsPerPixel};
    le16(out, plan.xMin);
    le16(out, plan.yMin);
    le16(out, plan.xMax);
    le16(out, plan.yMax);
    le16(out, 72);
    le16(out, 72);
    out.insert(out.end(), 48, 0);   // 16-colour palette, unused
    out.push_back(0);
    out.push_back(plan.planes);
    le16(out,
         plan.bytesPerLine ? plan.bytesPerLine : static_cast<uint16_t>(plan.xMax - plan.xMin + 1));
    le16(out, 1);
    out.resize(128, 0);
    append(out, plan.data);
    if (plan.palette) {
        out.push_back(0x0C);
        append(out, *plan.palette);
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
