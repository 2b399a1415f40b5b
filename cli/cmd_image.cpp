// sga image: decodes one picture entry with the readers the preview uses and
// writes it in the format the output file's extension names.
#include "cli/Commands.h"

#include "core/Cp1252.h"
#include "preview/EntryDecoders.h"
#include "preview/PngWriter.h"
#include "extract/OutputFiles.h"
#include "extract/EntryReader.h"
#include "core/ActivityLog.h"
#include "core/TerminalText.h"

#include <filesystem>
#include <iostream>

#ifdef SGA_HAVE_PREVIEW_QT
#include "previewqt/modMisc.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QImageWriter>
#include <QSaveFile>
#endif

namespace sga::cli {
namespace {

#ifdef SGA_HAVE_PREVIEW_QT
// Writes through a temporary file, so a failed write leaves FILE as it was.
Status writePicture(const QImage& picture, const std::string& file) {
    const QString path = QString::fromStdString(file);
    const QByteArray format = QFileInfo(path).suffix().toLower().toLatin1();
    if (format.isEmpty() || !QImageWriter::supportedImageFormats().contains(format))
        return Status::error("no picture format for the extension \"" + format.toStdString() + "\"");
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly)) return Status::error(out.errorString().toStdString());
    QImageWriter writer(&out, format);
    if (!writer.write(picture)) {
        out.cancelWriting();
        return Status::error(writer.errorString().toStdString());
    }
    if (!out.commit()) return Status::error(out.errorString().toStdString());
    return {};
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
        "image", "Decode a picture entry (" + pictureExtensionList() + ") and write it to FILE");
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
        const EntryDecoder* row = findEntryDecoder(entry->name);
        if (!row || row->source == PictureSource::None)
            return fail(options->path + " is not a picture (kind \"" +
                        cp1252ToUtf8(lowerExtension(entry->name)) + "\"; pictures are " +
                        pictureExtensionList() + ")");
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
        const Expected<ShownPicture> picture = decodeEntryPicture(entry->name, bytes);
        if (!picture) return fail("cannot decode " + options->path + ": " + picture.message());
        if (Status written = writePicture(picture->image, options->output); !written)
            return fail("cannot write " + options->output + ": " + written.message());
#else
        // Without Qt the program's own decoders still write PNG.
        const std::string suffix = lowerExtension(std::filesystem::path(options->output).filename().string());
        if (row->source != PictureSource::Own || suffix != "png")
            return fail("this build of sga writes only PNG from " + std::string(row->description) +
                        "s (built without Qt)");
        std::vector<uint8_t> bytes;
        if (auto error = readEntryBytes(loaded, *entry, log, bytes)) return fail(*error);
        const Expected<Picture> picture = row->decodePicture(bytes);
        if (!picture) return fail("cannot decode " + options->path + ": " + picture.message());
        const auto png = encodePng(*picture);
        if (!png) return fail("cannot write " + options->output + ": " + png.message());
        if (const Status written = writeWholeFile(options->output, png->data(), png->size()); !written)
            return fail("cannot write " + options->output + ": " + written.message());
#endif
    });
}

} // namespace sga::cli
