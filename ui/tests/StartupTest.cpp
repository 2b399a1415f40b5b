// Start-up: the log's first lines, the "extracted" folder, the caption, the
// controls and their states; the layout on resize; the exit.

#include "ui/tests/GuiFixture.h"

#include "platform/ProgramFolder.h"
#include "ui/ArchiveTreeModel.h"
#include "ui/ImageList.h"
#include "ui/WindowLayout.h"

#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QStandardPaths>
#include <QToolBar>
#include <QTreeView>

#include <fstream>

namespace sga::ui::testing {
namespace {

const std::string kCaption = "Tarsel Archive Extractor by Quennel - v2.3";
const std::string kSeparator = "-----------------------------";

TEST(Startup, CreatesTheExtractedFolderWhenAbsent) {
    Workspace ws;
    {
        std::ofstream old(ws.root() / "program" / "sgaExtract.log");
        old << "a line of the last run\r\n";
    }
    auto form = ws.makeForm();
    const std::string folder = ws.programFolder().toStdString();
    const auto lines = ws.logLines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], kCaption);
    EXPECT_EQ(lines[1], kSeparator);
    EXPECT_EQ(lines[2], "Created " + folder + "/extracted directory");
    EXPECT_TRUE(std::filesystem::is_directory(ws.root() / "program" / "extracted"));
    EXPECT_EQ(form->extractLocation, ws.programFolder() + "/extracted");
    EXPECT_TRUE(form->isVisible());
}

TEST(Startup, KeepsAnExistingExtractedFolderOrFile) {
    for (bool asFile : {false, true}) {
        Workspace ws;
        const auto extracted = ws.root() / "program" / "extracted";
        if (asFile) {
            std::ofstream(extracted) << "not a folder";
        } else {
            std::filesystem::create_directory(extracted);
        }
        auto form = ws.makeForm();
        const auto lines = ws.logLines();
        ASSERT_EQ(lines.size(), 3u);
        EXPECT_EQ(lines[2], ws.programFolder().toStdString() + "/extracted directory already exists!");
        EXPECT_EQ(std::filesystem::is_regular_file(extracted), asFile);
        EXPECT_EQ(form->extractLocation, ws.programFolder() + "/extracted");
    }
}

TEST(Startup, AnUnwritableProgramFolderSendsTheFilesToTheUserDataFolder) {
    Workspace ws;
    const QString missing = qs(ws.root() / "no" / "such" / "folder");
    frmMain form(missing, ws.settingsFile());
    form.Form_Load();
    const QString perUser = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
    EXPECT_EQ(form.dataFolder(), perUser);
    EXPECT_EQ(form.extractLocation, perUser + "/extracted");
    const auto lines = sga::testing::readLines(perUser.toStdString() + "/sgaExtract.log");
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], kCaption);
    EXPECT_FALSE(std::filesystem::exists(missing.toStdString()));
}

TEST(Startup, AnInstalledProgramKeepsItsFilesInTheUserDataFolder) {
    Workspace ws;
    const auto bin = ws.root() / "usr" / "bin";
    std::filesystem::create_directories(bin);   // writable, as for root
    frmMain form(qs(bin), ws.settingsFile());
    form.Form_Load();
    const QString perUser = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
    EXPECT_EQ(form.dataFolder(), perUser);
    EXPECT_FALSE(std::filesystem::exists(bin / "sgaExtract.log"));
    EXPECT_FALSE(std::filesystem::exists(bin / "extracted"));
}

TEST(Startup, CaptionMenusToolbarAndStates) {
    Workspace ws;
    auto form = ws.makeForm();
    EXPECT_EQ(form->windowTitle().toStdString(), kCaption);

    struct Item {
        const char* name;
        const char* text;
        QKeySequence shortcut;
        bool enabled;
    };
    const Item items[] = {
        {"mnuOpen", "&Open Archive", QKeySequence(Qt::CTRL | Qt::Key_O), true},
        {"mnuFileExit", "E&xit", {}, true},
        {"mnuExtract", "&Extract selected file(s)", QKeySequence(Qt::CTRL | Qt::Key_E), false},
        {"mnuExtAll", "Extract &All to Directory", QKeySequence(Qt::CTRL | Qt::Key_A), false},
        {"mnuAbout", "&About", {}, true},
    };
    for (const Item& item : items) {
        QAction* a = action(*form, item.name);
        ASSERT_NE(a, nullptr);
        EXPECT_EQ(a->text(), QString::fromUtf8(item.text)) << item.name;
        EXPECT_EQ(a->shortcut(), item.shortcut) << item.name;
        EXPECT_EQ(a->isEnabled(), item.enabled) << item.name;
    }
    const auto menus = form->menuBar()->actions();
    ASSERT_EQ(menus.size(), 3);
    EXPECT_EQ(menus[0]->text(), "&File");
    EXPECT_EQ(menus[1]->text(), "&Actions");
    EXPECT_EQ(menus[2]->text(), "&Help");
    EXPECT_EQ(child<QMenu>(*form, "mnuActionS")->title(), "&Actions");

    // File menu: Open, separator, Exit, then the five hidden recent-file items.
    const auto file = child<QMenu>(*form, "mnuFile")->actions();
    ASSERT_EQ(file.size(), 8);
    EXPECT_EQ(file[0]->objectName(), "mnuOpen");
    EXPECT_TRUE(file[1]->isSeparator());
    EXPECT_EQ(file[2]->objectName(), "mnuFileExit");
    for (int i = 0; i <= 4; ++i) {
        EXPECT_EQ(file[3 + i], form->mnuRecentFile(i));
        EXPECT_FALSE(form->mnuRecentFile(i)->isVisible());
        EXPECT_EQ(form->mnuRecentFile(i)->objectName(), "mnuRecentFile");
    }
    EXPECT_TRUE(form->mnuRecentFile(0)->isSeparator());
    EXPECT_EQ(form->mnuRecentFile(3)->text(), "RecentFile3");

    // Toolbar: Open, a separator without key, Extract, ExtractAll.
    const auto buttons = child<QToolBar>(*form, "Toolbar1")->actions();
    ASSERT_EQ(buttons.size(), 4);
    EXPECT_TRUE(buttons[1]->isSeparator());
    EXPECT_TRUE(buttons[1]->data().toString().isEmpty());
    const char* keys[] = {"Open", nullptr, "Extract", "ExtractAll"};
    const char* tips[] = {"Open SGA Archive", nullptr, "Extract Selected Files", "Extract All Files"};
    const auto* images = child<ImageList>(*form, "ilImages");
    for (int i : {0, 2, 3}) {
        EXPECT_EQ(buttons[i]->data().toString(), keys[i]);
        EXPECT_EQ(buttons[i]->toolTip(), tips[i]);
        EXPECT_EQ(buttons[i]->isEnabled(), i == 0);
        EXPECT_EQ(images->picture(keys[i]).size(), QSize(16, 16));
        EXPECT_FALSE(buttons[i]->icon().isNull());
    }

    EXPECT_FALSE(child<QLabel>(*form, "Label1")->isVisible());
    EXPECT_EQ(child<QLabel>(*form, "Label1")->text(), "Label1");
    EXPECT_FALSE(child<QLabel>(*form, "Label2")->isVisible());
    EXPECT_FALSE(child<QProgressBar>(*form, "ProgressBar1")->isVisible());
    EXPECT_FALSE(child<QWidget>(*form, "Picture1")->isVisible());
    EXPECT_TRUE(child<QTreeView>(*form, "TreeView1")->isVisible());
    EXPECT_TRUE(child<QPlainTextEdit>(*form, "Text1")->isVisible());
    EXPECT_TRUE(form->statusText().isEmpty());
    EXPECT_EQ(form->treeModel()->rowCount(), 0);
}

TEST(Startup, ControlsStartAtTheirPlaces) {
    Workspace ws;
    auto form = ws.makeForm(false);
    // Positions in pixels of 15 twips, before any layout.
    EXPECT_EQ(child<QWidget>(*form, "TreeView1")->geometry(), QRect(0, 32, 241, 233));
    EXPECT_EQ(child<QWidget>(*form, "Text1")->pos(), QPoint(248, 32));
    EXPECT_EQ(child<QWidget>(*form, "Picture1")->geometry(), QRect(248, 32, 49, 25));
    EXPECT_EQ(child<QWidget>(*form, "ProgressBar1")->geometry(), QRect(0, 32, 497, 17));
    EXPECT_EQ(child<QWidget>(*form, "Label2")->geometry(), QRect(0, 56, 497, 33));
    EXPECT_EQ(child<QWidget>(*form, "Toolbar1")->pos(), QPoint(0, 0));
}

TEST(Layout, FollowsTheOuterSize) {
    const auto layout = layoutForWindow(6600, 7600);
    ASSERT_TRUE(layout);
    EXPECT_EQ(layout->treeHeight, 5150);
    EXPECT_EQ(layout->textHeight, 5150);
    EXPECT_EQ(layout->pictureHeight, 5150);
    EXPECT_EQ(layout->textWidth, 3740);
    EXPECT_EQ(layout->pictureWidth, 3740);
}

TEST(Layout, SmallWindowsNeverGetNegativeSizes) {
    EXPECT_FALSE(layoutForWindow(500, 7600));
    EXPECT_FALSE(layoutForWindow(0, 0));
    const auto small = layoutForWindow(501, 2000);
    ASSERT_TRUE(small);
    EXPECT_EQ(small->treeHeight, 0);
    EXPECT_EQ(small->textWidth, 0);
    const auto narrow = layoutForWindow(1451, 3861);
    ASSERT_TRUE(narrow);
    EXPECT_EQ(narrow->treeHeight, 1);
    EXPECT_EQ(narrow->pictureWidth, 1);
}

TEST(Layout, TheWindowAppliesItOnResize) {
    Workspace ws;
    auto form = ws.makeForm();
    const QSize frame = form->frameGeometry().size() - form->geometry().size();
    // 507 x 440 pixels outside: 7605 x 6600 twips.
    form->resize(507 - frame.width(), 440 - frame.height());
    QCoreApplication::processEvents();
    ASSERT_EQ(form->frameGeometry().size(), QSize(507, 440));
    EXPECT_EQ(child<QWidget>(*form, "TreeView1")->size(), QSize(241, 343));
    EXPECT_EQ(child<QWidget>(*form, "Text1")->size(), QSize(250, 343));
    EXPECT_EQ(child<QWidget>(*form, "Picture1")->size(), QSize(250, 343));
    EXPECT_EQ(child<QWidget>(*form, "Text1")->pos(), QPoint(248, 32));
    EXPECT_EQ(child<QWidget>(*form, "Toolbar1")->width(), form->centralWidget()->width());

    const QSize tree = child<QWidget>(*form, "TreeView1")->size();
    const QSize text = child<QWidget>(*form, "Text1")->size();
    form->showMinimized();
    QCoreApplication::processEvents();
    form->Form_Resize();
    EXPECT_EQ(child<QWidget>(*form, "TreeView1")->size(), tree);
    EXPECT_EQ(child<QWidget>(*form, "Text1")->size(), text);
}

TEST(Exit, MenuAndCloseBoxEndAlike) {
    Workspace ws;
    for (bool byMenu : {true, false}) {
        StubDialog dialog;
        auto form = openedForm(ws, dialog);
        ASSERT_FALSE(form->archiveIndex().entries.empty());
        if (byMenu) {
            action(*form, "mnuFileExit")->trigger();
        } else {
            form->close();
        }
        EXPECT_FALSE(form->isVisible());
        EXPECT_TRUE(form->archiveIndex().entries.empty());
        EXPECT_TRUE(form->archiveIndex().dirRecords.empty());
        EXPECT_EQ(form->treeModel()->rowCount(), 0);
    }
}

} // namespace
} // namespace sga::ui::testing
