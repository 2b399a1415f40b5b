#pragma once
// The last four archives opened, kept in the settings store (section
// "Recent Files", keys "RecentFile1" newest to "RecentFile4") and listed at
// the bottom of the File menu; and the stored extract location (section
// "LastExtract", key "Location"), which the program only reads.

#include <QString>

class QAction;

namespace sga::ui {

class frmMain;

// Sets form.extractLocation from the store (or the program's folder) and
// fills and shows the recent-file items. Never hides an item.
void loadRecentList(frmMain& form);

// Puts path at the top of the stored list unless one of the form's items
// already shows it.
void addRecentFile(frmMain& form, const QString& path);

// A recent-file item's caption: "&", its number, a space and the path.
QString recentCaption(int index, const QString& path);
// The path of an item: its caption from the fourth character on.
QString recentPath(const QAction& item);

// How a path is stored, and whether two paths name the same archive: where
// letter case does not matter in file names, in capitals and compared without
// regard to case; elsewhere as chosen and compared exactly.
QString storedPathForm(const QString& path);
bool sameArchivePath(const QString& a, const QString& b);

} // namespace sga::ui
