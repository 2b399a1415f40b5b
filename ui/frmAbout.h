#pragma once
// The About box: the program's title and version, ownership notices,
// credits and a notice. Loaded afresh every time it is opened.

#include <QDialog>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace sga::ui {

// "Tarsel Extractor v2.3 by Quennel"
QString aboutTitle();
// The six lines of the credits text, each ended by CR LF.
QString aboutText();

class frmAbout : public QDialog {
    Q_OBJECT
public:
    explicit frmAbout(QWidget* parent = nullptr);

    void Form_Load();
    void Command1_Click();

private:
    QPushButton* Command1 = nullptr;
    QLabel* Label1 = nullptr;
    QPlainTextEdit* Text1 = nullptr;
};

} // namespace sga::ui
