// BMP reader on hand-made files (pixels worked out from the bytes) and on the BMP suite.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "codec_test_util.h"
#include "support/test_images.h"
#include "toolkit/codecs/codec.h"

namespace {

constexpr uint32_t red = rgb(255, 0, 0) | alphaMask;
constexpr uint32_t green = rgb(0, 255, 0) | alphaMask;
constexpr uint32_t blue = rgb(0, 0, 255) | alphaMask;
constexpr uint32_t black = opaqueBlack;
constexpr uint32_t white = 0xFFFFFFFF;

// Fields of a hand-made file; the builder lays them out with a correct offset.
struct BmpLayout {
    uint32_t headerSize = 40;
    int32_t width = 0;
    int32_t height = 0;
    uint16_t bitCount = 24;
    uint32_t compression = 0;
    uint32_t colorsUsed = 0;
    std::vector<uint32_t> palette = {};  // 0x00RRGGBB as stored (B, G, R, 0)
    std::vector<uint32_t> masks = {};    // in the header (V2+) or after a 40-byte header
    std::vector<uint8_t> pixels = {};
};

std::vector<uint8_t> buildBmp(const BmpLayout& s) {
    std::vector<uint8_t> header;
    appendLe32(header, s.headerSize);
    if (s.headerSize == 12) {
        appendLe16(header, static_cast<uint32_t>(s.width));
        appendLe16(header, static_cast<uint32_t>(s.height));
        appendLe16(header, 1);
        appendLe16(header, s.bitCount);
    } else {
        appendLe32(header, static_cast<uint32_t>(s.width));
        appendLe32(header, static_cast<uint32_t>(s.height));
        appendLe16(header, 1);
        appendLe16(header, s.bitCount);
        appendLe32(header, s.compression);
        appendLe32(header, static_cast<uint32_t>(s.pixels.size()));
        appendLe32(header, 2835);
        appendLe32(header, 2835);
        appendLe32(header, s.colorsUsed);
        appendLe32(header, 0);
        if (s.headerSize > 40) {
            for (uint32_t m : s.masks) appendLe32(header, m);
        }
        header.resize(s.headerSize, 0);
        if (s.headerSize == 40) {
            for (uint32_t m : s.masks) appendLe32(header, m);
        }
    }
    for (uint32_t c : s.palette) {
        header.push_back(static_cast<uint8_t>(c));
        header.push_back(static_cast<uint8_t>(c >> 8));
        header.push_back(static_cast<uint8_t>(c >> 16));
        if (s.headerSize != 12) header.push_back(0);
    }
    std::vector<uint8_t> file = {'B', 'M'};
    const uint32_t offset = 14 + static_cast<uint32_t>(header.size());
    appendLe32(file, offset + static_cast<uint32_t>(s.pixels.size()));
    appendLe32(file, 0);
    appendLe32(file, offset);
    file.insert(file.end(), header.begin(), header.end());
    file.insert(file.end(), s.pixels.begin(), s.pixels.end());
    return file;
}

DecodeResult decode(const std::vector<uint8_t>& bytes) {
    return decodeBmp(bytes.data(), bytes.size());
}

Image expectDecodes(const std::vector<uint8_t>& bytes) {
    DecodeResult r = decode(bytes);
    EXPECT_TRUE(r.ok()) << r.error;
    return r.image;
}

TEST(BmpReader, PalettedDepthsBottomUpAndTopDown) {
    // 1 bit, 3 x 2, bottom row stored first: bottom 1 0 1, top 0 1 1; rows pad to 4 bytes.
    BmpLayout one{.width = 3,
                  .height = 2,
                  .bitCount = 1,
                  .palette = {0x000000, 0xFF0000},
                  .pixels = {0xA0, 0, 0, 0, 0x60, 0, 0, 0}};
    EXPECT_EQ(expectDecodes(buildBmp(one)),
              imageFromRows(3, 2, {black, red, red, red, black, red}, 24));

    // 4 bits, top-down (negative height), three colours declared.
    BmpLayout four{.width = 3,
                   .height = -2,
                   .bitCount = 4,
                   .colorsUsed = 3,
                   .palette = {0x0000FF, 0x00FF00, 0xFF0000},
                   .pixels = {0x01, 0x20, 0, 0, 0x22, 0x00, 0, 0}};
    EXPECT_EQ(expectDecodes(buildBmp(four)),
              imageFromRows(3, 2, {blue, green, red, red, red, blue}, 24));

    // 2 bits: four colours in one byte.
    BmpLayout two{.width = 4,
                  .height = 1,
                  .bitCount = 2,
                  .palette = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF},
                  .pixels = {0b00011011, 0, 0, 0}};
    EXPECT_EQ(expectDecodes(buildBmp(two)), imageFromRows(4, 1, {black, red, green, blue}, 24));

    // 8 bits with the 12-byte core header and 3-byte palette entries.
    BmpLayout core{.headerSize = 12,
                   .width = 2,
                   .height = 1,
                   .bitCount = 8,
                   .palette = {0x000000, 0x102030, 0xFFFFFF},
                   .pixels = {1, 2, 0, 0}};
    core.palette.resize(256, 0);
    EXPECT_EQ(expectDecodes(buildBmp(core)),
              imageFromRows(2, 1, {rgb(0x10, 0x20, 0x30), white}, 24));
}

TEST(BmpReader, DirectColourDepths) {
    // 24 bits, odd width: 2 x 2 rows of 6 bytes padded to 8; stored B, G, R.
    BmpLayout rgb24{.width = 2,
                    .height = 2,
                    .bitCount = 24,
                    .pixels = {0, 0, 255, 0, 255, 0, 0, 0, 255, 0, 0, 1, 2, 3, 0, 0}};
    EXPECT_EQ(expectDecodes(buildBmp(rgb24)),
              imageFromRows(2, 2, {blue, rgb(3, 2, 1), red, green}, 24));

    // 16 bits without bit fields is 5-5-5: 0x7FFF white, 0x7C00 red, 0x0200 = 16 in green
    // only, 16 * 255 / 31 = 131.6 -> 132.
    BmpLayout rgb555{.width = 3,
                     .height = 1,
                     .bitCount = 16,
                     .pixels = {0xFF, 0x7F, 0x00, 0x7C, 0x00, 0x02, 0, 0}};
    EXPECT_EQ(expectDecodes(buildBmp(rgb555)),
              imageFromRows(3, 1, {white, red, rgb(0, 132, 0)}, 24));

    // 16-bit 5-6-5 bit fields after a 40-byte header: 0x8410 is red 16/31, green 32/63,
    // blue 16/31 -> 132, 130 (8160 / 63 = 129.5, rounded up), 132.
    BmpLayout rgb565{.width = 2,
                     .height = 1,
                     .bitCount = 16,
                     .compression = 3,
                     .masks = {0xF800, 0x07E0, 0x001F},
                     .pixels = {0x10, 0x84, 0xE0, 0x07}};
    EXPECT_EQ(expectDecodes(buildBmp(rgb565)),
              imageFromRows(2, 1, {rgb(132, 130, 132), green}, 24));

    // 32 bits without bit fields: the fourth byte is padding, the image has no alpha.
    BmpLayout rgb32{.width = 1, .height = 1, .bitCount = 32, .pixels = {10, 20, 30, 0}};
    Image plain = expectDecodes(buildBmp(rgb32));
    EXPECT_EQ(plain.depth, 24);
    EXPECT_EQ(plain.at(0, 0), rgb(30, 20, 10) | alphaMask);
}

TEST(BmpReader, AlphaBitFieldsGiveA32BitImage) {
    // V5 header, bit fields with an alpha mask: A, B, G, R from high byte to low.
    BmpLayout v5{.headerSize = 124,
                 .width = 2,
                 .height = 1,
                 .bitCount = 32,
                 .compression = 3,
                 .masks = {0x000000FF, 0x0000FF00, 0x00FF0000, 0xFF000000},
                 .pixels = {1, 2, 3, 0, 4, 5, 6, 200}};
    Image image = expectDecodes(buildBmp(v5));
    EXPECT_EQ(image.depth, 32);
    EXPECT_EQ(image, imageFromRows(2, 1, {rgba(1, 2, 3, 0), rgba(4, 5, 6, 200)}, 32));

    // 16-bit 4-4-4-4 with alpha through BI_ALPHABITFIELDS after a 40-byte header:
    // 0xF0F0 = alpha 15, red 0, green 15, blue 0 -> each nibble times 17.
    BmpLayout argb16{.width = 1,
                     .height = 1,
                     .bitCount = 16,
                     .compression = 6,
                     .masks = {0x0F00, 0x00F0, 0x000F, 0xF000},
                     .pixels = {0xF0, 0xF0, 0, 0}};
    EXPECT_EQ(expectDecodes(buildBmp(argb16)), imageFromRows(1, 1, {rgba(0, 255, 0, 255)}, 32));

    // A V5 header that is not bit fields ignores its masks: no alpha.
    BmpLayout noFields = v5;
    noFields.compression = 0;
    EXPECT_EQ(expectDecodes(buildBmp(noFields)).depth, 24);
}

TEST(BmpReader, RunLengthEncoding) {
    // RLE8, 4 x 3, rows from the bottom:
    //   row 0: run of 4 x index 1, end of line
    //   row 1: absolute 2 1 2 (padded to even), run of 1 x index 0, end of line
    //   row 2: delta right 2, run of 2 x index 2, end of bitmap. Skipped pixels are black.
    BmpLayout rle8{.width = 4,
                   .height = 3,
                   .bitCount = 8,
                   .compression = 1,
                   .colorsUsed = 3,
                   .palette = {0x0000FF, 0x00FF00, 0xFF0000},
                   .pixels = {4, 1, 0, 0, 0, 3, 2, 1, 2, 0, 1, 0, 0, 0, 0, 2, 2, 0, 2, 2, 0, 1}};
    EXPECT_EQ(expectDecodes(buildBmp(rle8)), imageFromRows(4, 3,
                                                           {black, black, red, red,  //
                                                            red, green, red, blue,   //
                                                            green, green, green, green},
                                                           24));

    // RLE4, 8 x 1: a run alternates its two nibbles; then absolute mode, 3 nibbles.
    BmpLayout rle4{.width = 8,
                   .height = 1,
                   .bitCount = 4,
                   .compression = 2,
                   .colorsUsed = 3,
                   .palette = {0x0000FF, 0x00FF00, 0xFF0000},
                   .pixels = {5, 0x12, 0, 3, 0x01, 0x20, 0, 1}};
    EXPECT_EQ(expectDecodes(buildBmp(rle4)),
              imageFromRows(8, 1, {green, red, green, red, green, blue, green, red}, 24));
}

TEST(BmpReader, RefusesMalformedRunLengthData) {
    BmpLayout base{.width = 4,
                   .height = 2,
                   .bitCount = 8,
                   .compression = 1,
                   .colorsUsed = 2,
                   .palette = {0x000000, 0xFFFFFF}};
    const std::vector<std::vector<uint8_t>> streams = {
        {5, 1, 0, 1},                    // run of 5 in a 4-wide row
        {0, 2, 5, 0, 0, 1},              // delta right past the row end
        {0, 2, 0, 3, 1, 1, 0, 1},        // delta up past the last row, then a pixel
        {0, 0, 0, 0, 1, 1, 0, 1},        // two ends of line, then a pixel above the image
        {0, 5, 1, 1, 1, 1, 1, 0, 0, 1},  // absolute run of 5 in a 4-wide row
        {0, 4, 1, 1},                    // absolute run cut short
        {2, 1, 2, 1},                    // no end of bitmap before the data ends
        {2, 7, 0, 1},                    // index past the 2-colour palette
    };
    for (const auto& stream : streams) {
        BmpLayout layout = base;
        layout.pixels = stream;
        DecodeResult r = decode(buildBmp(layout));
        EXPECT_FALSE(r.ok()) << "stream starting " << int(stream[0]) << " " << int(stream[1]);
        EXPECT_TRUE(r.image.empty());
    }
}

TEST(BmpReader, RefusesLyingHeaders) {
    BmpLayout good{.width = 2, .height = 2, .bitCount = 24, .pixels = std::vector<uint8_t>(16, 0)};
    ASSERT_TRUE(decode(buildBmp(good)).ok());

    auto refuses = [](const BmpLayout& layout, const std::string& expectedText) {
        DecodeResult r = decode(buildBmp(layout));
        EXPECT_FALSE(r.ok());
        EXPECT_NE(r.error.find(expectedText), std::string::npos) << r.error;
    };
    BmpLayout s = good;
    s.width = -2;
    refuses(s, "-2 x 2");
    s = good;
    s.height = 0;
    refuses(s, "2 x 0");
    s = good;
    s.width = s.height = 0x7FFFFFFF;  // width x height x 4 overflows 64-bit maths in bytes
    refuses(s, "2147483647 x 2147483647");
    s = good;
    s.bitCount = 7;
    refuses(s, "bit depth 7");
    s = good;
    s.pixels.resize(15);  // one byte short
    refuses(s, "truncated");
    s = good;
    s.compression = 1;  // RLE8 on 24-bit data
    refuses(s, "compression");
    s = good;
    s.compression = 4;
    refuses(s, "JPEG");

    BmpLayout paletted{.width = 1,
                       .height = 1,
                       .bitCount = 8,
                       .colorsUsed = 2,
                       .palette = {0, 0xFFFFFF},
                       .pixels = {2, 0, 0, 0}};
    refuses(paletted, "index");
    paletted.colorsUsed = 0xFFFFFFFF;
    refuses(paletted, "4294967295 colors");

    BmpLayout fields{.width = 1,
                     .height = 1,
                     .bitCount = 16,
                     .compression = 3,
                     .masks = {0xF800, 0x0FE0, 0x001F},
                     .pixels = {0, 0, 0, 0}};
    refuses(fields, "bit masks");  // red and green overlap
    fields.masks = {0xF800, 0x07E0, 0};
    refuses(fields, "empty");
    fields.masks = {0xF000, 0x0A00, 0x001F};
    refuses(fields, "bit masks");  // green has a hole
    fields.masks = {0x1F0000, 0x07E0, 0x001F};
    refuses(fields, "bit masks");  // red lies outside 16 bits

    std::vector<uint8_t> bytes = buildBmp(good);
    bytes[10] = 0xF0;  // pixel data offset past the end of the file
    EXPECT_FALSE(decode(bytes).ok());
    bytes = buildBmp(good);
    bytes[14] = 0xF0;  // header size 240
    EXPECT_FALSE(decode(bytes).ok());
    for (size_t cut : {0, 1, 2, 13, 17, 30, 53}) {
        bytes = buildBmp(good);
        bytes.resize(cut);
        EXPECT_FALSE(decode(bytes).ok()) << cut;
    }
}

// The BMP suite: good files decode, variants of one picture agree, bad ones are refused.
TEST(BmpSuite, GoodFilesDecode) {
    for (const std::string& path : dataFiles("corpus/bmp/g", ".bmp")) {
        DecodeResult r = readImageFile(path);
        EXPECT_TRUE(r.ok()) << path << ": " << r.error;
        EXPECT_FALSE(r.image.empty()) << path;
    }
}

TEST(BmpSuite, KnownPixels) {
    // rgb24.bmp: 127 x 64; the last stored row (the top) starts with bytes 00 00 FF (red)
    // and ends with BD 9F 9F.
    DecodeResult r = readImageFile(testDataPath("corpus/bmp/g/rgb24.bmp"));
    ASSERT_TRUE(r.ok()) << r.error;
    EXPECT_EQ(r.image.width, 127);
    EXPECT_EQ(r.image.height, 64);
    EXPECT_EQ(r.image.depth, 24);
    EXPECT_EQ(r.image.at(0, 0), red);
    EXPECT_EQ(r.image.at(126, 0), rgb(0x9F, 0x9F, 0xBD) | alphaMask);
    // rgb16-565.bmp: the second stored pixel (bottom row) is 0x0041: green 2/63, blue 1/31.
    r = readImageFile(testDataPath("corpus/bmp/g/rgb16-565.bmp"));
    ASSERT_TRUE(r.ok()) << r.error;
    EXPECT_EQ(r.image.at(1, 63), rgb(0, 8, 8) | alphaMask);
}

TEST(BmpSuite, VariantsOfOnePictureAgree) {
    const std::vector<std::vector<std::string>> groups = {
        {"pal8", "pal8-0", "pal8os2", "pal8rle", "pal8topdown", "pal8v4", "pal8v5"},
        {"pal4", "pal4rle"},
        {"pal1", "pal1wb"},
        {"rgb24", "rgb24pal", "rgb32", "rgb32bf", "rgb32bfdef"},
        {"rgb16", "rgb16bfdef"},
        {"rgb16-565", "rgb16-565pal"},
    };
    for (const auto& group : groups) {
        DecodeResult first = readImageFile(testDataPath("corpus/bmp/g/" + group[0] + ".bmp"));
        ASSERT_TRUE(first.ok()) << group[0] << ": " << first.error;
        for (size_t i = 1; i < group.size(); ++i) {
            DecodeResult other = readImageFile(testDataPath("corpus/bmp/g/" + group[i] + ".bmp"));
            ASSERT_TRUE(other.ok()) << group[i] << ": " << other.error;
            EXPECT_EQ(other.image, first.image) << group[i] << " differs from " << group[0];
        }
    }
}

TEST(BmpSuite, BadFilesAreRefusedOrHarmless) {
    // These lie only in fields a reader does not need (file size, image size, density),
    // so they decode; everything else in the bad set must be refused.
    const std::vector<std::string> harmless = {"badbitssize.bmp", "baddens1.bmp", "baddens2.bmp",
                                               "badfilesize.bmp"};
    for (const std::string& path : dataFiles("corpus/bmp/b", ".bmp")) {
        std::string name = std::filesystem::path(path).filename().string();
        DecodeResult r = readImageFile(path);
        bool mayDecode = std::find(harmless.begin(), harmless.end(), name) != harmless.end();
        if (mayDecode) {
            EXPECT_TRUE(r.ok()) << name << ": " << r.error;
        } else {
            EXPECT_FALSE(r.ok()) << name;
            EXPECT_TRUE(r.image.empty()) << name;
        }
    }
}

TEST(BmpSuite, QuestionableFilesDoNotCrash) {
    int decoded = 0;
    for (const std::string& path : dataFiles("corpus/bmp/q", ".bmp")) {
        DecodeResult r = readImageFile(path);
        if (r.ok()) {
            ++decoded;
            EXPECT_EQ(r.image.pixels.size(), size_t(r.image.width) * r.image.height) << path;
        } else {
            EXPECT_FALSE(r.error.empty()) << path;
        }
    }
    // Most of the questionable set is readable (alpha bit fields, OS/2 variants...).
    EXPECT_GE(decoded, 30);
}

TEST(BmpWriter, ThirtyTwoBitFilesCarryAnAlphaMask) {
    EncodeResult e = encodeBmp(imageFromRows(1, 1, {rgba(1, 2, 3, 4)}, 32));
    ASSERT_TRUE(e.ok());
    const std::vector<uint8_t>& b = e.bytes;
    ASSERT_GE(b.size(), 138u);
    EXPECT_EQ(b[14], 124);   // V5 header
    EXPECT_EQ(b[28], 32);    // bits per pixel
    EXPECT_EQ(b[30], 3);     // BI_BITFIELDS
    EXPECT_EQ(b[69], 0xFF);  // alpha mask 0xFF000000, high byte
    // The pixel: B, G, R, A.
    EXPECT_EQ(std::vector<uint8_t>(b.end() - 4, b.end()), (std::vector<uint8_t>{3, 2, 1, 4}));

    // 257 colours do not fit a palette: a plain 24-bit file.
    Image many(257, 1, 24);
    for (int x = 0; x < 257; ++x) many.at(x, 0) = rgb(x & 255, x >> 8, 7) | alphaMask;
    EncodeResult plain = encodeBmp(many);
    ASSERT_TRUE(plain.ok());
    EXPECT_EQ(plain.bytes[14], 40);
    EXPECT_EQ(plain.bytes[28], 24);
    EXPECT_EQ(plain.bytes.size(), 14u + 40 + 772);  // 771 bytes padded to 4
    EXPECT_EQ(decodeBmp(plain.bytes.data(), plain.bytes.size()).image, many);
}

TEST(BmpWriter, FewColoursMakeAnEightBitPalettedFile) {
    // 3 x 2, three colours; the palette is sorted by value: 0x000102, 0x0A0B0C, 0xFFFFFF.
    Image image = imageFromRows(3, 2,
                                {rgb(12, 11, 10), rgb(2, 1, 0), rgb(255, 255, 255), rgb(2, 1, 0),
                                 rgb(2, 1, 0), rgb(12, 11, 10)},
                                24);
    EncodeResult e = encodeBmp(image);
    ASSERT_TRUE(e.ok());
    const std::vector<uint8_t>& b = e.bytes;
    EXPECT_EQ(b[28], 8);                         // bits per pixel
    EXPECT_EQ(b[46], 3);                         // colours used
    EXPECT_EQ(b[10], 14 + 40 + 3 * 4);           // pixels follow the palette
    ASSERT_EQ(b.size(), 14u + 40 + 12 + 2 * 4);  // rows of 3 bytes padded to 4
    EXPECT_EQ(std::vector<uint8_t>(b.begin() + 54, b.begin() + 66),
              (std::vector<uint8_t>{0, 1, 2, 0, 10, 11, 12, 0, 255, 255, 255, 0}));  // B, G, R, 0
    // Bottom row first: indices 0 0 1, then the top row 1 0 2.
    EXPECT_EQ(std::vector<uint8_t>(b.begin() + 66, b.end()),
              (std::vector<uint8_t>{0, 0, 1, 0, 1, 0, 2, 0}));
    EXPECT_EQ(decodeBmp(b.data(), b.size()).image, image);
    // A 32-bit image keeps its alpha in a 32-bit file however few its colours.
    Image translucent = imageFromRows(1, 1, {rgba(1, 2, 3, 4)}, 32);
    EXPECT_EQ(encodeBmp(translucent).bytes[28], 32);
}

}  // namespace
