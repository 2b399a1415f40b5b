// The About box: title, credits, and a fresh load every time.

#include "ui/frmAbout.h"
#include "ui/tests/GuiFixture.h"
#include "ui/tests/ModalHelper.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

namespace sga::ui::testing {
namespace {

TEST(About, ShowsTheSameTextEveryTime) {
    Workspace ws;
    auto form = ws.makeForm();
    struct Seen {
        QString caption, title, text;
        bool bold = false, modal = false, okFocused = false;
        QSize size;
    };
    std::vector<Seen> seen;
    for (int round = 0; round < 2; ++round) {
        whenModal<frmAbout>([&](frmAbout* about) {
            Seen s;
            s.caption = about->windowTitle();
            s.title = child<QLabel>(*about, "Label1")->text();
            s.bold = child<QLabel>(*about, "Label1")->font().bold();
            auto* text = child<QPlainTextEdit>(*about, "Text1");
            s.text = text->toPlainText();
            s.modal = about->isModal();
            s.size = about->size();
            s.okFocused = child<QPushButton>(*about, "Command1")->hasFocus() ||
                          about->focusWidget() == child<QPushButton>(*about, "Command1");
            seen.push_back(s);
            text->setPlainText("edited by the user");
            child<QPushButton>(*about, "Command1")->click();
        });
        action(*form, "mnuAbout")->trigger();
    }
    ASSERT_EQ(seen.size(), 2u);
    for (const Seen& s : seen) {
        EXPECT_EQ(s.caption, "About");
        EXPECT_EQ(s.title, "Tarsel Extractor v2.3 by Quennel");
        EXPECT_TRUE(s.bold);
        EXPECT_TRUE(s.modal);
        EXPECT_TRUE(s.okFocused);
        EXPECT_EQ(s.size, QSize(312, 213));
        EXPECT_EQ(s.text, seen[0].text);
    }
    EXPECT_EQ(seen[0].text.count('\n'), 6);
}

TEST(About, SixLinesEachEndedByCrLf) {
    const QString text = aboutText();
    const QStringList lines = text.split("\r\n");
    ASSERT_EQ(lines.size(), 7);
    EXPECT_TRUE(lines[6].isEmpty());
    EXPECT_TRUE(lines[0].contains("Homeworld 2"));
    EXPECT_TRUE(lines[1].contains("Impossible Creatures"));
    EXPECT_TRUE(lines[2].contains("zlib"));
    EXPECT_TRUE(lines[2].contains("https://zlib.net/"));
    EXPECT_TRUE(lines[4].contains(".big"));
    for (const QString& line : lines.mid(0, 6)) EXPECT_FALSE(line.contains('\r') || line.contains('\n'));
}

} // namespace
} // namespace sga::ui::testing
