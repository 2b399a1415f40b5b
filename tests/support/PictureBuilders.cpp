#include "tests/support/PictureBuilders.h"

#include <gtest/gtest.h>

namespace sga::testing {

PreviewImage sentinelImage() {
    PreviewImage image;
    image.width = 1;
    image.height = 2;
    image.bitsPerPixel = 24;
    image.palette = {{1, 2, 3, 4}};
    image.pixels = {9, 8, 7, 6, 5, 4};
    return image;
}

void expectRefused(Decoder decode, const Bytes& file, const std::string& why) {
    PreviewImage image = sentinelImage();
    const Status status = decode(file, image);
    EXPECT_FALSE(status.ok()) << file.size() << " bytes";
    if (!why.empty()) {
        EXPECT_NE(status.message().find(why), std::string::npos) << status.message();
    }
    EXPECT_EQ(image, sentinelImage());
}

PreviewImage expectDecoded(Decoder decode, const Bytes& file) {
    PreviewImage image = sentinelImage();
    const Status status = decode(file, image);
    EXPECT_TRUE(status.ok()) << status.message();
    return image;
}

void expectEveryPrefixRefused(Decoder decode, const Bytes& file) {
    for (size_t n = 0; n < file.size(); ++n)
        expectRefused(decode, Bytes(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(n)));
    expectDecoded(decode, file);
}

void expectByteChangesSafe(Decoder decode, const Bytes& file) {
    for (size_t at = 0; at < file.size(); ++at) {
        for (uint8_t value : {0x00, 0x01, 0x7F, 0x80, 0xFF}) {
            Bytes changed = file;
            changed[at] = value;
            PreviewImage image = sentinelImage();
            if (decode(changed, image).ok()) {
                EXPECT_EQ(image.pixels.size(), size_t{3} * static_cast<size_t>(image.width) *
                                                   static_cast<size_t>(image.height));
                EXPECT_EQ(image.bitsPerPixel, 24);
            } else {
                EXPECT_EQ(image, sentinelImage())
                    << "byte " << at << " = " << int{value};
            }
        }
    }
}

} // namespace sga::testing
