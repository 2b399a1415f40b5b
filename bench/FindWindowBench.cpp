// Find as the window does it, headless: the same 32,767-entry tree handed to
// the window, then one keystroke at a time through its find field, each
// timed from the text change to the narrowed, expanded tree (the filter, the
// model reset and the expansion of every folder in view). Prints the
// median and the slowest keystroke per text.
#include "archive/ArchiveOpen.h"
#include "ui/frmMain.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using namespace sga;

ArchiveModel makeModel() {
    const char* const races[] = {"hgn", "vgr", "kus", "tai", "kpr"};
    const char* const kinds[] = {"ship", "subsystem", "art", "scripts", "sound", "ui", "weapon", "data"};
    const char* const extensions[] = {".lua", ".ship", ".tga", ".events", ".wav", ".dds", ".hod"};
    ArchiveModel model;
    constexpr int kTop = 8, kFolders = 2000, kEntries = 32767;
    for (int t = 0; t < kTop; ++t) model.folders.push_back({.path = kinds[t]});
    for (int i = kTop; i < kFolders; ++i)
        model.folders.push_back({.path = std::string(kinds[i % kTop]) + "\\" + races[i % 5] + "_unit" +
                                         std::to_string(i),
                                 .parent = i % kTop});
    for (int k = 0; k < kEntries - kFolders; ++k) {
        const int folder = k % kFolders;
        model.files.push_back({.name = std::string(races[k % 5]) + "_part" + std::to_string(k) + extensions[k % 7],
                               .folder = model.folders[static_cast<size_t>(folder)].path,
                               .folderIndex = folder});
    }
    return model;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    ui::frmMain form(dir.path(), dir.path() + QStringLiteral("/settings.ini"));
    form.Form_Load();
    ArchiveTree tree = treeFromModel(makeModel(), "large.big");
    tree.expandRoot();
    form.treeFilled(tree);
    QCoreApplication::processEvents();
    auto* find = form.findChild<QLineEdit*>(QStringLiteral("FindText"));

    const char* const texts[] = {"hgn_part12", "*.lua", "ship\\hgn_*", "e", "*"};
    std::printf("%-14s %8s %12s %12s\n", "text", "matches", "median ms", "slowest ms");
    for (const char* text : texts) {
        std::vector<double> times;
        const std::string word = text;
        for (int round = 0; round < 3; ++round) {
            find->clear();
            QCoreApplication::processEvents();
            for (size_t n = 1; n <= word.size(); ++n) {
                QElapsedTimer timer;
                timer.start();
                find->setText(QString::fromStdString(word.substr(0, n)));
                QCoreApplication::processEvents();   // the view lays out and paints
                times.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
            }
        }
        std::sort(times.begin(), times.end());
        std::printf("%-14s %8s %12.2f %12.2f\n", text, form.statusText().section(u' ', 0, 0).toLatin1().constData(),
                    times[times.size() / 2], times.back());
    }
    return 0;
}
