// The item model over the archive tree.

#include "archive/ArchiveTree.h"
#include "ui/ArchiveTreeModel.h"

#include <QAbstractItemModelTester>

#include <gtest/gtest.h>

namespace sga::ui {
namespace {

ArchiveTree sampleTree() {
    ArchiveTree tree;
    const int root = tree.add(-1, "root", "data.big");
    const int art = tree.add(root, "d..art", "art");
    tree.add(art, "art\\a.lua|3", "a.lua");
    tree.add(root, "caf\xE9.txt|4", "caf\xE9.txt");
    tree.expandRoot();
    return tree;
}

TEST(TreeModel, PassesQtsModelChecks) {
    ArchiveTreeModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    model.setTree(sampleTree());
    model.clear();
    model.setTree(sampleTree());
    EXPECT_EQ(model.rowCount(), 1);
}

TEST(TreeModel, TextsAndKeysInUtf8) {
    ArchiveTreeModel model;
    model.setTree(sampleTree());
    const QModelIndex root = model.index(0, 0);
    EXPECT_EQ(root.data().toString(), "data.big");
    EXPECT_EQ(model.rowCount(root), 2);
    const QModelIndex file = model.index(1, 0, root);
    EXPECT_EQ(file.data().toString(), QString::fromUtf8("caf\u00e9.txt"));
    EXPECT_EQ(file.data(ArchiveTreeModel::KeyRole).toString(), QString::fromUtf8("caf\u00e9.txt|4"));
    EXPECT_EQ(model.nodeAt(file)->key, "caf\xE9.txt|4");
    const QModelIndex lua = model.indexOfKey("art\\a.lua|3");
    EXPECT_EQ(lua.parent(), model.indexOfKey("d..art"));
    EXPECT_EQ(lua.row(), 0);
    EXPECT_FALSE(model.flags(lua) & Qt::ItemIsEditable);
    EXPECT_FALSE(model.indexOfKey("nothing").isValid());
}

} // namespace

} // namespace sga::ui
