// The extraction commands run from the window: menu items and toolbar buttons
// alike, with the progress display of Extract all.

#include "ui/tests/GuiFixture.h"

#include "ui/ArchiveTreeModel.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QTreeView>

namespace sga::ui::testing {
namespace {

using sga::testing::readFile;
using sga::testing::textBytes;

// Notes what the window shows while Extract all reports progress.
class WatchedForm : public frmMain {
public:
    using frmMain::frmMain;
    void progress(int value, const std::string& label) override {
        frmMain::progress(value, label);
        const auto visible = [this](const char* name) { return child<QWidget>(*this, name)->isVisible(); };
        progressShown = progressShown && visible("ProgressBar1") && visible("Label2");
        viewsHidden = viewsHidden && !visible("TreeView1") && !visible("Text1") && !visible("Picture1");
        extractionOff = extractionOff && !action(*this, "mnuExtAll")->isEnabled() &&
                        !action(*this, "ExtractAll")->isEnabled() &&
                        !action(*this, "mnuExtract")->isEnabled() && !action(*this, "Extract")->isEnabled();
        lastMax = child<QProgressBar>(*this, "ProgressBar1")->maximum();
        if (++calls == closeAt) close();
        stillVisible = stillVisible && isVisible();
    }
    int closeAt = -1;
    bool stillVisible = true;
    bool progressShown = true, viewsHidden = true, extractionOff = true;
    int calls = 0, lastMax = 0;
};

TEST(ExtractAll, ShowsProgressThenWritesEveryFile) {
    for (const char* trigger : {"mnuExtAll", "ExtractAll"}) {
        Workspace ws;
        StubDialog dialog;
        const auto opened = openedForm<WatchedForm>(ws, dialog);
        WatchedForm& form = *opened;
        action(form, trigger)->trigger();

        EXPECT_GT(form.calls, 0) << trigger;
        EXPECT_TRUE(form.progressShown);
        EXPECT_TRUE(form.viewsHidden);
        EXPECT_TRUE(form.extractionOff);
        EXPECT_EQ(form.lastMax, 5);
        EXPECT_FALSE(child<QWidget>(form, "ProgressBar1")->isVisible());
        EXPECT_FALSE(child<QWidget>(form, "Label2")->isVisible());
        EXPECT_TRUE(child<QWidget>(form, "TreeView1")->isVisible());
        EXPECT_TRUE(child<QWidget>(form, "Text1")->isVisible());
        EXPECT_FALSE(child<QWidget>(form, "Picture1")->isVisible());
        EXPECT_TRUE(action(form, "mnuExtAll")->isEnabled());
        EXPECT_TRUE(action(form, "Extract")->isEnabled());

        // After an Open the extract location is the program's folder.
        const auto base = ws.root() / "program" / "data.big";
        EXPECT_EQ(readFile(base / "readme.txt"), textBytes("read me"));
        EXPECT_EQ(readFile(base / "art" / "a.lua"), textBytes("print(1)\r\nprint(2)\r\n"));
        EXPECT_TRUE(std::filesystem::is_regular_file(base / "art" / "textures" / "rock.tga"));
        const auto log = ws.logLines();
        EXPECT_EQ(log.back(), "Extract finished!");
    }
}

TEST(ExtractAll, ClosingTheWindowStopsTheRunFirst) {
    Workspace ws;
    StubDialog dialog;
    const auto opened = openedForm<WatchedForm>(ws, dialog);
    WatchedForm& form = *opened;
    form.closeAt = 2;
    action(form, "mnuExtAll")->trigger();
    EXPECT_TRUE(form.stillVisible);
    EXPECT_LT(form.calls, 5);
    EXPECT_FALSE(form.isVisible());
    EXPECT_FALSE(child<QWidget>(form, "ProgressBar1")->isVisible());
    const auto log = ws.logLines();
    EXPECT_NE(log.back(), "Extract finished!");
    EXPECT_FALSE(std::filesystem::exists(ws.root() / "program" / "data.big" / "readme.txt"));
}

TEST(ExtractSelected, ButtonAndMenuWriteTheSelectedFile) {
    for (const char* trigger : {"Extract", "mnuExtract"}) {
        Workspace ws;
        StubDialog dialog;
        auto form = openedForm(ws, dialog);

        auto* tree = child<QTreeView>(*form, "TreeView1");
        tree->setCurrentIndex(form->treeModel()->indexOfKey("art\\a.lua|4"));
        action(*form, trigger)->trigger();
        // Written beside the archive, in the folder of its directory.
        EXPECT_EQ(readFile(ws.root() / "archives" / "art" / "a.lua"), textBytes("print(1)\r\nprint(2)\r\n"))
            << trigger;
        EXPECT_FALSE(std::filesystem::exists(ws.root() / "program" / "data.big"));
    }
}

TEST(ExtractSelected, NothingSelectedDoesNothing) {
    Workspace ws;
    StubDialog dialog;
    auto form = openedForm(ws, dialog);
    child<QTreeView>(*form, "TreeView1")->setCurrentIndex({});
    const auto before = ws.logLines();
    action(*form, "mnuExtract")->trigger();
    EXPECT_EQ(ws.logLines(), before);
    EXPECT_FALSE(std::filesystem::exists(ws.root() / "archives" / "art"));
}

} // namespace
} // namespace sga::ui::testing
