// The window's views of textures, chunked files and attribute files.

#include "ui/tests/GuiFixture.h"

#include "preview/tests/RgdBuilder.h"
#include "preview/tests/TextureBuilders.h"
#include "ui/ArchiveTreeModel.h"
#include "ui/PictureBox.h"

#include <QPlainTextEdit>
#include <QTreeView>
#include <QTreeWidget>

#include <fstream>

namespace sga::ui::testing {
namespace {

using sga::test::TestChunk;

class FormatView : public ::testing::Test {
protected:
    void SetUp() override {
        // Key names come from the dictionary folder under XDG_DATA_HOME.
        qputenv("XDG_DATA_HOME", QByteArray::fromStdString((ws.root() / "data").string()));
        // A 2 x 1 texture: red, then half-transparent blue (A8R8G8B8).
        sga::test::DdsHeader dds;
        dds.width = 2;
        dds.height = 1;
        const Bytes texture = sga::test::ddsFile(dds, {0, 0, 255, 255, 255, 0, 0, 128});
        const Bytes model = sga::test::chunkyFile(
            3, {TestChunk{"FOLDTSET", 1, "set", {}, {TestChunk{"DATAINFO", 2, "", {0xAB, 0xCD}, {}}}}});
        const Bytes attributes = sga::test::firstGeneration(
            {{0x2D909FCC, 100, {}, {{0xF0A351FD, 0, sga::test::f32(750.0f), {}}}}});
        Bytes ucs = {0xFF, 0xFE};   // "Caf\u00e9\r\n\u4e16" in UTF-16LE after its mark
        for (char16_t c : std::u16string(u"Caf\u00e9\r\n\u4e16")) {
            ucs.push_back(static_cast<uint8_t>(c));
            ucs.push_back(static_cast<uint8_t>(c >> 8));
        }
        ArchivePlan plan;
        plan.dirs = {{"art", 0}};
        plan.files = {{.name = "sky.DDS", .data = texture},
                      {.name = "ship.whm", .data = model},
                      {.name = "unit.rgd", .data = attributes},
                      {.name = "en.UCS", .data = ucs}};
        StubDialog dialog;
        form = openedForm(ws, dialog, plan);
        outline = child<QTreeWidget>(*form, "OutlineTree1");
        hex = child<QPlainTextEdit>(*form, "HexView1");
    }
    void TearDown() override { qunsetenv("XDG_DATA_HOME"); }

    void click(const std::string& text) {
        const ArchiveTree& t = form->treeModel()->tree();
        for (size_t i = 0; i < t.size(); ++i)
            if (t[i].text == text) {
                const QModelIndex index = form->treeModel()->indexOfNode(static_cast<int>(i));
                child<QTreeView>(*form, "TreeView1")->setCurrentIndex(index);
                form->TreeView1_NodeClick(index);
                return;
            }
        ADD_FAILURE() << "no node " << text;
    }

    Workspace ws;
    std::unique_ptr<frmMain> form;
    QTreeWidget* outline = nullptr;
    QPlainTextEdit* hex = nullptr;
};

TEST_F(FormatView, ATextureShowsAsAPictureWithItsSizeAndFormat) {
    click("sky.DDS");
    auto* picture = child<PictureBox>(*form, "Picture1");
    EXPECT_TRUE(picture->isVisible());
    EXPECT_FALSE(outline->isVisible());
    EXPECT_EQ(form->statusText().left(7), "2 x 1, ");
    EXPECT_EQ(picture->picture().pixelColor(0, 0), QColor(255, 0, 0));
    EXPECT_EQ(picture->picture().pixelColor(1, 0), QColor(0, 0, 255, 128));
    // Another entry gives the status bar its earlier text back.
    click("ship.whm");
    EXPECT_EQ(form->statusText(), "5 entries found.");
}

TEST_F(FormatView, LocalisationShowsAsText) {
    click("en.UCS");
    auto* text = child<QPlainTextEdit>(*form, "Text1");
    EXPECT_TRUE(text->isVisible());
    EXPECT_EQ(text->toPlainText(), QString::fromUtf8("Caf\u00e9\n\u4e16"));
}

TEST_F(FormatView, AChunkedFileShowsItsTreeAndTheSelectedChunksBytes) {
    click("ship.whm");
    ASSERT_TRUE(outline->isVisible());
    ASSERT_EQ(outline->topLevelItemCount(), 1);
    QTreeWidgetItem* folder = outline->topLevelItem(0);
    EXPECT_EQ(folder->text(0), "FOLD TSET");
    EXPECT_EQ(folder->text(2), "set");
    ASSERT_EQ(folder->childCount(), 1);
    outline->setCurrentItem(folder->child(0));
    EXPECT_TRUE(hex->toPlainText().startsWith("00000000  AB CD ")) << hex->toPlainText().toStdString();
    // Another kind of entry puts the ordinary views back.
    click("sky.DDS");
    EXPECT_FALSE(outline->isVisible());
}

TEST_F(FormatView, AttributeKeysTakeTheirNamesFromAnAddedDictionary) {
    click("unit.rgd");
    ASSERT_TRUE(outline->isVisible());
    ASSERT_EQ(outline->topLevelItemCount(), 1);
    EXPECT_EQ(outline->topLevelItem(0)->text(0), "0x2D909FCC");

    const std::filesystem::path file = ws.root() / "names.txt";
    std::ofstream(file) << "#RGD_DIC\n0x2D909FCC=health\n0xF0A351FD=hitpoints\n";
    StubDialog chooser;
    chooser.path = QString::fromStdString(file.string());
    form->openFileDialog = chooser.function();
    form->mnuAddDictionary_Click();
    EXPECT_EQ(form->statusText(), "Dictionary added: names.txt (2 names)");
    ASSERT_EQ(outline->topLevelItemCount(), 1);
    QTreeWidgetItem* health = outline->topLevelItem(0);
    EXPECT_EQ(health->text(0), "health");
    ASSERT_EQ(health->childCount(), 1);
    EXPECT_EQ(health->child(0)->text(0), "hitpoints");
    EXPECT_EQ(health->child(0)->text(2), "750.0");
}

} // namespace
} // namespace sga::ui::testing
