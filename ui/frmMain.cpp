#include "ui/frmMain.h"

#include "core/Cp1252.h"
#include "archive/modSGA.h"
#include "extract/Extract.h"
#include "extract/OrderedPipeline.h"
#include "platform/ProgramFolder.h"
#include "platform/cCommonDialog.h"
#include "ui/ArchiveTreeModel.h"
#include "ui/ImageList.h"
#include "ui/ModRecentList.h"
#include "ui/TreeFilter.h"
#include "ui/PictureBox.h"
#include "ui/WindowLayout.h"
#include "ui/frmAbout.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QScreen>
#include <QStatusBar>
#include <QStyleFactory>
#include <QToolBar>
#include <QTreeView>
#include <QTreeWidget>

namespace sga::ui {

namespace {

const QString kArchiveFilter =
    QStringLiteral("Homeworld 2 Archive (*.big)|*.big|IC SGA Archive (*.sga)|*.sga|All Files (*.*)|*.*");

std::filesystem::path toPath(const QString& path) {
    return std::filesystem::path(QFile::encodeName(path).toStdString());
}

// Log lines are 8-bit text.
std::string logText(const QString& text) {
    return utf8ToCp1252(text.toStdString());
}

QString fromCp1252(const std::string& text) {
    return QString::fromStdString(cp1252ToUtf8(text));
}

} // namespace

bool systemOpenFileDialog(OpenFileArgs& a) {
    platform::cCommonDialog dialog;
    return dialog.VBGetOpenFileName(a.Filename, a.FileTitle, a.FileMustExist, a.MultiSelect,
                                    a.ReadOnly, a.HideReadOnly, a.Filter, a.FilterIndex, a.InitDir,
                                    a.DlgTitle, a.DefaultExt, a.Owner, a.flags);
}

QString mainCaption() {
    return QStringLiteral("Tarsel Archive Extractor by Quennel - v%1.%2")
        .arg(SGA_VERSION_MAJOR)
        .arg(SGA_VERSION_MINOR);
}

// Marks a load or an Extract all as running: the commands that would change
// sFile or the index under it are held off until it returns, and a close
// asked for meanwhile happens afterwards.
class frmMain::RunScope {
public:
    explicit RunScope(frmMain& form) : form_(form) {
        form_.running_ = true;
        form_.stopRequested_ = false;
        form_.setCommandsHeld(true);
        // The first chance to let events run is taken.
        form_.sinceEvents_.invalidate();
    }
    ~RunScope() {
        form_.running_ = false;
        form_.setCommandsHeld(false);
        if (form_.closePending_) {
            form_.closePending_ = false;
            form_.close();
        }
    }

private:
    frmMain& form_;
};

frmMain::frmMain(const QString& programFolder, const QString& settingsFile, QWidget* parent)
    : QMainWindow(parent),
      programFolder_(programFolder.isEmpty() ? platform::programFolder() : programFolder),
      dataFolder_(platform::dataFolder(programFolder_)),
      settingsFile_(settingsFile),
      log_(toPath(dataFolder_ + QStringLiteral("/sgaExtract.log"))) {
    setObjectName(QStringLiteral("frmMain"));
    setWindowIcon(programIcon());
    createActions();
    createMenus();
    createControls();
    createWorkControls();
    setTabOrder();
    extractJobs = defaultJobs();
}

frmMain::~frmMain() {
    while (busyDepth_ > 0) setBusy(false);
}

void frmMain::createActions() {
    ilImages = new ImageList(this);

    auto menuItem = [this](const char* name, const QString& caption, const QKeySequence& shortcut,
                           void (frmMain::*handler)()) {
        auto* item = new QAction(caption, this);
        item->setObjectName(QString::fromLatin1(name));
        item->setShortcut(shortcut);
        connect(item, &QAction::triggered, this, handler);
        return item;
    };
    mnuOpen = menuItem("mnuOpen", tr("&Open Archive"), QKeySequence(Qt::CTRL | Qt::Key_O),
                       &frmMain::mnuOpen_Click);
    mnuFileExit = menuItem("mnuFileExit", tr("E&xit"), {}, &frmMain::mnuFileExit_Click);
    for (int i = 0; i < static_cast<int>(mnuRecentFile_.size()); ++i) {
        auto* item = new QAction(i == 0 ? QString() : QStringLiteral("RecentFile%1").arg(i), this);
        item->setObjectName(QStringLiteral("mnuRecentFile"));
        item->setData(i);
        item->setSeparator(i == 0);
        item->setVisible(false);
        if (i > 0) connect(item, &QAction::triggered, this, [this, i] { mnuRecentFile_Click(i); });
        mnuRecentFile_[static_cast<size_t>(i)] = item;
    }
    mnuExtract = menuItem("mnuExtract", tr("&Extract selected file(s)"), QKeySequence(Qt::CTRL | Qt::Key_E),
                          &frmMain::mnuExtract_Click);
    mnuExtAll = menuItem("mnuExtAll", tr("Extract &All to Directory"), QKeySequence(Qt::CTRL | Qt::Key_A),
                         &frmMain::mnuExtAll_Click);
    mnuAbout = menuItem("mnuAbout", tr("&About"), {}, &frmMain::mnuAbout_Click);

    // Toolbar buttons: the key is the object name and the data.
    auto button = [this](const QString& key, const QString& tip) {
        auto* action = new QAction(ilImages->icon(key), QString(), this);
        action->setObjectName(key);
        action->setData(key);
        action->setToolTip(tip);
        return action;
    };
    buttonOpen_ = button(QStringLiteral("Open"), tr("Open SGA Archive"));
    buttonExtract_ = button(QStringLiteral("Extract"), tr("Extract Selected Files"));
    buttonExtractAll_ = button(QStringLiteral("ExtractAll"), tr("Extract All Files"));
}

void frmMain::createMenus() {
    mnuFile = menuBar()->addMenu(tr("&File"));
    mnuFile->setObjectName(QStringLiteral("mnuFile"));
    mnuFile->addAction(mnuOpen);
    mnuFile->addSeparator()->setObjectName(QStringLiteral("mnuFileSep"));
    mnuFile->addAction(mnuFileExit);
    for (QAction* item : mnuRecentFile_) mnuFile->addAction(item);

    mnuActionS = menuBar()->addMenu(tr("&Actions"));
    mnuActionS->setObjectName(QStringLiteral("mnuActionS"));
    mnuActionS->addAction(mnuExtract);
    mnuActionS->addAction(mnuExtAll);

    mnuHelp = menuBar()->addMenu(tr("&Help"));
    mnuHelp->setObjectName(QStringLiteral("mnuHelp"));
    mnuHelp->addAction(mnuAbout);
}

void frmMain::createControls() {
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    setCentralWidget(client);

    Toolbar1 = new QToolBar(client);
    Toolbar1->setObjectName(QStringLiteral("Toolbar1"));
    Toolbar1->setIconSize(QSize(ImageList::kImageSize, ImageList::kImageSize));
    Toolbar1->setToolButtonStyle(Qt::ToolButtonIconOnly);
    Toolbar1->setMovable(false);
    Toolbar1->setFloatable(false);
    Toolbar1->addAction(buttonOpen_);
    Toolbar1->addSeparator();
    Toolbar1->addAction(buttonExtract_);
    Toolbar1->addAction(buttonExtractAll_);
    Toolbar1->setGeometry(twipsRect(0, 0, 7470, 420));
    connect(Toolbar1, &QToolBar::actionTriggered, this, &frmMain::Toolbar1_ButtonClick);

    Label1 = new QLabel(QStringLiteral("Label1"), client);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(twipsRect(1920, 4920, 1695, 255));
    Label1->hide();

    ProgressBar1 = new QProgressBar(client);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);
    ProgressBar1->setGeometry(twipsRect(0, 480, 7455, 255));
    ProgressBar1->hide();

    Label2 = new QLabel(client);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setGeometry(twipsRect(0, 840, 7455, 495));
    Label2->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Label2->hide();

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setSizeGripEnabled(true);
    // A label of its own: Qt's temporary messages are wiped by menu hovers.
    statusLabel_ = new QLabel(StatusBar1);
    statusLabel_->setObjectName(QStringLiteral("StatusBar1Text"));
    StatusBar1->addWidget(statusLabel_, 1);
    setStatusBar(StatusBar1);

    TreeView1 = new QTreeView(client);
    TreeView1->setObjectName(QStringLiteral("TreeView1"));
    treeModel_ = new ArchiveTreeModel(this);
    TreeView1->setModel(treeModel_);
    TreeView1->setHeaderHidden(true);
    TreeView1->setUniformRowHeights(true);
    TreeView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    TreeView1->setGeometry(twipsRect(0, 480, 3615, 3495));
    connect(TreeView1, &QTreeView::clicked, this, &frmMain::TreeView1_NodeClick);
    // Moving through the tree with the keys previews as a click does; a
    // mouse press leaves that to the click.
    connect(TreeView1->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) {
                if (QGuiApplication::mouseButtons() == Qt::NoButton) TreeView1_NodeClick(current);
            });

    Text1 = new QPlainTextEdit(client);
    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Text1->setGeometry(twipsRect(3720, 480, 3735, 3495));

    Picture1 = new PictureBox(client);
    Picture1->setObjectName(QStringLiteral("Picture1"));
    Picture1->setGeometry(twipsRect(3720, 480, 735, 375));
    Picture1->setFocusPolicy(Qt::TabFocus);
    Picture1->hide();

    // The client area without the menu bar is 7470 x 5865 twips.
    const QSize client_size = twipsRect(0, 0, 7470, 5865).size();
    resize(client_size.width(), client_size.height() + menuBar()->sizeHint().height());
    setExtractionEnabled(false);
}

void frmMain::setTabOrder() {
    QWidget* order[] = {Toolbar1, Label1, ProgressBar1, Label2, StatusBar1, TreeView1, Text1, Picture1};
    for (size_t i = 0; i + 1 < std::size(order); ++i) QWidget::setTabOrder(order[i], order[i + 1]);
}

QAction* frmMain::mnuRecentFile(int index) const {
    if (index < 0 || index >= static_cast<int>(mnuRecentFile_.size())) return nullptr;
    return mnuRecentFile_[static_cast<size_t>(index)];
}

std::unique_ptr<QSettings> frmMain::settings() const {
    if (!settingsFile_.isEmpty()) return std::make_unique<QSettings>(settingsFile_, QSettings::IniFormat);
    // The application name is the executable's name without its extension.
    const QString application = QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, application);
}

QString frmMain::previewTempFile() const {
    return dataFolder_ + QStringLiteral("/pic.tmp");
}

QString frmMain::statusText() const {
    return statusLabel_->text();
}

// ---------------------------------------------------------------- start-up

void frmMain::Form_Load() {
    loadRecentList(*this);

    treeModel_->clear();
    // Lines to the root and plus/minus buttons: the classic style draws both.
    if (QStyle* classic = QStyleFactory::create(QStringLiteral("Windows"))) {
        classic->setParent(TreeView1);
        TreeView1->setStyle(classic);
    }
    TreeView1->setRootIsDecorated(true);
    TreeView1->setItemsExpandable(true);
    TreeView1->setSortingEnabled(false);
    // 80 twips is narrower than the plus/minus buttons; like the native tree
    // control, keep the indentation at the smallest width that holds them.
    TreeView1->setIndentation(std::max(twipsToPixels(80), 19));

    const QString caption = mainCaption();
    setWindowTitle(caption);

    log_.restart();
    log_(logText(caption));
    log_("-----------------------------");

    const QString extracted = dataFolder_ + QStringLiteral("/extracted");
    if (QFileInfo::exists(extracted) || QFileInfo(extracted).isSymLink()) {
        log_(logText(dataFolder_ + QStringLiteral("/extracted directory already exists!")));
    } else {
        log_(logText(QStringLiteral("Created ") + dataFolder_ + QStringLiteral("/extracted directory")));
        if (!QDir().mkdir(extracted)) {
            setStatusText(logText(QStringLiteral("Cannot create ") + extracted));
        }
    }
    extractLocation = extracted;

    Label2->hide();
    ProgressBar1->hide();

    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
    show();
    QCoreApplication::processEvents();
}

// ---------------------------------------------------------------- layout

void frmMain::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    // The toolbar stays docked at the top across the whole width.
    Toolbar1->resize(centralWidget()->width(), Toolbar1->height());
    placeFindField();
    Form_Resize();
}

void frmMain::Form_Resize() {
    if (isMinimized()) return;
    // The outer size: frame and title bar (frameGeometry) with the menu bar,
    // which lies inside the client geometry.
    const QRect outer = frameGeometry();
    const auto layout = layoutForWindow(pixelsToTwips(outer.height()), pixelsToTwips(outer.width()));
    if (!layout) return;
    TreeView1->resize(TreeView1->width(), twipsToPixels(layout->treeHeight));
    Text1->resize(twipsToPixels(layout->textWidth), twipsToPixels(layout->textHeight));
    if (OutlineTree1 && OutlineTree1->isVisible()) {
        const int upper = Text1->height() / 2;
        OutlineTree1->resize(Text1->width(), upper);
        HexView1->setGeometry(Text1->x(), Text1->y() + upper, Text1->width(), Text1->height() - upper);
    } else {
        HexView1->resize(Text1->size());
    }
    Picture1->resize(twipsToPixels(layout->pictureWidth), twipsToPixels(layout->pictureHeight));
}

// ---------------------------------------------------------------- commands

void frmMain::mnuOpen_Click() {
    if (running_) return;
    OpenFileArgs args;
    args.Filename = sFile.isEmpty() ? programFolder_ + QStringLiteral("/*.big") : sFile;
    args.FileTitle.clear();
    args.FileMustExist = true;
    args.MultiSelect = false;
    args.ReadOnly = false;
    args.HideReadOnly = false;
    args.Filter = kArchiveFilter;
    args.FilterIndex = 1;
    args.DefaultExt = QStringLiteral("BIG");
    args.Owner = this;
    args.flags = platform::OFN_HIDEREADONLY;
    openFileDialog(args);
    if (args.Filename.isEmpty()) return;
    openChosenArchive(args.Filename);
}

void frmMain::openChosenArchive(const QString& path) {
    if (running_) return;
    sFile = path;
    addRecentFile(*this, sFile);
    loadRecentList(*this);
    setExtractionEnabled(true);
    loadArchive();
}

void frmMain::openCommandLineArchive(const QString& argument) {
    const QFileInfo archive(argument);
    if (!archive.isFile()) {
        // The open dialog only hands over existing files; neither does this.
        statusLabel_->setText(tr("No such archive: %1").arg(argument));
        return;
    }
    openChosenArchive(QDir::fromNativeSeparators(archive.absoluteFilePath()));
}

void frmMain::mnuRecentFile_Click(int Index) {
    if (running_ || Index < 1 || Index > 4) return;
    setExtractionEnabled(true);
    sFile = recentPath(*mnuRecentFile(Index));
    loadArchive();
}

void frmMain::loadArchive() {
    RunScope run(*this);
    treeCleared();
    // A failed load has shown its reason in the status bar and in the log.
    const Status loaded = openAnyArchive(toPath(sFile), archive_, log_, *this);
    if (!loaded.ok()) {
        setExtractionEnabled(false);
        return;
    }
    // Extract all starts reading where the name table began.
    if (archive_.index) Label1->setText(QString::number(archive_.index->nameTablePos));
    treeFilled(archive_.tree);
    if (!isNormalVisibleFile(toPath(sFile))) setExtractionEnabled(false);
}

void frmMain::Toolbar1_ButtonClick(QAction* Button) {
    if (!Button) return;
    const QString key = Button->data().toString();
    if (key == QLatin1String("Open")) {
        mnuOpen_Click();
    } else if (key == QLatin1String("Extract")) {
        mnuExtract_Click();
    } else if (key == QLatin1String("ExtractAll")) {
        mnuExtAll_Click();
    }
}

void frmMain::mnuAbout_Click() {
    frmAbout about(this);
    about.exec();
}

void frmMain::mnuFileExit_Click() {
    close();
}

void frmMain::closeEvent(QCloseEvent* event) {
    if (running_) {
        // Stop the load or extraction first; the window closes when it returns.
        stopRequested_ = true;
        closePending_ = true;
        event->ignore();
        return;
    }
    archive_ = OpenedArchive{};
    treeModel_->clear();
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window != this && window->isVisible()) window->close();
    }
    event->accept();
}

const ArchiveIndex& frmMain::archiveIndex() const {
    static const ArchiveIndex none;
    return archive_.index ? *archive_.index : none;
}

void frmMain::mnuExtract_Click() {
    if (running_ || sFile.isEmpty()) return;
    if (TreeView1->selectionModel()->selectedRows().size() > 1) {
        // Several nodes: every file they hold, beside the archive.
        runSelection(selectedNodes(), {});
        return;
    }
    const TreeNode* node = treeModel_->nodeAt(TreeView1->currentIndex());
    if (!node) return;
    RunScope run(*this);
    const ExtractContext context{archive_.model, toPath(sFile), toPath(extractLocation), log_, *this};
    showReport(extractSelected(context, node->key, node->text).summary);
}

void frmMain::mnuExtAll_Click() {
    if (running_ || sFile.isEmpty()) return;
    RunScope run(*this);
    const ExtractContext context{archive_.model, toPath(sFile), toPath(extractLocation), log_, *this};
    showReport(extractAll(context, ExtractAllOptions{.jobs = std::max(1, extractJobs)}).summary);
}

SelectionReport frmMain::runSelection(const std::vector<SelectedNode>& nodes,
                                     const ExtractSelectionOptions& options) {
    RunScope run(*this);
    const ExtractContext context{archive_.model, toPath(sFile), toPath(extractLocation), log_, *this};
    SelectionReport report = extractSelection(context, nodes, options);
    showReport(report.report.summary);
    return report;
}

void frmMain::showReport(const std::string& summary) {
    if (!summary.empty()) statusLabel_->setText(QString::fromStdString(summary));
}

void frmMain::setCommandsHeld(bool held) {
    held_ = held;
    updateCommands();
}

void frmMain::updateCommands() {
    mnuOpen->setEnabled(!held_);
    buttonOpen_->setEnabled(!held_);
    for (size_t i = 1; i < mnuRecentFile_.size(); ++i) mnuRecentFile_[i]->setEnabled(!held_);
    mnuExtract->setEnabled(extractionAllowed_);
    mnuExtAll->setEnabled(extractionAllowed_);
    buttonExtract_->setEnabled(extractionAllowed_);
    buttonExtractAll_->setEnabled(extractionAllowed_);
    if (treeMenu_) {
        const std::vector<SelectedNode> nodes = selectedNodes();
        const bool any = !running_ && !sFile.isEmpty() && !nodes.empty();
        const bool one =
            any && nodes.size() == 1 && decodeNodeKey(nodes.front().key).kind != NodeRef::Kind::Root;
        for (QAction* a : treeMenu_->actions()) a->setEnabled(any);
        if (auto* open = treeMenu_->findChild<QAction*>(QStringLiteral("mnuTreeOpen"))) open->setEnabled(one);
    }
}

// ---------------------------------------------------------------- window host

void frmMain::setExtractionEnabled(bool enabled) {
    extractionAllowed_ = enabled;
    updateCommands();
}

void frmMain::setBusy(bool busy) {
    if (busy) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        ++busyDepth_;
    } else if (busyDepth_ > 0) {
        QApplication::restoreOverrideCursor();
        --busyDepth_;
    }
}

void frmMain::setStatusText(const std::string& text) {
    statusLabel_->setText(fromCp1252(text));
}

void frmMain::treeCleared() {
    filter_.reset();
    treeModel_->clear();
}

void frmMain::treeFilled(const ArchiveTree& tree) {
    filter_.reset();
    treeModel_->setTree(tree);
    for (size_t i = 0; i < tree.size(); ++i) {
        if (tree[i].expanded) TreeView1->expand(treeModel_->indexOfNode(static_cast<int>(i)));
    }
    // A find still in the field narrows the new tree too.
    if (!FindText->text().isEmpty()) findTextChanged(FindText->text());
}

void frmMain::processEvents() {
    // The loader asks once per record; repainting every 15 ms is plenty.
    if (sinceEvents_.isValid() && sinceEvents_.elapsed() < 15) return;
    QCoreApplication::processEvents();
    sinceEvents_.start();
}

void frmMain::setExtractingLayout(bool extracting) {
    Label2->setVisible(extracting);
    ProgressBar1->setVisible(extracting);
    TreeView1->setVisible(!extracting);
    Text1->setVisible(!extracting);
    Picture1->hide();
    hideOutline();
    HexView1->hide();
    setExtractionEnabled(!extracting);
}

void frmMain::progressStart(int total) {
    setExtractingLayout(true);
    // An archive without entries still gets a bar with a range.
    ProgressBar1->setRange(0, std::max(total, 1));
}

void frmMain::progress(int value, const std::string& label) {
    ProgressBar1->setValue(std::clamp(value, ProgressBar1->minimum(), ProgressBar1->maximum()));
    Label2->setText(fromCp1252(label));
}

} // namespace sga::ui
