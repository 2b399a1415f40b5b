#pragma once
// The archive tree as a Qt item model: one column, the node texts in UTF-8,
// the key of every node reachable from its index. The model keeps its own
// copy of the tree, so a load that builds the next tree elsewhere never
// pulls nodes from under the view.

#include "archive/ArchiveTree.h"
#include "ui/TreeFilter.h"

#include <QAbstractItemModel>

#include <functional>

#include <optional>
#include <span>
#include <vector>

namespace sga::ui {

class ArchiveTreeModel : public QAbstractItemModel {
    Q_OBJECT
public:
    // The node's key, converted to UTF-8 (the raw key is nodeAt(index)->key).
    static constexpr int KeyRole = Qt::UserRole + 1;

    explicit ArchiveTreeModel(QObject* parent = nullptr);

    void setTree(const ArchiveTree& tree);
    void clear();
    // Shows only the nodes a find left in view; clearFilter shows the whole
    // tree again. Both reset the model.
    void setFilter(FilteredTree filtered);
    void clearFilter();
    bool filtered() const { return filter_.has_value(); }
    // Whether the node is in view (always, without a find).
    bool isShown(int node) const;
    const ArchiveTree& tree() const { return tree_; }

    // The node behind an index, or null.
    const TreeNode* nodeAt(const QModelIndex& index) const;
    QModelIndex indexOfNode(int node) const;
    QModelIndex indexOfKey(std::string_view key) const;

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // Dragging nodes out: dragData makes the data (the window extracts the
    // nodes and hands over their files); without it nothing is dragged.
    std::function<QMimeData*(const QModelIndexList&)> dragData;
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    Qt::DropActions supportedDragActions() const override;

private:
    std::span<const int> childrenOf(const QModelIndex& parent) const;
    void computeRows();

    ArchiveTree tree_;
    std::optional<FilteredTree> filter_;
    std::vector<int> topLevel_;   // nodes without a parent
    std::vector<int> rowOf_;      // each node's row among its parent's children
};

} // namespace sga::ui
