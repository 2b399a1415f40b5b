#include "ui/tests/GuiFixture.h"

#include <QFile>

namespace sga::ui::testing {

QString qs(const std::filesystem::path& path) {
    return QFile::decodeName(QByteArray::fromStdString(path.string()));
}

Workspace::Workspace() : program_(dir_.path() / "program") {
    std::filesystem::create_directories(program_);
    std::filesystem::create_directories(dir_.path() / "archives");
}

std::unique_ptr<frmMain> Workspace::makeForm(bool load) const {
    auto form = std::make_unique<frmMain>(programFolder(), settingsFile());
    if (load) form->Form_Load();
    return form;
}

QString Workspace::writeArchive(const std::string& name, const ArchivePlan& plan) const {
    return qs(dir_.write("archives/" + name, sga::testing::buildArchive(plan)));
}

std::vector<std::string> Workspace::logLines() const {
    return sga::testing::readLines(program_ / "sgaExtract.log");
}

OpenFileDialog StubDialog::function() {
    return [this](OpenFileArgs& args) {
        calls.push_back(args);
        args.Filename = path;
        return !path.isEmpty();
    };
}

ArchivePlan exampleArchive() {
    ArchivePlan plan;
    plan.dirs = {{"art", 1}, {"art\\textures", 2}};
    plan.files = {{.name = "readme.txt", .data = sga::testing::textBytes("read me")},
                  {.name = "a.lua", .data = sga::testing::textBytes("print(1)\r\nprint(2)\r\n")},
                  {.name = "rock.tga", .data = tgaBytes({{0xFF0000, 0x00FF00}})}};
    return plan;
}

QAction* action(const QObject& parent, const char* name) {
    return child<QAction>(parent, name);
}

Bytes tgaBytes(const std::vector<std::vector<uint32_t>>& rows) {
    const auto height = static_cast<uint16_t>(rows.size());
    const auto width = static_cast<uint16_t>(rows.empty() ? 0 : rows.front().size());
    Bytes out = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                 static_cast<uint8_t>(width), static_cast<uint8_t>(width >> 8),
                 static_cast<uint8_t>(height), static_cast<uint8_t>(height >> 8), 24, 0};
    for (auto row = rows.rbegin(); row != rows.rend(); ++row) {
        for (uint32_t rgb : *row) {
            out.push_back(static_cast<uint8_t>(rgb));
            out.push_back(static_cast<uint8_t>(rgb >> 8));
            out.push_back(static_cast<uint8_t>(rgb >> 16));
        }
    }
    return out;
}

} // namespace sga::ui::testing
