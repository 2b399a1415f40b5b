// The PNG writer: signature, chunks with their CRCs, and rows that inflate
// back to the pixels.
#include "preview/PngWriter.h"

#include <gtest/gtest.h>
#include <zlib.h>

namespace sga {
namespace {

uint32_t be32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }

TEST(PngWriterTest, ChunksAndRowsReadBack) {
    for (auto [width, height] : {std::pair{1u, 1u}, {3u, 2u}, {300u, 5u}}) {
        Picture picture;
        picture.width = static_cast<int32_t>(width);
        picture.height = static_cast<int32_t>(height);
        for (uint32_t i = 0; i < width * height * 4; ++i) picture.rgba.push_back(static_cast<uint8_t>(i * 7));
        const auto png = encodePng(picture);
        ASSERT_TRUE(png.ok()) << png.message();
        const std::vector<uint8_t>& b = *png;
        ASSERT_EQ(std::vector<uint8_t>(b.begin(), b.begin() + 8),
                  (std::vector<uint8_t>{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'}));
        std::vector<std::string> types;
        std::vector<uint8_t> idat;
        for (size_t at = 8; at + 12 <= b.size();) {
            const uint32_t size = be32(&b[at]);
            ASSERT_LE(at + 12 + size, b.size());
            const std::string type(b.begin() + at + 4, b.begin() + at + 8);
            EXPECT_EQ(be32(&b[at + 8 + size]), crc32(0, &b[at + 4], size + 4)) << type;
            if (type == "IHDR") {
                EXPECT_EQ(be32(&b[at + 8]), width);
                EXPECT_EQ(be32(&b[at + 12]), height);
                EXPECT_EQ(std::vector<uint8_t>(b.begin() + at + 16, b.begin() + at + 21),
                          (std::vector<uint8_t>{8, 6, 0, 0, 0}));
            }
            if (type == "IDAT") idat.insert(idat.end(), b.begin() + at + 8, b.begin() + at + 8 + size);
            types.push_back(type);
            at += 12 + size;
        }
        EXPECT_EQ(types, (std::vector<std::string>{"IHDR", "IDAT", "IEND"}));
        std::vector<uint8_t> rows((width * 4 + 1) * height);
        uLongf size = rows.size();
        ASSERT_EQ(uncompress(rows.data(), &size, idat.data(), idat.size()), Z_OK);
        ASSERT_EQ(size, rows.size());
        for (uint32_t y = 0; y < height; ++y) {
            EXPECT_EQ(rows[y * (width * 4 + 1)], 0) << "filter of row " << y;
            EXPECT_TRUE(std::equal(picture.rgba.begin() + y * width * 4, picture.rgba.begin() + (y + 1) * width * 4,
                                   rows.begin() + y * (width * 4 + 1) + 1))
                << "row " << y;
        }
    }
}

TEST(PngWriterTest, PixelsThatDoNotMatchTheSizeAreRefused) {
    Picture picture;
    picture.width = 2;
    picture.height = 2;
    picture.rgba.resize(15);
    EXPECT_FALSE(encodePng(picture).ok());
}

} // namespace
} // namespace sga
