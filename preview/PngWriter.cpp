#include "preview/PngWriter.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

namespace sga {
namespace {

void appendBe32(std::vector<uint8_t>& out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

void appendChunk(std::vector<uint8_t>& out, const char type[4], const uint8_t* data, size_t size) {
    appendBe32(out, static_cast<uint32_t>(size));
    const size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data, data + size);
    appendBe32(out, static_cast<uint32_t>(crc32(0, out.data() + start, static_cast<uInt>(size + 4))));
}

} // namespace

Expected<std::vector<uint8_t>> encodePng(const Picture& picture) {
    if (picture.width <= 0 || picture.height <= 0 ||
        picture.rgba.size() != static_cast<size_t>(picture.width) * static_cast<size_t>(picture.height) * 4)
        return Status::error(ErrorCode::BadField, "PNG: the picture's pixels do not match its size");
    std::vector<uint8_t> out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<uint8_t> header;
    appendBe32(header, static_cast<uint32_t>(picture.width));
    appendBe32(header, static_cast<uint32_t>(picture.height));
    header.insert(header.end(), {8, 6, 0, 0, 0});   // 8 bits, RGBA, deflate, no filter method change, no interlace
    appendChunk(out, "IHDR", header.data(), header.size());

    z_stream stream{};
    if (deflateInit(&stream, 6) != Z_OK) return Status::error(ErrorCode::NoMemory, "PNG: cannot start deflate");
    std::vector<uint8_t> idat;
    std::vector<uint8_t> buffer(1 << 16);
    const size_t rowBytes = static_cast<size_t>(picture.width) * 4;
    const auto feed = [&](const uint8_t* data, size_t size, int flush) {
        stream.next_in = const_cast<Bytef*>(data);
        stream.avail_in = static_cast<uInt>(size);
        int result = Z_OK;
        do {
            stream.next_out = buffer.data();
            stream.avail_out = static_cast<uInt>(buffer.size());
            result = deflate(&stream, flush);
            idat.insert(idat.end(), buffer.data(), buffer.data() + (buffer.size() - stream.avail_out));
        } while (stream.avail_out == 0 || (flush == Z_FINISH && result != Z_STREAM_END));
        return result != Z_STREAM_ERROR;
    };
    const uint8_t noFilter = 0;
    bool ok = true;
    for (int32_t y = 0; ok && y < picture.height; ++y)
        ok = feed(&noFilter, 1, Z_NO_FLUSH) && feed(picture.rgba.data() + static_cast<size_t>(y) * rowBytes, rowBytes, Z_NO_FLUSH);
    ok = ok && feed(nullptr, 0, Z_FINISH);
    deflateEnd(&stream);
    if (!ok) return Status::error(ErrorCode::Failed, "PNG: deflate failed");
    // Keep each IDAT chunk well within a u32 size.
    for (size_t at = 0; at < idat.size(); at += 1u << 30)
        appendChunk(out, "IDAT", idat.data() + at, std::min<size_t>(idat.size() - at, 1u << 30));
    appendChunk(out, "IEND", nullptr, 0);
    return out;
}

} // namespace sga
