#pragma once
// Shared pieces of the window's tests: a workspace with a program folder, a
// settings file and archives, and a stand-in for the open-file dialog.

#include "tests/support/ArchiveWriter.h"
#include "ui/frmMain.h"

#include <QAction>
#include <QString>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace sga::ui::testing {

using sga::testing::ArchivePlan;
using sga::testing::Bytes;

QString qs(const std::filesystem::path& path);

class Workspace {
public:
    Workspace();
    QString programFolder() const { return qs(program_); }
    QString settingsFile() const { return qs(dir_.path() / "settings.ini"); }
    const std::filesystem::path& root() const { return dir_.path(); }

    // A window on this workspace; Form_Load already run unless load is false.
    std::unique_ptr<frmMain> makeForm(bool load = true) const;
    // Writes an archive into the workspace's archive folder.
    QString writeArchive(const std::string& name, const ArchivePlan& plan) const;
    std::vector<std::string> logLines() const;

private:
    sga::testing::TempDir dir_;
    std::filesystem::path program_;
};

// A dialog that records what it was given and chooses path (an empty path
// is a cancel).
struct StubDialog {
    QString path;
    std::vector<OpenFileArgs> calls;
    OpenFileDialog function();
};

// The worked example: directories art and art\textures, files readme.txt,
// art\a.lua and art\textures\rock.tga.
ArchivePlan exampleArchive();

// A started window that has opened the archive "data.big" through its Open
// command and dialog.
template <typename Form = frmMain>
std::unique_ptr<Form> openedForm(const Workspace& ws, StubDialog& dialog,
                                 const ArchivePlan& plan = exampleArchive()) {
    auto form = std::make_unique<Form>(ws.programFolder(), ws.settingsFile());
    form->Form_Load();
    dialog.path = ws.writeArchive("data.big", plan);
    form->openFileDialog = dialog.function();
    form->mnuOpen_Click();
    return form;
}

template <typename T>
T* child(const QObject& parent, const char* name) {
    T* found = parent.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(found, nullptr) << "no child named " << name;
    return found;
}

// A child action by object name.
QAction* action(const QObject& parent, const char* name);

// The uncompressed 24-bit TGA of a picture given as rows of 0xRRGGBB values,
// top row first, stored bottom row first as TGA files usually are.
Bytes tgaBytes(const std::vector<std::vector<uint32_t>>& rows);

} // namespace sga::ui::testing
