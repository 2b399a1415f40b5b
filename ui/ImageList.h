#pragma once
// The window's pictures: the toolbar's 16 x 16 pictures, drawn on the mask
// colour silver (which becomes transparent), and the window's 32 x 32 icon.

#include <QColor>
#include <QIcon>
#include <QMap>
#include <QObject>
#include <QPixmap>

namespace sga::ui {

class ImageList : public QObject {
    Q_OBJECT
public:
    static constexpr int kImageSize = 16;
    static inline const QColor kMaskColor{192, 192, 192};

    // Holds the pictures "Open", "Extract" and "ExtractAll".
    explicit ImageList(QObject* parent = nullptr);

    QPixmap picture(const QString& key) const { return pictures_.value(key); }
    QIcon icon(const QString& key) const { return QIcon(picture(key)); }
    QStringList keys() const { return pictures_.keys(); }

private:
    QMap<QString, QPixmap> pictures_;
};

QIcon programIcon();

} // namespace sga::ui
