#include "previewqt/tests/QtPictures.h"

namespace sga::testing {

QByteArray buildGif(int width, int height, const std::vector<QColor>& colours,
                    const std::vector<uint8_t>& indices) {
    QByteArray gif("GIF89a");
    const auto le16 = [&gif](int v) {
        gif.append(static_cast<char>(v & 0xFF));
        gif.append(static_cast<char>((v >> 8) & 0xFF));
    };
    le16(width);
    le16(height);
    gif.append(static_cast<char>(0x91));   // global table of 4 colours
    gif.append('\0');
    gif.append('\0');
    for (int i = 0; i < 4; ++i) {
        const QColor c =
            i < static_cast<int>(colours.size()) ? colours[static_cast<size_t>(i)] : Qt::black;
        gif.append(static_cast<char>(c.red()));
        gif.append(static_cast<char>(c.green()));
        gif.append(static_cast<char>(c.blue()));
    }
    gif.append(',');
    le16(0);
    le16(0);
    le16(width);
    le16(height);
    gif.append('\0');
    // LZW with 3-bit codes: a clear code before every two pixels keeps the
    // table from growing, so every pixel is its own code.
    const int minCodeSize = 2, clear = 4, end = 5;
    gif.append(static_cast<char>(minCodeSize));
    QByteArray data;
    uint32_t bits = 0;
    int bitCount = 0;
    const auto put = [&](int code) {
        bits |= static_cast<uint32_t>(code) << bitCount;
        bitCount += 3;
        while (bitCount >= 8) {
            data.append(static_cast<char>(bits & 0xFF));
            bits >>= 8;
            bitCount -= 8;
        }
    };
    for (size_t i = 0; i < indices.size(); ++i) {
        if (i % 2 == 0) put(clear);
        put(indices[i]);
    }
    put(end);
    if (bitCount > 0) data.append(static_cast<char>(bits & 0xFF));
    for (qsizetype at = 0; at < data.size(); at += 255) {
        const QByteArray block = data.mid(at, 255);
        gif.append(static_cast<char>(block.size()));
        gif.append(block);
    }
    gif.append('\0');
    gif.append(';');
    return gif;
}

PreviewImage threeByTwo() {
    PreviewImage image;
    image.width = 3;
    image.height = 2;
    image.bitsPerPixel = 24;
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 3; ++x) {
            const QColor c = threeByTwoColour(x, y);
            image.pixels.push_back(static_cast<uint8_t>(c.blue()));
            image.pixels.push_back(static_cast<uint8_t>(c.green()));
            image.pixels.push_back(static_cast<uint8_t>(c.red()));
        }
    }
    return image;
}

QColor threeByTwoColour(int x, int y) {
    return QColor(10 + x, 20 + y, 30 + x + 3 * y);
}

} // namespace sga::testing
