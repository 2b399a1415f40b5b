#include "platform/ProgramFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>

namespace sga::platform {

QString programFolder() {
    return QDir::fromNativeSeparators(QCoreApplication::applicationDirPath());
}

bool isWritableFolder(const QString& folder) {
    if (!QFileInfo(folder).isDir()) return false;
    // Permission bits do not tell the whole story (read-only mounts, access
    // control lists): try it.
    QTemporaryFile probe(folder + QStringLiteral("/.sgaview-probe-XXXXXX"));
    return probe.open();
}

bool isInstalledFolder(const QString& folder) {
    // An installed program sits in a "bin" folder (/usr/bin, /usr/local/bin,
    // ~/.local/bin): its own files never belong there, even when it could
    // write there (as root can).
    return QFileInfo(folder).fileName() == QLatin1String("bin");
}

QString dataFolder(const QString& programFolder) {
    if (!isInstalledFolder(programFolder) && isWritableFolder(programFolder)) return programFolder;
    const QString perUser = QDir::fromNativeSeparators(
        QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation));
    if (!perUser.isEmpty() && QDir().mkpath(perUser) && isWritableFolder(perUser)) {
        return perUser;
    }
    return programFolder;
}

bool fileNamesIgnoreCase() {
#if defined(Q_OS_WIN) || defined(Q_OS_MACOS)
    return true;
#else
    return false;
#endif
}

} // namespace sga::platform
