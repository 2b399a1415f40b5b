#include "ui/ModRecentList.h"

#include "platform/ProgramFolder.h"
#include "ui/frmMain.h"

#include <QAction>

namespace sga::ui {

namespace {

const QString kRecentSection = QStringLiteral("Recent Files");
const QString kExtractSection = QStringLiteral("LastExtract");
constexpr int kRecentCount = 4;

QString recentKey(int n) {
    return QStringLiteral("RecentFile%1").arg(n);
}

QString setting(QSettings& store, const QString& section, const QString& key) {
    return store.value(section + u'/' + key).toString();
}

} // namespace

QString storedPathForm(const QString& path) {
    return platform::fileNamesIgnoreCase() ? path.toUpper() : path;
}

bool sameArchivePath(const QString& a, const QString& b) {
    return platform::fileNamesIgnoreCase() ? a.toLower() == b.toLower() : a == b;
}

QString recentCaption(int index, const QString& path) {
    // "&" in the path is shown as itself, not as an access key.
    QString shown = path;
    shown.replace(u'&', QStringLiteral("&&"));
    return u'&' + QString::number(index) + u' ' + shown;
}

QString recentPath(const QAction& item) {
    QString path = item.text().mid(3);
    path.replace(QStringLiteral("&&"), QStringLiteral("&"));
    return path;
}

void loadRecentList(frmMain& form) {
    const auto store = form.settings();
    const QString location = setting(*store, kExtractSection, QStringLiteral("Location"));
    form.extractLocation = location.isEmpty() ? form.dataFolder() : location;

    if (setting(*store, kRecentSection, recentKey(1)).isEmpty()) return;
    store->beginGroup(kRecentSection);
    // The keys sort in the order they were created: RecentFile1 to RecentFile4.
    const QStringList keys = store->childKeys();
    for (int i = 0; i < keys.size() && i < kRecentCount; ++i) {
        form.mnuRecentFile(0)->setVisible(true);
        QAction* item = form.mnuRecentFile(i + 1);
        item->setText(recentCaption(i + 1, store->value(keys[i]).toString()));
        item->setVisible(true);
    }
    store->endGroup();
}

void addRecentFile(frmMain& form, const QString& path) {
    for (int i = 1; i <= kRecentCount; ++i) {
        if (sameArchivePath(recentPath(*form.mnuRecentFile(i)), path)) return;
    }
    const auto store = form.settings();
    for (int n = kRecentCount - 1; n >= 1; --n) {
        const QString value = setting(*store, kRecentSection, recentKey(n));
        if (!value.isEmpty()) store->setValue(kRecentSection + u'/' + recentKey(n + 1), value);
    }
    store->setValue(kRecentSection + u'/' + recentKey(1), storedPathForm(path));
    store->sync();
}

} // namespace sga::ui
