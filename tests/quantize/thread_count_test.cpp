// Counting, the formula styles and palette mapping share rows among threads; every style,
// with and without dither, gives the same image and palette with one thread, two or seven.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "quantize/adaptive_quantize.h"
#include "quantize/palette_map.h"
#include "quantize/palettes.h"
#include "quantize/quantize.h"
#include "support/test_images.h"
#include "toolkit/parallel.h"

namespace {

class QuantizeThreadCountTest : public ::testing::Test {
  protected:
    void SetUp() override { initQuantize(); }
    void TearDown() override { configureThreads(0); }
};

// A picture with repeats and gradients, so that the palettes have something to choose.
Image picture(int w, int h) {
    Image image = randomImage(w, h, 77, 32);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            if ((x + y) % 3 != 0) {
                image.at(x, y) = (image.at(x, y) & alphaMask) | rgb(x * 6 & 255, y * 9 & 255, 90);
            }
        }
    }
    return image;
}

TEST_F(QuantizeThreadCountTest, EveryStyleGivesTheSameImageAndPalette) {
    const Image input = picture(53, 29);
    for (const Rect& rect : {wholeImage(input), Rect{3, 2, 48, 26}}) {
        for (int style = 0; style < styleCount; ++style) {
            for (bool dither : {false, true}) {
                SCOPED_TRACE(std::string(styleInfo(style).batchName) + (dither ? " dither" : "") +
                             (rect == wholeImage(input) ? "" : " selection"));
                Image reference;
                std::vector<uint32_t> referencePalette;
                for (int threads : {1, 2, 7}) {
                    configureThreads(threads, 1);
                    initQuantize();
                    Image image = input;
                    const std::vector<uint32_t> palette =
                        runQuantizeStyle(image, rect, style, styleInfo(style).usesLimit ? 24 : 0,
                                         dither)
                            .value_or(std::vector<uint32_t>{});
                    if (threads == 1) {
                        reference = image;
                        referencePalette = palette;
                        EXPECT_NE(image, input);
                    } else {
                        EXPECT_EQ(firstDifference(image, reference), "") << threads;
                        EXPECT_EQ(palette, referencePalette) << threads;
                    }
                }
            }
        }
    }
}

TEST_F(QuantizeThreadCountTest, CountingMatchesASetOfColours) {
    Image image = picture(61, 17);
    std::vector<bool> seen(size_t{1} << 24, false);
    int64_t expected = 0;
    for (uint32_t p : image.pixels) {
        if (!seen[p & colourMask]) {
            seen[p & colourMask] = true;
            ++expected;
        }
    }
    for (int threads : {1, 2, 7}) {
        configureThreads(threads, 1);
        EXPECT_EQ(countUniqueColours(image), expected) << threads;
        // The same colour in different rows is counted once however the rows are split.
        Image stripes(3, 14, 24, rgb(1, 2, 3));
        stripes.at(1, 13) = rgb(4, 5, 6) | alphaMask;
        EXPECT_EQ(countUniqueColours(stripes), 2) << threads;
    }
}

TEST_F(QuantizeThreadCountTest, MappingWithoutDitherIsTheNearestEntryOfEveryPixel) {
    const Image input = picture(45, 31);
    const std::vector<uint32_t> palette = {rgb(0, 0, 0),     rgb(255, 255, 255),
                                           rgb(200, 30, 30), rgb(20, 180, 40),
                                           rgb(40, 60, 200), rgb(128, 128, 128)};
    const PaletteLookup lookup = makePaletteLookup(palette);
    for (int threads : {1, 2, 7}) {
        configureThreads(threads, 1);
        Image image = input;
        remapInPlace(image, ditherStrengthOff, lookup);
        for (size_t i = 0; i < image.pixels.size(); ++i) {
            // Brute force over the palette: the entry chosen is one at the smallest distance.
            uint32_t bestDistance = UINT32_MAX;
            for (uint32_t c : palette)
                bestDistance = std::min(bestDistance, redMeanDistance(input.pixels[i], c));
            EXPECT_NE(std::find(palette.begin(), palette.end(), image.pixels[i] & colourMask),
                      palette.end());
            ASSERT_EQ(redMeanDistance(image.pixels[i], input.pixels[i]), bestDistance)
                << threads << " pixel " << i;
            ASSERT_EQ(image.pixels[i] & alphaMask, input.pixels[i] & alphaMask);
        }
    }
}

}  // namespace
