// The window's tools for real work: find, several nodes at once, the tree's
// context menu, dragging out, dropping in, the hex view, the status details
// and Extract all on every core.

#include "ui/tests/GuiFixture.h"

#include "extract/EntryData.h"
#include "ui/ArchiveTreeModel.h"
#include "ui/HexDump.h"
#include "ui/ModRecentList.h"

#include <QApplication>
#include <QClipboard>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFontMetricsF>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QSettings>
#include <QTest>
#include <QTreeView>
#include <QUrl>

#include <zlib.h>

#include <set>

namespace sga::ui::testing {
namespace {

using sga::testing::readFile;
using sga::testing::textBytes;
namespace fs = std::filesystem;

Bytes binaryBytes() {
    Bytes out;
    for (int i = 0; i < 300; ++i) out.push_back(static_cast<uint8_t>(i * 7));
    return out;
}

// art: a.lua, b.txt; art\textures: rock.tga, broken.lua (unreadable),
// data.bin; readme.txt at the top.
ArchivePlan workArchive() {
    ArchivePlan plan;
    plan.dirs = {{"art", 1}, {"art\\textures", 3}};
    plan.files = {{.name = "readme.txt", .data = textBytes("read me")},
                  {.name = "a.lua", .data = textBytes("print(1)\r\n")},
                  {.name = "b.txt", .data = textBytes("bee"), .compress = true},
                  {.name = "rock.tga", .data = tgaBytes({{0xFF0000, 0x00FF00}}), .compress = true},
                  {.name = "broken.lua", .data = textBytes("never"), .compress = true,
                   .stored = textBytes("this is no zlib stream")},
                  {.name = "data.bin", .data = binaryBytes()}};
    return plan;
}

const ArchivePlan kWork = workArchive();
const Bytes& dataOf(const std::string& name) {
    for (const auto& f : kWork.files)
        if (f.name == name) return f.data;
    throw std::runtime_error("no file " + name);
}

class Work : public ::testing::Test {
protected:
    void SetUp() override {
        form = openedForm(ws, dialog, kWork);
        tree = child<QTreeView>(*form, "TreeView1");
    }
    QModelIndex node(const std::string& text) const {
        const ArchiveTree& t = form->treeModel()->tree();
        for (size_t i = 0; i < t.size(); ++i)
            if (t[i].text == text) return form->treeModel()->indexOfNode(static_cast<int>(i));
        ADD_FAILURE() << "no node " << text;
        return {};
    }
    void select(const std::vector<std::string>& texts) {
        auto* selection = tree->selectionModel();
        selection->clearSelection();
        for (const auto& text : texts)
            selection->select(node(text), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        if (!texts.empty()) selection->setCurrentIndex(node(texts.back()), QItemSelectionModel::NoUpdate);
    }
    // The file nodes in view, walking the Qt model.
    std::set<std::string> filesInView() const {
        std::set<std::string> out;
        std::vector<QModelIndex> todo = {QModelIndex()};
        const ArchiveTreeModel& model = *form->treeModel();
        while (!todo.empty()) {
            const QModelIndex parent = todo.back();
            todo.pop_back();
            if (const TreeNode* n = model.nodeAt(parent)) {
                const NodeRef ref = decodeNodeKey(n->key);
                if (ref.kind == NodeRef::Kind::File) out.insert(n->text);
                else if (model.rowCount(parent) > 0) {
                    EXPECT_TRUE(tree->isExpanded(parent)) << n->text;
                }
            }
            for (int row = 0; row < model.rowCount(parent); ++row) todo.push_back(model.index(row, 0, parent));
        }
        return out;
    }
    std::string findStatus() const { return form->statusText().toStdString(); }

    Workspace ws;
    StubDialog dialog;
    std::unique_ptr<frmMain> form;
    QTreeView* tree = nullptr;
};

// ---------------------------------------------------------------- find

TEST_F(Work, FindNarrowsTheTreeAndCountsTheMatches) {
    const std::string before = findStatus();
    auto* find = child<QLineEdit>(*form, "FindText");
    struct Case {
        const char* text;
        std::set<std::string> files;
        const char* status;
    };
    const Case cases[] = {
        {"*.lua", {"a.lua", "broken.lua"}, "2 files match"},
        {"TEXTURES\\R", {"rock.tga"}, "1 file matches"},
        {"textures/", {"rock.tga", "broken.lua", "data.bin"}, "3 files match"},
        {"art\\?.*", {"a.lua", "b.txt"}, "2 files match"},
        {"read", {"readme.txt"}, "1 file matches"},
        {"zzz", {}, "0 files match"},
    };
    for (const Case& c : cases) {
        find->setText(QString::fromUtf8(c.text));
        EXPECT_EQ(filesInView(), c.files) << c.text;
        EXPECT_EQ(findStatus(), c.status) << c.text;
    }
    // Escape empties the field and brings the whole tree back as it was.
    find->setText("a.lua");
    select({"a.lua"});
    action(*find, "actClearFind")->trigger();
    EXPECT_TRUE(find->text().isEmpty());
    EXPECT_FALSE(form->treeModel()->filtered());
    EXPECT_EQ(form->treeModel()->rowCount(node("data.big")), 2);   // art, readme.txt
    EXPECT_EQ(findStatus(), before);
    // What was selected during the find stays selected, its folder open.
    EXPECT_TRUE(tree->selectionModel()->isSelected(node("a.lua")));
    EXPECT_TRUE(tree->isExpanded(node("art")));

    // A report made during a find outlives it.
    find->setText("*.lua");
    select({"a.lua", "broken.lua"});
    action(*form, "mnuExtract")->trigger();
    EXPECT_EQ(findStatus(), "1 file extracted, 1 failed");
    find->setText("*.tga");
    EXPECT_EQ(findStatus(), "1 file matches");
    action(*find, "actClearFind")->trigger();
    EXPECT_EQ(findStatus(), "1 file extracted, 1 failed");
}

TEST_F(Work, CtrlFFocusesTheFindField) {
    auto* find = child<QLineEdit>(*form, "FindText");
    EXPECT_EQ(action(*form, "actFind")->shortcut(), QKeySequence(QKeySequence::Find));
    tree->setFocus();
    action(*form, "actFind")->trigger();
    EXPECT_EQ(QApplication::focusWidget(), find);
    // Typed and cleared with the keys.
    form->activateWindow();
    if (!QTest::qWaitForWindowActive(form.get())) GTEST_SKIP() << "the window cannot be made active here";
    tree->setFocus();
    QTest::keyClick(form.get(), Qt::Key_F, Qt::ControlModifier);
    ASSERT_EQ(QApplication::focusWidget(), find);
    QTest::keyClicks(find, "rock");
    EXPECT_TRUE(form->treeModel()->filtered());
    EXPECT_EQ(filesInView(), std::set<std::string>{"rock.tga"});
    QTest::keyClick(find, Qt::Key_Escape);
    EXPECT_FALSE(form->treeModel()->filtered());
    EXPECT_TRUE(find->text().isEmpty());
    EXPECT_EQ(QApplication::focusWidget(), tree);
}

TEST_F(Work, CtrlAIsExtractAllInTheTreeAndSelectsTheTextOfTheFindField) {
    form->activateWindow();
    if (!QTest::qWaitForWindowActive(form.get())) GTEST_SKIP() << "the window cannot be made active here";
    auto* find = child<QLineEdit>(*form, "FindText");
    const fs::path written = ws.root() / "program" / "data.big" / "readme.txt";
    const struct {
        QWidget* focus;
        bool extracts;
    } cases[] = {{find, false}, {tree, true}, {find, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.focus->objectName().toStdString());
        fs::remove_all(ws.root() / "program" / "data.big");
        find->setText(QStringLiteral("rock"));
        find->deselect();
        c.focus->setFocus();
        QTest::keyClick(c.focus, Qt::Key_A, Qt::ControlModifier);
        EXPECT_EQ(fs::exists(written), c.extracts);
        if (!c.extracts) EXPECT_EQ(find->selectedText(), QStringLiteral("rock"));
    }
}

TEST_F(Work, FindOnTheRealArchive) {
    const fs::path dir = sga::testing::realArchivesDir();
    if (dir.empty() || !fs::exists(dir / "hw2-mod-options.big")) GTEST_SKIP() << "no real archives";
    form->openChosenArchive(qs(dir / "hw2-mod-options.big"));
    int lua = 0;
    for (const ArchiveFile& f : form->archiveModel().files)
        if (f.name.size() > 4 && f.name.ends_with(".lua")) ++lua;
    child<QLineEdit>(*form, "FindText")->setText("*.LUA");
    EXPECT_EQ(findStatus(), std::to_string(lua) + (lua == 1 ? " file matches" : " files match"));
    EXPECT_EQ(static_cast<int>(filesInView().size()) <= lua, true);
}

// ---------------------------------------------------------------- several nodes

TEST(WorkSelection, ExtractWritesEveryFileOfTheSelectedNodes) {
    struct Case {
        std::vector<std::string> selected;
        std::set<std::string> written;   // beside the archive
        std::string summary;
    };
    const Case cases[] = {
        {{"readme.txt", "a.lua"}, {"readme.txt", "art/a.lua"}, "2 files extracted"},
        {{"textures", "a.lua"}, {"art/a.lua", "art/textures/rock.tga", "art/textures/data.bin"},
         "3 files extracted, 1 failed"},
        {{"art", "rock.tga"}, {"art/a.lua", "art/b.txt", "art/textures/rock.tga", "art/textures/data.bin"},
         "4 files extracted, 1 failed"},
        {{"data.big", "a.lua"},
         {"readme.txt", "art/a.lua", "art/b.txt", "art/textures/rock.tga", "art/textures/data.bin"},
         "5 files extracted, 1 failed"},
    };
    for (const Case& c : cases) {
        Workspace ws;
        StubDialog dialog;
        auto form = openedForm(ws, dialog, kWork);
        auto* tree = child<QTreeView>(*form, "TreeView1");
        auto* selection = tree->selectionModel();
        const ArchiveTree& t = form->treeModel()->tree();
        for (const auto& text : c.selected)
            for (size_t i = 0; i < t.size(); ++i)
                if (t[i].text == text)
                    selection->select(form->treeModel()->indexOfNode(static_cast<int>(i)),
                                      QItemSelectionModel::Select | QItemSelectionModel::Rows);
        action(*form, "mnuExtract")->trigger();

        std::set<std::string> written;
        const fs::path beside = ws.root() / "archives";
        for (const auto& entry : fs::recursive_directory_iterator(beside))
            if (entry.is_regular_file() && entry.path().filename() != "data.big")
                written.insert(fs::relative(entry.path(), beside).generic_string());
        EXPECT_EQ(written, c.written) << c.summary;
        for (const auto& path : c.written)
            EXPECT_EQ(readFile(beside / path), dataOf(fs::path(path).filename().string())) << path;
        EXPECT_EQ(form->statusText().toStdString(), c.summary);
        const auto log = ws.logLines();
        EXPECT_EQ(log.back(), c.summary);
        // Each file with the lines Extract selected writes for one file node.
        const auto decompressing = std::count_if(log.begin(), log.end(), [](const std::string& l) {
            return l.starts_with("Decompressing: ");
        });
        EXPECT_EQ(decompressing, static_cast<long>(c.written.size()) + (c.summary.ends_with("failed") ? 1 : 0));
        const auto results = std::count(log.begin(), log.end(), std::string("result 0"));
        EXPECT_EQ(results, static_cast<long>(c.written.size()));
    }
}

// ---------------------------------------------------------------- context menu

TEST_F(Work, ContextMenuOffersItsActionsForTheSelection) {
    struct Case {
        std::vector<std::string> selected;
        bool open;
    };
    const Case cases[] = {{{"a.lua"}, true}, {{"textures"}, true}, {{"a.lua", "b.txt"}, false}, {{"data.big"}, false}};
    for (const Case& c : cases) {
        select(c.selected);
        emit tree->customContextMenuRequested(QPoint(4, 4));
        QMenu* menu = form->treeMenu();
        EXPECT_TRUE(menu->isVisible());
        EXPECT_TRUE(action(*menu, "mnuTreeExtract")->isEnabled());
        EXPECT_TRUE(action(*menu, "mnuTreeExtractTo")->isEnabled());
        EXPECT_TRUE(action(*menu, "mnuTreeCopyPath")->isEnabled());
        EXPECT_EQ(action(*menu, "mnuTreeOpen")->isEnabled(), c.open) << c.selected.front();
        menu->hide();
    }
}

TEST_F(Work, ExtractToWritesBelowTheChosenFolderAndKeepsIt) {
    const fs::path chosen = ws.root() / "chosen";
    std::vector<QString> starts;
    form->folderDialog = [&](QWidget*, const QString& start) {
        starts.push_back(start);
        return starts.size() == 1 ? QString() : qs(chosen);   // the first time: cancelled
    };
    select({"a.lua", "textures"});
    action(*form->treeMenu(), "mnuTreeExtractTo")->trigger();
    EXPECT_FALSE(fs::exists(chosen));
    const QString locationBefore = form->extractLocation;

    action(*form->treeMenu(), "mnuTreeExtractTo")->trigger();
    ASSERT_EQ(starts.size(), 2u);
    EXPECT_EQ(starts[1], locationBefore);
    EXPECT_EQ(readFile(chosen / "art" / "a.lua"), dataOf("a.lua"));
    EXPECT_EQ(readFile(chosen / "art" / "textures" / "rock.tga"), dataOf("rock.tga"));
    EXPECT_EQ(readFile(chosen / "art" / "textures" / "data.bin"), dataOf("data.bin"));
    EXPECT_FALSE(fs::exists(chosen / "art" / "b.txt"));
    EXPECT_EQ(form->statusText(), "3 files extracted, 1 failed");
    EXPECT_EQ(form->extractLocation, qs(chosen));
    QSettings store(ws.settingsFile(), QSettings::IniFormat);
    EXPECT_EQ(store.value("LastExtract/Location").toString(), qs(chosen));
}

TEST_F(Work, OpenHandsAnExtractedCopyToTheDesktop) {
    std::vector<QUrl> opened;
    form->desktopOpener = [&](const QUrl& url) {
        opened.push_back(url);
        return true;
    };
    for (const char* name : {"rock.tga", "a.lua"}) {
        select({name});
        action(*form->treeMenu(), "mnuTreeOpen")->trigger();
    }
    ASSERT_EQ(opened.size(), 2u);
    for (size_t i = 0; i < opened.size(); ++i) {
        const QString path = opened[i].toLocalFile();
        EXPECT_TRUE(path.startsWith(form->privateFolder() + "/")) << path.toStdString();
        const std::string name = i == 0 ? "rock.tga" : "a.lua";
        EXPECT_EQ(fs::path(path.toStdString()).filename(), name);
        EXPECT_EQ(readFile(path.toStdString()), dataOf(name));
    }
    // Nothing was written beside the archive or in the extract location.
    EXPECT_FALSE(fs::exists(ws.root() / "archives" / "art"));
    // A folder opens as a folder.
    select({"textures"});
    action(*form->treeMenu(), "mnuTreeOpen")->trigger();
    ASSERT_EQ(opened.size(), 3u);
    EXPECT_TRUE(fs::is_directory(opened[2].toLocalFile().toStdString()));
    EXPECT_EQ(fs::path(opened[2].toLocalFile().toStdString()).filename(), "textures");
}

TEST(OpenAsksFirst, TypesThatMayRunCode) {
    const struct {
        const char* name;
        bool runs;
    } cases[] = {{"setup.exe", true}, {"SETUP.EXE", true}, {"tool.com", true}, {"go.bat", true},
                 {"go.cmd", true},    {"x.msi", true},     {"x.sh", true},     {"x.py", true},
                 {"x.pl", true},      {"x.jar", true},     {"x.desktop", true}, {"x.lnk", true},
                 {"x.url", true},     {"x.ps1", true},     {"x.vbs", true},    {"x.js", true},
                 {"x.AppImage", true}, {"x.run", true},    {"a.lua", false},   {"rock.tga", false},
                 {"readme.txt", false}, {"exe", false},    {"x.exe.txt", false}, {"data.bin", false}};
    for (const auto& c : cases) EXPECT_EQ(mayRunCode(QString::fromUtf8(c.name)), c.runs) << c.name;
}

TEST_F(Work, OpenAsksBeforeHandingOverAnEntryThatMayRunCode) {
    ArchivePlan plan;
    plan.files = {{.name = "setup.exe", .data = textBytes("MZ")}, {.name = "notes.txt", .data = textBytes("n")}};
    form->openChosenArchive(ws.writeArchive("risky.big", plan));
    const struct {
        const char* name;
        RiskyOpenAnswer answer;
        bool asked;
        const char* opened;   // file name handed over; "" for none, "/" for its folder
    } cases[] = {{"setup.exe", RiskyOpenAnswer::Cancel, true, ""},
                 {"setup.exe", RiskyOpenAnswer::ShowFolder, true, "/"},
                 {"setup.exe", RiskyOpenAnswer::Open, true, "setup.exe"},
                 {"notes.txt", RiskyOpenAnswer::Cancel, false, "notes.txt"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " " + std::to_string(static_cast<int>(c.answer)));
        std::vector<QString> asked;
        std::vector<QUrl> opened;
        form->askBeforeOpening = [&](QWidget*, const QString& name) {
            asked.push_back(name);
            return c.answer;
        };
        form->desktopOpener = [&](const QUrl& url) {
            opened.push_back(url);
            return true;
        };
        select({c.name});
        action(*form->treeMenu(), "mnuTreeOpen")->trigger();
        EXPECT_EQ(asked.size(), c.asked ? 1u : 0u);
        if (std::string(c.opened).empty()) {
            EXPECT_TRUE(opened.empty());
            continue;
        }
        ASSERT_EQ(opened.size(), 1u);
        const fs::path path = opened[0].toLocalFile().toStdString();
        if (std::string(c.opened) == "/") {
            EXPECT_TRUE(fs::is_directory(path));
            EXPECT_TRUE(fs::exists(path / c.name));
        } else {
            EXPECT_EQ(path.filename(), c.opened);
        }
    }
}

TEST_F(Work, CopyPathPutsTheArchivePathsOnTheClipboard) {
    struct Case {
        std::vector<std::string> selected;
        QString clipboard;
    };
    const Case cases[] = {{{"rock.tga"}, "art\\textures\\rock.tga"},
                          {{"readme.txt", "textures"}, "art\\textures\nreadme.txt"},
                          {{"art"}, "art"}};
    for (const Case& c : cases) {
        select(c.selected);
        action(*form->treeMenu(), "mnuTreeCopyPath")->trigger();
        EXPECT_EQ(QGuiApplication::clipboard()->text(), c.clipboard);
    }
}

// ---------------------------------------------------------------- drag and drop

TEST_F(Work, DraggingNodesCarriesTheirExtractedFiles) {
    EXPECT_TRUE(form->treeModel()->flags(node("a.lua")) & Qt::ItemIsDragEnabled);
    EXPECT_EQ(form->treeModel()->mimeTypes(), QStringList{"text/uri-list"});
    std::unique_ptr<QMimeData> data(form->treeModel()->mimeData({node("a.lua"), node("textures"), node("rock.tga")}));
    ASSERT_NE(data, nullptr);
    ASSERT_TRUE(data->hasUrls());
    const QList<QUrl> urls = data->urls();
    ASSERT_EQ(urls.size(), 2);   // rock.tga lies inside textures; tree order: folders first
    const fs::path folder = urls[0].toLocalFile().toStdString();
    const fs::path file = urls[1].toLocalFile().toStdString();
    EXPECT_EQ(file.filename(), "a.lua");
    EXPECT_EQ(readFile(file), dataOf("a.lua"));
    EXPECT_EQ(folder.filename(), "textures");
    EXPECT_EQ(file.parent_path(), folder.parent_path());
    EXPECT_EQ(readFile(folder / "rock.tga"), dataOf("rock.tga"));
    EXPECT_EQ(readFile(folder / "data.bin"), dataOf("data.bin"));
    EXPECT_FALSE(fs::exists(folder / "broken.lua"));
    EXPECT_TRUE(urls[0].toLocalFile().startsWith(form->privateFolder()));
}

TEST(WorkDrag, HostileNamesStayInsideThePrivateFolder) {
    ArchivePlan plan;
    plan.dirs = {{"..\\..", 0}, {"ok", 1}};
    plan.files = {{.name = "escape.txt", .data = textBytes("x")}, {.name = "fine.txt", .data = textBytes("fine")}};
    Workspace ws;
    StubDialog dialog;
    auto form = openedForm(ws, dialog, plan);
    const QModelIndex root = form->treeModel()->indexOfKey("root");
    std::unique_ptr<QMimeData> data(form->treeModel()->mimeData({root}));
    ASSERT_NE(data, nullptr);
    ASSERT_EQ(data->urls().size(), 1);
    const fs::path top = data->urls()[0].toLocalFile().toStdString();
    EXPECT_EQ(top.filename(), "data.big");
    EXPECT_EQ(readFile(top / "ok" / "fine.txt"), textBytes("fine"));
    // The private folder is this window's own; the folders above it are shared with
    // other processes, so only the places the name aims at are looked at there.
    const fs::path priv = form->privateFolder().toStdString();
    for (const auto& entry : fs::recursive_directory_iterator(priv)) {
        if (entry.path().filename() == "escape.txt") ADD_FAILURE() << entry.path();
    }
    for (fs::path up = priv; up.has_relative_path(); up = up.parent_path()) {
        EXPECT_FALSE(fs::exists(up.parent_path() / "escape.txt")) << up.parent_path();
    }
    EXPECT_EQ(form->statusText(), "1 file extracted, 2 failed");
}

TEST(WorkDrop, DroppingAnArchiveOpensIt) {
    struct Case {
        const char* name;
        bool opens;
    };
    const Case cases[] = {{"other.big", true}, {"OTHER.SGA", true}, {"notes.txt", false}, {"missing.big", false}};
    for (const Case& c : cases) {
        Workspace ws;
        StubDialog dialog;
        auto form = openedForm(ws, dialog, kWork);
        const QString path = std::string(c.name) == "missing.big" ? qs(ws.root() / "missing.big")
                                                                  : ws.writeArchive(c.name, exampleArchive());
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(path)});
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(form.get(), &enter);
        EXPECT_EQ(enter.isAccepted(), c.opens) << c.name;
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(form.get(), &drop);
        if (c.opens) {
            EXPECT_EQ(form->sFile, path) << c.name;
            EXPECT_EQ(form->statusText(), "5 entries found.") << c.name;
            QSettings store(ws.settingsFile(), QSettings::IniFormat);
            EXPECT_TRUE(sameArchivePath(store.value("Recent Files/RecentFile1").toString(), path)) << c.name;
        } else {
            EXPECT_EQ(form->sFile, dialog.path) << c.name;
        }
    }
}

// ---------------------------------------------------------------- hex view and details

TEST_F(Work, OtherEntriesShowAHexDumpAndFailuresSayWhy) {
    auto* hex = child<QPlainTextEdit>(*form, "HexView1");
    auto* text = child<QPlainTextEdit>(*form, "Text1");
    form->TreeView1_NodeClick(node("data.bin"));
    EXPECT_TRUE(hex->isVisible());
    EXPECT_FALSE(text->isVisible());
    const Bytes bin = binaryBytes();
    EXPECT_EQ(hex->toPlainText().toStdString(), hexDump(bin.data(), bin.size()));
    // The columns line up: every character of the dump is as wide as the
    // others in the font the view draws with (whatever Qt calls the font).
    const QFontMetricsF metrics(hex->font());
    const QString dump = hex->toPlainText();
    std::set<qreal> widths;
    for (const QChar c : dump)
        if (c != u'\n') widths.insert(metrics.horizontalAdvance(c));
    EXPECT_EQ(widths.size(), 1u) << "advance widths from " << *widths.begin() << " to " << *widths.rbegin();

    form->TreeView1_NodeClick(node("broken.lua"));
    EXPECT_TRUE(hex->isVisible());
    const ArchiveModel& model = form->archiveModel();
    const ArchiveFile& broken = model.files[4];
    ASSERT_EQ(broken.name, "broken.lua");
    EXPECT_EQ(hex->toPlainText().toStdString(),
              "Cannot read art\\textures\\broken.lua: " + describeEntryFailure(broken, kEntryBadData) + ".");

    // Text and folders go back to the text box.
    form->TreeView1_NodeClick(node("a.lua"));
    EXPECT_FALSE(hex->isVisible());
    EXPECT_TRUE(text->isVisible());
    EXPECT_EQ(text->toPlainText(), "print(1)\n");
    form->TreeView1_NodeClick(node("data.bin"));
    form->TreeView1_NodeClick(node("art"));
    EXPECT_FALSE(hex->isVisible());
    EXPECT_TRUE(text->isVisible());
}

TEST_F(Work, StatusBarShowsTheSelectedFilesDetails) {
    auto* details = child<QLabel>(*form, "StatusBar1Details");
    const ArchiveModel& model = form->archiveModel();
    for (size_t i = 0; i < model.files.size(); ++i) {
        const ArchiveFile& f = model.files[i];
        if (f.name == "broken.lua") continue;
        form->TreeView1_NodeClick(node(f.name));
        const Bytes& data = dataOf(f.name);
        const auto crc = static_cast<uint32_t>(::crc32(0, data.data(), static_cast<unsigned>(data.size())));
        const QString expected = QString::fromStdString(f.path()) +
                                 QString("  |  %1 bytes  |  stored %2 bytes  |  %3  |  CRC-32 %4")
                                     .arg(data.size())
                                     .arg(f.storedSize)
                                     .arg(QString::fromStdString(std::string(storageName(f.storage))))
                                     .arg(QString::number(crc, 16).rightJustified(8, u'0').toUpper());
        EXPECT_EQ(details->text(), expected) << f.name;
    }
    EXPECT_NE(model.files[1].storage, model.files[2].storage);   // stored and zlib both seen
    form->TreeView1_NodeClick(node("art"));
    EXPECT_TRUE(details->text().isEmpty());
}

// ---------------------------------------------------------------- Extract all

class ProgressForm : public frmMain {
public:
    using frmMain::frmMain;
    void progress(int value, const std::string& text) override {
        seen.push_back(std::to_string(value) + " " +
                           child<QLabel>(*this, "Label2")->text().toStdString() + " / " +
                           statusText().toStdString());
        frmMain::progress(value, text);
        seen.push_back("label " + text);
    }
    std::vector<std::string> seen;
};

TEST(WorkExtractAll, EveryCoreWritesWhatOneJobWrites) {
    struct Run {
        std::vector<std::string> log, progress;
        std::set<std::string> files;
    };
    auto run = [](int jobs) {
        Workspace ws;
        StubDialog dialog;
        // Enough entries to keep several workers busy.
        ArchivePlan plan = workArchive();
        for (int i = 0; i < 60; ++i)
            plan.files.push_back({.name = "extra" + std::to_string(i) + ".txt",
                                  .data = textBytes(std::string(200 + i, 'x')), .compress = i % 2 == 0});
        auto form = openedForm<ProgressForm>(ws, dialog, plan);
        EXPECT_GE(form->extractJobs, 1);
        form->extractJobs = jobs;
        action(*form, "mnuExtAll")->trigger();
        Run r;
        const std::string root = ws.root().string();
        for (std::string line : ws.logLines()) {
            for (size_t at = line.find(root); at != std::string::npos; at = line.find(root))
                line.replace(at, root.size(), "<ws>");
            r.log.push_back(line);
        }
        r.progress = form->seen;
        const fs::path base = ws.root() / "program" / "data.big";
        for (const auto& entry : fs::recursive_directory_iterator(base))
            r.files.insert(fs::relative(entry.path(), base).generic_string() + " " +
                           (entry.is_regular_file() ? std::to_string(entry.file_size()) : "dir"));
        return r;
    };
    const Run one = run(1);
    ASSERT_FALSE(one.files.empty());
    for (int jobs : {2, 4, 8}) {
        const Run many = run(jobs);
        EXPECT_EQ(many.log, one.log) << jobs;
        EXPECT_EQ(many.progress, one.progress) << jobs;
        EXPECT_EQ(many.files, one.files) << jobs;
    }
}

} // namespace
} // namespace sga::ui::testing
