// sgaview: the window. One optional argument, an archive to open at start.

#include "ui/frmMain.h"

#include <QApplication>
#include <QCommandLineParser>

#include <cstdio>

int main(int argc, char* argv[]) {
    QCoreApplication::setApplicationName(QStringLiteral("sgaview"));
    QCoreApplication::setApplicationVersion(
        QStringLiteral("%1.%2").arg(SGA_VERSION_MAJOR).arg(SGA_VERSION_MINOR));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Viewer and extractor for SGA archives."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("archive"),
                                 QStringLiteral("An archive (.big or .sga) to open."),
                                 QStringLiteral("[archive]"));

    // --help and --version answer before the window system is needed, so
    // that they work without a display. The window system's own options
    // (-platform, -style, ...) are left for it; they count as unknown here.
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    (void)parser.parse(arguments);
    if (parser.isSet(help)) {
        std::fputs(qPrintable(parser.helpText().replace(QStringLiteral("<executable_name>"),
                                                        QStringLiteral("sgaview"))),
                   stdout);
        return 0;
    }
    if (parser.isSet(version)) {
        std::printf("sgaview %s\n", qPrintable(QCoreApplication::applicationVersion()));
        return 0;
    }

    QApplication app(argc, argv);
    parser.process(app);
    if (parser.positionalArguments().size() > 1) {
        std::fprintf(stderr, "sgaview: give at most one archive\n");
        return 2;
    }
    sga::ui::frmMain window;
    window.Form_Load();
    if (!parser.positionalArguments().isEmpty()) {
        window.openCommandLineArchive(parser.positionalArguments().front());
    }
    return app.exec();
}
