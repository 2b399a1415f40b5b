#include "previewqt/modMisc.h"

#include "preview/PcxReader.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QPainter>

#include <algorithm>
#include <span>
#include <vector>

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

namespace {

// The formats Qt's reader may report for the bytes of an entry of kind (its
// lower-case extension); the content decides among them.
std::vector<QByteArray> platformFormatsFor(const QString& kind) {
    if (kind == QLatin1String("bmp") || kind == QLatin1String("jpg") ||
        kind == QLatin1String("gif"))
        return {"bmp", "jpeg", "jpg", "gif"};
    if (kind == QLatin1String("png")) return {"png"};
    if (kind == QLatin1String("tif") || kind == QLatin1String("tiff")) return {"tiff", "tif"};
    if (kind == QLatin1String("webp")) return {"webp"};
    if (kind == QLatin1String("ico")) return {"ico"};
    return {};
}

} // namespace

QImage decodePlatformPicture(const QByteArray& bytes, const QString& kind) {
    if (kind == QLatin1String("pcx")) {
        PreviewImage decoded;
        const auto* data = reinterpret_cast<const uint8_t*>(bytes.constData());
        if (!decodePCX(std::span<const uint8_t>(data, static_cast<size_t>(bytes.size())), decoded))
            return {};
        return previewToQImage(decoded);
    }
    const std::vector<QByteArray> allowed = platformFormatsFor(kind);
    if (allowed.empty()) return {};
    QBuffer buffer;
    buffer.setData(bytes);
    if (!buffer.open(QIODevice::ReadOnly)) return {};
    const QByteArray format = QImageReader::imageFormat(&buffer);
    if (std::find(allowed.begin(), allowed.end(), format) == allowed.end()) return {};
    QImageReader reader(&buffer, format);
    reader.setAutoDetectImageFormat(false);
    const QSize size = reader.size();
    if (size.isValid() && (size.width() > kMaxPictureSide || size.height() > kMaxPictureSide))
        return {};
    QImage picture;
    if (!reader.read(&picture)) return {};
    return picture;
}

QImage pictureToQImage(const Picture& picture) {
    if (picture.width <= 0 || picture.height <= 0 ||
        picture.rgba.size() / 4 / size_t(picture.width) < size_t(picture.height))
        return {};
    QImage wrapped(picture.rgba.data(), picture.width, picture.height, picture.width * 4,
                   QImage::Format_RGBA8888);
    return wrapped.copy();
}

Expected<ShownPicture> decodeEntryPicture(std::string_view name, std::span<const uint8_t> bytes) {
    const EntryDecoder* row = findEntryDecoder(name, bytes.first(std::min(bytes.size(), kContentHeadBytes)));
    if (!row || row->source == PictureSource::None)
        return Status::error(ErrorCode::Unsupported,
                             "not a picture (pictures are " + pictureExtensionList() + ")");
    if (row->source == PictureSource::Own) {
        Expected<Picture> decoded = row->decodePicture(bytes);
        if (!decoded) return decoded.status();
        QImage image = pictureToQImage(*decoded);
        if (image.isNull()) return Status::error(ErrorCode::NoMemory, "the picture cannot be held");
        return ShownPicture{std::move(image), decoded->format, decoded->mipCount};
    }
    const QByteArray data(reinterpret_cast<const char*>(bytes.data()),
                          static_cast<qsizetype>(bytes.size()));
    QImage image = decodePlatformPicture(data, QString::fromStdString(std::string(row->kind)));
    if (image.isNull())
        return Status::error(ErrorCode::BadData, "not a " + std::string(row->description) +
                                                     " that can be read");
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    const std::string format = QImageReader::imageFormat(&buffer).toUpper().toStdString();
    return ShownPicture{std::move(image), format, 1};
}

QImage loadPlatformPicture(const QString& path, const QString& kind) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return decodePlatformPicture(file.readAll(), kind);
}

} // namespace sga
