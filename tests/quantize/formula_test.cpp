#include <gtest/gtest.h>

#include <set>

#include "quantize/builtin_palettes.h"
#include "quantize/formula_quantize.h"
#include "quantize/palette_map.h"
#include "quantize/styles.h"
#include "support/test_images.h"

namespace {

uint32_t grey(int v) {
    return rgb(v, v, v);
}

// A 256 x 1 grey ramp 0..255.
Image greyRamp() {
    Image image(256, 1, 32);
    for (int v = 0; v < 256; ++v) image.at(v, 0) = grey(v) | alphaMask;
    return image;
}

struct UniformRow {
    int levels, bin, step, top;
};

TEST(UniformQuantize, LevelTable) {
    const UniformRow rows[] = {
        {2, 170, 255, 255}, {3, 102, 127, 254}, {4, 73, 85, 255},  {5, 57, 63, 252},
        {6, 46, 51, 255},   {7, 39, 42, 252},   {8, 34, 36, 252},  {9, 30, 31, 248},
        {10, 27, 28, 252},  {11, 24, 25, 250},  {12, 22, 23, 253}, {13, 20, 21, 252},
        {14, 19, 19, 247},  {15, 18, 18, 252},  {16, 16, 17, 255},
    };
    for (const UniformRow& row : rows) {
        UniformLevels u = uniformLevels(row.levels);
        EXPECT_EQ(u.bin, row.bin) << row.levels;
        EXPECT_EQ(u.step, row.step) << row.levels;
        Image image = greyRamp();
        std::vector<uint32_t> palette =
            uniformQuantize(image, wholeImage(image), row.levels, false);
        std::set<int> levels;
        for (uint32_t p : image.pixels) levels.insert(redOf(p));
        std::set<int> want;
        for (int k = 0; k < row.levels; ++k) want.insert(k * row.step);
        EXPECT_EQ(levels, want) << row.levels;
        EXPECT_EQ(*levels.rbegin(), row.top);
        EXPECT_EQ(palette.size(), static_cast<size_t>(row.levels));
    }
}

TEST(UniformQuantize, ChannelBoundaries) {
    Image image = greyRamp();
    uniformQuantize(image, wholeImage(image), 2, false);
    EXPECT_EQ(image.at(169, 0), opaqueBlack);
    EXPECT_EQ(image.at(170, 0), grey(255) | alphaMask);
    image = greyRamp();
    uniformQuantize(image, wholeImage(image), 16, false);
    for (int v = 240; v < 256; ++v) EXPECT_EQ(redOf(image.at(v, 0)), 255);
    EXPECT_EQ(image.at(239, 0), grey(238) | alphaMask);
    // Channels are quantized independently.
    Image mixed = imageFromRows(1, 1, {rgba(30, 200, 110, 5)});
    uniformQuantize(mixed, wholeImage(mixed), 3, false);
    EXPECT_EQ(mixed.at(0, 0), rgba(0, 127, 127, 5));
}

TEST(MaskQuantize, FlatAndFruitStyles) {
    auto one = [](uint32_t colour, int style) {
        Image image = imageFromRows(1, 1, {colour});
        std::vector<uint32_t> palette = maskQuantize(image, wholeImage(image), style, false);
        EXPECT_EQ(palette, std::vector<uint32_t>{image.at(0, 0) & colourMask});
        return image.at(0, 0);
    };
    EXPECT_EQ(one(rgba(255, 255, 255, 255), styleFlat8), grey(143) | alphaMask);
    EXPECT_EQ(one(rgba(0, 0, 0, 255), styleFlat8), grey(15) | alphaMask);
    EXPECT_EQ(one(rgba(0, 0, 255, 9), styleLemon), rgba(15, 15, 143, 9));
    EXPECT_EQ(one(rgb(255, 255, 255), styleBerry), rgb(239, 143, 239));
    EXPECT_EQ(one(rgb(255, 255, 255), styleOcean), rgb(143, 239, 239));
    EXPECT_EQ(one(rgb(100, 100, 100), styleFlat64), rgb(79, 79, 79));
    EXPECT_EQ(one(rgb(100, 100, 100), styleFlat512), rgb(111, 111, 111));
    EXPECT_EQ(one(rgb(100, 100, 100), styleFlat4096), rgb(111, 111, 111));
    EXPECT_EQ(one(rgb(160, 160, 160), styleFlat4096), rgb(175, 175, 175));

    Image image = randomImage(5, 5, 1);
    const Image before = image;
    EXPECT_TRUE(maskQuantize(image, wholeImage(image), styleCga, false).empty());
    EXPECT_EQ(image, before);
}

TEST(MaskQuantize, DitherPatternIsAnchoredAtTheImageOrigin) {
    // 125 is within 8 of flat_8's boundary at 128: offsets of 3 or more cross it.
    Image image(7, 6, 32, grey(125) | alphaMask);
    std::vector<uint32_t> palette = maskQuantize(image, Rect{1, 1, 5, 4}, styleFlat8, true);
    for (int y = 0; y < 6; ++y) {
        for (int x = 0; x < 7; ++x) {
            bool inside = x >= 1 && x <= 5 && y >= 1 && y <= 4;
            int want = !inside ? 125 : (bayerOffsetAt(x, y) >= 3 ? 143 : 15);
            EXPECT_EQ(image.at(x, y), grey(want) | alphaMask) << x << "," << y;
        }
    }
    std::set<uint32_t> got(palette.begin(), palette.end());
    EXPECT_EQ(got, (std::set<uint32_t>{grey(15), grey(143)}));
}

TEST(FixedPaletteQuantize, BuiltInTables) {
    ASSERT_EQ(cgaPalette().size(), 16u);
    ASSERT_EQ(egaPalette().size(), 64u);
    ASSERT_EQ(truColorPalette().size(), 256u);
    ASSERT_EQ(humanPalette().size(), 256u);
    EXPECT_EQ(cgaPalette()[6], rgb(170, 85, 0));
    EXPECT_EQ(cgaPalette()[9], rgb(85, 85, 255));
    for (int i = 0; i < 16; ++i) EXPECT_EQ(cgaPalette()[i], egaPalette()[i]);
    EXPECT_EQ(egaPalette()[16], rgb(0, 0, 85));
    EXPECT_EQ(egaPalette()[45], rgb(255, 0, 170));
    EXPECT_EQ(egaPalette()[63], rgb(255, 255, 170));
    std::set<uint32_t> ega(egaPalette().begin(), egaPalette().end());
    EXPECT_EQ(ega.size(), 64u);
    for (uint32_t c : ega) {
        for (int v : {redOf(c), greenOf(c), blueOf(c)}) EXPECT_EQ(v % 85, 0);
    }
    EXPECT_EQ(truColorPalette()[0], rgb(2, 2, 0));
    EXPECT_EQ(truColorPalette()[1], rgb(2, 38, 0));
    EXPECT_EQ(truColorPalette()[8], rgb(38, 2, 0));
    EXPECT_EQ(truColorPalette()[64], rgb(2, 2, 85));
    EXPECT_EQ(truColorPalette()[255], rgb(254, 254, 255));
    EXPECT_EQ(humanPalette()[0], rgb(0xF0, 0x1B, 0x1B));
    EXPECT_EQ(humanPalette()[96], rgb(255, 255, 255));
    EXPECT_EQ(humanPalette()[111], rgb(5, 5, 5));
    EXPECT_EQ(humanPalette()[128], rgb(0xFF, 0xB6, 0xA3));
    EXPECT_EQ(humanPalette()[255], rgb(0x51, 0x3A, 0x51));
}

TEST(FixedPaletteQuantize, MapsToTheChosenPalette) {
    Image black(3, 2, 24, opaqueBlack);
    fixedPaletteQuantize(black, wholeImage(black), styleCga, true);
    EXPECT_EQ(black, Image(3, 2, 24, opaqueBlack));
    Image image = imageFromRows(2, 1, {rgba(86, 86, 86, 3), rgb(250, 250, 160)});
    fixedPaletteQuantize(image, wholeImage(image), styleEga, false);
    EXPECT_EQ(image.at(0, 0), rgba(85, 85, 85, 3));
    EXPECT_EQ(image.at(1, 0), rgb(255, 255, 170));
    for (int style : {styleTruColor, styleHuman}) {
        Image random = randomImage(16, 16, 5);
        fixedPaletteQuantize(random, wholeImage(random), style, true);
        auto table = style == styleTruColor ? truColorPalette() : humanPalette();
        std::set<uint32_t> allowed(table.begin(), table.end());
        for (uint32_t p : random.pixels) EXPECT_TRUE(allowed.count(p & colourMask));
    }
}

}  // namespace
