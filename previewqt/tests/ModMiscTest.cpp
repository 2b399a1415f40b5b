#include "previewqt/modMisc.h"
#include "tests/support/PictureBuilders.h"
#include "previewqt/tests/QtPictures.h"
#include "tests/support/ArchiveWriter.h"

#include <QFile>
#include <QPainter>
#include <gtest/gtest.h>

namespace sga {
namespace {

QString qPath(const std::filesystem::path& p) {
    return QString::fromStdString(p.string());
}

void expectThreeByTwoAt(const QImage& image, const QColor& background) {
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor want = x < 3 && y < 2 ? testing::threeByTwoColour(x, y) : background;
            EXPECT_EQ(image.pixelColor(x, y), want) << x << "," << y;
        }
    }
}

TEST(PreviewToQImage, OddWidthConvertsWithoutSkew) {
    const QImage image = previewToQImage(testing::threeByTwo());
    ASSERT_EQ(image.size(), QSize(3, 2));
    expectThreeByTwoAt(image, Qt::black);
}

TEST(PreviewToQImage, PalettedPictureUsesItsPalette) {
    PreviewImage image;
    image.width = 2;
    image.height = 1;
    image.bitsPerPixel = 8;
    image.palette = {{0, 0, 0, 0}, {30, 20, 10, 0}};
    image.pixels = {1, 7};   // 7 lies outside the palette: black
    const QImage converted = previewToQImage(image);
    ASSERT_EQ(converted.size(), QSize(2, 1));
    EXPECT_EQ(converted.pixelColor(0, 0), QColor(10, 20, 30));
    EXPECT_EQ(converted.pixelColor(1, 0), QColor(Qt::black));
}

TEST(PreviewToQImage, EmptyOrInconsistentPictureIsNull) {
    EXPECT_TRUE(previewToQImage(PreviewImage{}).isNull());
    PreviewImage shortPixels = testing::threeByTwo();
    shortPixels.pixels.pop_back();
    EXPECT_TRUE(previewToQImage(shortPixels).isNull());
    PreviewImage oddDepth = testing::threeByTwo();
    oddDepth.bitsPerPixel = 16;
    EXPECT_TRUE(previewToQImage(oddDepth).isNull());
}

TEST(DrawImage, DrawsOneToOneAtTopLeft) {
    QImage surface(5, 4, QImage::Format_RGB32);
    surface.fill(Qt::magenta);
    {
        QPainter painter(&surface);
        drawImage(painter, testing::threeByTwo());
        drawImage(painter, PreviewImage{});   // nothing to draw
    }
    expectThreeByTwoAt(surface, Qt::magenta);
}

TEST(PlatformPicture, ReadsBmpJpegGifAndPcx) {
    testing::TempDir dir;
    QImage source(4, 3, QImage::Format_RGB32);
    source.fill(QColor(200, 40, 60));
    source.setPixelColor(0, 0, QColor(0, 0, 255));
    ASSERT_TRUE(source.save(qPath(dir.path() / "a.bmp"), "BMP"));
    ASSERT_TRUE(source.save(qPath(dir.path() / "a.jpg"), "JPG", 100));

    const QImage bmp = loadPlatformPicture(qPath(dir.path() / "a.bmp"), "bmp");
    ASSERT_EQ(bmp.size(), QSize(4, 3));
    EXPECT_EQ(bmp.pixelColor(0, 0), QColor(0, 0, 255));
    EXPECT_EQ(bmp.pixelColor(3, 2), QColor(200, 40, 60));

    const QImage jpg = loadPlatformPicture(qPath(dir.path() / "a.jpg"), "jpg");
    ASSERT_EQ(jpg.size(), QSize(4, 3));
    EXPECT_NEAR(jpg.pixelColor(3, 2).red(), 200, 12);
    EXPECT_NEAR(jpg.pixelColor(3, 2).green(), 40, 12);

    const QByteArray gifBytes =
        testing::buildGif(3, 2, {Qt::red, Qt::green, Qt::blue, Qt::white}, {0, 1, 2, 3, 3, 0});
    QFile gifFile(qPath(dir.path() / "a.gif"));
    ASSERT_TRUE(gifFile.open(QIODevice::WriteOnly));
    gifFile.write(gifBytes);
    gifFile.close();
    const QImage gif = loadPlatformPicture(gifFile.fileName(), "gif");
    ASSERT_EQ(gif.size(), QSize(3, 2));
    EXPECT_EQ(gif.pixelColor(0, 0), QColor(Qt::red));
    EXPECT_EQ(gif.pixelColor(2, 0), QColor(Qt::blue));
    EXPECT_EQ(gif.pixelColor(0, 1), QColor(Qt::white));
    EXPECT_EQ(gif.pixelColor(2, 1), QColor(Qt::red));

    testing::PcxPlan pcx;
    pcx.planes = 3;
    pcx.xMax = 1;
    pcx.data = testing::pcxRle({255, 0, 0, 255, 0, 0});   // red plane, green plane, blue plane
    const QImage fromPcx =
        loadPlatformPicture(qPath(dir.write("a.pcx", testing::buildPcx(pcx))), "pcx");
    ASSERT_EQ(fromPcx.size(), QSize(2, 1));
    EXPECT_EQ(fromPcx.pixelColor(0, 0), QColor(255, 0, 0));
    EXPECT_EQ(fromPcx.pixelColor(1, 0), QColor(0, 255, 0));
}

TEST(PlatformPicture, ContentDecidesAmongBmpJpegGifOnly) {
    testing::TempDir dir;
    QImage source(2, 2, QImage::Format_RGB32);
    source.fill(Qt::yellow);
    ASSERT_TRUE(source.save(qPath(dir.path() / "real.bmp"), "BMP"));
    ASSERT_TRUE(source.save(qPath(dir.path() / "real.png"), "PNG"));
    // A BMP stored under a .jpg name still shows, as a picture loader that
    // looks at the content would show it.
    EXPECT_EQ(loadPlatformPicture(qPath(dir.path() / "real.bmp"), "jpg").size(), QSize(2, 2));
    // Other formats and kinds are refused, as are missing and broken files.
    EXPECT_TRUE(loadPlatformPicture(qPath(dir.path() / "real.png"), "bmp").isNull());
    EXPECT_TRUE(loadPlatformPicture(qPath(dir.path() / "real.bmp"), "png").isNull());
    EXPECT_TRUE(loadPlatformPicture(qPath(dir.path() / "absent.bmp"), "bmp").isNull());
    EXPECT_TRUE(loadPlatformPicture(qPath(dir.path() / "real.bmp"), "pcx").isNull());
    const testing::Bytes bmp = testing::readFile(dir.path() / "real.bmp");
    const auto cut = dir.write("cut.bmp", testing::Bytes(bmp.begin(), bmp.begin() + 30));
    EXPECT_TRUE(loadPlatformPicture(qPath(cut), "bmp").isNull());
}

} // namespace
} // namespace sga
