// The decoder table: which row an entry's name and first bytes choose.
#include "preview/EntryDecoders.h"
#include "tests/support/PictureBuilders.h"

#include <gtest/gtest.h>

namespace sga {
namespace {

TEST(EntryDecoders, NameAndContentChooseTheRow) {
    const std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n', 0, 0};
    const struct {
        const char* name;
        std::vector<uint8_t> head;
        const char* kind;   // nullptr: no row, the hex view
    } cases[] = {
        {"data\\art\\sky.tga", {}, "tga"},
        {"SKY.TGA", {}, "tga"},
        {"Notes.Txt", {}, "text"},
        {"scripts\\ai.lua", {}, "text"},
        {"lua", {}, "text"},                 // no dot: the whole name is the kind
        {"dir.tga\\readme", {}, nullptr},    // a dot in a folder name is not an extension
        {"photo.JPG", {}, "bmp"},
        {"scan.tif", {}, "tiff"},
        {"blob.bin", png, "png"},           // the content names what the name does not
        {"sky.tga", png, "tga"},            // the extension wins over the content
        {"blob.bin", {0x89, 'P', 'N'}, nullptr},
        {"blob.bin", {}, nullptr},
        {"art\\Sky.DDS", {}, "dds"},
        {"blob.bin", {'D', 'D', 'S', ' ', 124}, "dds"},
        {"tex.rrtex", {}, "rrtex"},
        {"attrib\\unit.RGD", {}, "rgd"},
        {"model.whm", {}, "chunky"},
        {"blob.bin", {'R', 'e', 'l', 'i', 'c', ' ', 'C', 'h', 'u', 'n', 'k', 'y'}, "chunky"},
    };
    for (const auto& c : cases) {
        const EntryDecoder* row = findEntryDecoder(c.name, c.head);
        if (!c.kind) {
            EXPECT_EQ(row, nullptr) << c.name;
            continue;
        }
        ASSERT_NE(row, nullptr) << c.name;
        EXPECT_EQ(row->kind, c.kind) << c.name;
    }
}

TEST(EntryDecoders, OwnPicturesDecodeToOpaqueRgba) {
    testing::TgaPlan tga;
    tga.width = 2;
    tga.height = 1;
    tga.pixels = {1, 2, 3, 4, 5, 6};   // blue, green, red; one row
    const std::vector<uint8_t> file = testing::buildTga(tga);
    const EntryDecoder* row = findEntryDecoder("a.tga");
    ASSERT_NE(row, nullptr);
    ASSERT_EQ(row->source, PictureSource::Own);
    const Expected<Picture> picture = row->decodePicture(file);
    ASSERT_TRUE(picture) << picture.message();
    EXPECT_EQ(picture->rgba, (std::vector<uint8_t>{3, 2, 1, 255, 6, 5, 4, 255}));
    EXPECT_EQ(picture->format, "TGA");
    // A refusal keeps the reader's reason.
    const Expected<Picture> cut = row->decodePicture(std::span(file).first(10));
    EXPECT_FALSE(cut);
    EXPECT_NE(cut.message().find("TGA"), std::string::npos) << cut.message();
}

} // namespace
} // namespace sga
