#include "ui/frmAbout.h"

#include "ui/ImageList.h"
#include "ui/WindowLayout.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

namespace sga::ui {

QString aboutTitle() {
    return QStringLiteral("Tarsel Extractor v%1.%2 by Quennel").arg(SGA_VERSION_MAJOR).arg(SGA_VERSION_MINOR);
}

QString aboutText() {
    const char* const lines[] = {
        "Homeworld 2 is the property of its respective owners.",
        "Impossible Creatures is the property of its respective owners.",
        "Compressed entries are zlib streams (zlib compression library, https://zlib.net/); "
        "this program inflates them with the libdeflate library.",
        "This program builds on the work of the authors of Qt, libdeflate and OpenSSL; "
        "many thanks to them.",
        "Thanks to the players who provided sample .big files for testing.",
        "This program is provided as is, without warranty of any kind. It reads archives and "
        "writes copies of their contents; keep a copy of your original archives and use it "
        "at your own risk.",
    };
    QString text;
    for (const char* line : lines) text += QString::fromUtf8(line) + QStringLiteral("\r\n");
    return text;
}

frmAbout::frmAbout(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About"));
    setWindowIcon(programIcon());
    setModal(true);
    setFixedSize(twipsRect(0, 0, 4680, 3195).size());

    Command1 = new QPushButton(QStringLiteral("OK"), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setGeometry(twipsRect(3360, 2760, 1215, 375));
    Command1->setDefault(true);
    connect(Command1, &QPushButton::clicked, this, &frmAbout::Command1_Click);

    Label1 = new QLabel(this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(twipsRect(120, 120, 4575, 255));
    QFont bold = Label1->font();
    bold.setBold(true);
    Label1->setFont(bold);

    Text1 = new QPlainTextEdit(this);
    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->setGeometry(twipsRect(120, 480, 4455, 2175));
    Text1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Text1->setLineWrapMode(QPlainTextEdit::WidgetWidth);

    setTabOrder(Command1, Text1);
    Command1->setFocus();
    Form_Load();
}

void frmAbout::Form_Load() {
    Label1->setText(aboutTitle());
    // The text view breaks lines at CR and LF alike: show one break per line.
    QString shown = aboutText();
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    Text1->setPlainText(shown);
}

void frmAbout::Command1_Click() {
    accept();
}

} // namespace sga::ui
