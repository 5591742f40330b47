#include <gtest/gtest.h>

#include <set>
#include <string>

#include "quantize/builtin_palettes.h"
#include "quantize/palettes.h"
#include "quantize/quantize.h"
#include "support/test_images.h"

namespace {

TEST(QuantizeStyles, CaptionsLimitsAndSizes) {
    const char* captions[] = {"Uniform",   "Popularity",   "Adaptive",  "CGA (16)",
                              "EGA (64)",  "TruColor 256", "Human 256", "Neuquant_256",
                              "flat_8",    "flat_64",      "flat_512",  "flat_4096",
                              "Lemon_128", "Berry_128",    "Ocean_128", "Best quality"};
    ASSERT_EQ(quantizeStyles().size(), 16u);
    for (int s = 0; s < styleCount; ++s) EXPECT_EQ(std::string(styleInfo(s).caption), captions[s]);
    const int sizes[] = {0, 0, 0, 16, 64, 256, 256, 256, 8, 64, 512, 4096, 128, 128, 128};
    for (int s = 3; s <= styleOcean; ++s) {
        EXPECT_FALSE(styleInfo(s).usesLimit);
        EXPECT_EQ(styleLimitDisplay(s, 77), sizes[s]) << s;
    }
    EXPECT_EQ(styleInfo(styleUniform).defaultLimit, 3);
    EXPECT_EQ(styleInfo(stylePopularity).defaultLimit, 32);
    EXPECT_EQ(styleInfo(styleAdaptive).defaultLimit, 32);
    EXPECT_EQ(styleLimitDisplay(styleUniform, 3), 27);
    EXPECT_EQ(styleLimitDisplay(styleUniform, 16), 4096);
    EXPECT_EQ(styleLimitDisplay(styleAdaptive, 100), 100);
    EXPECT_EQ(clampStyleLimit(styleUniform, 1), 2);
    EXPECT_EQ(clampStyleLimit(styleUniform, 100), 16);
    EXPECT_EQ(clampStyleLimit(stylePopularity, 300), 256);
    EXPECT_EQ(clampStyleLimit(styleAdaptive, 0), 2);
    EXPECT_EQ(styleFromBatchName("neuquant256"), styleNeuquant);
    EXPECT_EQ(styleFromBatchName("lemon128"), styleLemon);
    EXPECT_EQ(styleFromBatchName("Lemon_128"), -1);
    // The sixteenth comes last and takes a colour LIMIT like Adaptive, 256 at first.
    EXPECT_EQ(styleBest, 15);
    EXPECT_TRUE(styleInfo(styleBest).usesLimit);
    EXPECT_EQ(styleInfo(styleBest).defaultLimit, 256);
    EXPECT_EQ(styleFromBatchName("best"), styleBest);
    EXPECT_EQ(styleLimitDisplay(styleBest, 100), 100);
    EXPECT_EQ(clampStyleLimit(styleBest, 1), 2);
    EXPECT_EQ(clampStyleLimit(styleBest, 999), 256);
}

TEST(RunQuantizeStyle, ThePaletteEachStyleReturns) {
    const uint32_t sentinel = rgb(1, 2, 3);
    for (int style = 0; style < styleCount; ++style) {
        resetPalettes();
        currentPalette = {sentinel};
        Image image = randomImage(24, 16, static_cast<uint32_t>(style));
        const std::optional<std::vector<uint32_t>> returned =
            runQuantizeStyle(image, wholeImage(image), style, 300, false);
        // The method itself never touches the program's palette.
        EXPECT_EQ(currentPalette, std::vector<uint32_t>{sentinel}) << style;
        bool keeps = style >= styleCga && style <= styleNeuquant;
        if (keeps) {
            EXPECT_FALSE(returned) << style;
            continue;
        }
        ASSERT_TRUE(returned) << style;
        // The palette is exactly the set of colours the image now holds.
        const std::vector<uint32_t>& colours = *returned;
        std::set<uint32_t> palette(colours.begin(), colours.end());
        std::set<uint32_t> used;
        for (uint32_t p : image.pixels) used.insert(p & colourMask);
        if (style == styleAdaptive || style == stylePopularity) {
            EXPECT_EQ(colours.size(), 256u) << style;
            for (uint32_t c : used) EXPECT_TRUE(palette.count(c)) << style;
        } else {
            EXPECT_EQ(palette, used) << style;
        }
    }
    resetPalettes();
}

TEST(RunQuantizeStyle, ColourCountsAlphaAndSelection) {
    const int most[] = {4096, 256, 256, 16,   64,  256, 256, 256,
                        8,    64,  512, 4096, 128, 128, 128, 256};
    const Rect rect{3, 2, 28, 17};
    for (int style = 0; style < styleCount; ++style) {
        for (bool dither : {false, true}) {
            Image image = randomImage(32, 24, static_cast<uint32_t>(style * 2 + dither));
            const Image before = image;
            runQuantizeStyle(image, rect, style, 999, dither);
            std::set<uint32_t> used;
            for (int y = 0; y < image.height; ++y) {
                for (int x = 0; x < image.width; ++x) {
                    bool inside =
                        x >= rect.left && x <= rect.right && y >= rect.top && y <= rect.bottom;
                    if (!inside) {
                        ASSERT_EQ(image.at(x, y), before.at(x, y)) << style;
                        continue;
                    }
                    // Best quality reduces alpha with the colour; the others keep it.
                    if (style == styleBest) {
                        used.insert(image.at(x, y));
                    } else {
                        EXPECT_EQ(image.at(x, y) & alphaMask, before.at(x, y) & alphaMask);
                        used.insert(image.at(x, y) & colourMask);
                    }
                }
            }
            EXPECT_LE(used.size(), static_cast<size_t>(most[style])) << style;
            EXPECT_GT(used.size(), 1u) << style;
        }
    }
    initQuantize();
}

TEST(RunQuantizeStyle, UnknownStyleOrEmptyRectangleDoesNothing) {
    Image image = randomImage(8, 8, 1);
    const Image before = image;
    currentPalette = {7};
    EXPECT_FALSE(runQuantizeStyle(image, wholeImage(image), styleCount, 4, true));
    EXPECT_FALSE(runQuantizeStyle(image, wholeImage(image), -1, 4, true));
    EXPECT_FALSE(runQuantizeStyle(image, Rect{20, 20, 30, 30}, styleUniform, 4, true));
    Image empty;
    EXPECT_FALSE(runQuantizeStyle(empty, wholeImage(empty), stylePopularity, 4, true));
    EXPECT_EQ(image, before);
    EXPECT_EQ(currentPalette, std::vector<uint32_t>{7});
    resetPalettes();
}

}  // namespace
