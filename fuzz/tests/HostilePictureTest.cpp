// The picture readers on damaged files: every prefix of pictures of each
// kind they accept, and random flips over whole files. Whatever the input,
// reading from disk and from memory agree, a refused picture leaves the
// previous one untouched, and an accepted one is complete.

#include "fuzz/FuzzPicture.h"
#include "fuzz/Seeds.h"
#include "preview/PcxReader.h"
#include "preview/modFilePSD.h"
#include "preview/modFileTGA.h"

#include <gtest/gtest.h>
#include <random>

namespace sga {
namespace {

using fuzz::Bytes;

struct Reader {
    const char* kind;
    bool (*load)(const std::filesystem::path&, PreviewImage&);
    Status (*decode)(std::span<const uint8_t>, PreviewImage&);
    std::vector<Bytes> pictures;
};

std::vector<Reader> readers() {
    using namespace sga::fuzz;
    return {{"TGA", loadTGA, decodeTGA,
             {seedTga(3, 2, 24, 0), seedTga(2, 2, 32, 0), seedTga(2, 1, 24, 5)}},
            {"PSD", loadPSD, decodePSD,
             {seedPsd(3, 2, 3, 0), seedPsd(2, 2, 4, 0), seedPsd(5, 3, 3, 1), seedPsd(4, 2, 1, 1)}},
            {"PCX", loadPCX, decodePCX, {seedPcx(5, 3, 1), seedPcx(4, 2, 3)}}};
}

std::string fault(const Reader& r, const Bytes& b) {
    return fuzz::pictureReaderFault(b.data(), b.size(), r.load, r.decode);
}

TEST(HostilePicture, WholePicturesAreRead) {
    for (const auto& r : readers()) {
        for (size_t i = 0; i < r.pictures.size(); ++i) {
            PreviewImage image;
            EXPECT_TRUE(r.decode(r.pictures[i], image).ok()) << r.kind << " picture " << i;
            EXPECT_EQ(fault(r, r.pictures[i]), "") << r.kind << " picture " << i;
        }
    }
}

TEST(HostilePicture, EveryPrefixIsRefusedCleanly) {
    for (const auto& r : readers()) {
        for (size_t i = 0; i < r.pictures.size(); ++i) {
            const Bytes& whole = r.pictures[i];
            for (size_t cut = 0; cut < whole.size(); ++cut) {
                const Bytes prefix(whole.begin(), whole.begin() + static_cast<long>(cut));
                const std::string what = std::string(r.kind) + " picture " + std::to_string(i) +
                                         " cut at " + std::to_string(cut);
                ASSERT_EQ(fault(r, prefix), "") << what;
                PreviewImage image;
                EXPECT_FALSE(r.decode(prefix, image).ok()) << what;
            }
        }
    }
}

// One to four random bits or bytes changed anywhere in the file, header
// included; a fixed seed keeps every run the same.
TEST(HostilePicture, RandomFlipsOverWholeFiles) {
    std::mt19937 random(7122026);
    for (const auto& r : readers()) {
        int accepted = 0;
        for (size_t i = 0; i < r.pictures.size(); ++i) {
            for (int run = 0; run < 1500; ++run) {
                Bytes b = r.pictures[i];
                std::string what = std::string(r.kind) + " picture " + std::to_string(i) + ":";
                for (int k = 0; k <= run % 4; ++k) {
                    const size_t at = random() % b.size();
                    if (random() % 2) {
                        b[at] ^= static_cast<uint8_t>(1u << (random() % 8));
                    } else {
                        const uint8_t values[] = {0x00, 0xFF, 0x7F, 0x80, 0x01};
                        b[at] = values[random() % 5];
                    }
                    what += " " + std::to_string(at) + "=" + std::to_string(b[at]);
                }
                const std::string problem = fault(r, b);
                ASSERT_EQ(problem, "") << what;
                PreviewImage image;
                accepted += r.decode(b, image).ok();
            }
        }
        // Flips in the pixel data leave a readable picture: the sweep reaches
        // the decoders, not only the header checks.
        EXPECT_GT(accepted, 0) << r.kind;
    }
}

} // namespace
} // namespace sga
