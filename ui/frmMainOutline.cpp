// The outline view of chunked and attribute files: a tree of the entry's
// parts in the upper half of the preview pane, the hex dump of the selected
// part's bytes in the lower half.

#include "ui/frmMain.h"

#include "core/FileReader.h"
#include "ui/HexDump.h"
#include "ui/PictureBox.h"

#include <QFile>
#include <QHeaderView>
#include <QPlainTextEdit>
#include <QTreeWidget>

namespace sga::ui {

namespace {

constexpr int kOffsetRole = Qt::UserRole;
constexpr int kSizeRole = Qt::UserRole + 1;

// Nodes are added breadth by breadth from an explicit stack: a decoder caps
// the depth, the view does not rely on it.
void addNodes(QTreeWidget& tree, const std::vector<OutlineNode>& roots) {
    struct Pending {
        const OutlineNode* node;
        QTreeWidgetItem* parent;
    };
    std::vector<Pending> pending;
    for (auto it = roots.rbegin(); it != roots.rend(); ++it) pending.push_back({&*it, nullptr});
    while (!pending.empty()) {
        const Pending next = pending.back();
        pending.pop_back();
        QStringList columns;
        for (const std::string& column : next.node->columns) columns << QString::fromStdString(column);
        auto* item = next.parent ? new QTreeWidgetItem(next.parent, columns)
                                 : new QTreeWidgetItem(&tree, columns);
        item->setData(0, kOffsetRole, QVariant::fromValue<qulonglong>(next.node->offset));
        item->setData(0, kSizeRole, QVariant::fromValue<qulonglong>(next.node->size));
        const auto& children = next.node->children;
        for (auto it = children.rbegin(); it != children.rend(); ++it) pending.push_back({&*it, item});
    }
}

} // namespace

void frmMain::createOutlineControls() {
    OutlineTree1 = new QTreeWidget(centralWidget());
    OutlineTree1->setObjectName(QStringLiteral("OutlineTree1"));
    OutlineTree1->setUniformRowHeights(true);
    OutlineTree1->hide();
    connect(OutlineTree1, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem*, QTreeWidgetItem*) { showOutlineSelection(); });
}

void frmMain::hideOutline() {
    if (!OutlineTree1 || !OutlineTree1->isVisible()) return;
    OutlineTree1->hide();
    OutlineTree1->clear();
    outlineBytes_.clear();
    HexView1->setGeometry(Text1->geometry());
}

void frmMain::showOutline(int32_t entryIndex, const EntryDecoder& row) {
    if (!readEntry(entryIndex)) {
        hideOutline();
        showReadFailure(entryIndex);
        return;
    }
    Expected<EntryOutline> outline = row.decodeOutline(entryBuffer);
    if (!outline) {
        // What cannot be read as a tree still shows its bytes, under the reason.
        hideOutline();
        Picture1->hide();
        Text1->hide();
        HexView1->setPlainText(tr("Cannot read %1: %2.\n\n")
                                   .arg(QString::fromStdString(std::string(row.description)),
                                        QString::fromStdString(outline.message())) +
                               QString::fromLatin1(hexDump(entryBuffer.data(), entryBuffer.size())));
        HexView1->show();
        return;
    }
    outlineBytes_ = entryBuffer;
    Picture1->hide();
    Text1->hide();
    const QRect pane = Text1->geometry();
    const int upper = pane.height() / 2;
    OutlineTree1->setGeometry(pane.x(), pane.y(), pane.width(), upper);
    HexView1->setGeometry(pane.x(), pane.y() + upper, pane.width(), pane.height() - upper);
    OutlineTree1->clear();
    QStringList headers;
    for (const std::string& header : outline->headers) headers << QString::fromStdString(header);
    OutlineTree1->setHeaderLabels(headers);
    addNodes(*OutlineTree1, outline->roots);
    OutlineTree1->expandToDepth(1);
    OutlineTree1->header()->resizeSections(QHeaderView::ResizeToContents);
    OutlineTree1->show();
    HexView1->clear();
    HexView1->show();
    if (OutlineTree1->topLevelItemCount() > 0)
        OutlineTree1->setCurrentItem(OutlineTree1->topLevelItem(0));
}

void frmMain::showOutlineSelection() {
    const QTreeWidgetItem* item = OutlineTree1->currentItem();
    if (!item) {
        HexView1->clear();
        return;
    }
    const uint64_t offset = item->data(0, kOffsetRole).toULongLong();
    const uint64_t size = item->data(0, kSizeRole).toULongLong();
    if (offset > outlineBytes_.size() || size > outlineBytes_.size() - offset) {
        HexView1->setPlainText(tr("The part lies outside the entry."));
        return;
    }
    HexView1->setPlainText(QString::fromLatin1(hexDump(outlineBytes_.data() + offset, size)));
}

} // namespace sga::ui
