#pragma once
// The program's wrapper around the platform's common dialogs: each method
// takes the dialog's settings as arguments, shows the modal dialog and hands
// the user's choice back through the same arguments and a Boolean result.
// Arguments after the first are optional; pass a variable to get its value
// back (see ByRef).

#include "platform/ByRef.h"

#include <QFont>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <vector>

class QPrinter;
class QWidget;

namespace sga::platform {

// Flags of the open and save dialogs, with their system values.
inline constexpr int32_t OFN_READONLY = 0x1;
inline constexpr int32_t OFN_OVERWRITEPROMPT = 0x2;
inline constexpr int32_t OFN_HIDEREADONLY = 0x4;
inline constexpr int32_t OFN_ENABLEHOOK = 0x20;
inline constexpr int32_t OFN_ENABLETEMPLATE = 0x40;
inline constexpr int32_t OFN_ALLOWMULTISELECT = 0x200;
inline constexpr int32_t OFN_FILEMUSTEXIST = 0x1000;

// The filter every file dialog falls back to.
inline const QString kDefaultFilter = QStringLiteral("All (*.*)| *.*");

// "Text (*.txt)|*.txt|All|*.*" becomes description, NUL, pattern, NUL, ...
// followed by two NULs; a ":" splits just like a "|".
QString convertFilter(const QString& filter);

struct FilterPair {
    QString description;
    QString pattern;
};
// The pairs of a converted filter, up to the first empty description.
std::vector<FilterPair> filterPairs(const QString& converted);

// The converted filter as Qt name filters, one per pair: the description
// followed by the pattern list in parentheses ("*.*" matches every file,
// ";" separates patterns).
QStringList qtNameFilters(const QString& converted);

// Pair filterIndex (counted from 1) of a converted filter: its description,
// a NUL and its pattern. Empty when there is no such pair.
QString chosenPair(const QString& converted, int32_t filterIndex);

// Folder and file name of a dialog's initial file name; a name with a
// wildcard ("*.big") selects nothing.
struct InitialFile {
    QString folder;
    QString name;
};
InitialFile splitInitialFile(const QString& filename);

class cCommonDialog {
public:
    int32_t APIReturn() const { return apiReturn_; }
    int32_t ExtendedError() const { return extendedError_; }

    bool VBGetOpenFileName(QString& Filename, ByRef<QString> FileTitle = QString(),
                           ByRef<bool> FileMustExist = true, ByRef<bool> MultiSelect = false,
                           ByRef<bool> ReadOnly = false, ByRef<bool> HideReadOnly = false,
                           ByRef<QString> Filter = kDefaultFilter, ByRef<int32_t> FilterIndex = 1,
                           ByRef<QString> InitDir = QString(), ByRef<QString> DlgTitle = QString(),
                           ByRef<QString> DefaultExt = QString(), ByRef<QWidget*> Owner = nullptr,
                           ByRef<int32_t> flags = 0);

    bool VBGetSaveFileName(QString& Filename, ByRef<QString> FileTitle = QString(),
                           ByRef<bool> OverWritePrompt = true, ByRef<QString> Filter = kDefaultFilter,
                           ByRef<int32_t> FilterIndex = 1, ByRef<QString> InitDir = QString(),
                           ByRef<QString> DlgTitle = QString(), ByRef<QString> DefaultExt = QString(),
                           ByRef<QWidget*> Owner = nullptr, ByRef<int32_t> flags = 0);

    // The file's name as a user sees it: without its folder.
    QString VBGetFileTitle(const QString& sFile);

    // Color is a system colour value (0x00BBGGRR); -1 after a cancel.
    bool VBChooseColor(ByRef<int32_t> Color, ByRef<bool> AnyColor = true,
                       ByRef<bool> FullOpen = false, ByRef<bool> DisableFullOpen = false,
                       ByRef<QWidget*> Owner = nullptr, ByRef<int32_t> flags = 0);
    // The 16 custom colours of the colour dialog; -1 outside 0 to 15.
    int32_t CustomColor(int16_t i);
    void CustomColor(int16_t i, int32_t iValue);

    // MinSize and MaxSize (points) limit the chosen size when MaxSize > 0.
    bool VBChooseFont(QFont& CurFont, ByRef<int32_t> PrinterDC = -1, ByRef<QWidget*> Owner = nullptr,
                      ByRef<int32_t> Color = 0, ByRef<int32_t> MinSize = 0,
                      ByRef<int32_t> MaxSize = 0, ByRef<int32_t> flags = 0);

    // Printing: the settings go to and come back from Printer (a null Printer
    // uses one of the dialog's own). Qt draws on the printer itself, so hdc
    // comes back 0. PrintRange: 0 all pages, 1 selection, 2 page numbers.
    bool VBPrintDlg(ByRef<intptr_t> hdc, ByRef<int32_t> PrintRange = 0,
                    ByRef<bool> DisablePageNumbers = false, ByRef<int32_t> FromPage = 1,
                    ByRef<int32_t> ToPage = 1, ByRef<bool> DisableSelection = true,
                    ByRef<int16_t> Copies = 1, ByRef<bool> ShowPrintToFile = true,
                    ByRef<bool> DisablePrintToFile = false, ByRef<bool> PrintToFile = false,
                    ByRef<bool> Collate = false, ByRef<bool> PreventWarning = false,
                    ByRef<QWidget*> Owner = nullptr, QPrinter* Printer = nullptr,
                    ByRef<int32_t> flags = 0);

    // Margins in thousandths of an inch (Units 0) or hundredths of a
    // millimetre (Units 1). Orientation 1 portrait, 2 landscape. PaperSize:
    // 1 Letter, 5 Legal, 8 A3, 9 A4, 11 A5.
    bool VBPageSetupDlg(ByRef<QWidget*> Owner = nullptr, ByRef<bool> DisableMargins = false,
                        ByRef<bool> DisableOrientation = false, ByRef<bool> DisablePaper = false,
                        ByRef<bool> DisablePrinter = false, ByRef<int32_t> LeftMargin = 0,
                        ByRef<int32_t> MinLeftMargin = 0, ByRef<int32_t> RightMargin = 0,
                        ByRef<int32_t> MinRightMargin = 0, ByRef<int32_t> TopMargin = 0,
                        ByRef<int32_t> MinTopMargin = 0, ByRef<int32_t> BottomMargin = 0,
                        ByRef<int32_t> MinBottomMargin = 0, ByRef<int32_t> PaperSize = 1,
                        ByRef<int32_t> Orientation = 1, ByRef<int32_t> PrintQuality = -1,
                        ByRef<int32_t> Units = 0, QPrinter* Printer = nullptr,
                        ByRef<int32_t> flags = 0);

private:
    struct FileDialogRequest;
    bool runFileDialog(const FileDialogRequest& request, QString& Filename, QString& FileTitle,
                       QString& Filter, int32_t& FilterIndex, int32_t& flags);
    void fillCustomColors();

    int32_t apiReturn_ = 0;
    int32_t extendedError_ = 0;
    std::array<int32_t, 16> customColors_{};
    bool customColorsFilled_ = false;
};

} // namespace sga::platform
