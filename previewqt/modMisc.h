#pragma once
// Drawing a PreviewImage with Qt, and the platform picture loader.

#include "core/Status.h"
#include "preview/EntryDecoders.h"
#include "preview/PreviewImage.h"

#include <QByteArray>
#include <QImage>
#include <QString>

#include <span>
#include <string_view>

class QPainter;

namespace sga {

// A deep copy of the picture as a QImage (RGB888); null for an empty picture
// or one whose pixels do not match its size.
QImage previewToQImage(const PreviewImage& image);

// Draws the picture 1:1 at the top-left corner of the surface.
void drawImage(QPainter& surface, const PreviewImage& image);

// The platform's picture loader: BMP, JPEG and GIF through Qt's image reader,
// PCX through the program's own reader. kind is the lower-case extension
// ("bmp", "jpg", "gif", "pcx"); a null image when the file cannot be read.
QImage loadPlatformPicture(const QString& path, const QString& kind);

// The same loader over the file's bytes. For "bmp", "jpg" and "gif" the
// content decides among BMP, JPEG and GIF; "png", "tif"/"tiff", "webp" and
// "ico" take only their own format (through Qt's image plugins); other kinds
// are refused.
QImage decodePlatformPicture(const QByteArray& bytes, const QString& kind);

// A decoded picture as a QImage (RGBA); null when its pixels do not match its size.
QImage pictureToQImage(const Picture& picture);

// A decoded entry picture and what the status bar says of it.
struct ShownPicture {
    QImage image;
    std::string format;     // "PNG", "BC3", ...
    int32_t mipCount = 1;
};

// Decodes the bytes of the entry named name with its row of the decoder
// table (own decoders or the platform's); the reason when it cannot.
Expected<ShownPicture> decodeEntryPicture(std::string_view name, std::span<const uint8_t> bytes);

} // namespace sga
