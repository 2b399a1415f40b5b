// The preview of a clicked tree node: text entries in Text1, pictures in
// Picture1.

#include "ui/frmMain.h"

#include "core/Cp1252.h"
#include "core/FileReader.h"
#include "extract/EntryReader.h"
#include "preview/EntryDecoders.h"
#include "preview/modFilePSD.h"
#include "preview/modFileTGA.h"
#include "previewqt/modMisc.h"
#include "ui/ArchiveTreeModel.h"
#include "ui/PictureBox.h"
#include "ui/HexDump.h"

#include <QFile>
#include <QLocale>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>

#include <algorithm>

namespace sga::ui {

namespace {

// Text entries show at most this many bytes.
constexpr size_t kTextPreviewBytes = 32000;
// Text in an encoding of its own (UTF-16) shows at most this many bytes.
constexpr size_t kOwnEncodingTextBytes = 4 << 20;
// Pictures are previewed up to this size (decoded entry bytes).
constexpr int64_t kPicturePreviewBytes = int64_t{64} << 20;

} // namespace

void frmMain::TreeView1_NodeClick(const QModelIndex& Node) {
    // During a load the tree still shows the previous archive while sFile
    // already names the next one: previews wait until it is done.
    if (running_) return;
    const TreeNode* node = treeModel_->nodeAt(Node);
    if (!node) return;
    const NodeRef ref = decodeNodeKey(node->key);
    switch (ref.kind) {
    case NodeRef::Kind::Root:
        showEntryDetails(-1);
        return;
    case NodeRef::Kind::Directory:
        hideOutline();
        Text1->setPlainText(QString());
        if (HexView1->isVisible()) {
            HexView1->hide();
            Text1->show();
        }
        showEntryDetails(-1);
        return;
    case NodeRef::Kind::File:
        break;
    }
    const auto entryIndex = static_cast<int32_t>(std::clamp<int64_t>(ref.entryNumber - 1, -1, INT32_MAX));
    const EntryDecoder* row = findEntryDecoder(node->text);
    const EntryView view = row ? row->view : EntryView::Hex;
    if ((view == EntryView::Chunks || view == EntryView::Attributes) && row->decodeOutline) {
        showOutline(entryIndex, *row);
        showEntryDetails(entryIndex);
        return;
    }
    hideOutline();
    if (view == EntryView::Text) {
        openTextFile(entryIndex);
    } else if (view == EntryView::Picture) {
        openImageFile(entryIndex);
    } else {
        showHexView(entryIndex);
    }
    showEntryDetails(entryIndex);
}

bool frmMain::readEntry(int32_t entryIndex, size_t headBytes, EntryBytes& bytes) {
    // Only file entries have stored bytes.
    const ArchiveModel& model = archive_.model;
    lastReadResult_ = -1;
    lastBlock_ = EntryBlock{};
    if (!model.isFileNumber(int64_t{entryIndex} + 1)) return false;
    FileReader archive;
    if (!archive.open(std::filesystem::path(QFile::encodeName(sFile).toStdString()))) return false;
    EntryReader reader(archive, log_);
    Expected<EntryBytes> read = reader.readHead(model.fileOf(int64_t{entryIndex} + 1), headBytes);
    lastReadResult_ = reader.result();
    lastBlock_ = reader.block();
    if (!read) return false;
    bytes = std::move(*read);
    return true;
}

void frmMain::showMessage(const QString& message) {
    Picture1->hide();
    Text1->hide();
    HexView1->setPlainText(message);
    HexView1->show();
}

void frmMain::showReadFailure(int32_t entryIndex) {
    const ArchiveModel& model = archive_.model;
    QString why;
    if (!model.isFileNumber(int64_t{entryIndex} + 1)) {
        why = tr("The archive has no file entry %1.").arg(int64_t{entryIndex} + 1);
    } else {
        const ArchiveFile& f = model.fileOf(int64_t{entryIndex} + 1);
        const QString name = QString::fromStdString(modelTextToUtf8(model, f.path()));
        why = lastReadResult_ < 0
                  ? tr("Cannot read %1: the archive cannot be opened.").arg(name)
                  : tr("Cannot read %1: %2.")
                        .arg(name, QString::fromStdString(cp1252ToUtf8(describeEntryFailure(f, lastReadResult_))));
    }
    showMessage(why);
}

void frmMain::showHexView(int32_t entryIndex) {
    EntryBytes head;
    if (!readEntry(entryIndex, kHexPreviewBytes, head)) {
        showReadFailure(entryIndex);
        return;
    }
    // Only the head is read; the dump says how much more there is.
    const int64_t whole = EntryReader::decodedSize(archive_.model.fileOf(int64_t{entryIndex} + 1));
    const size_t size = head.size() < kHexPreviewBytes ? head.size() : static_cast<size_t>(std::max<int64_t>(whole, 0));
    showMessage(QString::fromLatin1(hexDump(head.data(), std::max(size, head.size()))));
}

void frmMain::openTextFile(int32_t entryIndex) {
    Picture1->hide();
    HexView1->hide();
    Text1->show();
    // Text in an encoding of its own (UTF-16 localisation tables) is decoded
    // by its row and shown up to a few MiB; the rest as the archive stores it.
    const ArchiveModel& model = archive_.model;
    const EntryDecoder* row = model.isFileNumber(int64_t{entryIndex} + 1)
                                  ? findEntryDecoder(model.fileOf(int64_t{entryIndex} + 1).name)
                                  : nullptr;
    const bool ownEncoding = row && row->decodeText;
    const size_t limit = ownEncoding ? kOwnEncodingTextBytes : kTextPreviewBytes;
    EntryBytes head;
    if (!readEntry(entryIndex, limit, head)) {
        showReadFailure(entryIndex);
        return;
    }
    const size_t n = std::min(head.size(), limit);
    const std::string_view bytes(reinterpret_cast<const char*>(head.data()), n);
    QString text;
    if (ownEncoding) {
        Expected<std::string> decoded = row->decodeText(std::span(head.data(), n));
        text = QString::fromStdString(decoded ? *decoded : decoded.message());
    } else {
        text = QString::fromStdString(model.encoding == TextEncoding::Utf8 ? std::string(bytes)
                                                                           : cp1252ToUtf8(bytes));
    }
    // The text view breaks lines at CR and at LF alike: one break per CR LF.
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    Text1->setPlainText(text);
}

void frmMain::openImageFile(int32_t entryIndex) {
    Picture1->show();
    Text1->hide();
    HexView1->hide();
    const ArchiveModel& model = archive_.model;
    if (model.isFileNumber(int64_t{entryIndex} + 1)) {
        const ArchiveFile& f = model.fileOf(int64_t{entryIndex} + 1);
        if (const int64_t size = EntryReader::decodedSize(f); size > kPicturePreviewBytes) {
            const QLocale locale;
            showMessage(tr("%1 is too large to preview (%2 bytes; pictures up to %3 bytes are shown).")
                            .arg(QString::fromStdString(modelTextToUtf8(model, f.path())),
                                 locale.toString(static_cast<qlonglong>(size)),
                                 locale.toString(static_cast<qlonglong>(kPicturePreviewBytes))));
            return;
        }
    }
    EntryBytes bytes;
    if (!readEntry(entryIndex, SIZE_MAX, bytes)) {
        showReadFailure(entryIndex);
        return;
    }

    const QString tempPath = previewTempFile();
    QFile temp(tempPath);
    const bool written = temp.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
                         temp.write(reinterpret_cast<const char*>(bytes.data()),
                                    static_cast<qint64>(bytes.size())) == static_cast<qint64>(bytes.size());
    temp.close();
    if (!written) {
        // Decoding now would show whatever an earlier preview left there.
        setStatusText(utf8ToCp1252("Cannot write " + tempPath.toStdString()));
        return;
    }

    const std::string& name = archive_.model.fileOf(int64_t{entryIndex} + 1).name;
    const std::string extension = lowerExtension(name);
    const std::filesystem::path path(QFile::encodeName(tempPath).toStdString());
    if (extension == "tga") {
        loadTGA(path, PreviewImage);
        RefreshPicture();
    } else if (extension == "psd") {
        loadPSD(path, PreviewImage);
        RefreshPicture();
    } else {
        // Shown at its own size inside the box as it is. An unreadable BMP,
        // JPEG, GIF or PCX leaves the box empty; the newer kinds say why.
        Expected<ShownPicture> picture = decodeEntryPicture(name, std::span<const uint8_t>(bytes.data(), bytes.size()));
        const bool sayWhy = !picture && extension != "bmp" && extension != "jpg" &&
                            extension != "gif" && extension != "pcx";
        if (sayWhy) {
            Picture1->hide();
            HexView1->setPlainText(tr("Cannot show %1: %2.")
                                       .arg(QString::fromStdString(modelTextToUtf8(archive_.model, name)),
                                            QString::fromStdString(picture.message())));
            HexView1->show();
            return;
        }
        Picture1->setFit(false);
        Picture1->setPicture(picture ? picture->image : QImage());
        const bool platformKind = extension == "bmp" || extension == "jpg" ||
                                  extension == "gif" || extension == "pcx";
        if (picture && !platformKind) {
            // The newer kinds get a box of their own size, up to the pane,
            // and are fitted to the pane when larger.
            const QSize border = Picture1->size() - Picture1->innerSize();
            Picture1->resize((picture->image.size() + border).boundedTo(Text1->size()));
            setStatusText(describePicture(picture->image.width(), picture->image.height(),
                                          picture->format, picture->mipCount));
        }
        pictureBoxSize_ = Picture1->size();
        if (picture && !platformKind && pictureExceedsPane()) setPictureFit(true);
    }
}

bool frmMain::pictureExceedsPane() const {
    const QSize size = Picture1->picture().size();
    const QSize pane = Text1->size() - (Picture1->size() - Picture1->innerSize());
    return !Picture1->picture().isNull() &&
           (size.width() > pane.width() || size.height() > pane.height());
}

void frmMain::setPictureFit(bool fit) {
    Picture1->resize(fit ? Text1->size() : pictureBoxSize_);
    Picture1->setFit(fit);
}

void frmMain::RefreshPicture() {
    const int width = std::max(PreviewImage.width, 0);
    const int height = std::max(PreviewImage.height, 0);
    const QSize border = Picture1->size() - Picture1->innerSize();
    Picture1->resize(border.width() + width, border.height() + height);

    QImage surface;
    const bool complete = width > 0 && height > 0 &&
                          PreviewImage.pixels.size() >= size_t(width) * size_t(height) * 3;
    if (complete) {
        surface = QImage(width, height, QImage::Format_RGB32);
        surface.fill(Qt::white);
        QPainter painter(&surface);
        drawImage(painter, PreviewImage);
    }
    Picture1->setFit(false);
    Picture1->setPicture(surface);
    Picture1->update();
    pictureBoxSize_ = Picture1->size();
}

} // namespace sga::ui
