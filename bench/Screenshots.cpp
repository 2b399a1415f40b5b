// Pictures of the window for the documentation: builds one archive in code
// (a DDS texture, a Relic Chunky model, an RGD attribute file and a UCS
// text), opens it in the window, selects each entry and saves the window as
// a PNG into FOLDER. Key names of the RGD come from a dictionary written into
// a temporary XDG_DATA_HOME first.
//
//   xvfb-run -a sga_screenshots FOLDER
#include "preview/tests/RgdBuilder.h"
#include "preview/tests/TextureBuilders.h"
#include "tests/support/ArchiveWriter.h"
#include "ui/ArchiveTreeModel.h"
#include "ui/frmMain.h"

#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QTreeView>
#include <QTreeWidget>

#include <cstdio>
#include <fstream>
#include <string>

namespace {

using sga::testing::Bytes;
using sga::test::TestChunk;
using sga::test::TestValue;

// 256 x 256, uncompressed A8R8G8B8: red grows to the right, green downwards,
// blue on the diagonal, with a white frame and a dark cross in the middle.
Bytes gradientTexture() {
    constexpr uint32_t size = 256;
    Bytes pixels;
    pixels.reserve(size * size * 4);
    for (uint32_t y = 0; y < size; ++y)
        for (uint32_t x = 0; x < size; ++x) {
            const bool frame = x < 4 || y < 4 || x >= size - 4 || y >= size - 4;
            const bool cross = (x >= 126 && x < 130) || (y >= 126 && y < 130);
            uint8_t r = static_cast<uint8_t>(x), g = static_cast<uint8_t>(y);
            uint8_t b = static_cast<uint8_t>(255 - (x + y) / 2);
            if (cross) r = g = b = 32;
            if (frame) r = g = b = 255;
            pixels.insert(pixels.end(), {b, g, r, 255});
        }
    sga::test::DdsHeader header;
    header.width = size;
    header.height = size;
    return sga::test::ddsFile(header, pixels);
}

Bytes bytesOf(const std::string& text, bool nul = false) {
    Bytes out(text.begin(), text.end());
    if (nul) out.push_back(0);
    return out;
}

Bytes le32(uint32_t value) {
    Bytes out;
    sga::test::appendLe32(out, value);
    return out;
}

// A version 3 model: a folder of chunks, one of them holding readable bytes.
Bytes chunkyModel() {
    Bytes info = bytesOf("tank_body.rsh", true);
    const Bytes count = le32(3);
    info.insert(info.end(), count.begin(), count.end());
    for (int i = 0; i < 24; ++i) info.push_back(static_cast<uint8_t>(i * 11));
    Bytes marks;
    for (int i = 0; i < 40; ++i) marks.push_back(static_cast<uint8_t>(0xF0 - i));
    return sga::test::chunkyFile(
        3, {TestChunk{"FOLDMODL", 1, "tank", {},
                      {TestChunk{"DATAINFO", 2, "model info", info, {}},
                       TestChunk{"FOLDMESH", 1, "hull", {},
                                 {TestChunk{"DATAVERT", 4, "", marks, {}},
                                  TestChunk{"DATAINDX", 1, "", Bytes(16, 0x7F), {}}}},
                       TestChunk{"DATAMARK", 1, "turret_pivot", Bytes(12, 0x3C), {}}}}});
}

constexpr uint32_t kHealth = 0x2D909FCC, kHitpoints = 0xF0A351FD, kArmour = 0x1A2B3C4D,
                   kRegen = 0x55AA1234, kUi = 0x0BADF00D, kName = 0x600DCAFE, kCost = 0x7E57C0DE;

Bytes attributes() {
    return sga::test::firstGeneration(
        {{kHealth, 100, {},
          {{kHitpoints, 0, sga::test::f32(750.0f), {}},
           {kArmour, 0, sga::test::f32(12.5f), {}},
           {kRegen, 0, sga::test::f32(1.25f), {}}}},
         {kUi, 100, {}, {{kName, 3, bytesOf("Light tank", true), {}}}},
         {kCost, 1, le32(320), {}}});
}

void writeDictionary(const std::filesystem::path& dataHome) {
    const auto folder = dataHome / "sga" / "dictionaries";
    std::filesystem::create_directories(folder);
    char line[64];
    std::ofstream out(folder / "screenshots.txt");
    out << "#RGD_DIC\n";
    for (auto [key, name] : {std::pair{kHealth, "health"}, {kHitpoints, "hitpoints"}, {kArmour, "armour"},
                             {kRegen, "regeneration"}, {kUi, "ui_info"}, {kName, "screen_name"},
                             {kCost, "cost"}}) {
        std::snprintf(line, sizeof line, "0x%08X=%s\n", static_cast<unsigned>(key), name);
        out << line;
    }
}

// UTF-16LE with its byte-order mark.
Bytes ucsText() {
    const std::u16string text = u"1000\tLight tank\r\n1001\tA fast tank with thin armour.\r\n"
                                u"1002\tHeavy tank\r\n1003\tSlow, but hard to stop.\r\n"
                                u"1004\tBäckerei – Überfall\r\n";
    Bytes out = {0xFF, 0xFE};
    for (char16_t c : text) {
        out.push_back(static_cast<uint8_t>(c));
        out.push_back(static_cast<uint8_t>(c >> 8));
    }
    return out;
}

void settle() {
    for (int i = 0; i < 5; ++i) QApplication::processEvents();
}

bool click(sga::ui::frmMain& form, const std::string& text) {
    const sga::ArchiveTree& tree = form.treeModel()->tree();
    for (size_t i = 0; i < tree.size(); ++i)
        if (tree[i].text == text) {
            const QModelIndex index = form.treeModel()->indexOfNode(static_cast<int>(i));
            form.findChild<QTreeView*>(QStringLiteral("TreeView1"))->setCurrentIndex(index);
            form.TreeView1_NodeClick(index);
            settle();
            return true;
        }
    std::fprintf(stderr, "no entry %s\n", text.c_str());
    return false;
}

bool save(QWidget& window, const QDir& folder, const char* name) {
    settle();
    const QString path = folder.filePath(QString::fromLatin1(name));
    if (!window.grab().save(path, "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", path.toLocal8Bit().constData());
        return false;
    }
    std::printf("%s\n", path.toLocal8Bit().constData());
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: sga_screenshots FOLDER\n");
        return 2;
    }
    sga::testing::TempDir work;
    writeDictionary(work.path() / "data");
    qputenv("XDG_DATA_HOME", QByteArray::fromStdString((work.path() / "data").string()));
    QApplication app(argc, argv);
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    if (!QDir().mkpath(folder.path())) {
        std::fprintf(stderr, "cannot create %s\n", argv[1]);
        return 1;
    }

    sga::testing::ArchivePlan plan;
    plan.dirs = {{"art", 0}, {"attrib", 2}, {"locale", 3}};
    plan.files = {{.name = "gradient.dds", .data = gradientTexture()},
                  {.name = "tank.whm", .data = chunkyModel()},
                  {.name = "light_tank.rgd", .data = attributes()},
                  {.name = "english.ucs", .data = ucsText()}};
    const std::filesystem::path archive = work.write("screenshots.sga", sga::testing::buildArchive(plan));

    std::filesystem::create_directories(work.path() / "program");
    sga::ui::frmMain form(QString::fromStdString((work.path() / "program").string()),
                          QString::fromStdString((work.path() / "settings.ini").string()));
    form.resize(1100, 720);
    form.show();
    form.Form_Load();
    form.openFileDialog = [&archive](sga::ui::OpenFileArgs& args) {
        args.Filename = QString::fromStdString(archive.string());
        return true;
    };
    form.mnuOpen_Click();
    settle();
    form.findChild<QTreeView*>(QStringLiteral("TreeView1"))->expandAll();

    bool ok = click(form, "gradient.dds") && save(form, folder, "dds-texture.png");
    if (ok && click(form, "tank.whm")) {
        auto* outline = form.findChild<QTreeWidget*>(QStringLiteral("OutlineTree1"));
        if (!outline || outline->topLevelItemCount() == 0 || outline->topLevelItem(0)->childCount() == 0) {
            std::fprintf(stderr, "the model shows no chunk tree\n");
            ok = false;
        } else {
            outline->expandAll();
            outline->setCurrentItem(outline->topLevelItem(0)->child(0));
            ok = save(form, folder, "chunky-tree.png");
        }
    } else {
        ok = false;
    }
    if (ok && click(form, "light_tank.rgd")) {
        if (auto* outline = form.findChild<QTreeWidget*>(QStringLiteral("OutlineTree1"))) outline->expandAll();
        ok = save(form, folder, "rgd-tree.png");
    } else {
        ok = false;
    }
    ok = ok && click(form, "english.ucs") && save(form, folder, "ucs-text.png");
    return ok ? 0 : 1;
}
