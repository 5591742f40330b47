// PNG decoder: hand-made files with pixels worked out from their bytes, the conformance
// suite and the crasher collection.

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "codec_test_util.h"
#include "support/test_images.h"
#include "toolkit/codecs/codec.h"

namespace {

constexpr int grey = 0, rgbType = 2, palette = 3, rgbaType = 6;

DecodeResult decode(const std::vector<uint8_t>& bytes) {
    return decodePng(bytes.data(), bytes.size());
}

TEST(PngDecoder, SixteenBitSamplesRoundToNearest) {
    // 2 x 1 RGBA, 16 bits: 0xFFFF, 0x0000, 0x8080, 0xFFFF then 0x1234, 0xABCD, 0x00FF, 0x0000.
    // Nearest 8-bit value is v / 257 rounded: 255, 0, 128, 255 and 18, 171, 1, 0.
    std::vector<uint8_t> rows = {0,    0xFF, 0xFF, 0x00, 0x00, 0x80, 0x80, 0xFF, 0xFF,
                                 0x12, 0x34, 0xAB, 0xCD, 0x00, 0xFF, 0x00, 0x00};
    DecodeResult r = decode(handMadePng(2, 1, 16, rgbaType, rows));
    ASSERT_TRUE(r.ok()) << r.error;
    EXPECT_EQ(r.image, imageFromRows(2, 1, {rgba(255, 0, 128, 255), rgba(18, 171, 1, 0)}, 32));
}

TEST(PngDecoder, LowBitGreyIsStretched) {
    // 4-bit grey 0, 15, 5 -> 0, 255, 85 (each step is 17); no alpha, so 24-bit.
    DecodeResult r = decode(handMadePng(3, 1, 4, grey, {0, 0x0F, 0x50}));
    ASSERT_TRUE(r.ok()) << r.error;
    EXPECT_EQ(r.image,
              imageFromRows(3, 1, {rgb(0, 0, 0), rgb(255, 255, 255), rgb(85, 85, 85)}, 24));
}

TEST(PngDecoder, TransparencyChunkMakesA32BitImage) {
    // 2-bit palette, indices 0 1 2 3; tRNS makes entry 1 transparent and entry 0 half so.
    std::vector<PngChunk> chunks = {
        {"PLTE", {255, 0, 0, 0, 255, 0, 0, 0, 255, 9, 9, 9}},
        {"tRNS", {128, 0}},
    };
    DecodeResult r = decode(handMadePng(4, 1, 2, palette, {0, 0b00011011}, chunks));
    ASSERT_TRUE(r.ok()) << r.error;
    EXPECT_EQ(r.image, imageFromRows(4, 1,
                                     {rgba(255, 0, 0, 128), rgba(0, 255, 0, 0),
                                      rgba(0, 0, 255, 255), rgba(9, 9, 9, 255)},
                                     32));

    // 8-bit grey whose tRNS names the value 0x40: only that grey turns transparent.
    r = decode(handMadePng(2, 1, 8, grey, {0, 0x40, 0x41}, {{"tRNS", {0, 0x40}}}));
    ASSERT_TRUE(r.ok()) << r.error;
    EXPECT_EQ(r.image, imageFromRows(2, 1, {rgba(64, 64, 64, 0), rgba(65, 65, 65, 255)}, 32));
}

TEST(PngDecoder, RefusesDamagedFiles) {
    std::vector<uint8_t> rows(1 + 3 * 2, 0);
    std::vector<uint8_t> good = handMadePng(2, 1, 8, rgbType, rows);
    ASSERT_TRUE(decode(good).ok());

    // Too few image rows for the declared height.
    EXPECT_FALSE(decode(handMadePng(2, 50, 8, rgbType, rows)).ok());
    // No IEND: the file was cut after its image data.
    EXPECT_FALSE(decode(handMadePng(2, 1, 8, rgbType, rows, {}, false)).ok());
    // A bit depth PNG does not have.
    EXPECT_FALSE(decode(handMadePng(2, 1, 3, rgbType, rows)).ok());
    // A damaged IHDR checksum.
    std::vector<uint8_t> badCrc = good;
    badCrc[29] ^= 1;
    EXPECT_FALSE(decode(badCrc).ok());
    // Every cut of the file fails cleanly.
    for (size_t cut = 0; cut < good.size(); ++cut) {
        std::vector<uint8_t> part(good.begin(), good.begin() + cut);
        DecodeResult r = decode(part);
        EXPECT_FALSE(r.ok()) << cut;
        EXPECT_TRUE(r.image.empty()) << cut;
    }
}

TEST(PngDecoder, RefusesOversizeImagesNamingTheSize) {
    DecodeResult r = decode(handMadePng(100000, 100000, 8, rgbType, {0, 0, 0, 0}));
    EXPECT_FALSE(r.ok());
    EXPECT_NE(r.error.find("100000 x 100000"), std::string::npos) << r.error;
    r = decode(handMadePng(0, 5, 8, rgbType, {0}));
    EXPECT_FALSE(r.ok());
    EXPECT_NE(r.error.find("0 x 5"), std::string::npos) << r.error;
}

// The conformance suite: every file decodes, with alpha exactly when the file has an
// alpha channel or a tRNS chunk (read here from the raw chunks, not through libpng).
bool pngHasAlpha(const std::vector<uint8_t>& bytes) {
    int colourType = bytes.at(25);
    if (colourType == 4 || colourType == rgbaType) return true;
    for (size_t p = 8; p + 8 <= bytes.size();) {
        uint32_t length =
            uint32_t(bytes[p]) << 24 | bytes[p + 1] << 16 | bytes[p + 2] << 8 | bytes[p + 3];
        if (std::memcmp(&bytes[p + 4], "tRNS", 4) == 0) return true;
        p += 12 + size_t{length};
    }
    return false;
}

TEST(PngSuite, EveryFileDecodesWithTheRightDepth) {
    std::vector<std::string> files = dataFiles("corpus/png/pngsuite", ".png");
    ASSERT_GE(files.size(), 50u);
    for (const std::string& path : files) {
        DecodeResult r = readImageFile(path);
        ASSERT_TRUE(r.ok()) << path << ": " << r.error;
        EXPECT_EQ(r.image.width, 32) << path;
        EXPECT_EQ(r.image.height, 32) << path;
        EXPECT_EQ(r.image.depth, pngHasAlpha(readBytes(path)) ? 32 : 24) << path;
    }
}

TEST(PngSuite, InterlacedFilesMatchTheirPlainTwins) {
    int pairs = 0;
    for (const std::string& path : dataFiles("corpus/png/pngsuite", ".png")) {
        std::string name = std::filesystem::path(path).filename().string();
        if (name[0] != 'i') continue;
        DecodeResult interlaced = readImageFile(path);
        DecodeResult plain = readImageFile(testDataPath("corpus/png/pngsuite/" + name.substr(1)));
        ASSERT_TRUE(interlaced.ok() && plain.ok()) << name;
        EXPECT_EQ(interlaced.image, plain.image) << name;
        ++pairs;
    }
    EXPECT_GE(pairs, 20);
}

TEST(PngSuite, KnownPixels) {
    // Top-left pixels read from the files' first scanlines (filter None or Sub leaves the
    // first pixel as stored).
    struct Known {
        const char* file;
        int depth;
        uint32_t topLeft;
    };
    const Known known[] = {
        {"basn2c08.png", 24, rgb(255, 255, 255) | alphaMask},  // RGB ff ff ff
        {"basn6a08.png", 32, rgba(255, 0, 8, 0)},              // RGBA ff 00 08 00
        {"basn3p04.png", 24, rgb(255, 0, 0) | alphaMask},      // index 8 of PLTE: ff 00 00
        {"basn0g01.png", 24, rgb(255, 255, 255) | alphaMask},  // first bit set: white
        {"ftbrn2c08.png", 32, rgba(255, 255, 255, 0)},         // ff ff ff is the tRNS colour
    };
    for (const Known& k : known) {
        DecodeResult r = readImageFile(testDataPath(std::string("corpus/png/pngsuite/") + k.file));
        ASSERT_TRUE(r.ok()) << k.file << ": " << r.error;
        EXPECT_EQ(r.image.depth, k.depth) << k.file;
        EXPECT_EQ(r.image.at(0, 0), k.topLeft) << k.file;
    }
}

TEST(PngCorpus, CrashersAreRefusedOrHarmless) {
    // Each declares a chunk far larger than the file or has a broken checksum: all must
    // fail without the allocations they ask for. One only repeats every ancillary chunk
    // type with no data around a 1 x 1 picture; those are skipped and the picture (palette
    // entry 0: 80 00 80) decodes.
    std::vector<std::string> files = dataFiles("corpus/png/crashers", ".png");
    ASSERT_GE(files.size(), 20u);
    for (const std::string& path : files) {
        DecodeResult r = readImageFile(path);
        if (path.ends_with("/empty_ancillary_chunks.png")) {
            ASSERT_TRUE(r.ok()) << r.error;
            EXPECT_EQ(r.image, imageFromRows(1, 1, {rgb(128, 0, 128)}, 24));
            continue;
        }
        EXPECT_FALSE(r.ok()) << path;
        EXPECT_TRUE(r.image.empty()) << path;
    }
}

TEST(PngCorpus, OddPalettesDecodeWithoutHarm) {
    for (const std::string& path : dataFiles("corpus/png/badpal", ".png")) {
        DecodeResult r = readImageFile(path);
        if (r.ok()) {
            EXPECT_EQ(r.image.pixels.size(), size_t(r.image.width) * r.image.height) << path;
        } else {
            EXPECT_FALSE(r.error.empty()) << path;
        }
    }
}

}  // namespace
