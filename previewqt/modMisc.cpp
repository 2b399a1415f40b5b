#include "previewqt/modMisc.h"

#include "preview/PcxReader.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QPainter>

#include <span>

namespace sga {

QImage previewToQImage(const PreviewImage& image) {
    if (image.width <= 0 || image.height <= 0) return {};
    const size_t width = static_cast<size_t>(image.width);
    const size_t height = static_cast<size_t>(image.height);
    const bool paletted = image.bitsPerPixel == 8;
    if (!paletted && image.bitsPerPixel != 24) return {};
    const size_t rowBytes = paletted ? width : width * 3;
    if (image.pixels.size() / rowBytes < height) return {};

    QImage out(image.width, image.height, QImage::Format_RGB888);
    if (out.isNull()) return {};
    // Source rows are packed; QImage rows are padded to 4 bytes.
    for (size_t y = 0; y < height; ++y) {
        const uint8_t* source = &image.pixels[y * rowBytes];
        uchar* target = out.scanLine(static_cast<int>(y));
        for (size_t x = 0; x < width; ++x, target += 3) {
            const uint8_t* bgr = source + x * 3;
            if (paletted) {
                const size_t index = source[x];
                static constexpr uint8_t kBlack[3] = {0, 0, 0};
                bgr = index < image.palette.size() ? image.palette[index].data() : kBlack;
            }
            target[0] = bgr[2];
            target[1] = bgr[1];
            target[2] = bgr[0];
        }
    }
    return out;
}

void drawImage(QPainter& surface, const PreviewImage& image) {
    const QImage picture = previewToQImage(image);
    if (!picture.isNull()) surface.drawImage(QPoint(0, 0), picture);
}

QImage decodePlatformPicture(const QByteArray& bytes, const QString& kind) {
    if (kind == QLatin1String("pcx")) {
        PreviewImage decoded;
        const auto* data = reinterpret_cast<const uint8_t*>(bytes.constData());
        if (!decodePCX(std::span<const uint8_t>(data, static_cast<size_t>(bytes.size())), decoded))
            return {};
        return previewToQImage(decoded);
    }
    if (kind != QLatin1String("bmp") && kind != QLatin1String("jpg") &&
        kind != QLatin1String("gif"))
        return {};
    QBuffer buffer;
    buffer.setData(bytes);
    if (!buffer.open(QIODevice::ReadOnly)) return {};
    const QByteArray format = QImageReader::imageFormat(&buffer);
    if (format != "bmp" && format != "jpeg" && format != "jpg" && format != "gif") return {};
    QImageReader reader(&buffer, format);
    reader.setAutoDetectImageFormat(false);
    const QSize size = reader.size();
    if (size.isValid() && (size.width() > kMaxPictureSide || size.height() > kMaxPictureSide))
        return {};
    QImage picture;
    if (!reader.read(&picture)) return {};
    return picture;
}

QImage loadPlatformPicture(const QString& path, const QString& kind) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return decodePlatformPicture(file.readAll(), kind);
}

} // namespace sga
