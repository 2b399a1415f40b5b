#include "ui/ImageList.h"

#include <QBitmap>
#include <QPainter>
#include <QPainterPath>

#include <functional>

namespace sga::ui {

namespace {

QPixmap drawn(int size, const std::function<void(QPainter&)>& draw) {
    QPixmap pixmap(size, size);
    pixmap.fill(ImageList::kMaskColor);
    {
        QPainter painter(&pixmap);
        draw(painter);
    }
    pixmap.setMask(pixmap.createMaskFromColor(ImageList::kMaskColor, Qt::MaskInColor));
    return pixmap;
}

void folder(QPainter& p) {
    p.setPen(QColor(128, 96, 0));
    p.setBrush(QColor(255, 214, 90));
    p.drawRect(1, 4, 13, 9);
    p.drawRect(1, 2, 5, 2);
    p.setBrush(QColor(255, 236, 150));
    QPolygon front({QPoint(3, 7), QPoint(15, 7), QPoint(13, 13), QPoint(1, 13)});
    p.drawPolygon(front);
}

void page(QPainter& p, int x, int y) {
    p.setPen(Qt::black);
    p.setBrush(Qt::white);
    p.drawRect(x, y, 7, 9);
    p.setPen(QColor(0, 0, 160));
    for (int line = 2; line <= 6; line += 2) p.drawLine(x + 2, y + line, x + 5, y + line);
}

void arrowDown(QPainter& p, int x, int y) {
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 128, 0));
    p.drawRect(x + 2, y, 3, 4);
    p.drawPolygon(QPolygon({QPoint(x, y + 4), QPoint(x + 7, y + 4), QPoint(x + 3, y + 7)}));
}

} // namespace

ImageList::ImageList(QObject* parent) : QObject(parent) {
    setObjectName(QStringLiteral("ilImages"));
    pictures_.insert(QStringLiteral("Open"), drawn(kImageSize, folder));
    pictures_.insert(QStringLiteral("Extract"), drawn(kImageSize, [](QPainter& p) {
        page(p, 1, 1);
        arrowDown(p, 8, 8);
    }));
    pictures_.insert(QStringLiteral("ExtractAll"), drawn(kImageSize, [](QPainter& p) {
        page(p, 4, 0);
        page(p, 1, 3);
        arrowDown(p, 8, 8);
    }));
}

QIcon programIcon() {
    return QIcon(drawn(32, [](QPainter& p) {
        p.setRenderHint(QPainter::Antialiasing);
        // A box of archives with a page coming out of it.
        p.setPen(QPen(QColor(90, 60, 20), 1.5));
        p.setBrush(QColor(196, 140, 70));
        p.drawRect(QRectF(3.5, 14.5, 25, 15));
        p.setBrush(QColor(226, 178, 110));
        p.drawPolygon(QPolygonF({QPointF(3.5, 14.5), QPointF(8.5, 8.5), QPointF(23.5, 8.5),
                                 QPointF(28.5, 14.5)}));
        p.setPen(QPen(Qt::black, 1));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(11.5, 2.5, 11, 14));
        p.setPen(QColor(0, 0, 160));
        for (int y = 6; y <= 12; y += 3) p.drawLine(14, y, 20, y);
    }));
}

} // namespace sga::ui
