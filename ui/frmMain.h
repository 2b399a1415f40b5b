#pragma once
// The main window: archive tree, text and picture previews, menus, toolbar,
// status bar and the progress display of Extract all. It is also the window
// host through which the loader and the extraction commands report.

#include "archive/ArchiveOpen.h"
#include "archive/ArchiveTree.h"
#include "core/WindowHost.h"
#include "preview/PreviewImage.h"
#include "core/ActivityLog.h"

#include <QElapsedTimer>
#include <QMainWindow>
#include <QSettings>

#include <array>
#include <functional>
#include <memory>

class QAction;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QProgressBar;
class QStatusBar;
class QToolBar;
class QTreeView;

namespace sga::ui {

class ArchiveTreeModel;
class ImageList;
class PictureBox;

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

// "Tarsel Archive Extractor by Quennel - v2.3"
QString mainCaption();

class frmMain : public QMainWindow, public WindowHost {
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

    // The index of the specified loader (empty for other layouts).
    const ArchiveIndex& archiveIndex() const;
    const ArchiveModel& archiveModel() const { return archive_.model; }
    ArchiveTreeModel* treeModel() const { return treeModel_; }
    QString statusText() const;
    bool isRunning() const { return running_; }

    // WindowHost
    void setExtractionEnabled(bool enabled) override;
    void setBusy(bool busy) override;
    void setStatusText(const std::string& text) override;
    void setLabel1(const std::string& text) override;
    void treeCleared() override;
    void treeFilled(const ArchiveTree& tree) override;
    void processEvents() override;
    void setExtractingLayout(bool extracting) override;
    void setProgressMax(int max) override;
    void setProgressValue(int value) override;
    void setProgressLabel(const std::string& text) override;
    bool stopRequested() override { return stopRequested_; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    class RunScope;

    void createControls();
    void createActions();
    void createMenus();
    void setTabOrder();
    void loadArchive();
    bool readEntry(int32_t entryIndex);
    void showReport(const std::string& summary);
    void setCommandsHeld(bool held);

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
    QAction* buttonOpen_ = nullptr;
    QAction* buttonExtract_ = nullptr;
    QAction* buttonExtractAll_ = nullptr;

    bool running_ = false;        // a load or Extract all is under way
    bool stopRequested_ = false;
    bool closePending_ = false;   // close once the run has returned
    int busyDepth_ = 0;
    QElapsedTimer sinceEvents_;
};

} // namespace sga::ui
