#include "ui/ArchiveTreeModel.h"

#include "core/Cp1252.h"

#include <QMimeData>

namespace sga::ui {

namespace {

QString textOf(const ArchiveTree& tree, const std::string& text) {
    return QString::fromStdString(tree.utf8Text ? text : cp1252ToUtf8(text));
}

} // namespace

ArchiveTreeModel::ArchiveTreeModel(QObject* parent) : QAbstractItemModel(parent) {}

void ArchiveTreeModel::setTree(const ArchiveTree& tree) {
    beginResetModel();
    tree_ = tree;
    filter_.reset();
    computeRows();
    endResetModel();
}

void ArchiveTreeModel::setFilter(FilteredTree filtered) {
    beginResetModel();
    filter_ = std::move(filtered);
    computeRows();
    endResetModel();
}

void ArchiveTreeModel::clearFilter() {
    beginResetModel();
    filter_.reset();
    computeRows();
    endResetModel();
}

bool ArchiveTreeModel::isShown(int node) const {
    if (node < 0 || static_cast<size_t>(node) >= tree_.size()) return false;
    return !filter_ || filter_->shown[static_cast<size_t>(node)] != 0;
}

void ArchiveTreeModel::computeRows() {
    topLevel_.clear();
    rowOf_.assign(tree_.size(), 0);
    if (filter_) {
        if (filter_->shown.size() != tree_.size()) filter_.reset();   // made for another tree
    }
    if (filter_) {
        topLevel_ = filter_->topLevel;
        for (size_t row = 0; row < topLevel_.size(); ++row)
            rowOf_[static_cast<size_t>(topLevel_[row])] = static_cast<int>(row);
        for (size_t i = 0; i < tree_.size(); ++i) {
            const auto children = filter_->children(static_cast<int>(i));
            for (size_t row = 0; row < children.size(); ++row)
                rowOf_[static_cast<size_t>(children[row])] = static_cast<int>(row);
        }
        return;
    }
    for (size_t i = 0; i < tree_.size(); ++i) {
        const TreeNode& node = tree_[i];
        if (node.parent < 0) {
            rowOf_[i] = static_cast<int>(topLevel_.size());
            topLevel_.push_back(static_cast<int>(i));
        }
        for (size_t row = 0; row < node.children.size(); ++row) {
            rowOf_[static_cast<size_t>(node.children[row])] = static_cast<int>(row);
        }
    }
}

void ArchiveTreeModel::clear() {
    setTree(ArchiveTree{});
}

const TreeNode* ArchiveTreeModel::nodeAt(const QModelIndex& index) const {
    if (!index.isValid() || index.model() != this) return nullptr;
    const auto node = static_cast<size_t>(index.internalId());
    return node < tree_.size() ? &tree_[node] : nullptr;
}

QModelIndex ArchiveTreeModel::indexOfNode(int node) const {
    if (!isShown(node)) return {};
    return createIndex(rowOf_[static_cast<size_t>(node)], 0, static_cast<quintptr>(node));
}

QModelIndex ArchiveTreeModel::indexOfKey(std::string_view key) const {
    return indexOfNode(tree_.find(key));
}

std::span<const int> ArchiveTreeModel::childrenOf(const QModelIndex& parent) const {
    if (const TreeNode* node = nodeAt(parent)) {
        if (filter_) return filter_->children(static_cast<int>(parent.internalId()));
        return node->children;
    }
    return topLevel_;
}

QModelIndex ArchiveTreeModel::index(int row, int column, const QModelIndex& parent) const {
    if (column != 0 || row < 0) return {};
    const auto& children = childrenOf(parent);
    if (static_cast<size_t>(row) >= children.size()) return {};
    return createIndex(row, 0, static_cast<quintptr>(children[static_cast<size_t>(row)]));
}

QModelIndex ArchiveTreeModel::parent(const QModelIndex& child) const {
    const TreeNode* node = nodeAt(child);
    if (!node) return {};
    return indexOfNode(node->parent);
}

int ArchiveTreeModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid() && parent.column() != 0) return 0;
    return static_cast<int>(childrenOf(parent).size());
}

bool ArchiveTreeModel::hasChildren(const QModelIndex& parent) const {
    if (parent.isValid() && parent.column() != 0) return false;
    return !childrenOf(parent).empty();
}

int ArchiveTreeModel::columnCount(const QModelIndex&) const {
    return 1;
}

QVariant ArchiveTreeModel::data(const QModelIndex& index, int role) const {
    const TreeNode* node = nodeAt(index);
    if (!node) return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        return textOf(tree_, node->text);
    case KeyRole:
        return textOf(tree_, node->key);
    default:
        return {};
    }
}

Qt::ItemFlags ArchiveTreeModel::flags(const QModelIndex& index) const {
    if (!nodeAt(index)) return Qt::NoItemFlags;
    // Labels are not editable: the preview and Extract selected read them.
    const Qt::ItemFlags drag = dragData ? Qt::ItemIsDragEnabled : Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | drag;
}

QStringList ArchiveTreeModel::mimeTypes() const {
    return {QStringLiteral("text/uri-list")};
}

QMimeData* ArchiveTreeModel::mimeData(const QModelIndexList& indexes) const {
    if (!dragData || indexes.isEmpty()) return nullptr;
    return dragData(indexes);
}

Qt::DropActions ArchiveTreeModel::supportedDragActions() const {
    return Qt::CopyAction;
}

} // namespace sga::ui
