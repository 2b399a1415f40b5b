// sga image: decodes one picture entry with the readers the preview uses and
// writes it in the format the output file's extension names.
#include "cli/Commands.h"

#include "core/Cp1252.h"
#include "extract/EntryData.h"
#include "core/ActivityLog.h"
#include "core/TerminalText.h"

#include <algorithm>
#include <array>
#include <iostream>

#ifdef SGA_HAVE_PREVIEW_QT
#include "preview/PcxReader.h"
#include "preview/modFilePSD.h"
#include "preview/modFileTGA.h"
#include "ui/modMisc.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QImageWriter>
#include <QSaveFile>
#endif

namespace sga::cli {
namespace {

constexpr std::array<std::string_view, 6> kPictureKinds = {"tga", "psd", "bmp",
                                                           "jpg", "gif", "pcx"};

// The part of the entry name after its last "." (the whole name without one),
// compared case-sensitively, as the preview chooses its reader.
std::string pictureKind(const std::string& name) {
    const size_t dot = name.rfind('.');
    return dot == std::string::npos ? name : name.substr(dot + 1);
}

#ifdef SGA_HAVE_PREVIEW_QT
// Decodes the entry's bytes; on failure returns a null image and says why.
QImage decodePicture(const std::string& kind, const std::vector<uint8_t>& bytes,
                     std::string& reason) {
    if (kind == "bmp" || kind == "jpg" || kind == "gif") {
        const QByteArray data(reinterpret_cast<const char*>(bytes.data()),
                              static_cast<qsizetype>(bytes.size()));
        QImage picture = decodePlatformPicture(data, QString::fromStdString(kind));
        if (picture.isNull()) reason = "not a BMP, JPEG or GIF picture that can be read";
        return picture;
    }
    PreviewImage image;
    Status status = kind == "tga"   ? decodeTGA(bytes, image)
                    : kind == "psd" ? decodePSD(bytes, image)
                                    : decodePCX(bytes, image);
    if (!status) {
        reason = status.message();
        return {};
    }
    return previewToQImage(image);
}

// Writes through a temporary file, so a failed write leaves FILE as it was.
bool writePicture(const QImage& picture, const std::string& file, std::string& reason) {
    const QString path = QString::fromStdString(file);
    const QByteArray format = QFileInfo(path).suffix().toLower().toLatin1();
    if (format.isEmpty() || !QImageWriter::supportedImageFormats().contains(format)) {
        reason = "no picture format for the extension \"" + format.toStdString() + "\"";
        return false;
    }
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly)) {
        reason = out.errorString().toStdString();
        return false;
    }
    QImageWriter writer(&out, format);
    if (!writer.write(picture)) {
        reason = writer.errorString().toStdString();
        out.cancelWriting();
        return false;
    }
    if (!out.commit()) {
        reason = out.errorString().toStdString();
        return false;
    }
    return true;
}
#endif

} // namespace

void addImageCommand(CLI::App& app, Context& context) {
    struct Options : CommonOptions {
        std::string path;
        std::string output;
    };
    auto options = std::make_shared<Options>();
    auto* sub = app.add_subcommand(
        "image", "Decode a picture entry (tga, psd, bmp, jpg, gif, pcx) and write it to FILE");
    addCommonOptions(*sub, *options);
    sub->add_option("PATH", options->path, "Entry path inside the archive (\\ or /)")->required();
    sub->add_option("-o,--output", options->output,
                    "Picture file to write; its extension names the format (png, ppm, bmp, jpg)")
        ->required();
    onLoadedArchive(*sub, options, context,
                    [options, &context](LoadedArchive& loaded, LogSink& log) {
        const auto fail = [&context](const std::string& reason) {
            std::cerr << "sga: " << printable(reason) << "\n";
            context.exitCode = kFailed;
        };
        const ArchiveFile* entry = findFile(loaded.model, options->path);
        if (!entry) return fail(options->path + ": no such file in the archive");
        const std::string kind = pictureKind(entry->name);
        if (std::find(kPictureKinds.begin(), kPictureKinds.end(), kind) == kPictureKinds.end())
            return fail(options->path + " is not a picture (kind \"" + cp1252ToUtf8(kind) +
                        "\"; pictures are tga, psd, bmp, jpg, gif, pcx)");
#ifdef SGA_HAVE_PREVIEW_QT
        std::vector<uint8_t> bytes;
        if (auto error = readEntryBytes(loaded, *entry, log, bytes)) return fail(*error);

        // Qt wants an application object; a core one needs no display, and the
        // image plugins (JPEG, GIF) load with it.
        std::unique_ptr<QCoreApplication> application;
        if (!QCoreApplication::instance()) {
            static int argc = 1;
            static char name[] = "sga";
            static char* argv[] = {name, nullptr};
            application = std::make_unique<QCoreApplication>(argc, argv);
        }
        std::string reason;
        const QImage picture = decodePicture(kind, bytes, reason);
        if (picture.isNull()) return fail("cannot decode " + options->path + ": " + reason);
        if (!writePicture(picture, options->output, reason))
            return fail("cannot write " + options->output + ": " + reason);
#else
        fail("this build of sga has no picture support (built without Qt)");
#endif
    });
}

} // namespace sga::cli
