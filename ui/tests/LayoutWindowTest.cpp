// The window over the later layouts: the same tree, preview and extraction
// as for the 17-byte ones; several drives as top-level folders, the
// layout named in the status bar.
#include "archive/tests/LayoutTesting.h"
#include "ui/ArchiveTreeModel.h"
#include "ui/tests/GuiFixture.h"

#include <QPlainTextEdit>
#include <filesystem>

namespace sga::ui::testing {
namespace {

using namespace sga::testing;
namespace fs = std::filesystem;

class LayoutWindow : public ::testing::TestWithParam<sga::Layout> {};

TEST_P(LayoutWindow, TwoDrivesShowPreviewAndExtract) {
    Workspace ws;
    LayoutPlan plan = twoDrivePlan(GetParam());
    FolderPlan notes{.name = "notes", .files = {{.name = "read me.txt", .data = textBytes("line 1\r\nline 2"),
                                                 .storeAs = StoreAs::ZlibBuffer}}};
    plan.drives[1].root.folders.push_back(notes);
    const fs::path archive = ws.root() / "two.sga";
    {
        const Bytes bytes = buildLayout(plan);
        std::FILE* f = std::fopen(archive.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
    auto form = std::make_unique<frmMain>(ws.programFolder(), ws.settingsFile());
    form->Form_Load();
    StubDialog dialog;
    dialog.path = qs(archive);
    form->openFileDialog = dialog.function();
    form->mnuOpen_Click();

    const ArchiveModel& model = form->archiveModel();
    ASSERT_EQ(model.layout, GetParam());
    EXPECT_TRUE(form->statusText().startsWith(QString::number(model.entryCount()) + " entries found. Version "))
        << form->statusText().toStdString();

    // The drives are the root's folders.
    const ArchiveTree& tree = form->treeModel()->tree();
    std::vector<std::string> underRoot;
    for (int child : tree[0].children) underRoot.push_back(tree[static_cast<size_t>(child)].text);
    EXPECT_NE(std::find(underRoot.begin(), underRoot.end(), plan.drives[0].alias), underRoot.end());
    EXPECT_NE(std::find(underRoot.begin(), underRoot.end(), plan.drives[1].alias), underRoot.end());

    // A click on the text shows it, as for any archive.
    const int node = tree.find(plan.drives[1].alias + "\\notes\\read me.txt|" +
                               std::to_string(model.entryCount()));
    ASSERT_GE(node, 0);
    form->TreeView1_NodeClick(form->treeModel()->indexOfNode(node));
    EXPECT_EQ(child<QPlainTextEdit>(*form, "Text1")->toPlainText(), "line 1\nline 2");

    // Extract all writes every file under the drive's folder.
    form->mnuExtAll_Click();
    const fs::path out = fs::path(form->extractLocation.toStdString()) / "two.sga";
    EXPECT_EQ(readFile(out / plan.drives[1].alias / "notes" / "read me.txt"), textBytes("line 1\r\nline 2"));
    size_t written = 0;
    for (const auto& e : fs::recursive_directory_iterator(out)) written += e.is_regular_file() ? 1 : 0;
    EXPECT_EQ(written, model.files.size());
}

INSTANTIATE_TEST_SUITE_P(Layouts, LayoutWindow,
                         ::testing::Values(sga::Layout::V2Wide, sga::Layout::V5A, sga::Layout::V7,
                                           sga::Layout::V10),
                         [](const auto& info) { return layoutLabel(info.param); });

} // namespace
} // namespace sga::ui::testing
