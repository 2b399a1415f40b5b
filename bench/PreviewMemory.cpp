// The window's preview of one entry, headless, for a peak-memory check:
// opens ARCHIVE as the Open command does, clicks the node named ENTRY and
// prints what the preview area shows.
//
//   QT_QPA_PLATFORM=offscreen /usr/bin/time -v bench_preview_memory ARCHIVE ENTRY
#include "ui/ArchiveTreeModel.h"
#include "ui/frmMain.h"

#include <QApplication>
#include <QPlainTextEdit>
#include <QTemporaryDir>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: bench_preview_memory ARCHIVE ENTRY\n");
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    sga::ui::frmMain form(dir.path(), dir.path() + QStringLiteral("/settings.ini"));
    form.Form_Load();
    form.openChosenArchive(QString::fromLocal8Bit(argv[1]));
    const sga::ArchiveTree& tree = form.treeModel()->tree();
    for (size_t i = 0; i < tree.size(); ++i) {
        if (tree[i].text != argv[2]) continue;
        form.TreeView1_NodeClick(form.treeModel()->indexOfNode(static_cast<int>(i)));
        for (const char* name : {"HexView1", "Text1"}) {
            const auto* view = form.findChild<QPlainTextEdit*>(QString::fromLatin1(name));
            if (view && view->isVisible())
                std::printf("%s: %s\n", name, view->toPlainText().left(300).toLocal8Bit().constData());
        }
        return 0;
    }
    std::fprintf(stderr, "no entry %s\n", argv[2]);
    return 1;
}
