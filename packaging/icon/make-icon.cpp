// Draws the application icon: a blue crate with a white arrow pointing down
// into it. One list of shapes gives both the scalable SVG and the PNG sizes,
// so the two never drift apart.
//
// Usage: make-icon OUTDIR SIZE...
// Writes OUTDIR/sgaview.svg and OUTDIR/sgaview-SIZE.png for every SIZE.

#include <QColor>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPolygonF>
#include <QRectF>
#include <QString>
#include <QTextStream>

#include <cstdio>
#include <vector>

namespace {

constexpr double kCanvas = 256.0;   // the design's coordinate space

struct Shape {
    QRectF box;                 // a rounded rectangle when points is empty
    double radius = 0;
    std::vector<QPointF> points;
    QColor fill;
};

std::vector<Shape> iconShapes() {
    return {
        // body
        {QRectF(32, 86, 192, 136), 20, {}, QColor(0x2f, 0x66, 0x90)},
        // lid, wider than the body and lying over its top edge
        {QRectF(20, 34, 216, 56), 14, {}, QColor(0x4a, 0x90, 0xc2)},
        // grip on the lid
        {QRectF(100, 50, 56, 20), 6, {}, QColor(0xdb, 0xe9, 0xf4)},
        // arrow into the body
        {QRectF(), 0,
         {{112, 102}, {144, 102}, {144, 150}, {176, 150}, {128, 204}, {80, 150}, {112, 150}},
         QColor(0xff, 0xff, 0xff)},
    };
}

QString svgOf(const std::vector<Shape>& shapes) {
    QString svg;
    QTextStream out(&svg);
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << kCanvas << "\" height=\""
        << kCanvas << "\" viewBox=\"0 0 " << kCanvas << ' ' << kCanvas << "\">\n";
    for (const Shape& s : shapes) {
        const QString fill = s.fill.name(QColor::HexRgb);
        if (s.points.empty()) {
            out << "  <rect x=\"" << s.box.x() << "\" y=\"" << s.box.y() << "\" width=\""
                << s.box.width() << "\" height=\"" << s.box.height() << "\" rx=\"" << s.radius
                << "\" ry=\"" << s.radius << "\" fill=\"" << fill << "\"/>\n";
        } else {
            out << "  <polygon points=\"";
            for (size_t i = 0; i < s.points.size(); ++i)
                out << (i ? " " : "") << s.points[i].x() << ',' << s.points[i].y();
            out << "\" fill=\"" << fill << "\"/>\n";
        }
    }
    out << "</svg>\n";
    return svg;
}

QImage pngOf(const std::vector<Shape>& shapes, int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.scale(size / kCanvas, size / kCanvas);
    for (const Shape& s : shapes) {
        painter.setBrush(s.fill);
        if (s.points.empty())
            painter.drawRoundedRect(s.box, s.radius, s.radius);
        else
            painter.drawPolygon(QPolygonF(QList<QPointF>(s.points.begin(), s.points.end())));
    }
    painter.end();
    return image;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: make-icon OUTDIR SIZE...\n");
        return 2;
    }
    const QString outDir = QString::fromLocal8Bit(argv[1]);
    const auto shapes = iconShapes();

    QFile svg(outDir + "/sgaview.svg");
    if (!svg.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        svg.write(svgOf(shapes).toUtf8()) < 0) {
        std::fprintf(stderr, "make-icon: cannot write %s\n", qPrintable(svg.fileName()));
        return 1;
    }
    svg.close();

    for (int i = 2; i < argc; ++i) {
        bool ok = false;
        const int size = QString::fromLocal8Bit(argv[i]).toInt(&ok);
        if (!ok || size < 1 || size > 1024) {
            std::fprintf(stderr, "make-icon: bad size \"%s\"\n", argv[i]);
            return 2;
        }
        const QString path = outDir + QString("/sgaview-%1.png").arg(size);
        if (!pngOf(shapes, size).save(path, "PNG")) {
            std::fprintf(stderr, "make-icon: cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    return 0;
}
