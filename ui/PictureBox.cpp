#include "ui/PictureBox.h"

#include <QPainter>

namespace sga::ui {

PictureBox::PictureBox(QWidget* parent) : QFrame(parent) {
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(2);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);
}

void PictureBox::setPicture(const QImage& picture) {
    picture_ = picture;
    update();
}

void PictureBox::setFit(bool fit) {
    fit_ = fit;
    update();
}

void PictureBox::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event);
    if (picture_.isNull()) return;
    QPainter painter(this);
    const QRect inner = contentsRect();
    painter.setClipRect(inner);
    const QSize size = picture_.size();
    if (fit_ && (size.width() > inner.width() || size.height() > inner.height())) {
        const QSize scaled = size.scaled(inner.size(), Qt::KeepAspectRatio);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(QRect(inner.topLeft(), scaled), picture_);
        return;
    }
    painter.drawImage(inner.topLeft(), picture_);
}

} // namespace sga::ui
