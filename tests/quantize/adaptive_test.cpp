#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>

#include "quantize/adaptive_quantize.h"
#include "quantize/palette_map.h"
#include "quantize/palettes.h"
#include "support/test_images.h"

namespace {

uint32_t grey(int v) {
    return rgb(v, v, v);
}

// An image holding each colour `count` times, in order.
Image imageOfCounts(std::initializer_list<std::pair<uint32_t, int>> counts) {
    std::vector<uint32_t> pixels;
    for (auto [colour, n] : counts) pixels.insert(pixels.end(), n, colour | alphaMask);
    Image image(static_cast<int>(pixels.size()), 1, 32);
    image.pixels.assign(pixels.begin(), pixels.end());
    return image;
}

TEST(PopularityQuantize, TakesBandsInTurnAndSkipsAnEmptyBand) {
    // Colours with low nibbles 1111 survive posterizing; none is dark.
    const uint32_t white = grey(255), yellowish = rgb(255, 255, 239), cyanish = rgb(239, 255, 255);
    const uint32_t upper1 = grey(159), upper2 = grey(143), lower1 = grey(95), lower2 = grey(79);
    Image image = imageOfCounts({{lower2, 1},
                                 {upper2, 2},
                                 {cyanish, 3},
                                 {white, 5},
                                 {yellowish, 4},
                                 {upper1, 4},
                                 {lower1, 3}});
    EXPECT_EQ(popularityPalette(image, wholeImage(image), 5),
              (std::vector<uint32_t>{white, upper1, lower1, yellowish, upper2}));
    // Asking for more than the image has gives all seven.
    EXPECT_EQ(popularityPalette(image, wholeImage(image), 100),
              (std::vector<uint32_t>{white, upper1, lower1, yellowish, upper2, lower2, cyanish}));
}

TEST(PopularityQuantize, FewerPosterizedColoursThanWanted) {
    // Twenty colours that posterize to two: (31, 31, 31) and (207, 207, 207).
    Image image(20, 1, 32);
    for (int i = 0; i < 10; ++i) {
        image.at(i, 0) = rgba(16 + i, 20, 20, 255);
        image.at(10 + i, 0) = rgba(192 + i, 200, 200, 255);
    }
    const Image before = image;
    std::vector<uint32_t> palette = popularityQuantize(image, wholeImage(image), 50, false);
    EXPECT_EQ(palette, (std::vector<uint32_t>{grey(207), grey(31)}));
    for (int x = 0; x < 20; ++x) {
        EXPECT_EQ(image.at(x, 0), (x < 10 ? grey(31) : grey(207)) | alphaMask);
    }
    // One colour: N drops to 1.
    Image flat(4, 4, 32, rgba(100, 50, 25, 255));
    EXPECT_EQ(popularityQuantize(flat, wholeImage(flat), 32, false),
              std::vector<uint32_t>{rgb(111, 63, 31)});
}

TEST(PopularityQuantize, PosterizeLevelFollowsTheLimit) {
    // 64 colours, each channel 0, 64, 128 or 192: they stay 64 under 2 and 3 bits.
    Image image(64, 1, 32);
    for (int i = 0; i < 64; ++i) {
        image.at(i, 0) = rgb((i & 3) * 64, ((i >> 2) & 3) * 64, (i >> 4) * 64) | alphaMask;
    }
    const Rect all = wholeImage(image);
    EXPECT_EQ(popularityPosterizeMask(image, all, 2), 0xC0C0C0u);
    EXPECT_EQ(popularityPosterizeMask(image, all, 47), 0xC0C0C0u);  // 64 >= 47 + 10
    EXPECT_EQ(popularityPosterizeMask(image, all, 48), 0xE0E0E0u);  // 2 bits skipped
    EXPECT_EQ(popularityPosterizeMask(image, all, 54), 0xE0E0E0u);
    EXPECT_EQ(popularityPosterizeMask(image, all, 55), 0xF0F0F0u);  // 64 < 55 + 10
    // The counts include the pixels outside the rectangle, unposterized.
    EXPECT_EQ(popularityPosterizeMask(image, Rect{0, 0, 0, 0}, 47), 0xC0C0C0u);
}

TEST(PopularityQuantize, LimitFirstDropsToTheImagesColourCount) {
    // Both rows hold the same 40 colours, channels 32, 96, 160 or 224; only row 1 is
    // posterized. LIMIT 64 drops to the 40 colours, so the 2-bit mask is tried first and
    // kept: 40 + 40 distinct colours >= 40 + 10. Its palette channels are 15, 79, 143 and
    // 207 (the 3-bit mask would give 47, 111, 175 and 239).
    Image image(40, 2, 32);
    std::vector<uint32_t> want;
    for (int i = 0; i < 40; ++i) {
        const int r = i % 4, g = (i / 4) % 4, b = i / 16;
        image.at(i, 0) = image.at(i, 1) = rgb(32 + 64 * r, 32 + 64 * g, 32 + 64 * b) | alphaMask;
        want.push_back(rgb(15 + 64 * r, 15 + 64 * g, 15 + 64 * b));
    }
    std::vector<uint32_t> palette = popularityPalette(image, Rect{0, 1, 39, 1}, 64);
    // All counts are 1, so the order inside a band is free: compare as sets.
    std::sort(palette.begin(), palette.end());
    std::sort(want.begin(), want.end());
    EXPECT_EQ(palette, want);
}

TEST(PopularityQuantize, PaletteIsPosterizedAndBounded) {
    for (int limit : {2, 16, 47, 48, 256}) {
        Image image = randomImage(40, 30, static_cast<uint32_t>(limit));
        const Image before = image;
        std::vector<uint32_t> palette = popularityQuantize(image, wholeImage(image), limit, true);
        EXPECT_EQ(palette.size(), static_cast<size_t>(limit));
        std::set<uint32_t> allowed(palette.begin(), palette.end());
        EXPECT_EQ(allowed.size(), palette.size());
        for (uint32_t c : palette) EXPECT_EQ(c & 0x0F0F0F, 0x0F0F0Fu);
        for (size_t i = 0; i < image.pixels.size(); ++i) {
            EXPECT_TRUE(allowed.count(image.pixels[i] & colourMask));
            EXPECT_EQ(image.pixels[i] & alphaMask, before.pixels[i] & alphaMask);
        }
    }
}

TEST(AdaptiveQuantize, TwoColours) {
    const uint32_t a = rgb(10, 0, 0), b = rgb(0, 0, 10);  // a < b as values
    Image even = imageFromRows(2, 2, {b, a, a, b});
    EXPECT_EQ(adaptiveQuantize(even, wholeImage(even), 2, false), (std::vector<uint32_t>{a, b}));
    EXPECT_EQ(even, imageFromRows(2, 2, {b, a, a, b}));
    // The larger colour covers one pixel: both samples land on the smaller one.
    Image lone = imageFromRows(2, 2, {a, b, a, a});
    EXPECT_EQ(adaptiveQuantize(lone, wholeImage(lone), 2, false), (std::vector<uint32_t>{a, a}));
    EXPECT_EQ(lone, imageFromRows(2, 2, {a, a, a, a}));
}

TEST(AdaptiveQuantize, SkipsRunsAndRespacesTheRest) {
    // Sorted: 1 1 1 1 1 1 2 3 4 5 (red values): step 3; the second sample falls in the run
    // of 1, so the rest are re-spaced over 2..5 with step 1, then 2.
    Image image =
        imageFromRows(5, 2,
                      {rgb(5, 0, 0), rgb(1, 0, 0), rgb(1, 0, 0), rgb(3, 0, 0), rgb(1, 0, 0),
                       rgb(2, 0, 0), rgb(1, 0, 0), rgb(4, 0, 0), rgb(1, 0, 0), rgb(1, 0, 0)});
    EXPECT_EQ(adaptivePalette(image, wholeImage(image), 3),
              (std::vector<uint32_t>{rgb(1, 0, 0), rgb(2, 0, 0), rgb(4, 0, 0)}));
    // Fewer pixels than wanted: the step starts at 0 and the smallest value repeats.
    Image two = imageFromRows(2, 1, {rgb(0, 0, 9), rgb(0, 0, 3)});
    EXPECT_EQ(adaptivePalette(two, wholeImage(two), 4), std::vector<uint32_t>(4, rgb(0, 0, 3)));
    // The rectangle's pixels only (1 lies outside it). With one pixel per colour the
    // re-spacing lands back on the smaller one.
    Image framed = imageFromRows(3, 3, {1, 1, 1, 1, 7, 8, 1, 1, 1});
    EXPECT_EQ(adaptivePalette(framed, Rect{1, 1, 2, 1}, 2), (std::vector<uint32_t>{7, 7}));
}

TEST(AdaptiveQuantize, PaletteComesFromTheImage) {
    for (int limit : {2, 17, 256}) {
        Image image = randomImage(30, 20, static_cast<uint32_t>(100 + limit), 24);
        // Repeat a few colours so runs occur.
        for (size_t i = 0; i < image.pixels.size(); i += 3) image.pixels[i] = image.pixels[0];
        std::set<uint32_t> source;
        for (uint32_t p : image.pixels) source.insert(p & colourMask);
        std::vector<uint32_t> palette = adaptiveQuantize(image, wholeImage(image), limit, true);
        ASSERT_EQ(palette.size(), static_cast<size_t>(limit));
        for (uint32_t c : palette) EXPECT_TRUE(source.count(c));
        std::set<uint32_t> allowed(palette.begin(), palette.end());
        for (uint32_t p : image.pixels) EXPECT_TRUE(allowed.count(p & colourMask));
    }
}

TEST(SortColourValues, MatchesStdSort) {
    std::mt19937 rng(4);
    std::vector<uint32_t> values(10007);
    for (uint32_t& v : values) v = rng() & colourMask;
    std::vector<uint32_t> want = values;
    std::sort(want.begin(), want.end());
    sortColourValues(values);
    EXPECT_EQ(values, want);
}

}  // namespace
