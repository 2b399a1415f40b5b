// The preview of a clicked tree node: text entries in Text1, pictures in
// Picture1.

#include "ui/frmMain.h"

#include "core/Cp1252.h"
#include "core/FileReader.h"
#include "extract/EntryData.h"
#include "preview/EntryDecoders.h"
#include "preview/modFilePSD.h"
#include "preview/modFileTGA.h"
#include "previewqt/modMisc.h"
#include "ui/ArchiveTreeModel.h"
#include "ui/PictureBox.h"
#include "ui/HexDump.h"

#include <QFile>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>

#include <algorithm>

namespace sga::ui {

namespace {

// Text entries show at most this many bytes.
constexpr size_t kTextPreviewBytes = 32000;

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

bool frmMain::readEntry(int32_t entryIndex) {
    // Only file entries have stored bytes.
    const ArchiveModel& model = archive_.model;
    lastReadResult_ = -1;
    lastBlock_ = EntryBlock{};
    if (!model.isFileNumber(int64_t{entryIndex} + 1)) return false;
    FileReader archive;
    if (!archive.open(std::filesystem::path(QFile::encodeName(sFile).toStdString()))) return false;
    lastReadResult_ = readFileBytes(model.fileOf(int64_t{entryIndex} + 1), archive, log_, entryBuffer, &lastBlock_);
    return lastReadResult_ == 0;
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
    Picture1->hide();
    Text1->hide();
    HexView1->setPlainText(why);
    HexView1->show();
}

void frmMain::showHexView(int32_t entryIndex) {
    if (!readEntry(entryIndex)) {
        showReadFailure(entryIndex);
        return;
    }
    Picture1->hide();
    Text1->hide();
    HexView1->setPlainText(QString::fromLatin1(hexDump(entryBuffer.data(), entryBuffer.size())));
    HexView1->show();
}

void frmMain::openTextFile(int32_t entryIndex) {
    Picture1->hide();
    HexView1->hide();
    Text1->show();
    if (!readEntry(entryIndex)) {
        showReadFailure(entryIndex);
        return;
    }
    const size_t n = std::min(entryBuffer.size(), kTextPreviewBytes);
    const std::string_view bytes(reinterpret_cast<const char*>(entryBuffer.data()), n);
    QString text = QString::fromStdString(archive_.model.encoding == TextEncoding::Utf8
                                              ? std::string(bytes)
                                              : cp1252ToUtf8(bytes));
    // The text view breaks lines at CR and at LF alike: one break per CR LF.
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    Text1->setPlainText(text);
}

void frmMain::openImageFile(int32_t entryIndex) {
    Picture1->show();
    Text1->hide();
    HexView1->hide();
    if (!readEntry(entryIndex)) {
        showReadFailure(entryIndex);
        return;
    }

    const QString tempPath = previewTempFile();
    QFile temp(tempPath);
    const bool written = temp.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
                         temp.write(reinterpret_cast<const char*>(entryBuffer.data()),
                                    static_cast<qint64>(entryBuffer.size())) ==
                             static_cast<qint64>(entryBuffer.size());
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
        Expected<ShownPicture> picture = decodeEntryPicture(name, entryBuffer);
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
