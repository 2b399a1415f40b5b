#pragma once
// Drawing a PreviewImage with Qt, and the platform picture loader.

#include "preview/PreviewImage.h"

#include <QByteArray>
#include <QImage>
#include <QString>

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
// content decides among BMP, JPEG and GIF; other formats are refused.
QImage decodePlatformPicture(const QByteArray& bytes, const QString& kind);

} // namespace sga
