// TIFF: the compression and bit-depth matrix of files libtiff writes, every colour model
// and layout read, our own writer, and damaged files.

#include <gtest/gtest.h>
#include <tiffio.h>

#include <cstdlib>

#include "codec_test_util.h"
#include "file_makers.h"
#include "support/test_images.h"
#include "toolkit/codecs/codec.h"
#include "toolkit/codecs/codec_util.h"

namespace {

// 4 x 2 RGB, eight bits a sample.
const std::vector<uint16_t> rgbValues = {10,  20,  30,  40,  50,  60,  70,  80,
                                         90,  100, 110, 120, 130, 140, 150, 160,
                                         170, 180, 190, 200, 210, 220, 230, 240};
Image rgbPicture() {
    Image image(4, 2, 24);
    for (int i = 0; i < 8; ++i) {
        image.pixels[i] =
            rgb(rgbValues[3 * i], rgbValues[3 * i + 1], rgbValues[3 * i + 2]) | alphaMask;
    }
    return image;
}

DecodeResult decode(const std::vector<uint8_t>& bytes) {
    return decodeTiff(bytes.data(), bytes.size());
}

struct Compression {
    const char* name;
    uint16_t code;
};
const Compression lossless[] = {{"none", COMPRESSION_NONE},
                                {"LZW", COMPRESSION_LZW},
                                {"Deflate", COMPRESSION_ADOBE_DEFLATE},
                                {"PackBits", COMPRESSION_PACKBITS}};

TEST(TiffDecoder, CompressionAndBitDepthMatrix) {
    for (const Compression& c : lossless) {
        for (uint16_t bits : {8, 16}) {
            TiffMaking m{.width = 4, .height = 2, .bits = bits, .compression = c.code};
            // Sixteen bits: v * 257 is v again; 200 more rounds up to v + 1 on odd samples.
            for (size_t i = 0; i < rgbValues.size(); ++i) {
                m.values.push_back(
                    bits == 8 ? rgbValues[i]
                              : static_cast<uint16_t>(rgbValues[i] * 257 + (i % 2 ? 200 : 100)));
            }
            DecodeResult r = decode(makeTiff(m));
            ASSERT_TRUE(r.ok()) << c.name << " " << bits << ": " << r.error;
            Image want = rgbPicture();
            if (bits == 16) {
                for (size_t i = 0; i < want.pixels.size(); ++i) {
                    // Samples 3i, 3i + 1, 3i + 2: the odd ones went up.
                    const int o = static_cast<int>(3 * i);
                    want.pixels[i] = rgb(rgbValues[o] + (o % 2), rgbValues[o + 1] + ((o + 1) % 2),
                                         rgbValues[o + 2] + ((o + 2) % 2)) |
                                     alphaMask;
                }
            }
            EXPECT_EQ(r.image, want) << c.name << " " << bits;
        }
    }
    // JPEG: flat blocks come back within two levels (stored as RGB and as YCbCr).
    for (bool ycc : {false, true}) {
        Image flat(16, 16, 24, rgb(200, 100, 50) | alphaMask);
        TiffMaking m{.width = 16,
                     .height = 16,
                     .compression = COMPRESSION_JPEG,
                     .rowsPerStrip = 16,
                     .values = rgbSamples(flat, false),
                     .jpegRgb = ycc};
        DecodeResult r = decode(makeTiff(m));
        ASSERT_TRUE(r.ok()) << ycc << ": " << r.error;
        EXPECT_LE(maxChannelDifference(r.image, flat), 2) << ycc;
    }
}

TEST(TiffDecoder, GreyAtEveryDepthBlackOrWhiteFirst) {
    struct Case {
        uint16_t bits;
        std::vector<uint16_t> values;
        std::vector<int> levels;  // what they are in eight bits
    };
    const Case cases[] = {
        {1, {0, 1, 1, 0}, {0, 255, 255, 0}},
        {2, {0, 1, 2, 3}, {0, 85, 170, 255}},
        {4, {0, 5, 10, 15}, {0, 85, 170, 255}},
        {8, {0, 7, 128, 255}, {0, 7, 128, 255}},
        {16, {0, 0x1234, 0x8080, 0xFFFF}, {0, 18, 128, 255}},
    };
    for (const Case& c : cases) {
        for (bool whiteFirst : {false, true}) {
            TiffMaking m{.width = 4,
                         .height = 1,
                         .photometric = static_cast<uint16_t>(whiteFirst ? 0 : 1),
                         .bits = c.bits,
                         .samples = 1,
                         .values = c.values};
            DecodeResult r = decode(makeTiff(m));
            ASSERT_TRUE(r.ok()) << c.bits << ": " << r.error;
            for (int x = 0; x < 4; ++x) {
                const int level = whiteFirst ? 255 - c.levels[x] : c.levels[x];
                EXPECT_EQ(r.image.at(x, 0), rgb(level, level, level) | alphaMask)
                    << c.bits << " " << x;
            }
        }
    }
}

TEST(TiffDecoder, PalettesOfOneToEightBits) {
    for (uint16_t bits : {1, 2, 4, 8}) {
        const size_t entries = size_t{1} << bits;
        TiffMaking m{.width = 4,
                     .height = 1,
                     .photometric = PHOTOMETRIC_PALETTE,
                     .bits = bits,
                     .samples = 1};
        m.colourMap.assign(3 * entries, 0);
        for (size_t i = 0; i < entries; ++i) {
            m.colourMap[i] = static_cast<uint16_t>((i * 50 % 256) * 257);
            m.colourMap[entries + i] = static_cast<uint16_t>((255 - i % 256) * 257);
            m.colourMap[2 * entries + i] = 0x1234;  // 18 in eight bits
        }
        m.values = {0, 1, static_cast<uint16_t>(entries - 1), 1};
        DecodeResult r = decode(makeTiff(m));
        ASSERT_TRUE(r.ok()) << bits << ": " << r.error;
        EXPECT_EQ(r.image.depth, 24);
        for (int x = 0; x < 4; ++x) {
            const size_t i = m.values[x];
            EXPECT_EQ(r.image.at(x, 0),
                      rgb(static_cast<int>(i * 50 % 256), static_cast<int>(255 - i % 256), 18) |
                          alphaMask)
                << bits << " " << x;
        }
    }
    // Old writers put eight-bit values in the map: those are taken as they are.
    TiffMaking old{.width = 2,
                   .height = 1,
                   .photometric = PHOTOMETRIC_PALETTE,
                   .bits = 1,
                   .samples = 1,
                   .values = {0, 1},
                   .colourMap = {10, 250, 20, 240, 30, 230}};
    DecodeResult r = decode(makeTiff(old));
    ASSERT_TRUE(r.ok()) << r.error;
    EXPECT_EQ(r.image, imageFromRows(2, 1, {rgb(10, 20, 30), rgb(250, 240, 230)}, 24));
}

TEST(TiffDecoder, AlphaPlainOrPremultiplied) {
    // Unassociated RGBA, grey with alpha, and RGBA premultiplied: (100, 50, 25) at alpha 128
    // is (200, 100, 50) shown at half, rounded from 199.2, 99.6, 49.8.
    TiffMaking plain{.width = 2,
                     .height = 1,
                     .samples = 4,
                     .extraSample = EXTRASAMPLE_UNASSALPHA,
                     .values = {1, 2, 3, 0, 200, 100, 50, 128}};
    DecodeResult r = decode(makeTiff(plain));
    ASSERT_TRUE(r.ok()) << r.error;
    EXPECT_EQ(r.image, imageFromRows(2, 1, {rgba(1, 2, 3, 0), rgba(200, 100, 50, 128)}));
    TiffMaking premultiplied = plain;
    premultiplied.extraSample = EXTRASAMPLE_ASSOCALPHA;
    premultiplied.values = {0, 0, 0, 0, 100, 50, 25, 128};
    r = decode(makeTiff(premultiplied));
    ASSERT_TRUE(r.ok()) << r.error;
    EXPECT_EQ(r.image, imageFromRows(2, 1, {rgba(0, 0, 0, 0), rgba(199, 100, 50, 128)}));
    TiffMaking grey{.width = 2,
                    .height = 1,
                    .photometric = PHOTOMETRIC_MINISBLACK,
                    .samples = 2,
                    .extraSample = EXTRASAMPLE_UNASSALPHA,
                    .values = {40, 255, 90, 7}};
    r = decode(makeTiff(grey));
    ASSERT_TRUE(r.ok()) << r.error;
    EXPECT_EQ(r.image, imageFromRows(2, 1, {rgba(40, 40, 40, 255), rgba(90, 90, 90, 7)}));
}

TEST(TiffDecoder, CmykInks) {
    TiffMaking m{.width = 5,
                 .height = 1,
                 .photometric = PHOTOMETRIC_SEPARATED,
                 .samples = 4,
                 .values = {0, 0, 0, 0, 255, 0, 0, 0, 0, 0, 0, 255, 0, 255, 255, 0, 128, 0, 0, 0}};
    DecodeResult r = decode(makeTiff(m));
    ASSERT_TRUE(r.ok()) << r.error;
    EXPECT_EQ(r.image, imageFromRows(5, 1,
                                     {rgb(255, 255, 255), rgb(0, 255, 255), rgb(0, 0, 0),
                                      rgb(255, 0, 0), rgb(127, 255, 255)},
                                     24));
}

TEST(TiffDecoder, TilesPlanesAndStripsGiveTheSamePicture) {
    // 37 x 21 is no multiple of the 16-pixel tiles.
    const Image picture = randomImage(37, 21, 9, 32);
    const std::vector<uint16_t> values = rgbSamples(picture, true);
    for (bool tiled : {false, true}) {
        for (bool planes : {false, true}) {
            for (uint32_t rows : {1u, 5u, 21u}) {
                TiffMaking m{.width = 37,
                             .height = 21,
                             .samples = 4,
                             .compression = COMPRESSION_LZW,
                             .planes = planes,
                             .extraSample = EXTRASAMPLE_UNASSALPHA,
                             .tiled = tiled,
                             .rowsPerStrip = rows,
                             .values = values};
                DecodeResult r = decode(makeTiff(m));
                ASSERT_TRUE(r.ok()) << tiled << planes << rows << ": " << r.error;
                EXPECT_EQ(firstDifference(r.image, picture), "") << tiled << planes << rows;
                if (tiled) break;  // rows per strip mean nothing to tiles
            }
        }
    }
}

TEST(TiffDecoder, TheFirstPageAndASayingSo) {
    TiffMaking m{.width = 4, .height = 2, .values = rgbValues, .pages = 3};
    DecodeResult r = decode(makeTiff(m));
    ASSERT_TRUE(r.ok()) << r.error;
    EXPECT_EQ(r.image, rgbPicture());
    EXPECT_EQ(r.notice, "only the first page of the file is shown");
    m.pages = 1;
    EXPECT_EQ(decode(makeTiff(m)).notice, "");
}

// The first value of the first directory's entry for `tag` (SHORT or LONG).
uint32_t tagValue(const std::vector<uint8_t>& file, uint16_t tag) {
    const uint32_t ifd = readLe32(file.data() + 4);
    const uint16_t count = readLe16(file.data() + ifd);
    for (uint16_t i = 0; i < count; ++i) {
        const uint8_t* e = file.data() + ifd + 2 + 12 * i;
        if (readLe16(e) != tag) continue;
        // A SHORT array too long for the entry lies at the offset the entry gives.
        if (readLe16(e + 2) == 3) {
            return readLe32(e + 4) > 2 ? readLe16(file.data() + readLe32(e + 8)) : readLe16(e + 8);
        }
        return readLe32(e + 8);
    }
    return 0;
}

TEST(TiffEncoder, PaletteForFewColoursDeflatedRgbOrRgbaOtherwise) {
    struct Case {
        Image image;
        uint32_t photometric, bits, samples, predictor;
    };
    Image few = imageFromRows(3, 1, {rgb(1, 2, 3), rgb(4, 5, 6), rgb(1, 2, 3)}, 24);
    Image sixteen(8, 2, 24);
    for (size_t i = 0; i < 16; ++i)
        sixteen.pixels[i] = rgb(static_cast<int>(i * 16), 0, 0) | alphaMask;
    const Case cases[] = {
        {few, PHOTOMETRIC_PALETTE, 1, 1, 0},
        {sixteen, PHOTOMETRIC_PALETTE, 4, 1, 0},
        {randomImage(30, 20, 4, 24), PHOTOMETRIC_RGB, 8, 3, PREDICTOR_HORIZONTAL},
        // A palette holds no alpha: a 32-bit picture is RGBA whatever its colour count.
        {imageFromRows(2, 1, {rgba(1, 2, 3, 0), rgba(1, 2, 3, 99)}), PHOTOMETRIC_RGB, 8, 4,
         PREDICTOR_HORIZONTAL},
        {randomImage(30, 20, 4, 32), PHOTOMETRIC_RGB, 8, 4, PREDICTOR_HORIZONTAL},
    };
    for (const Case& c : cases) {
        EncodeResult e = encodeTiff(c.image);
        ASSERT_TRUE(e.ok()) << e.error;
        EXPECT_EQ(tagValue(e.bytes, TIFFTAG_COMPRESSION), COMPRESSION_ADOBE_DEFLATE);
        EXPECT_EQ(tagValue(e.bytes, TIFFTAG_PHOTOMETRIC), c.photometric);
        EXPECT_EQ(tagValue(e.bytes, TIFFTAG_BITSPERSAMPLE), c.bits);
        EXPECT_EQ(tagValue(e.bytes, TIFFTAG_SAMPLESPERPIXEL), c.samples);
        EXPECT_EQ(tagValue(e.bytes, TIFFTAG_PREDICTOR), c.predictor);
        if (c.samples == 4) {
            EXPECT_EQ(tagValue(e.bytes, TIFFTAG_EXTRASAMPLES), EXTRASAMPLE_UNASSALPHA);
        }
        DecodeResult r = decode(e.bytes);
        ASSERT_TRUE(r.ok()) << r.error;
        EXPECT_EQ(r.image, c.image);
    }
}

TEST(TiffDecoder, DamagedFilesGiveAReasonAndNoPicture) {
    TiffMaking m{
        .width = 4, .height = 2, .compression = COMPRESSION_ADOBE_DEFLATE, .values = rgbValues};
    const std::vector<uint8_t> good = makeTiff(m);
    auto refused = [](const std::vector<uint8_t>& bytes, const std::string& reason) {
        DecodeResult r = decodeTiff(bytes.data(), bytes.size());
        EXPECT_FALSE(r.ok());
        EXPECT_TRUE(r.image.empty());
        EXPECT_NE(r.error.find(reason), std::string::npos) << r.error;
    };
    refused(std::vector<uint8_t>(good.begin(), good.begin() + 6), "TIFF");
    // libtiff writes the pixels first and the directory after: cut the directory short.
    refused(std::vector<uint8_t>(good.begin(), good.end() - 40), "TIFF");
    // A strip offset beyond the end.
    const uint32_t ifd = readLe32(good.data() + 4);
    auto entry = [&](std::vector<uint8_t>& file, uint16_t tag) -> uint8_t* {
        for (uint16_t i = 0; i < readLe16(file.data() + ifd); ++i) {
            uint8_t* e = file.data() + ifd + 2 + 12 * i;
            if (readLe16(e) == tag) return e;
        }
        return nullptr;
    };
    std::vector<uint8_t> beyond = good;
    uint8_t* offset = entry(beyond, TIFFTAG_STRIPOFFSETS);
    ASSERT_NE(offset, nullptr);
    offset[8] = 0xF0;
    offset[9] = 0xFF;
    offset[10] = 0x0F;
    refused(beyond, "strip 0 lies beyond the end of the file");
    // 100000 x 100000 is over the limit.
    std::vector<uint8_t> huge = good;
    for (uint16_t tag : {TIFFTAG_IMAGEWIDTH, TIFFTAG_IMAGELENGTH}) {
        uint8_t* e = entry(huge, tag);
        ASSERT_NE(e, nullptr);
        e[2] = 4;  // LONG
        e[8] = 0xA0;
        e[9] = 0x86;
        e[10] = 0x01;
        e[11] = 0;
    }
    refused(huge, "100000 x 100000");
    // A header that claims sixteen bits a sample: the strip holds half of what it should.
    std::vector<uint8_t> lying = good;
    uint8_t* bits = entry(lying, TIFFTAG_BITSPERSAMPLE);
    ASSERT_NE(bits, nullptr);
    const uint32_t bitsAt = readLe32(bits + 8);  // three SHORTs, stored apart
    for (int s = 0; s < 3; ++s) lying[bitsAt + 2 * s] = 16;
    refused(lying, "TIFF");
    // Signed samples.
    TiffMaking signedSamples = m;
    signedSamples.sampleFormat = SAMPLEFORMAT_INT;
    refused(makeTiff(signedSamples), "unsupported TIFF sample format 2");
    // No directory entries at all.
    refused({'I', 'I', 42, 0, 8, 0, 0, 0, 0, 0}, "TIFF");
}

// BMP and TIFF palettes hold no alpha: a 32-bit picture is never written with one, however
// few its colours.
TEST(OpaquePaletteChoice, OnlyATwentyFourBitPictureOfFewColoursTakesAPalette) {
    Image few = imageFromRows(2, 1, {rgb(4, 5, 6), rgb(1, 2, 3)}, 24);
    const OpaquePaletteChoice opaque = chooseOpaquePalette(few);
    EXPECT_FALSE(opaque.alpha);
    EXPECT_TRUE(opaque.indexed);
    EXPECT_EQ(opaque.palette.colours, (std::vector<uint32_t>{0xFF030201, 0xFF060504}));

    few.depth = 32;
    const OpaquePaletteChoice withAlpha = chooseOpaquePalette(few);
    EXPECT_TRUE(withAlpha.alpha);
    EXPECT_FALSE(withAlpha.indexed);
    EXPECT_TRUE(withAlpha.palette.colours.empty());

    Image many(257, 1, 24);
    for (int x = 0; x < 257; ++x) many.pixels[static_cast<size_t>(x)] = rgb(x & 255, x >> 8, 0);
    const OpaquePaletteChoice tooMany = chooseOpaquePalette(many);
    EXPECT_FALSE(tooMany.alpha);
    EXPECT_FALSE(tooMany.indexed);
}

}  // namespace
