// sgaview: the window. One optional argument, an archive to open at start.

#include "archive/Cp1252.h"
#include "ui/frmMain.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QCoreApplication::setApplicationVersion(
        QStringLiteral("%1.%2").arg(SGA_VERSION_MAJOR).arg(SGA_VERSION_MINOR));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Viewer and extractor for SGA archives."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("archive"),
                                 QStringLiteral("An archive (.big or .sga) to open."),
                                 QStringLiteral("[archive]"));
    parser.process(app);
    const QStringList arguments = parser.positionalArguments();
    if (arguments.size() > 1) {
        parser.showHelp(2);
    }

    sga::ui::frmMain window;
    window.Form_Load();
    if (!arguments.isEmpty()) {
        const QFileInfo archive(arguments.front());
        if (archive.isFile()) {
            window.openChosenArchive(archive.absoluteFilePath());
        } else {
            window.setStatusText(sga::utf8ToCp1252(
                "No such archive: " + arguments.front().toStdString()));
        }
    }
    return app.exec();
}
