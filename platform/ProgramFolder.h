#pragma once
// Where the program keeps its files. The log, the "extracted" folder and the
// temporary picture file belong in the program's folder; an installed
// program usually may not write there, and then they go to the per-user data
// folder instead.

#include <QString>

namespace sga::platform {

// The folder that holds the executable, with "/" separators and no trailing "/".
QString programFolder();

// True when a file can be created in folder.
bool isWritableFolder(const QString& folder);

// True for the folder of an installed program (a "bin" folder).
bool isInstalledFolder(const QString& folder);

// The folder the program writes its own files to: programFolder itself when
// it can be written and is not an installed program's folder, else the per-user data folder (created when missing).
// When neither can be written, programFolder: every write there then fails
// quietly, and the program still runs.
QString dataFolder(const QString& programFolder);

// True on file systems where names that differ only in letter case name the
// same file. The recent-files list stores and compares paths accordingly.
bool fileNamesIgnoreCase();

} // namespace sga::platform
