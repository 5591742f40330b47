// The comparison of every style: what it runs each with, its order, and that it leaves the
// palettes of whoever asked as they were.

#include "quantize/style_comparison.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "quantize/palette_map.h"
#include "quantize/palettes.h"
#include "quantize/quantize.h"
#include "support/test_images.h"

namespace {

TEST(CompareStyles, EveryStyleTwiceWithTheLimitForTheColoursAsked) {
    const Image image = randomImage(48, 40, 6, 24);
    const std::vector<StyleComparison> rows = compareStyles(image, wholeImage(image), 256);
    ASSERT_EQ(rows.size(), 32u);
    std::set<std::pair<int, bool>> seen;
    for (size_t i = 0; i < rows.size(); ++i) {
        const StyleComparison& row = rows[i];
        seen.insert({row.style, row.dither});
        if (i > 0) {
            EXPECT_GE(row.meanDeltaE, rows[i - 1].meanDeltaE);
        }
        EXPECT_GT(row.pngBytes, 0);
        EXPECT_GE(row.milliseconds, 0.0);
        switch (row.style) {
            case styleUniform:
                EXPECT_EQ(row.limit, 6);  // 216 colours; 7 levels would be 343
                break;
            case stylePopularity:
            case styleAdaptive:
            case styleBest:
                EXPECT_EQ(row.limit, 256);
                break;
            default:
                EXPECT_EQ(row.limit, 0);
        }
        // A PNG has a palette exactly when the result has at most 256 colours.
        EXPECT_EQ(row.indexed, row.colours <= 256) << row.style << " " << row.colours;
        if (row.style == styleFlat4096) {
            EXPECT_GT(row.colours, 256);
        }
        if (row.style == styleCga) {
            EXPECT_LE(row.colours, 16);
        }
    }
    EXPECT_EQ(seen.size(), 32u);
    // Fewer colours asked: Uniform drops to the cube below.
    for (const StyleComparison& row : compareStyles(image, wholeImage(image), 26)) {
        if (row.style == styleUniform) {
            EXPECT_EQ(row.limit, 2);
        }
        if (row.style == styleBest) {
            EXPECT_EQ(row.limit, 26);
        }
    }
}

TEST(CompareStyles, TheFiguresAreOfTheRectangleAndThePalettesAreLeftAsTheyWere) {
    initQuantize();
    currentPalette = {rgb(1, 2, 3), rgb(4, 5, 6)};
    Image image = randomImage(30, 20, 8, 24);
    // Noise outside the rectangle, one flat colour inside: without dither every style maps
    // it to one colour, and only the inside is counted.
    for (int y = 5; y <= 14; ++y) {
        for (int x = 5; x <= 14; ++x) image.at(x, y) = rgba(90, 120, 200, 255);
    }
    const std::vector<StyleComparison> rows = compareStyles(image, Rect{5, 5, 14, 14}, 64);
    ASSERT_EQ(rows.size(), 32u);
    for (const StyleComparison& row : rows) {
        if (row.dither) {
            EXPECT_LE(row.colours, 100) << row.style;
        } else {
            EXPECT_EQ(row.colours, 1) << row.style;
        }
    }
    EXPECT_EQ(currentPalette, (std::vector<uint32_t>{rgb(1, 2, 3), rgb(4, 5, 6)}));
    EXPECT_TRUE(compareStyles(image, Rect{40, 40, 50, 50}, 64).empty());
    initQuantize();
}

}  // namespace
