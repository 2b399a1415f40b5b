// The preview of a clicked node: text in Text1, pictures in Picture1.

#include "ui/tests/GuiFixture.h"

#include "ui/ArchiveTreeModel.h"
#include "ui/PictureBox.h"

#include <QBuffer>
#include <QImage>
#include <QPlainTextEdit>
#include <QTest>
#include <QTreeView>

namespace sga::ui::testing {
namespace {

using sga::testing::EntryPlan;
using sga::testing::textBytes;

Bytes bmpBytes(const QImage& image, const char* format = "BMP") {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return Bytes(bytes.begin(), bytes.end());
}

QImage solid(int width, int height, QColor colour) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

const std::vector<std::vector<uint32_t>> kGoodPixels = {{0xFF0000, 0x00FF00, 0x0000FF},
                                                        {0xFFFFFF, 0x000000, 0xFFFF00}};

class Preview : public ::testing::Test {
protected:
    void SetUp() override {
        Bytes big(40000, 'a');
        Bytes exact(32000, 'b');
        ArchivePlan plan;
        plan.dirs = {{"scripts", 0}};
        plan.files = {
            {.name = "a.lua", .data = textBytes("line 1\r\nline 2\r\n")},
            {.name = "big.txt", .data = big},
            {.name = "exact.ini", .data = exact},
            {.name = "high.events", .data = textBytes("caf\xE9 \x80")},
            {.name = "archive.tga.txt", .data = textBytes("text after all")},
            {.name = "good.tga", .data = tgaBytes(kGoodPixels), .compress = true},
            {.name = "bad.tga", .data = textBytes("not a picture")},
            {.name = "NOTES.TXT", .data = textBytes("capital letters")},
            {.name = "SKY.TGA", .data = tgaBytes({{0x123456}})},
            {.name = "readme", .data = textBytes("no dot")},
            {.name = "pic.bmp", .data = bmpBytes(solid(2, 2, QColor(0, 0, 255)))},
            {.name = "wide.png", .data = bmpBytes(solid(3000, 200, QColor(255, 0, 0)), "PNG")},
            {.name = "broken.lua", .data = textBytes("never shown"), .compress = true,
             .stored = textBytes("this is no zlib stream")},
        };
        StubDialog dialog;
        form = openedForm(ws, dialog, plan);
        ASSERT_EQ(form->statusText(), "14 entries found.");
        text = child<QPlainTextEdit>(*form, "Text1");
        picture = child<PictureBox>(*form, "Picture1");
        tree = child<QTreeView>(*form, "TreeView1");
    }

    QModelIndex node(const std::string& text) const {
        const ArchiveTree& t = form->treeModel()->tree();
        for (size_t i = 0; i < t.size(); ++i) {
            if (t[i].text == text) return form->treeModel()->indexOfNode(static_cast<int>(i));
        }
        ADD_FAILURE() << "no node " << text;
        return {};
    }
    void click(const std::string& text) { form->TreeView1_NodeClick(node(text)); }

    QImage grabbed() const { return picture->grab().toImage(); }
    QPoint inner(int x, int y) const { return picture->contentsRect().topLeft() + QPoint(x, y); }

    Workspace ws;
    std::unique_ptr<frmMain> form;
    QPlainTextEdit* text = nullptr;
    PictureBox* picture = nullptr;
    QTreeView* tree = nullptr;
};

TEST_F(Preview, AClickOnATextEntryShowsItsText) {
    // A real click on the row of a.lua.
    const QModelIndex lua = node("a.lua");
    tree->expandAll();
    tree->scrollTo(lua);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualRect(lua).center());
    EXPECT_EQ(text->toPlainText(), "line 1\nline 2\n");
    EXPECT_TRUE(text->isVisible());
    EXPECT_FALSE(picture->isVisible());

    click("high.events");
    EXPECT_EQ(text->toPlainText(), QString::fromUtf8("caf\u00e9 \u20ac"));
    click("archive.tga.txt");
    EXPECT_EQ(text->toPlainText(), "text after all");
}

TEST_F(Preview, MovingWithTheKeysPreviewsToo) {
    tree->expandAll();
    tree->setFocus();
    tree->setCurrentIndex(node("a.lua"));
    EXPECT_EQ(text->toPlainText(), "line 1\nline 2\n");
    QTest::keyClick(tree, Qt::Key_Down);
    EXPECT_EQ(tree->currentIndex(), node("big.txt"));
    EXPECT_EQ(text->toPlainText(), QString(32000, u'a'));
}

TEST_F(Preview, TextStopsAfter32000Bytes) {
    click("big.txt");
    EXPECT_EQ(text->toPlainText(), QString(32000, u'a'));
    click("exact.ini");
    EXPECT_EQ(text->toPlainText(), QString(32000, u'b'));
}

TEST_F(Preview, RootDirectoryAndUnreadableEntries) {
    click("a.lua");
    click("data.big");
    EXPECT_EQ(text->toPlainText(), "line 1\nline 2\n");
    click("broken.lua");
    EXPECT_EQ(text->toPlainText(), "line 1\nline 2\n");
    click("scripts");
    EXPECT_TRUE(text->toPlainText().isEmpty());
    EXPECT_TRUE(text->isVisible());

    click("good.tga");
    click("scripts");
    EXPECT_TRUE(picture->isVisible());
    EXPECT_FALSE(text->isVisible());
}

TEST_F(Preview, ATgaShowsRightSideUpAtItsOwnSize) {
    click("good.tga");
    EXPECT_TRUE(picture->isVisible());
    EXPECT_FALSE(text->isVisible());
    EXPECT_EQ(picture->innerSize(), QSize(3, 2));
    EXPECT_EQ(picture->size(), QSize(3, 2) + QSize(4, 4));   // the 2-pixel border stays
    const QImage shown = grabbed();
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 3; ++x) {
            EXPECT_EQ(shown.pixel(inner(x, y)) & 0xFFFFFF, kGoodPixels[y][x]) << x << "," << y;
        }
    }
    EXPECT_EQ(sga::testing::readFile(form->previewTempFile().toStdString()), tgaBytes(kGoodPixels));
    // The picture survives a repaint.
    picture->repaint();
    EXPECT_EQ(grabbed(), shown);
}

TEST_F(Preview, ARejectedTgaShowsThePreviousPictureAgain) {
    click("good.tga");
    const QImage first = grabbed();
    click("a.lua");
    click("bad.tga");
    EXPECT_TRUE(picture->isVisible());
    EXPECT_EQ(picture->innerSize(), QSize(3, 2));
    EXPECT_EQ(grabbed(), first);
}

TEST_F(Preview, ARejectedTgaWithNothingBeforeShowsAnEmptyPicture) {
    click("bad.tga");
    EXPECT_TRUE(picture->isVisible());
    EXPECT_TRUE(picture->picture().isNull());
    EXPECT_EQ(picture->innerSize(), QSize(0, 0));
}

TEST_F(Preview, ExtensionsChooseTheViewWhateverTheirCase) {
    // Case is ignored; a name without a known kind shows its bytes.
    auto* hex = child<QPlainTextEdit>(*form, "HexView1");
    struct Case { const char* name; QWidget* shown; };
    for (const Case& c : {Case{"NOTES.TXT", text}, Case{"SKY.TGA", picture}, Case{"readme", hex}}) {
        click("pic.bmp");
        click(c.name);
        for (QWidget* view : {static_cast<QWidget*>(text), static_cast<QWidget*>(picture),
                              static_cast<QWidget*>(hex)})
            EXPECT_EQ(view->isVisible(), view == c.shown) << c.name;
    }
    EXPECT_TRUE(hex->toPlainText().startsWith("00000000  6E 6F 20 64 6F 74 ")) << hex->toPlainText().toStdString();
    click("SKY.TGA");
    EXPECT_EQ(grabbed().pixel(inner(0, 0)) & 0xFFFFFF, 0x123456u);
}

TEST_F(Preview, LargePicturesFitThePaneAndTheKeysFAnd1Toggle) {
    click("wide.png");
    EXPECT_EQ(form->statusText(), "3000 x 200, PNG");
    EXPECT_TRUE(picture->fit());
    EXPECT_LE(picture->width(), text->width());
    EXPECT_EQ(grabbed().pixel(inner(0, 0)) & 0xFFFFFF, 0xFF0000u);
    struct Step { Qt::Key key; bool fit; };
    for (const Step& step : {Step{Qt::Key_1, false}, Step{Qt::Key_F, true}, Step{Qt::Key_1, false}}) {
        QTest::keyClick(tree, step.key);
        EXPECT_EQ(picture->fit(), step.fit) << step.key;
    }
    // A picture that fits the pane keeps F for the tree.
    click("good.tga");
    QTest::keyClick(tree, Qt::Key_F);
    EXPECT_FALSE(picture->fit());
}

TEST_F(Preview, ABmpAfterATgaShowsInTheTgaSize) {
    click("good.tga");
    const QSize size = picture->size();
    click("pic.bmp");
    EXPECT_EQ(picture->size(), size);
    const QImage shown = grabbed();
    EXPECT_EQ(shown.pixel(inner(0, 0)) & 0xFFFFFF, 0x0000FFu);
    EXPECT_EQ(shown.pixel(inner(1, 1)) & 0xFFFFFF, 0x0000FFu);
}

} // namespace
} // namespace sga::ui::testing
