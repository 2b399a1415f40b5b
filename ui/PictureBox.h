#pragma once
// A picture box: a white surface with a sunken border that keeps the picture
// it was given and paints it 1:1 from the top-left corner of its inner area,
// cut off at its edges, on every repaint; or, when fitting, scaled down to
// its inner area with the picture's proportions kept.

#include <QFrame>
#include <QImage>

namespace sga::ui {

class PictureBox : public QFrame {
    Q_OBJECT
public:
    explicit PictureBox(QWidget* parent = nullptr);

    void setPicture(const QImage& picture);
    const QImage& picture() const { return picture_; }
    void setFit(bool fit);
    bool fit() const { return fit_; }
    // The size of the area inside the border.
    QSize innerSize() const { return contentsRect().size(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage picture_;
    bool fit_ = false;
};

} // namespace sga::ui
