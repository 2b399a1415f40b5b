// Prints the MIME type the desktop's shared database gives each file named on
// the command line, one a line: by name and by content, as a file manager
// would ask. Where the database comes from is up to XDG_DATA_HOME and
// XDG_DATA_DIRS.

#include <QMimeDatabase>
#include <QString>

#include <cstdio>

int main(int argc, char** argv) {
    QMimeDatabase db;
    for (int i = 1; i < argc; ++i) {
        const QMimeType type = db.mimeTypeForFile(QString::fromLocal8Bit(argv[i]));
        std::printf("%s\n", qPrintable(type.name()));
    }
    return 0;
}
