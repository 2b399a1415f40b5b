// sga image through the real binary, on an archive built in code.
#include "tests/support/PictureBuilders.h"
#include "previewqt/tests/QtPictures.h"
#include "tests/support/ArchiveWriter.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <gtest/gtest.h>

namespace sga {
namespace {

using testing::Bytes;

struct CommandRun {
    int exitCode = -1;
    QString stdErr;
};

class ImageCommand : public ::testing::Test {
protected:
    void SetUp() override {
        testing::TgaPlan tga;
        tga.width = 3;
        tga.height = 2;
        // Stored bottom row first.
        for (int y = 1; y >= 0; --y) {
            for (int x = 0; x < 3; ++x) {
                const QColor c = testing::threeByTwoColour(x, y);
                tga.pixels.insert(tga.pixels.end(),
                                  {static_cast<uint8_t>(c.blue()), static_cast<uint8_t>(c.green()),
                                   static_cast<uint8_t>(c.red())});
            }
        }
        testing::TgaPlan rle = tga;
        rle.imageType = 10;

        QImage photo(4, 4, QImage::Format_RGB32);
        photo.fill(QColor(30, 160, 90));
        QByteArray jpeg;
        QBuffer buffer(&jpeg);
        buffer.open(QIODevice::WriteOnly);
        ASSERT_TRUE(photo.save(&buffer, "JPG", 100));
        const QByteArray gif = testing::buildGif(2, 1, {Qt::red, Qt::blue}, {1, 0});
        // One small picture in each format Qt's image plugins write.
        const auto encoded = [&photo](const char* format) {
            QByteArray bytes;
            QBuffer sink(&bytes);
            sink.open(QIODevice::WriteOnly);
            photo.save(&sink, format, 100);
            return Bytes(bytes.begin(), bytes.end());
        };

        testing::ArchivePlan plan;
        plan.dirs = {{"art", 1}};
        const auto file = [](std::string name, Bytes data, bool compress = false) {
            testing::EntryPlan f;
            f.name = std::move(name);
            f.data = std::move(data);
            f.compress = compress;
            return f;
        };
        plan.files = {file("readme.txt", testing::textBytes("hello\r\n")),
                      file("pic.tga", testing::buildTga(tga), true),
                      file("broken.tga", testing::buildTga(rle)),
                      file("photo.jpg", Bytes(jpeg.begin(), jpeg.end())),
                      file("flag.gif", Bytes(gif.begin(), gif.end())),
                      file("SKY.TGA", testing::buildTga(tga)),
                      file("shot.png", encoded("PNG")),
                      file("scan.TIF", encoded("TIFF")),
                      file("leaf.webp", encoded("WEBP")),
                      file("app.ico", encoded("ICO"))};
        archive_ = dir_.write("data.big", testing::buildArchive(plan));
    }

    CommandRun image(const std::string& entry, const std::string& output) {
        QProcess process;
        // No display and no platform plugin: the command must not need one.
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("QT_QPA_PLATFORM");
        env.remove("DISPLAY");
        env.remove("WAYLAND_DISPLAY");
        process.setProcessEnvironment(env);
        process.start(SGA_BINARY, {"image", QString::fromStdString(archive_.string()),
                                   QString::fromStdString(entry), "-o", out(output)});
        CommandRun run;
        if (!process.waitForFinished(60000)) return run;
        run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
        run.stdErr = QString::fromUtf8(process.readAllStandardError());
        return run;
    }

    QString out(const std::string& name) const {
        return QString::fromStdString((dir_.path() / name).string());
    }

    testing::TempDir dir_;
    std::filesystem::path archive_;
};

void expectThreeByTwo(const QImage& image) {
    ASSERT_EQ(image.size(), QSize(3, 2));
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(image.pixelColor(x, y), testing::threeByTwoColour(x, y)) << x << "," << y;
}

TEST_F(ImageCommand, WritesTgaEntryAsPngAndPpm) {
    CommandRun png = image("art\\pic.tga", "pic.png");
    ASSERT_EQ(png.exitCode, 0) << png.stdErr.toStdString();
    expectThreeByTwo(QImage(out("pic.png")));

    CommandRun ppm = image("art/pic.tga", "pic.ppm");
    ASSERT_EQ(ppm.exitCode, 0) << ppm.stdErr.toStdString();
    const Bytes written = testing::readFile(out("pic.ppm").toStdString());
    const std::string header = "P6\n3 2\n255\n";
    ASSERT_GE(written.size(), header.size() + 18);
    EXPECT_EQ(
        std::string(written.begin(), written.begin() + static_cast<std::ptrdiff_t>(header.size())),
        header);
    const Bytes rgb(written.end() - 18, written.end());
    EXPECT_EQ(rgb, Bytes({10, 20, 30, 11, 20, 31, 12, 20, 32, 10, 21, 33, 11, 21, 34, 12, 21, 35}));
}

TEST_F(ImageCommand, ReadsJpegAndGifWithoutADisplay) {
    CommandRun jpg = image("art\\photo.jpg", "photo.png");
    ASSERT_EQ(jpg.exitCode, 0) << jpg.stdErr.toStdString();
    const QImage photo(out("photo.png"));
    ASSERT_EQ(photo.size(), QSize(4, 4));
    EXPECT_NEAR(photo.pixelColor(2, 2).green(), 160, 12);

    CommandRun gif = image("art\\flag.gif", "flag.bmp");
    ASSERT_EQ(gif.exitCode, 0) << gif.stdErr.toStdString();
    const QImage flag(out("flag.bmp"));
    ASSERT_EQ(flag.size(), QSize(2, 1));
    EXPECT_EQ(flag.pixelColor(0, 0), QColor(Qt::blue));
    EXPECT_EQ(flag.pixelColor(1, 0), QColor(Qt::red));
}

TEST_F(ImageCommand, ReadsEveryPictureKindWhateverTheCaseOfItsName) {
    for (const char* entry : {"SKY.TGA", "shot.png", "scan.TIF", "leaf.webp", "app.ico"}) {
        CommandRun run = image(std::string("art\\") + entry, "converted.png");
        ASSERT_EQ(run.exitCode, 0) << entry << ": " << run.stdErr.toStdString();
        const QImage converted(out("converted.png"));
        EXPECT_EQ(converted.size(), std::string(entry) == "SKY.TGA" ? QSize(3, 2) : QSize(4, 4))
            << entry;
    }
}

TEST_F(ImageCommand, RefusesWithOneLineReason) {
    const struct {
        std::string entry, output, reason;
    } cases[] = {
        {"readme.txt", "readme.png", "not a picture"},
        {"art\\broken.tga", "broken.png", "image type 10"},
        {"art\\absent.tga", "absent.png", "no such file in the archive"},
        {"art\\pic.tga", "pic.unknownformat", "no picture format"},
    };
    for (const auto& c : cases) {
        CommandRun run = image(c.entry, c.output);
        EXPECT_EQ(run.exitCode, 1) << c.entry;
        EXPECT_TRUE(run.stdErr.contains(QString::fromStdString(c.reason)))
            << run.stdErr.toStdString();
        EXPECT_EQ(run.stdErr.count('\n'), 1) << run.stdErr.toStdString();
        EXPECT_FALSE(QFile::exists(out(c.output))) << c.output;
    }
}

} // namespace
} // namespace sga
