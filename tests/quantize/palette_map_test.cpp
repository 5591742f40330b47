#include "quantize/palette_map.h"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <utility>

#include "quantize/builtin_palettes.h"
#include "quantize/formula_quantize.h"
#include "quantize/styles.h"
#include "support/test_images.h"

namespace {

constexpr uint32_t B = 0;         // black
constexpr uint32_t W = 0xFFFFFF;  // white

uint32_t grey(int v) {
    return rgb(v, v, v);
}

// Red, green and blue of every pixel.
std::vector<uint32_t> colours(const Image& image) {
    std::vector<uint32_t> out;
    for (uint32_t p : image.pixels) out.push_back(p & colourMask);
    return out;
}

TEST(OrderedDither, AddsTheBayerOffsetPerChannel) {
    // The standard 4 x 4 Bayer index matrix minus 7, row = y & 3, column = x & 3.
    constexpr int bayer[4][4] = {{-7, 1, -5, 3}, {5, -3, 7, -1}, {-4, 4, -6, 2}, {8, 0, 6, -2}};
    Image image(8, 8, 32, rgba(125, 0, 255, 77));
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            int o = bayer[y & 3][x & 3];
            int g = o < 0 ? 0 : o;
            int b = o > 0 ? 255 : 255 + o;
            EXPECT_EQ(orderedDitherPoint(image, x, y), rgb(125 + o, g, b)) << x << "," << y;
        }
    }
}

TEST(PaletteLookup, SortsByGreenThenRedAndIndexesGreens) {
    PaletteLookup lookup =
        makePaletteLookup(std::vector<uint32_t>{rgb(0, 200, 0), rgb(10, 50, 0), rgb(5, 50, 0), 0});
    std::vector<uint32_t> want = {
        0, opaqueBlack, rgba(5, 50, 0, 255), rgba(10, 50, 0, 255), rgba(0, 200, 0, 255), 0};
    EXPECT_EQ(lookup.entries, want);
    EXPECT_EQ(lookup.greenIndex[0], 1);
    EXPECT_EQ(lookup.greenIndex[1], 2);
    EXPECT_EQ(lookup.greenIndex[49], 2);
    EXPECT_EQ(lookup.greenIndex[50], 3);  // middle of the run 2..3
    EXPECT_EQ(lookup.greenIndex[51], 4);
    EXPECT_EQ(lookup.greenIndex[200], 4);
    EXPECT_EQ(lookup.greenIndex[201], 5);  // the end marker
    EXPECT_EQ(lookup.greenIndex[255], 5);
}

TEST(NearestPaletteColour, TiesKeepTheEntryMetFirst) {
    // Both are 22,568 away from (4, 100, 100).
    const uint32_t d = rgb(6, 97, 100), s = rgb(0, 100, 98);
    const uint32_t c = rgb(4, 100, 100);
    ASSERT_EQ(redMeanDistance(c, d), 22568u);
    ASSERT_EQ(redMeanDistance(c, s), 22568u);
    // The search starts at s (green 100); the entry below it is visited first.
    EXPECT_EQ(nearestPaletteColour(makePaletteLookup(std::vector<uint32_t>{s, d}), c),
              d | alphaMask);
    // With a distant entry between them, s is met before d.
    const uint32_t far = rgb(4, 99, 200);
    EXPECT_EQ(nearestPaletteColour(makePaletteLookup(std::vector<uint32_t>{d, far, s}), c),
              s | alphaMask);
}

TEST(NearestPaletteColour, EqualGreenAndRedKeepPaletteOrder) {
    // (128, 2, 18) is 828,792 away from both (110, 2, 0) and (146, 2, 0). The search starts
    // at the first red-146 entry of the green-2 run and looks below at the last red-110
    // entry. Kept in palette order (blue 0 first), those are (146, 2, 0) and (110, 2, 255),
    // so (146, 2, 0) is met before (110, 2, 0).
    ASSERT_EQ(redMeanDistance(rgb(128, 2, 18), rgb(110, 2, 0)), 828792u);
    ASSERT_EQ(redMeanDistance(rgb(128, 2, 18), rgb(146, 2, 0)), 828792u);
    Image image = imageFromRows(1, 1, {rgba(128, 2, 18, 9)});
    fixedPaletteQuantize(image, wholeImage(image), styleTruColor, false);
    EXPECT_EQ(image.at(0, 0), rgba(146, 2, 0, 9));
}

TEST(NearestPaletteColour, FindsExactAndWeightedNearest) {
    PaletteLookup ega = makePaletteLookup(egaPalette());
    for (uint32_t p : egaPalette()) EXPECT_EQ(nearestPaletteColour(ega, p), p | alphaMask);
    EXPECT_EQ(nearestPaletteColour(ega, rgb(86, 86, 86)), rgba(85, 85, 85, 255));
    // One colour takes everything.
    PaletteLookup one = makePaletteLookup(std::vector<uint32_t>{rgb(9, 8, 7)});
    EXPECT_EQ(nearestPaletteColour(one, W), rgba(9, 8, 7, 255));
    EXPECT_EQ(nearestPaletteColour(one, B), rgba(9, 8, 7, 255));
    // No palette at all gives 0.
    EXPECT_EQ(nearestPaletteColour(makePaletteLookup({}), W), 0u);
}

TEST(NearestPaletteColour, GreenZeroSearchesUpwardsOnly) {
    PaletteLookup lookup =
        makePaletteLookup(std::vector<uint32_t>{rgb(200, 20, 200), rgb(0, 10, 0), rgb(0, 30, 0)});
    ASSERT_EQ(lookup.greenIndex[0], 1);
    EXPECT_EQ(nearestPaletteColour(lookup, rgb(0, 0, 0)), rgba(0, 10, 0, 255));
    EXPECT_EQ(nearestPaletteColour(lookup, rgb(250, 0, 250)), rgba(200, 20, 200, 255));
}

// The cell search must give exactly what the green-sorted search gives, ties included.
TEST(NearestColourSearch, AgreesWithTheGreenSortedSearch) {
    std::mt19937 rng(21);
    std::vector<std::vector<uint32_t>> palettes;
    for (auto builtin : {cgaPalette(), egaPalette(), truColorPalette(), humanPalette()}) {
        palettes.emplace_back(builtin.begin(), builtin.end());
    }
    std::vector<uint32_t> scattered, lattice, huddled, greys;
    for (int i = 0; i < 200; ++i) scattered.push_back(rng() & colourMask);
    // Even values 100..106 with repeats: the odd colours between them lie at equal
    // distances from several entries.
    for (int i = 0; i < 80; ++i) {
        lattice.push_back(rgb(100 + 2 * (rng() % 4), 100 + 2 * (rng() % 4), 100 + 2 * (rng() % 4)));
    }
    // Crowded into one corner, so far cells list more entries than are worth comparing.
    for (int i = 0; i < 256; ++i)
        huddled.push_back(rgb(230 + rng() % 26, 230 + rng() % 26, 230 + rng() % 26));
    for (int v = 0; v < 256; ++v) greys.push_back(grey(v));
    palettes.insert(palettes.end(), {scattered, lattice, huddled, greys, {rgb(9, 8, 7)}, {}});
    palettes.push_back({rgb(6, 97, 100), rgb(4, 99, 200), rgb(0, 100, 98)});

    std::vector<uint32_t> colours;
    for (int r = 0; r < 256; r += 5) {
        for (int g = 0; g < 256; g += 5) {
            for (int b = 0; b < 256; b += 5) colours.push_back(rgb(r, g, b));
        }
    }
    for (int r = 96; r <= 110; ++r) {
        for (int g = 96; g <= 110; ++g) {
            for (int b = 96; b <= 110; ++b) colours.push_back(rgb(r, g, b));
        }
    }
    for (int i = 0; i < 100000; ++i) colours.push_back(rng() & colourMask);
    colours.push_back(rgb(4, 100, 100));
    for (size_t p = 0; p < palettes.size(); ++p) {
        PaletteLookup lookup = makePaletteLookup(palettes[p]);
        NearestColourSearch search(lookup);
        for (uint32_t c : colours) {
            ASSERT_EQ(search(c), nearestPaletteColour(lookup, c))
                << "palette " << p << " colour " << std::hex << c;
        }
    }
}

TEST(RemapToPalette, FlatAreaBetweenTwoColours) {
    PaletteLookup bw = makePaletteLookup(std::vector<uint32_t>{B, W});
    Image flat(4, 3, 32, rgba(100, 100, 100, 0x40));
    Image plain = remapToPalette(flat, ditherStrengthOff, bw);
    EXPECT_EQ(colours(plain), std::vector<uint32_t>(12, B));
    Image dithered = remapToPalette(flat, ditherStrengthOn, bw);
    std::vector<uint32_t> want = {B, B, W, B,  //
                                  B, W, B, B,  //
                                  B, W, B, W};
    EXPECT_EQ(colours(dithered), want);
    for (uint32_t p : dithered.pixels) EXPECT_EQ(alphaOf(p), 0x40);
    EXPECT_EQ(flat, Image(4, 3, 32, rgba(100, 100, 100, 0x40)));  // source unchanged
}

TEST(RemapToPalette, ClampsBeforeSearchingAndKeepsTheClampedError) {
    PaletteLookup bw = makePaletteLookup(std::vector<uint32_t>{B, W});
    // 240 + 30 clamps to 255: no error is carried, so 126 stays below the midpoint.
    Image high = imageFromRows(3, 1, {grey(120), grey(240), grey(126)});
    EXPECT_EQ(colours(remapToPalette(high, ditherStrengthOn, bw)),
              (std::vector<uint32_t>{B, W, B}));
    // 10 - 30 clamps to 0 likewise.
    Image low = imageFromRows(3, 1, {grey(135), grey(10), grey(129)});
    EXPECT_EQ(colours(remapToPalette(low, ditherStrengthOn, bw)), (std::vector<uint32_t>{W, B, W}));
}

TEST(RemapToPalette, ErrorTermsRoundTowardMinusInfinity) {
    // Grey v maps to black below 128 and to white from 128 on. The first grey of each pair
    // becomes white; the second, its share of the error rounded down at every step, lands
    // on 127 and black.
    PaletteLookup bw = makePaletteLookup(std::vector<uint32_t>{B, W});
    // Error -63 halves to -32 and reaches the right neighbour as -16; truncating toward
    // zero (-31, then -15) would give 128 and white.
    Image row = imageFromRows(2, 1, {grey(192), grey(143)});
    EXPECT_EQ(colours(remapToPalette(row, ditherStrengthOn, bw)), (std::vector<uint32_t>{W, B}));
    // Straight down: the error e halves to h, the column keeps floor(h / 2) and the pixel
    // below gets floor of half of that: -66 -> -33 -> -17 -> -9, -17 -> -9 -> -5 -> -3,
    // -58 -> -29 -> -15 -> -8. Each of the three steps, truncated alone, turns at least
    // one of these pairs white.
    const std::pair<int, int> columns[] = {{189, 136}, {238, 130}, {197, 135}};
    for (auto [top, below] : columns) {
        Image column = imageFromRows(1, 2, {grey(top), grey(below)});
        EXPECT_EQ(colours(remapToPalette(column, ditherStrengthOn, bw)),
                  (std::vector<uint32_t>{W, B}))
            << top;
    }
}

TEST(ApplyPalette, SelectionIsAnImageOfItsOwn) {
    Image image = randomImage(6, 5, 3);
    for (int y = 1; y <= 3; ++y) {
        for (int x = 2; x <= 5; ++x) image.at(x, y) = rgba(100, 100, 100, x * 10 + y);
    }
    const Image before = image;
    applyPalette(image, Rect{2, 1, 5, 3}, std::vector<uint32_t>{B, W}, true);
    std::vector<uint32_t> want = {B, B, W, B, B, W, B, B, B, W, B, W};
    size_t i = 0;
    for (int y = 0; y < 5; ++y) {
        for (int x = 0; x < 6; ++x) {
            bool inside = x >= 2 && y >= 1 && y <= 3;
            if (inside) {
                EXPECT_EQ(image.at(x, y), want[i++] | (before.at(x, y) & alphaMask));
            } else {
                EXPECT_EQ(image.at(x, y), before.at(x, y));
            }
        }
    }
}

TEST(ApplyPalette, EveryPixelBecomesAPaletteEntry) {
    std::vector<uint32_t> palette = {rgb(10, 20, 30), rgb(200, 100, 0), rgb(0, 255, 0),
                                     rgb(90, 90, 90), rgb(255, 255, 255)};
    std::set<uint32_t> allowed(palette.begin(), palette.end());
    for (bool dither : {false, true}) {
        Image image = randomImage(37, 23, 11);
        const Image before = image;
        applyPalette(image, wholeImage(image), palette, dither);
        for (size_t i = 0; i < image.pixels.size(); ++i) {
            EXPECT_TRUE(allowed.count(image.pixels[i] & colourMask));
            EXPECT_EQ(image.pixels[i] & alphaMask, before.pixels[i] & alphaMask);
        }
    }
}

TEST(RemapToPalette, UnditheredIsThePlainSearchPerPixel) {
    Image image = randomImage(64, 64, 9);
    for (size_t i = 0; i < image.pixels.size(); i += 2) image.pixels[i] = image.pixels[i / 7];
    PaletteLookup lookup = makePaletteLookup(truColorPalette());
    Image mapped = remapToPalette(image, ditherStrengthOff, lookup);
    for (size_t i = 0; i < image.pixels.size(); ++i) {
        uint32_t want = nearestPaletteColour(lookup, image.pixels[i] & colourMask) & colourMask;
        ASSERT_EQ(mapped.pixels[i], (image.pixels[i] & alphaMask) | want) << i;
    }
}

}  // namespace
