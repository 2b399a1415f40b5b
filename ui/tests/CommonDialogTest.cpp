// The common dialog wrapper: filter conversion, the chosen pair, and the
// open dialog's contract for a chosen file and for a cancel.

#include "platform/cCommonDialog.h"
#include "tests/support/ArchiveWriter.h"
#include "ui/tests/ModalHelper.h"

#include <QCheckBox>
#include <QFileDialog>

#include <gtest/gtest.h>

namespace sga::platform {
namespace {

using namespace Qt::StringLiterals;

const QString kProgramFilter =
    u"Homeworld 2 Archive (*.big)|*.big|IC SGA Archive (*.sga)|*.sga|All Files (*.*)|*.*"_s;
const QChar NUL(0);

TEST(CommonDialog, FilterBarsAndColonsBecomeNuls) {
    EXPECT_EQ(convertFilter(kProgramFilter),
              u"Homeworld 2 Archive (*.big)"_s + NUL + u"*.big"_s + NUL + u"IC SGA Archive (*.sga)"_s +
                  NUL + u"*.sga"_s + NUL + u"All Files (*.*)"_s + NUL + u"*.*"_s + NUL + NUL);
    EXPECT_EQ(convertFilter(u"Text:*.txt"_s), u"Text"_s + NUL + u"*.txt"_s + NUL + NUL);
    // The default filter keeps the space before its pattern.
    EXPECT_EQ(kDefaultFilter, u"All (*.*)| *.*"_s);
    EXPECT_EQ(convertFilter(kDefaultFilter), u"All (*.*)"_s + NUL + u" *.*"_s + NUL + NUL);
    EXPECT_EQ(convertFilter(QString()), QString(2, NUL));
}

TEST(CommonDialog, TheChosenPairIsDescriptionNulPattern) {
    const QString converted = convertFilter(kProgramFilter);
    EXPECT_EQ(chosenPair(converted, 2), u"IC SGA Archive (*.sga)"_s + NUL + u"*.sga"_s);
    EXPECT_EQ(chosenPair(converted, 1), u"Homeworld 2 Archive (*.big)"_s + NUL + u"*.big"_s);
    EXPECT_EQ(chosenPair(converted, 3), u"All Files (*.*)"_s + NUL + u"*.*"_s);
    EXPECT_TRUE(chosenPair(converted, 4).isEmpty());
    EXPECT_TRUE(chosenPair(converted, 0).isEmpty());
    EXPECT_TRUE(chosenPair(converted, -1).isEmpty());
    EXPECT_EQ(chosenPair(convertFilter(kDefaultFilter), 1), u"All (*.*)"_s + NUL + u" *.*"_s);
}

TEST(CommonDialog, QtFiltersMatchWhatThePatternsMean) {
    EXPECT_EQ(qtNameFilters(convertFilter(kProgramFilter)),
              QStringList({u"Homeworld 2 Archive (*.big) (*.big)"_s, u"IC SGA Archive (*.sga) (*.sga)"_s,
                           u"All Files (*.*) (*)"_s}));
    EXPECT_EQ(qtNameFilters(convertFilter(kDefaultFilter)), QStringList({u"All (*.*) (*)"_s}));
    EXPECT_EQ(qtNameFilters(convertFilter(u"Pictures|*.bmp;*.jpg"_s)),
              QStringList({u"Pictures (*.bmp *.jpg)"_s}));
    // A description without its pattern is no pair.
    EXPECT_EQ(filterPairs(convertFilter(u"Lonely"_s)).size(), 0u);
}

TEST(CommonDialog, InitialFileNames) {
    EXPECT_EQ(splitInitialFile(u"/opt/tool/*.big"_s).folder, u"/opt/tool"_s);
    EXPECT_TRUE(splitInitialFile(u"/opt/tool/*.big"_s).name.isEmpty());
    EXPECT_EQ(splitInitialFile(u"/games/data.big"_s).name, u"data.big"_s);
    EXPECT_TRUE(splitInitialFile(u"data.big"_s).folder.isEmpty());
}

TEST(CommonDialog, ACancelEmptiesTheNameTitleAndFilter) {
    cCommonDialog dialog;
    QString name = u"/tmp/x.big"_s, title = u"x.big"_s, filter = kProgramFilter;
    bool readOnly = true;
    int32_t index = 2, flags = 4;
    ui::testing::whenModal<QFileDialog>([](QFileDialog* d) { d->reject(); });
    EXPECT_FALSE(dialog.VBGetOpenFileName(name, title, true, false, readOnly, false, filter, index,
                                          QString(), QString(), u"BIG"_s, nullptr, flags));
    EXPECT_TRUE(name.isEmpty());
    EXPECT_TRUE(title.isEmpty());
    EXPECT_TRUE(filter.isEmpty());
    EXPECT_EQ(index, -1);
    EXPECT_EQ(flags, 0);
    EXPECT_TRUE(readOnly);
    EXPECT_EQ(dialog.APIReturn(), 0);
    EXPECT_EQ(dialog.ExtendedError(), 0);

    // Only the file name is required.
    QString only = u"/tmp/y.big"_s;
    ui::testing::whenModal<QFileDialog>([](QFileDialog* d) { d->reject(); });
    EXPECT_FALSE(dialog.VBGetOpenFileName(only));
    EXPECT_TRUE(only.isEmpty());
}

TEST(CommonDialog, AChosenFileComesBackWithTitlePairAndFlags) {
    sga::testing::TempDir dir;
    const auto sga = dir.write("mod.sga", {1, 2, 3});
    const QString path = QString::fromStdString(sga.string());

    cCommonDialog dialog;
    QString name = QString::fromStdString(dir.path().string()) + u"/*.big"_s, title, filter = kProgramFilter;
    bool readOnly = false;
    int32_t index = 2, flags = OFN_HIDEREADONLY;
    QStringList offered;
    QString selectedFilter;
    ui::testing::whenModal<QFileDialog>([&](QFileDialog* d) {
        offered = d->nameFilters();
        selectedFilter = d->selectedNameFilter();
        d->selectFile(path);
        static_cast<QDialog*>(d)->accept();
    });
    EXPECT_TRUE(dialog.VBGetOpenFileName(name, title, true, false, readOnly, false, filter, index,
                                         QString(), QString(), u"BIG"_s, nullptr, flags));
    EXPECT_EQ(offered.size(), 3);
    EXPECT_TRUE(selectedFilter.startsWith(u"IC SGA Archive (*.sga)"_s)) << selectedFilter.toStdString();
    EXPECT_EQ(name, path);
    EXPECT_EQ(title, u"mod.sga"_s);
    EXPECT_EQ(index, 2);
    EXPECT_EQ(filter, u"IC SGA Archive (*.sga)"_s + NUL + u"*.sga"_s);
    EXPECT_EQ(flags, OFN_FILEMUSTEXIST | OFN_HIDEREADONLY);
    EXPECT_FALSE(readOnly);
    EXPECT_EQ(dialog.APIReturn(), 1);
}

TEST(CommonDialog, TheReadOnlyBoxSetsReadOnly) {
    sga::testing::TempDir dir;
    const QString path = QString::fromStdString(dir.write("a.big", {1}).string());
    for (bool tick : {false, true}) {
        cCommonDialog dialog;
        QString name = path;
        bool readOnly = false;
        int32_t flags = 0;
        ui::testing::whenModal<QFileDialog>([&](QFileDialog* d) {
            auto* box = d->findChild<QCheckBox*>();
            ASSERT_NE(box, nullptr);
            box->setChecked(tick);
            d->selectFile(path);
            static_cast<QDialog*>(d)->accept();
        });
        EXPECT_TRUE(dialog.VBGetOpenFileName(name, QString(), true, false, readOnly, false, kDefaultFilter, 1,
                                             QString(), QString(), QString(), nullptr, flags));
        EXPECT_EQ(readOnly, tick);
        EXPECT_EQ((flags & OFN_READONLY) != 0, tick);
    }
}

TEST(CommonDialog, TheSaveDialogHandsBackTheNewName) {
    sga::testing::TempDir dir;
    const QString path = QString::fromStdString((dir.path() / "out.txt").string());
    cCommonDialog dialog;
    QString name = path, title;
    QString filter = u"Text (*.txt)|*.txt"_s;
    int32_t index = 1;
    ui::testing::whenModal<QFileDialog>([&](QFileDialog* d) {
        EXPECT_EQ(d->acceptMode(), QFileDialog::AcceptSave);
        d->selectFile(path);
        static_cast<QDialog*>(d)->accept();
    });
    EXPECT_TRUE(dialog.VBGetSaveFileName(name, title, true, filter, index));
    EXPECT_EQ(name, path);
    EXPECT_EQ(title, u"out.txt"_s);
    EXPECT_EQ(filter, u"Text (*.txt)"_s + NUL + u"*.txt"_s);

    ui::testing::whenModal<QFileDialog>([](QFileDialog* d) { d->reject(); });
    EXPECT_FALSE(dialog.VBGetSaveFileName(name, title));
    EXPECT_TRUE(name.isEmpty());
    EXPECT_TRUE(title.isEmpty());
}

TEST(CommonDialog, CancelledFontPrintAndPageDialogsChangeNothing) {
    cCommonDialog dialog;
    QFont font(u"Serif"_s, 12);
    const QFont before = font;
    auto shown = ui::testing::whenModal<QDialog>([](QDialog* d) { d->reject(); });
    EXPECT_FALSE(dialog.VBChooseFont(font));
    EXPECT_TRUE(*shown);
    EXPECT_EQ(font, before);
    EXPECT_EQ(dialog.APIReturn(), 0);

    intptr_t hdc = 5;
    int16_t copies = 3;
    shown = ui::testing::whenModal<QDialog>([](QDialog* d) { d->reject(); });
    EXPECT_FALSE(dialog.VBPrintDlg(hdc, 0, false, 1, 1, true, copies));
    EXPECT_TRUE(*shown);
    EXPECT_EQ(hdc, 0);
    EXPECT_EQ(copies, 3);

    int32_t left = 750;
    shown = ui::testing::whenModal<QDialog>([](QDialog* d) { d->reject(); });
    EXPECT_FALSE(dialog.VBPageSetupDlg(nullptr, false, false, false, false, left));
    EXPECT_TRUE(*shown);
    EXPECT_EQ(left, 750);
    EXPECT_EQ(dialog.APIReturn(), 0);
}

TEST(CommonDialog, CustomColoursAndFileTitles) {
    cCommonDialog dialog;
    EXPECT_EQ(dialog.CustomColor(-1), -1);
    EXPECT_EQ(dialog.CustomColor(16), -1);
    EXPECT_GE(dialog.CustomColor(5), 0);
    dialog.CustomColor(5, 0x00123456);
    EXPECT_EQ(dialog.CustomColor(5), 0x00123456);
    dialog.CustomColor(16, 7);
    EXPECT_EQ(dialog.CustomColor(16), -1);

    int32_t colour = 0x0000FF;
    ui::testing::whenModal<QDialog>([](QDialog* d) { d->reject(); });
    EXPECT_FALSE(dialog.VBChooseColor(colour));
    EXPECT_EQ(colour, -1);

    EXPECT_EQ(dialog.VBGetFileTitle(u"/games/hw2/data.big"_s), u"data.big"_s);
}

} // namespace
} // namespace sga::platform
