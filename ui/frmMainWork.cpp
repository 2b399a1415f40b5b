// The window's tools for real work: find, several nodes at once, the tree's
// context menu, dragging nodes out, dropping archives in, and the details of
// the selected file in the status bar.

#include "ui/frmMain.h"

#include "ui/PictureBox.h"

#include "archive/modSGA.h"
#include "core/Cp1252.h"
#include "extract/OutputFiles.h"
#include "ui/ArchiveTreeModel.h"
#include "ui/ModRecentList.h"
#include "ui/TreeFilter.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDateTime>
#include <QDesktopServices>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QShortcut>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTimeZone>
#include <QToolBar>
#include <QTreeView>
#include <QUrl>

#include <algorithm>
#include <optional>

namespace sga::ui {

namespace {

std::filesystem::path toPath(const QString& path) {
    return std::filesystem::path(QFile::encodeName(path).toStdString());
}

QString fromPath(const std::filesystem::path& path) {
    return QFile::decodeName(QByteArray::fromStdString(path.string()));
}

// The nodes of the given tree ids, in tree order and each once.
std::vector<SelectedNode> nodesInTreeOrder(const ArchiveTree& tree, std::vector<int> ids) {
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    std::vector<SelectedNode> nodes;
    for (int id : ids) nodes.push_back({tree[static_cast<size_t>(id)].key, tree[static_cast<size_t>(id)].text});
    return nodes;
}

} // namespace

QString systemFolderDialog(QWidget* owner, const QString& start) {
    return QFileDialog::getExistingDirectory(owner, QObject::tr("Extract to"), start);
}

bool systemDesktopOpener(const QUrl& url) {
    return QDesktopServices::openUrl(url);
}

bool mayRunCode(const QString& fileName) {
    static const QStringList kRunnable = {
        // Programs and installers.
        QStringLiteral("exe"), QStringLiteral("com"), QStringLiteral("scr"), QStringLiteral("pif"),
        QStringLiteral("cpl"), QStringLiteral("msi"), QStringLiteral("msp"),
        QStringLiteral("appimage"), QStringLiteral("run"), QStringLiteral("deb"),
        QStringLiteral("rpm"), QStringLiteral("flatpakref"), QStringLiteral("snap"), QStringLiteral("apk"),
        QStringLiteral("jar"), QStringLiteral("class"), QStringLiteral("application"), QStringLiteral("gadget"),
        // Scripts.
        QStringLiteral("bat"), QStringLiteral("cmd"), QStringLiteral("sh"), QStringLiteral("bash"),
        QStringLiteral("zsh"), QStringLiteral("csh"), QStringLiteral("ksh"), QStringLiteral("fish"),
        QStringLiteral("command"), QStringLiteral("py"), QStringLiteral("pyw"), QStringLiteral("pl"),
        QStringLiteral("rb"), QStringLiteral("php"), QStringLiteral("ps1"), QStringLiteral("psm1"),
        QStringLiteral("vbs"), QStringLiteral("vbe"), QStringLiteral("js"), QStringLiteral("jse"),
        QStringLiteral("mjs"), QStringLiteral("wsf"), QStringLiteral("wsh"), QStringLiteral("hta"),
        QStringLiteral("reg"), QStringLiteral("inf"), QStringLiteral("scpt"),
        // Launchers and shortcuts.
        QStringLiteral("desktop"), QStringLiteral("lnk"), QStringLiteral("url"), QStringLiteral("webloc"),
        QStringLiteral("app"), QStringLiteral("xbel")};
    const qsizetype dot = fileName.lastIndexOf(u'.');
    return dot >= 0 && kRunnable.contains(fileName.mid(dot + 1).toLower());
}

RiskyOpenAnswer systemRiskyOpenQuestion(QWidget* owner, const QString& fileName) {
    QMessageBox box(QMessageBox::Warning, QObject::tr("Open"),
                    QObject::tr("%1 may run as a program. Open it anyway?").arg(fileName), QMessageBox::NoButton,
                    owner);
    QPushButton* open = box.addButton(QObject::tr("&Open"), QMessageBox::YesRole);
    QPushButton* folder = box.addButton(QObject::tr("Show &folder"), QMessageBox::ActionRole);
    QPushButton* no = box.addButton(QObject::tr("&No"), QMessageBox::NoRole);
    box.setDefaultButton(no);
    box.setEscapeButton(no);
    box.exec();
    if (box.clickedButton() == open) return RiskyOpenAnswer::Open;
    if (box.clickedButton() == folder) return RiskyOpenAnswer::ShowFolder;
    return RiskyOpenAnswer::Cancel;
}

void frmMain::createWorkControls() {
    // The find field lies over the right end of the toolbar (placeFindField),
    // clear of its buttons.
    FindText = new QLineEdit(centralWidget());
    FindText->setObjectName(QStringLiteral("FindText"));
    FindText->setPlaceholderText(tr("Find (*.lua, ship\\hgn_*)"));
    FindText->setClearButtonEnabled(true);
    placeFindField();
    FindText->raise();
    // Ctrl+A is Extract all everywhere but in the find field, where it selects the text.
    FindText->installEventFilter(this);
    TreeView1->installEventFilter(this);
    Picture1->installEventFilter(this);
    connect(FindText, &QLineEdit::textChanged, this, &frmMain::findTextChanged);

    actFind_ = new QAction(tr("Find"), this);
    actFind_->setObjectName(QStringLiteral("actFind"));
    actFind_->setShortcut(QKeySequence::Find);
    actFind_->setShortcutContext(Qt::WindowShortcut);
    connect(actFind_, &QAction::triggered, this, [this] {
        FindText->setFocus(Qt::ShortcutFocusReason);
        FindText->selectAll();
    });
    addAction(actFind_);
    actClearFind_ = new QAction(tr("Clear find"), FindText);
    actClearFind_->setObjectName(QStringLiteral("actClearFind"));
    actClearFind_->setShortcut(QKeySequence(Qt::Key_Escape));
    actClearFind_->setShortcutContext(Qt::WidgetShortcut);
    connect(actClearFind_, &QAction::triggered, this, &frmMain::clearFind);
    FindText->addAction(actClearFind_);

    // The preview of entries that are neither text nor a picture, and the
    // reason an entry could not be read.
    HexView1 = new QPlainTextEdit(centralWidget());
    HexView1->setObjectName(QStringLiteral("HexView1"));
    HexView1->setReadOnly(true);
    HexView1->setLineWrapMode(QPlainTextEdit::NoWrap);
    HexView1->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    HexView1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    HexView1->setGeometry(Text1->geometry());
    HexView1->hide();
    createOutlineControls();

    detailsLabel_ = new QLabel(StatusBar1);
    detailsLabel_->setObjectName(QStringLiteral("StatusBar1Details"));
    StatusBar1->addPermanentWidget(detailsLabel_);

    TreeView1->setSelectionMode(QAbstractItemView::ExtendedSelection);
    TreeView1->setDragEnabled(true);
    TreeView1->setDragDropMode(QAbstractItemView::DragOnly);
    TreeView1->setDefaultDropAction(Qt::CopyAction);
    treeModel_->dragData = [this](const QModelIndexList& indexes) { return dragMimeData(indexes); };

    treeMenu_ = new QMenu(this);
    treeMenu_->setObjectName(QStringLiteral("TreeMenu"));
    auto item = [this](const char* name, const QString& caption, void (frmMain::*handler)()) {
        QAction* a = treeMenu_->addAction(caption);
        a->setObjectName(QString::fromLatin1(name));
        connect(a, &QAction::triggered, this, handler);
        return a;
    };
    item("mnuTreeExtract", tr("&Extract"), &frmMain::mnuExtract_Click);
    item("mnuTreeExtractTo", tr("Extract &to..."), &frmMain::mnuExtractTo_Click);
    item("mnuTreeOpen", tr("&Open"), &frmMain::mnuOpenEntry_Click);
    item("mnuTreeCopyPath", tr("&Copy path"), &frmMain::mnuCopyPath_Click);
    TreeView1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(TreeView1, &QWidget::customContextMenuRequested, this, &frmMain::showTreeMenu);
    // The tree menu's commands follow the selection.
    connect(TreeView1->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { updateCommands(); });

    setAcceptDrops(true);
}

// ---------------------------------------------------------------- find

bool frmMain::eventFilter(QObject* watched, QEvent* event) {
    // The text-editing keys (Ctrl+A selects all, copy, paste, undo...) stay
    // with the find field while it has focus, before any window shortcut.
    if (watched == FindText && event->type() == QEvent::ShortcutOverride) {
        auto* key = static_cast<QKeyEvent*>(event);
        for (const auto standard : {QKeySequence::SelectAll, QKeySequence::Copy, QKeySequence::Cut,
                                    QKeySequence::Paste, QKeySequence::Undo, QKeySequence::Redo}) {
            if (key->matches(standard)) {
                event->accept();
                return true;
            }
        }
    }
    if ((watched == TreeView1 || watched == Picture1) && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        const bool fitKey = key->key() == Qt::Key_F || key->key() == Qt::Key_1;
        if (fitKey && key->modifiers() == Qt::NoModifier && Picture1->isVisible() &&
            pictureExceedsPane()) {
            setPictureFit(key->key() == Qt::Key_F);
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void frmMain::placeFindField() {
    if (!FindText) return;
    const int height = std::min(FindText->sizeHint().height(), Toolbar1->height() - 2);
    const int width = std::clamp(Toolbar1->width() / 3, 120, 240);
    FindText->setGeometry(Toolbar1->x() + Toolbar1->width() - width - 4,
                          Toolbar1->y() + (Toolbar1->height() - height) / 2, width, height);
}

void frmMain::findTextChanged(const QString& text) {
    if (text.isEmpty()) {
        if (!treeModel_->filtered()) return;
        const std::vector<SelectedNode> keep = selectedNodes();
        treeModel_->clearFilter();
        const ArchiveTree& tree = treeModel_->tree();
        for (size_t i = 0; i < tree.size(); ++i) {
            if (tree[i].expanded) TreeView1->expand(treeModel_->indexOfNode(static_cast<int>(i)));
        }
        // The nodes selected during the find stay selected and in view.
        auto* selection = TreeView1->selectionModel();
        for (const SelectedNode& node : keep) {
            const QModelIndex index = treeModel_->indexOfKey(node.key);
            for (QModelIndex up = index.parent(); up.isValid(); up = up.parent()) TreeView1->expand(up);
            selection->select(index, QItemSelectionModel::Select | QItemSelectionModel::Rows);
        }
        if (!keep.empty()) {
            const QModelIndex last = treeModel_->indexOfKey(keep.back().key);
            selection->setCurrentIndex(last, QItemSelectionModel::NoUpdate);
            TreeView1->scrollTo(last);
        }
        // Unless something else has been reported meanwhile.
        if (statusLabel_->text() == findStatus_) statusLabel_->setText(statusBeforeFind_);
        return;
    }
    if (!filter_) filter_ = std::make_unique<TreeFilter>(treeModel_->tree());
    if (!treeModel_->filtered() || statusLabel_->text() != findStatus_) statusBeforeFind_ = statusLabel_->text();
    FilteredTree result = filter_->apply(text.toStdString());
    const int matches = result.matches;
    treeModel_->setFilter(std::move(result));
    // Every folder in view leads to a match.
    TreeView1->expandAll();
    findStatus_ = matches == 1 ? tr("1 file matches") : tr("%1 files match").arg(matches);
    statusLabel_->setText(findStatus_);
}

void frmMain::clearFind() {
    FindText->clear();
    findTextChanged(QString());
    TreeView1->setFocus(Qt::OtherFocusReason);
}

// ---------------------------------------------------------------- selection

std::vector<SelectedNode> frmMain::selectedNodes() const {
    std::vector<int> ids;
    for (const QModelIndex& index : TreeView1->selectionModel()->selectedRows())
        if (treeModel_->nodeAt(index)) ids.push_back(static_cast<int>(index.internalId()));
    if (ids.empty()) {
        const QModelIndex current = TreeView1->currentIndex();
        if (treeModel_->nodeAt(current)) ids.push_back(static_cast<int>(current.internalId()));
    }
    return nodesInTreeOrder(treeModel_->tree(), std::move(ids));
}

void frmMain::showTreeMenu(const QPoint& position) {
    updateCommands();
    treeMenu_->popup(TreeView1->viewport()->mapToGlobal(position));
}

void frmMain::mnuExtractTo_Click() {
    if (running_ || sFile.isEmpty()) return;
    const std::vector<SelectedNode> nodes = selectedNodes();
    if (nodes.empty()) return;
    const QString chosen = folderDialog(this, extractLocation);
    if (chosen.isEmpty()) return;
    // The choice is the extract location from now on, also after a restart.
    extractLocation = QDir::fromNativeSeparators(chosen);
    {
        const auto store = settings();
        store->setValue(QStringLiteral("LastExtract/Location"), extractLocation);
        store->sync();
    }
    runSelection(nodes, {.target = toPath(extractLocation)});
}

QString frmMain::privateFolder() {
    if (!private_) {
        private_ = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/sgaview-XXXXXX"));
        if (!private_->isValid()) {
            private_.reset();
            return {};
        }
    }
    return private_->path();
}

std::vector<QString> frmMain::extractToPrivateFolder(const std::vector<SelectedNode>& nodes) {
    std::vector<QString> items;
    if (running_ || sFile.isEmpty() || nodes.empty()) return items;
    const QString folder = privateFolder();
    if (folder.isEmpty()) {
        statusLabel_->setText(tr("Cannot create a temporary folder"));
        return items;
    }
    // A fresh folder each time: an earlier drag's files may still be in use.
    const QString target = folder + QStringLiteral("/%1").arg(++privateRuns_);
    const SelectionReport report = runSelection(nodes, {.target = toPath(target), .fromSelectedNode = true});
    for (const auto& item : report.items) {
        if (pathExists(item)) items.push_back(fromPath(item));
    }
    return items;
}

void frmMain::mnuOpenEntry_Click() {
    const std::vector<SelectedNode> nodes = selectedNodes();
    if (nodes.size() != 1 || decodeNodeKey(nodes.front().key).kind == NodeRef::Kind::Root) return;
    const std::vector<QString> items = extractToPrivateFolder(nodes);
    if (items.empty()) return;
    QString item = items.front();
    // A type the desktop may run is opened only when the user says so;
    // the folder that holds it may be shown instead.
    const QFileInfo info(item);
    if (!info.isDir() && mayRunCode(info.fileName())) {
        switch (askBeforeOpening(this, info.fileName())) {
        case RiskyOpenAnswer::Open: break;
        case RiskyOpenAnswer::ShowFolder: item = info.absolutePath(); break;
        case RiskyOpenAnswer::Cancel: return;
        }
    }
    if (!desktopOpener(QUrl::fromLocalFile(item)))
        statusLabel_->setText(tr("No application opens %1").arg(QFileInfo(item).fileName()));
}

void frmMain::mnuCopyPath_Click() {
    QStringList paths;
    for (const SelectedNode& node : selectedNodes()) {
        const NodeRef ref = decodeNodeKey(node.key);
        if (ref.kind == NodeRef::Kind::Root) continue;
        paths << QString::fromStdString(modelTextToUtf8(archive_.model, ref.path));
    }
    if (paths.isEmpty()) return;
    QGuiApplication::clipboard()->setText(paths.join(u'\n'));
}

// ---------------------------------------------------------------- drag and drop

QMimeData* frmMain::dragMimeData(const QModelIndexList& indexes) {
    std::vector<int> ids;
    for (const QModelIndex& index : indexes)
        if (treeModel_->nodeAt(index)) ids.push_back(static_cast<int>(index.internalId()));
    const std::vector<QString> items = extractToPrivateFolder(nodesInTreeOrder(treeModel_->tree(), std::move(ids)));
    if (items.empty()) return nullptr;
    QList<QUrl> urls;
    for (const QString& item : items) urls << QUrl::fromLocalFile(item);
    auto* data = new QMimeData;
    data->setUrls(urls);
    return data;
}

QString frmMain::archivePathOfDrop(const QMimeData* data) {
    if (!data || !data->hasUrls()) return {};
    for (const QUrl& url : data->urls()) {
        if (!url.isLocalFile()) continue;
        const QString path = url.toLocalFile();
        const QString suffix = QFileInfo(path).suffix().toLower();
        if ((suffix == QLatin1String("big") || suffix == QLatin1String("sga")) && QFileInfo(path).isFile())
            return QDir::fromNativeSeparators(QFileInfo(path).absoluteFilePath());
    }
    return {};
}

void frmMain::dragEnterEvent(QDragEnterEvent* event) {
    // The tree's own drags are for other programs.
    if (!running_ && event->source() == nullptr && !archivePathOfDrop(event->mimeData()).isEmpty()) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
        return;
    }
    event->ignore();
}

void frmMain::dropEvent(QDropEvent* event) {
    const QString path = archivePathOfDrop(event->mimeData());
    if (running_ || event->source() != nullptr || path.isEmpty()) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    // As the Open command does with a chosen file.
    openChosenArchive(path);
}

// ---------------------------------------------------------------- details

void frmMain::showEntryDetails(int32_t entryIndex) {
    const ArchiveModel& model = archive_.model;
    if (!model.isFileNumber(int64_t{entryIndex} + 1)) {
        detailsLabel_->clear();
        return;
    }
    const ArchiveFile& f = model.fileOf(int64_t{entryIndex} + 1);
    const QLocale locale = QLocale::c();
    QStringList parts;
    parts << QString::fromStdString(modelTextToUtf8(model, f.path()));
    parts << tr("%1 bytes").arg(locale.toString(static_cast<qlonglong>(f.size)));
    parts << tr("stored %1 bytes").arg(locale.toString(static_cast<qlonglong>(f.storedSize)));
    parts << QString::fromStdString(std::string(storageName(f.storage)));
    if (f.crcKind != CrcKind::None) {
        // Layouts that keep the CRC-32 in the block before the bytes leave
        // it out of the table: the block read with the entry has it.
        std::optional<uint32_t> crc;
        if (f.crc != 0 || f.blockSize == 0) crc = f.crc;
        else if (lastReadResult_ == 0 && lastBlock_.present) crc = lastBlock_.storedCrc();
        if (crc) parts << QStringLiteral("CRC-32 ") + QString::number(*crc, 16).rightJustified(8, u'0').toUpper();
    }
    if (f.hasMtime) {
        const QDateTime when = QDateTime::fromSecsSinceEpoch(f.mtime, Qt::UTC);
        parts << tr("modified %1 UTC").arg(when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
    }
    detailsLabel_->setText(parts.join(QStringLiteral("  |  ")));
}

} // namespace sga::ui
