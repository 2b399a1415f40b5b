#pragma once
// The main window: archive tree, text and picture previews, menus, toolbar,
// status bar and the progress display of Extract all. It is also the window
// host through which the loader and the extraction commands report.

#include "archive/ArchiveOpen.h"
#include "archive/ArchiveTree.h"
#include "core/ReportSink.h"
#include "preview/EntryDecoders.h"
#include "preview/PreviewImage.h"
#include "core/ActivityLog.h"
#include "extract/Extract.h"
#include "extract/EntryReader.h"

#include <QElapsedTimer>
#include <QModelIndexList>
#include <QMainWindow>
#include <QSettings>

#include <array>
#include <functional>
#include <memory>

class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QMimeData;
class QTemporaryDir;
class QPlainTextEdit;
class QProgressBar;
class QStatusBar;
class QToolBar;
class QTreeView;
class QTreeWidget;
class QTreeWidgetItem;
class QUrl;

namespace sga::ui {

class ArchiveTreeModel;
class ImageList;
class PictureBox;
class TreeFilter;

// The arguments of the open-file dialog, as the Open command passes them and
// as the dialog hands them back.
struct OpenFileArgs {
    QString Filename;
    QString FileTitle;
    bool FileMustExist = true;
    bool MultiSelect = false;
    bool ReadOnly = false;
    bool HideReadOnly = false;
    QString Filter;
    int32_t FilterIndex = 1;
    QString InitDir;
    QString DlgTitle;
    QString DefaultExt;
    QWidget* Owner = nullptr;
    int32_t flags = 0;
};
// Shows the dialog; true when a file was chosen.
using OpenFileDialog = std::function<bool(OpenFileArgs&)>;
// The platform's open-file dialog (cCommonDialog::VBGetOpenFileName).
bool systemOpenFileDialog(OpenFileArgs& args);

// Asks for a folder, starting at start; empty when none was chosen.
using FolderDialog = std::function<QString(QWidget* owner, const QString& start)>;
QString systemFolderDialog(QWidget* owner, const QString& start);
// Hands a file or folder to the desktop's default application.
using DesktopOpener = std::function<bool(const QUrl&)>;
bool systemDesktopOpener(const QUrl& url);

// True for names of a type the desktop may run as a program: executables,
// installers, scripts, launchers, shortcuts.
bool mayRunCode(const QString& fileName);
// What the user answers before Open hands such an entry to the desktop.
enum class RiskyOpenAnswer { Open, ShowFolder, Cancel };
using RiskyOpenQuestion = std::function<RiskyOpenAnswer(QWidget* owner, const QString& fileName)>;
// Asks with a message box whose default is not to open.
RiskyOpenAnswer systemRiskyOpenQuestion(QWidget* owner, const QString& fileName);

// "Tarsel Archive Extractor by Quennel - v2.3"
QString mainCaption();

class frmMain : public QMainWindow, public ReportSink {
    Q_OBJECT
public:
    // programFolder: where the program's files go (empty: the folder of the
    // executable). settingsFile: an INI file to keep the settings in (empty:
    // the user's settings store).
    explicit frmMain(const QString& programFolder = {}, const QString& settingsFile = {},
                     QWidget* parent = nullptr);
    ~frmMain() override;

    // The open archive's path (UTF-8, "/" separators); empty until one is chosen.
    QString sFile;
    // The folder the extraction commands write under.
    QString extractLocation;
    // The picture the TGA and PSD readers last decoded.
    sga::PreviewImage PreviewImage;
    // The Open command's dialog; tests put a stand-in here.
    OpenFileDialog openFileDialog = systemOpenFileDialog;
    // The folder chooser of Extract to... and the desktop hand-off of Open;
    // tests put stand-ins here.
    FolderDialog folderDialog = systemFolderDialog;
    DesktopOpener desktopOpener = systemDesktopOpener;
    // Asked before Open hands over an entry that may run code; tests answer here.
    RiskyOpenQuestion askBeforeOpening = systemRiskyOpenQuestion;
    // Extract all's parallel jobs: every core of the machine.
    int extractJobs = 1;

    void Form_Load();
    void Form_Resize();
    void mnuOpen_Click();
    void Toolbar1_ButtonClick(QAction* Button);
    void mnuAbout_Click();
    void mnuFileExit_Click();
    void mnuRecentFile_Click(int Index);
    void mnuExtract_Click();
    void mnuExtAll_Click();
    void TreeView1_NodeClick(const QModelIndex& Node);
    void openTextFile(int32_t entryIndex);
    void openImageFile(int32_t entryIndex);
    void RefreshPicture();
    // Large pictures: scaled to the preview pane, or 1:1 (keys F and 1).
    void setPictureFit(bool fit);
    bool pictureExceedsPane() const;
    // Chunked and attribute files: a tree of their parts above the hex dump
    // of the selected part's bytes.
    void showOutline(int32_t entryIndex, const EntryDecoder& row);
    // Copies a chosen "#RGD_DIC" file into the dictionary folder the RGD
    // views and the command line read, and shows the entry again.
    void mnuAddDictionary_Click();
    void hideOutline();

    // Find: the tree narrowed to the files matching text (see TreeFilter);
    // an empty text shows the whole tree again.
    void findTextChanged(const QString& text);
    // Escape in the find field: the field emptied, the whole tree back.
    void clearFind();
    // The selected nodes in tree order (the current node when none is selected).
    std::vector<SelectedNode> selectedNodes() const;
    // The tree's context menu: Extract, Extract to..., Open, Copy path.
    void mnuExtractTo_Click();
    void mnuOpenEntry_Click();
    void mnuCopyPath_Click();
    QMenu* treeMenu() const { return treeMenu_; }
    // What a drag of these nodes carries: the nodes extracted to a private
    // temporary folder, as file URLs. Null when nothing could be written.
    QMimeData* dragMimeData(const QModelIndexList& indexes);
    // The private temporary folder of drags and Open (made on first use,
    // removed with the window).
    QString privateFolder();

    // What the Open command does once it has a path; also the path given on
    // the command line.
    void openChosenArchive(const QString& path);
    // The archive named on the command line (relative to the current folder).
    void openCommandLineArchive(const QString& argument);

    const QString& programFolder() const { return programFolder_; }
    // The program's folder, or the per-user data folder when the program's
    // folder cannot be written: the log, "extracted" and "pic.tmp" live here.
    const QString& dataFolder() const { return dataFolder_; }
    QString previewTempFile() const;
    std::unique_ptr<QSettings> settings() const;
    // Items 0 (the separator) to 4 of the recent-files list.
    QAction* mnuRecentFile(int index) const;

    // The index of the 17-byte reader (empty for other layouts).
    const ArchiveIndex& archiveIndex() const;
    const ArchiveModel& archiveModel() const { return archive_.model; }
    ArchiveTreeModel* treeModel() const { return treeModel_; }
    QString statusText() const;
    bool isRunning() const { return running_; }

    // Shows tree in TreeView1 (a find in the field narrows it at once).
    void treeFilled(const ArchiveTree& tree);

    // ReportSink: what the core reports while it works for the window.
    void status(const std::string& text) override { setStatusText(text); }
    void busy(bool on) override { setBusy(on); }
    void progressStart(int total) override;
    void progress(int value, const std::string& label) override;
    void progressEnd() override { setExtractingLayout(false); }
    void letEventsRun() override { processEvents(); }
    bool stopRequested() override { return stopRequested_; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    // Dropping a .big or .sga file opens it.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    class RunScope;

    void setExtractionEnabled(bool enabled);
    void setBusy(bool busy);
    void setStatusText(const std::string& text);
    void treeCleared();
    void processEvents();
    // The extracting layout: status label and progress bar shown, tree and
    // previews hidden, both extraction commands disabled.
    void setExtractingLayout(bool extracting);

    void createControls();
    void createActions();
    void createMenus();
    void setTabOrder();
    void loadArchive();
    // Reads the first headBytes of an entry (SIZE_MAX: all of it) for the
    // preview; false when it cannot (lastReadResult_ says why).
    bool readEntry(int32_t entryIndex, size_t headBytes, EntryBytes& bytes);
    // A message in place of the preview.
    void showMessage(const QString& message);
    void showReport(const std::string& summary);
    void setCommandsHeld(bool held);
    // Every command's enabled state, from held_, extractionAllowed_, the open
    // archive and the tree's selection: the one place that enables anything.
    void updateCommands();
    void createWorkControls();
    void createOutlineControls();
    void showOutlineSelection();
    void placeFindField();
    // Extract selected for several nodes, as a run of its own.
    SelectionReport runSelection(const std::vector<SelectedNode>& nodes, const ExtractSelectionOptions& options);
    void showTreeMenu(const QPoint& position);
    void showHexView(int32_t entryIndex);
    void showReadFailure(int32_t entryIndex);
    void showEntryDetails(int32_t entryIndex);
    // The selection extracted below a fresh folder inside the private
    // folder; what each node became there.
    std::vector<QString> extractToPrivateFolder(const std::vector<SelectedNode>& nodes);
    static QString archivePathOfDrop(const QMimeData* data);

    QString programFolder_;
    QString dataFolder_;
    QString settingsFile_;
    ActivityLog log_;
    OpenedArchive archive_;

    ImageList* ilImages = nullptr;
    QToolBar* Toolbar1 = nullptr;
    QLabel* Label1 = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    QLabel* Label2 = nullptr;
    QStatusBar* StatusBar1 = nullptr;
    QLabel* statusLabel_ = nullptr;
    QTreeView* TreeView1 = nullptr;
    ArchiveTreeModel* treeModel_ = nullptr;
    QPlainTextEdit* Text1 = nullptr;
    PictureBox* Picture1 = nullptr;

    QMenu* mnuFile = nullptr;
    QAction* mnuOpen = nullptr;
    QAction* mnuFileExit = nullptr;
    std::array<QAction*, 5> mnuRecentFile_{};
    QMenu* mnuActionS = nullptr;
    QAction* mnuExtract = nullptr;
    QAction* mnuExtAll = nullptr;
    QMenu* mnuHelp = nullptr;
    QAction* mnuAbout = nullptr;
    QAction* mnuAddDictionary = nullptr;
    QAction* buttonOpen_ = nullptr;
    QAction* buttonExtract_ = nullptr;
    QAction* buttonExtractAll_ = nullptr;

    QLineEdit* FindText = nullptr;
    QPlainTextEdit* HexView1 = nullptr;
    QTreeWidget* OutlineTree1 = nullptr;
    std::vector<uint8_t> outlineBytes_;   // the bytes of the entry the outline shows
    QLabel* detailsLabel_ = nullptr;
    QMenu* treeMenu_ = nullptr;
    QAction* actFind_ = nullptr;
    QAction* actClearFind_ = nullptr;
    std::unique_ptr<TreeFilter> filter_;
    QString statusBeforeFind_;   // the status text a find replaced
    QString findStatus_;         // the find's own status text
    QSize pictureBoxSize_;       // the picture box's size when showing 1:1
    QString pictureStatus_;      // the picture's size and format, while the status says it
    QString statusBeforePicture_;
    std::unique_ptr<QTemporaryDir> private_;
    int privateRuns_ = 0;
    int16_t lastReadResult_ = 0;
    EntryBlock lastBlock_;

    bool running_ = false;        // a load or Extract all is under way
    bool held_ = false;           // Open and the recent items wait for a run to end
    bool extractionAllowed_ = false;   // as the core last set it
    bool stopRequested_ = false;
    bool closePending_ = false;   // close once the run has returned
    int busyDepth_ = 0;
    QElapsedTimer sinceEvents_;
};

} // namespace sga::ui
