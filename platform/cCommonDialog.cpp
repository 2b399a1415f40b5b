#include "platform/cCommonDialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QColorDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDialog>
#include <QGridLayout>
#include <QPalette>

#ifdef SGA_HAVE_PRINTSUPPORT
#include <QPageLayout>
#include <QPageSetupDialog>
#include <QPageSize>
#include <QPrintDialog>
#include <QPrinter>
#endif

#include <algorithm>

namespace sga::platform {

QString convertFilter(const QString& filter) {
    QString out = filter;
    for (QChar& c : out) {
        if (c == u'|' || c == u':') c = QChar(0);
    }
    out.append(QChar(0));
    out.append(QChar(0));
    return out;
}

std::vector<FilterPair> filterPairs(const QString& converted) {
    std::vector<FilterPair> pairs;
    const QStringList parts = converted.split(QChar(0));
    // The list ends at the first empty description (the double NUL); a
    // description without its pattern is no pair.
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        // The double NUL ends the list, wherever it falls.
        if (parts[i].isEmpty() || parts[i + 1].isEmpty()) break;
        pairs.push_back({parts[i], parts[i + 1]});
    }
    return pairs;
}

QStringList qtNameFilters(const QString& converted) {
    QStringList filters;
    for (const FilterPair& pair : filterPairs(converted)) {
        QStringList patterns;
        for (QString p : pair.pattern.split(u';', Qt::SkipEmptyParts)) {
            p = p.trimmed();
            if (p.isEmpty()) continue;
            // Every file matches "*.*" on the systems this filter syntax
            // comes from; Qt would demand a dot in the name.
            patterns << (p == QStringLiteral("*.*") ? QStringLiteral("*") : p);
        }
        if (patterns.isEmpty()) patterns << QStringLiteral("*");
        filters << pair.description + QStringLiteral(" (") + patterns.join(u' ') + u')';
    }
    return filters;
}

QString chosenPair(const QString& converted, int32_t filterIndex) {
    const auto pairs = filterPairs(converted);
    if (filterIndex < 1 || static_cast<size_t>(filterIndex) > pairs.size()) return {};
    const FilterPair& pair = pairs[static_cast<size_t>(filterIndex) - 1];
    return pair.description + QChar(0) + pair.pattern;
}

InitialFile splitInitialFile(const QString& filename) {
    const QString path = QDir::fromNativeSeparators(filename);
    const qsizetype slash = path.lastIndexOf(u'/');
    InitialFile result;
    if (slash >= 0) {
        result.folder = slash == 0 ? QStringLiteral("/") : path.left(slash);
        result.name = path.mid(slash + 1);
    } else {
        result.name = path;
    }
    if (result.name.contains(u'*') || result.name.contains(u'?')) result.name.clear();
    return result;
}

struct cCommonDialog::FileDialogRequest {
    bool save = false;
    int32_t ofnFlags = 0;
    QString initDir;
    QString title;
    QString defaultExt;
    QWidget* owner = nullptr;
};

bool cCommonDialog::runFileDialog(const FileDialogRequest& request, QString& Filename,
                                  QString& FileTitle, QString& Filter, int32_t& FilterIndex,
                                  int32_t& flags) {
    const QString converted = convertFilter(Filter);
    const QStringList nameFilters = qtNameFilters(converted);

    QFileDialog dialog(request.owner);
    dialog.setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    if (request.save) {
        dialog.setFileMode(QFileDialog::AnyFile);
    } else if (request.ofnFlags & OFN_ALLOWMULTISELECT) {
        dialog.setFileMode(QFileDialog::ExistingFiles);
    } else if (request.ofnFlags & OFN_FILEMUSTEXIST) {
        dialog.setFileMode(QFileDialog::ExistingFile);
    } else {
        dialog.setFileMode(QFileDialog::AnyFile);
    }
    // The descriptions already name their patterns.
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    if (request.save && !(request.ofnFlags & OFN_OVERWRITEPROMPT)) {
        dialog.setOption(QFileDialog::DontConfirmOverwrite);
    }
    if (!nameFilters.isEmpty()) {
        dialog.setNameFilters(nameFilters);
        if (FilterIndex >= 1 && FilterIndex <= nameFilters.size()) {
            dialog.selectNameFilter(nameFilters[FilterIndex - 1]);
        }
    }
    const InitialFile initial = splitInitialFile(Filename);
    if (!initial.folder.isEmpty()) {
        dialog.setDirectory(initial.folder);
    } else if (!request.initDir.isEmpty()) {
        dialog.setDirectory(request.initDir);
    }
    if (!initial.name.isEmpty()) dialog.selectFile(initial.name);
    if (!request.title.isEmpty()) dialog.setWindowTitle(request.title);
    if (!request.defaultExt.isEmpty()) dialog.setDefaultSuffix(request.defaultExt);

    // The platform dialogs have no read-only check box; Qt's own dialog gets one.
    QCheckBox* readOnlyBox = nullptr;
    if (!request.save && !(request.ofnFlags & OFN_HIDEREADONLY)) {
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout())) {
            readOnlyBox = new QCheckBox(QObject::tr("Open as &read-only"), &dialog);
            readOnlyBox->setChecked(request.ofnFlags & OFN_READONLY);
            grid->addWidget(readOnlyBox, grid->rowCount(), 0, 1, -1);
        }
    }

    apiReturn_ = dialog.exec() == QDialog::Accepted ? 1 : 0;
    const QStringList files = apiReturn_ == 1 ? dialog.selectedFiles() : QStringList();
    if (files.isEmpty()) {
        apiReturn_ = 0;
        Filename.clear();
        FileTitle.clear();
        Filter.clear();
        flags = 0;
        FilterIndex = -1;
        return false;
    }

    if (files.size() == 1) {
        Filename = files.front();
    } else {
        // Several files: the folder, then every name, NUL-separated.
        Filename = QFileInfo(files.front()).absolutePath();
        for (const QString& f : files) Filename += QChar(0) + QFileInfo(f).fileName();
    }
    FileTitle = QFileInfo(files.front()).fileName();
    int32_t returned = request.ofnFlags;
    if (readOnlyBox) {
        returned = readOnlyBox->isChecked() ? (returned | OFN_READONLY) : (returned & ~OFN_READONLY);
    }
    flags = returned;
    // With the details hidden the dialog may name its filter by the description alone.
    const QString selected = dialog.selectedNameFilter().trimmed();
    const auto pairs = filterPairs(converted);
    for (qsizetype i = 0; i < nameFilters.size(); ++i) {
        if (selected == nameFilters[i] || selected == pairs[static_cast<size_t>(i)].description.trimmed()) {
            FilterIndex = static_cast<int32_t>(i) + 1;
            break;
        }
    }
    Filter = chosenPair(converted, FilterIndex);
    return true;
}

bool cCommonDialog::VBGetOpenFileName(QString& Filename, ByRef<QString> FileTitle,
                                      ByRef<bool> FileMustExist, ByRef<bool> MultiSelect,
                                      ByRef<bool> ReadOnly, ByRef<bool> HideReadOnly,
                                      ByRef<QString> Filter, ByRef<int32_t> FilterIndex,
                                      ByRef<QString> InitDir, ByRef<QString> DlgTitle,
                                      ByRef<QString> DefaultExt, ByRef<QWidget*> Owner,
                                      ByRef<int32_t> flags) {
    apiReturn_ = 0;
    extendedError_ = 0;
    FileDialogRequest request;
    request.ofnFlags = (FileMustExist.get() ? OFN_FILEMUSTEXIST : 0) |
                       (MultiSelect.get() ? OFN_ALLOWMULTISELECT : 0) |
                       (ReadOnly.get() ? OFN_READONLY : 0) |
                       (HideReadOnly.get() ? OFN_HIDEREADONLY : 0) |
                       (flags.get() & ~(OFN_ENABLEHOOK | OFN_ENABLETEMPLATE));
    request.initDir = InitDir;
    request.title = DlgTitle;
    request.defaultExt = DefaultExt;
    request.owner = Owner;
    const bool chosen = runFileDialog(request, Filename, FileTitle, Filter, FilterIndex, flags);
    if (chosen && (flags.get() & OFN_READONLY)) ReadOnly = true;
    return chosen;
}

bool cCommonDialog::VBGetSaveFileName(QString& Filename, ByRef<QString> FileTitle,
                                      ByRef<bool> OverWritePrompt, ByRef<QString> Filter,
                                      ByRef<int32_t> FilterIndex, ByRef<QString> InitDir,
                                      ByRef<QString> DlgTitle, ByRef<QString> DefaultExt,
                                      ByRef<QWidget*> Owner, ByRef<int32_t> flags) {
    apiReturn_ = 0;
    extendedError_ = 0;
    FileDialogRequest request;
    request.save = true;
    request.ofnFlags = (OverWritePrompt.get() ? OFN_OVERWRITEPROMPT : 0) |
                       (flags.get() & ~(OFN_ENABLEHOOK | OFN_ENABLETEMPLATE));
    request.initDir = InitDir;
    request.title = DlgTitle;
    request.defaultExt = DefaultExt;
    request.owner = Owner;
    return runFileDialog(request, Filename, FileTitle, Filter, FilterIndex, flags);
}

QString cCommonDialog::VBGetFileTitle(const QString& sFile) {
    const QString title = QFileInfo(QDir::fromNativeSeparators(sFile)).fileName();
    apiReturn_ = title.isEmpty() ? -1 : 0;
    return title;
}

namespace {

QColor fromColorRef(int32_t value) {
    return QColor(value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF);
}

int32_t toColorRef(const QColor& c) {
    return c.red() | (c.green() << 8) | (c.blue() << 16);
}

} // namespace

void cCommonDialog::fillCustomColors() {
    if (customColorsFilled_) return;
    customColorsFilled_ = true;
    // The system colours 0 to 15 (scroll bar, desktop, captions, menu,
    // window, frame, texts, borders, workspace, highlight, button face),
    // taken from the application's palette.
    const QPalette pal = QApplication::palette();
    using P = QPalette;
    const QColor colors[16] = {
        pal.color(P::Button),          pal.color(P::Dark),
        pal.color(P::Active, P::Highlight), pal.color(P::Inactive, P::Highlight),
        pal.color(P::Window),          pal.color(P::Base),
        pal.color(P::Shadow),          pal.color(P::WindowText),
        pal.color(P::Text),            pal.color(P::HighlightedText),
        pal.color(P::Active, P::Button), pal.color(P::Inactive, P::Button),
        pal.color(P::Mid),             pal.color(P::Highlight),
        pal.color(P::HighlightedText), pal.color(P::Button)};
    for (size_t i = 0; i < 16; ++i) customColors_[i] = toColorRef(colors[i]);
}

int32_t cCommonDialog::CustomColor(int16_t i) {
    if (i < 0 || i > 15) return -1;
    fillCustomColors();
    return customColors_[static_cast<size_t>(i)];
}

void cCommonDialog::CustomColor(int16_t i, int32_t iValue) {
    if (i < 0 || i > 15) return;
    fillCustomColors();
    customColors_[static_cast<size_t>(i)] = iValue;
}

bool cCommonDialog::VBChooseColor(ByRef<int32_t> Color, ByRef<bool> /*AnyColor*/,
                                  ByRef<bool> /*FullOpen*/, ByRef<bool> /*DisableFullOpen*/,
                                  ByRef<QWidget*> Owner, ByRef<int32_t> /*flags*/) {
    // Qt's colour dialog always shows its full form and any colour.
    fillCustomColors();
    for (int i = 0; i < 16; ++i) {
        QColorDialog::setCustomColor(i, fromColorRef(customColors_[static_cast<size_t>(i)]));
    }
    QColorDialog dialog(Color.get() >= 0 ? fromColorRef(Color) : QColor(Qt::black), Owner);
    apiReturn_ = dialog.exec() == QDialog::Accepted ? 1 : 0;
    for (int i = 0; i < 16; ++i) {
        customColors_[static_cast<size_t>(i)] = toColorRef(QColorDialog::customColor(i));
    }
    if (apiReturn_ != 1) {
        Color = -1;
        return false;
    }
    Color = toColorRef(dialog.selectedColor());
    return true;
}

bool cCommonDialog::VBChooseFont(QFont& CurFont, ByRef<int32_t> /*PrinterDC*/,
                                 ByRef<QWidget*> Owner, ByRef<int32_t> /*Color*/,
                                 ByRef<int32_t> MinSize, ByRef<int32_t> MaxSize,
                                 ByRef<int32_t> /*flags*/) {
    bool ok = false;
    QFont chosen = QFontDialog::getFont(&ok, CurFont, Owner);
    apiReturn_ = ok ? 1 : 0;
    if (!ok) return false;
    if (MaxSize.get() > 0 && chosen.pointSizeF() > 0) {
        const double low = std::max<int32_t>(MinSize, 1);
        chosen.setPointSizeF(std::clamp<double>(chosen.pointSizeF(), low, std::max<double>(low, MaxSize)));
    }
    CurFont = chosen;
    return true;
}

#ifdef SGA_HAVE_PRINTSUPPORT

bool cCommonDialog::VBPrintDlg(ByRef<intptr_t> hdc, ByRef<int32_t> PrintRange,
                               ByRef<bool> DisablePageNumbers, ByRef<int32_t> FromPage,
                               ByRef<int32_t> ToPage, ByRef<bool> DisableSelection,
                               ByRef<int16_t> Copies, ByRef<bool> ShowPrintToFile,
                               ByRef<bool> DisablePrintToFile, ByRef<bool> PrintToFile,
                               ByRef<bool> Collate, ByRef<bool> /*PreventWarning*/,
                               ByRef<QWidget*> Owner, QPrinter* Printer, ByRef<int32_t> /*flags*/) {
    QPrinter own;
    QPrinter* printer = Printer ? Printer : &own;
    printer->setCopyCount(std::max<int>(Copies.get(), 1));
    printer->setCollateCopies(Collate);
    if (!DisablePageNumbers.get() && FromPage.get() >= 1 && ToPage.get() >= FromPage.get()) {
        printer->setFromTo(FromPage, ToPage);
    }
    QPrintDialog dialog(printer, Owner);
    QAbstractPrintDialog::PrintDialogOptions options = QAbstractPrintDialog::PrintCollateCopies |
                                                       QAbstractPrintDialog::PrintShowPageSize;
    if (ShowPrintToFile.get() && !DisablePrintToFile.get()) options |= QAbstractPrintDialog::PrintToFile;
    if (!DisableSelection.get()) options |= QAbstractPrintDialog::PrintSelection;
    if (!DisablePageNumbers.get()) options |= QAbstractPrintDialog::PrintPageRange;
    dialog.setOptions(options);
    dialog.setPrintRange(PrintRange.get() == 1   ? QAbstractPrintDialog::Selection
                         : PrintRange.get() == 2 ? QAbstractPrintDialog::PageRange
                                                 : QAbstractPrintDialog::AllPages);
    apiReturn_ = dialog.exec() == QDialog::Accepted ? 1 : 0;
    hdc = 0;
    if (apiReturn_ != 1) return false;
    PrintRange = dialog.printRange() == QAbstractPrintDialog::Selection   ? 1
                 : dialog.printRange() == QAbstractPrintDialog::PageRange ? 2
                                                                         : 0;
    FromPage = printer->fromPage();
    ToPage = printer->toPage();
    Copies = static_cast<int16_t>(printer->copyCount());
    Collate = printer->collateCopies();
    PrintToFile = !printer->outputFileName().isEmpty();
    return true;
}

bool cCommonDialog::VBPageSetupDlg(ByRef<QWidget*> Owner, ByRef<bool> /*DisableMargins*/,
                                   ByRef<bool> /*DisableOrientation*/, ByRef<bool> /*DisablePaper*/,
                                   ByRef<bool> /*DisablePrinter*/, ByRef<int32_t> LeftMargin,
                                   ByRef<int32_t> MinLeftMargin, ByRef<int32_t> RightMargin,
                                   ByRef<int32_t> MinRightMargin, ByRef<int32_t> TopMargin,
                                   ByRef<int32_t> MinTopMargin, ByRef<int32_t> BottomMargin,
                                   ByRef<int32_t> MinBottomMargin, ByRef<int32_t> PaperSize,
                                   ByRef<int32_t> Orientation, ByRef<int32_t> /*PrintQuality*/,
                                   ByRef<int32_t> Units, QPrinter* Printer, ByRef<int32_t> /*flags*/) {
    struct Paper {
        int32_t code;
        QPageSize::PageSizeId id;
    };
    static constexpr Paper papers[] = {{1, QPageSize::Letter}, {5, QPageSize::Legal},
                                       {8, QPageSize::A3},     {9, QPageSize::A4},
                                       {11, QPageSize::A5}};
    const bool metric = Units.get() == 1;
    const double scale = metric ? 100.0 : 1000.0;
    const QPageLayout::Unit unit = metric ? QPageLayout::Millimeter : QPageLayout::Inch;

    QPrinter own;
    QPrinter* printer = Printer ? Printer : &own;
    for (const Paper& p : papers) {
        if (p.code == PaperSize.get()) printer->setPageSize(QPageSize(p.id));
    }
    printer->setPageOrientation(Orientation.get() == 2 ? QPageLayout::Landscape : QPageLayout::Portrait);
    printer->setPageMargins(QMarginsF(std::max(LeftMargin.get(), MinLeftMargin.get()) / scale,
                                      std::max(TopMargin.get(), MinTopMargin.get()) / scale,
                                      std::max(RightMargin.get(), MinRightMargin.get()) / scale,
                                      std::max(BottomMargin.get(), MinBottomMargin.get()) / scale),
                            unit);
    QPageSetupDialog dialog(printer, Owner);
    apiReturn_ = dialog.exec() == QDialog::Accepted ? 1 : 0;
    if (apiReturn_ != 1) return false;
    const QPageLayout layout = printer->pageLayout();
    const QMarginsF m = layout.margins(unit);
    LeftMargin = static_cast<int32_t>(m.left() * scale + 0.5);
    TopMargin = static_cast<int32_t>(m.top() * scale + 0.5);
    RightMargin = static_cast<int32_t>(m.right() * scale + 0.5);
    BottomMargin = static_cast<int32_t>(m.bottom() * scale + 0.5);
    Orientation = layout.orientation() == QPageLayout::Landscape ? 2 : 1;
    for (const Paper& p : papers) {
        if (p.id == layout.pageSize().id()) PaperSize = p.code;
    }
    return true;
}

#else

// Without Qt's print support there is no print dialog to show.
bool cCommonDialog::VBPrintDlg(ByRef<intptr_t> hdc, ByRef<int32_t>, ByRef<bool>, ByRef<int32_t>,
                               ByRef<int32_t>, ByRef<bool>, ByRef<int16_t>, ByRef<bool>,
                               ByRef<bool>, ByRef<bool>, ByRef<bool>, ByRef<bool>,
                               ByRef<QWidget*>, QPrinter*, ByRef<int32_t>) {
    apiReturn_ = 0;
    hdc = 0;
    return false;
}

bool cCommonDialog::VBPageSetupDlg(ByRef<QWidget*>, ByRef<bool>, ByRef<bool>, ByRef<bool>,
                                   ByRef<bool>, ByRef<int32_t>, ByRef<int32_t>, ByRef<int32_t>,
                                   ByRef<int32_t>, ByRef<int32_t>, ByRef<int32_t>, ByRef<int32_t>,
                                   ByRef<int32_t>, ByRef<int32_t>, ByRef<int32_t>, ByRef<int32_t>,
                                   ByRef<int32_t>, QPrinter*, ByRef<int32_t>) {
    apiReturn_ = 0;
    return false;
}

#endif

} // namespace sga::platform
