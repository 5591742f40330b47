// Two-colour conversion: the threshold rule, the ordered pattern, and Sierra Lite worked out
// by hand on small images.

#include "quantize/two_colors.h"

#include <gtest/gtest.h>

#include "quantize/palette_map.h"
#include "support/test_images.h"

namespace {

constexpr uint32_t black = 0x000000, white = 0xFFFFFF;
constexpr uint32_t red = rgb(255, 0, 0), yellow = rgb(255, 255, 0);

// A one-row image of grays (a gray g has level g).
Image grayRow(std::initializer_list<int> levels) {
    Image image(static_cast<int>(levels.size()), 1, 32);
    int x = 0;
    for (int g : levels) image.at(x++, 0) = rgb(g, g, g) | alphaMask;
    return image;
}

std::vector<uint32_t> coloursOf(const Image& image) {
    std::vector<uint32_t> out;
    for (uint32_t p : image.pixels) out.push_back(p & colourMask);
    return out;
}

TEST(TwoColorsLevel, IsTheWeightedSumDividedBySevenAndTruncated) {
    // 2 * 100 + 4 * 50 + 30 = 430, 430 / 7 = 61.4
    EXPECT_EQ(twoColorsLevel(rgb(100, 50, 30)), 61);
    EXPECT_EQ(twoColorsLevel(white), 255);
    EXPECT_EQ(twoColorsLevel(rgb(0, 0, 6)), 0);
    EXPECT_EQ(twoColorsLevel(rgb(0, 0, 7)), 1);
    EXPECT_EQ(thresholdFromSlider(0), 256);
    EXPECT_EQ(thresholdFromSlider(256), 0);
}

TEST(TwoColorsThreshold, ALevelEqualToTheThresholdTakesTheSecondColour) {
    Image image = imageFromRows(2, 1, {rgb(100, 50, 30), rgb(100, 50, 30) | 0x7F000000});
    Image at61 = image;
    thresholdTwoColors(at61, wholeImage(at61), 61, red, yellow, false);
    EXPECT_EQ(at61.at(0, 0) & colourMask, yellow);
    Image at62 = image;
    thresholdTwoColors(at62, wholeImage(at62), 62, red, yellow, false);
    EXPECT_EQ(at62.at(0, 0) & colourMask, red);
    // Alpha stays as it was.
    EXPECT_EQ(at62.at(1, 0), red | 0x7F000000);
}

TEST(TwoColorsThreshold, TheExtremeThresholdsGiveOneColourWithoutDither) {
    Image image = randomImage(23, 17, 5);
    image.at(3, 3) = white | alphaMask;
    image.at(4, 3) = opaqueBlack;
    for (bool ordered : {false, true}) {
        Image all2 = image;
        thresholdTwoColors(all2, wholeImage(all2), thresholdFromSlider(256), black, white, ordered);
        Image all1 = image;
        thresholdTwoColors(all1, wholeImage(all1), thresholdFromSlider(0), black, white, ordered);
        for (size_t i = 0; i < image.pixels.size(); ++i) {
            ASSERT_EQ(all2.pixels[i] & colourMask, white) << i;
            // Even pure white (level 255) is below 256.
            ASSERT_EQ(all1.pixels[i] & colourMask, black) << i;
        }
    }
}

TEST(TwoColorsThreshold, OrderedDitherComparesTheDitheredPixelInsideTheRectangleOnly) {
    Image image = randomImage(19, 13, 8);
    const Rect rect{3, 2, 14, 9};
    Image out = image;
    thresholdTwoColors(out, rect, 120, red, yellow, true);
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            const bool inside = x >= 3 && x <= 14 && y >= 2 && y <= 9;
            uint32_t expected = image.at(x, y);
            if (inside) {
                // The pattern stays anchored at the image's corner, not the rectangle's.
                const uint32_t c = orderedDitherPoint(image, x, y);
                expected = (image.at(x, y) & alphaMask) | (twoColorsLevel(c) < 120 ? red : yellow);
            }
            ASSERT_EQ(out.at(x, y), expected) << x << "," << y;
        }
    }
}

TEST(SierraLite, FiftyPercentGrayGivesBothColoursWorkedOutByHand) {
    // Gray 128 at threshold 128. Row 0: 128 -> 2 (error -127, quarter -32); 96 -> 1
    // (error 96, quarter 24); 152 -> 2. Row 1 gets -4, -1, -13 from above and alternates the
    // other way: 124 -> 1, 158 -> 2, 90 -> 1.
    Image image(3, 2, 32, rgb(128, 128, 128) | alphaMask);
    sierraLiteTwoColors(image, 128, black, white);
    EXPECT_EQ(coloursOf(image), (std::vector<uint32_t>{white, black, white, black, white, black}));

    // The error is measured against 0 and 255 whatever the colours: the same pattern.
    Image coloured(3, 2, 32, rgb(128, 128, 128) | alphaMask);
    sierraLiteTwoColors(coloured, 128, red, yellow);
    EXPECT_EQ(coloursOf(coloured), (std::vector<uint32_t>{yellow, red, yellow, red, yellow, red}));
}

TEST(SierraLite, AFlatGrayAreaIsNeverSolid) {
    Image image(64, 64, 24, rgb(128, 128, 128) | alphaMask);
    sierraLiteTwoColors(image, 128, black, white);
    for (int by = 0; by < 64; by += 8) {
        for (int bx = 0; bx < 64; bx += 8) {
            int whites = 0;
            for (int y = by; y < by + 8; ++y) {
                for (int x = bx; x < bx + 8; ++x) whites += (image.at(x, y) & colourMask) == white;
            }
            EXPECT_GT(whites, 8) << bx << "," << by;
            EXPECT_LT(whites, 56) << bx << "," << by;
        }
    }
}

TEST(SierraLite, ErrorsBeyondTheRangeAreDropped) {
    // Threshold 256: 200 -> 1 and sends 50; 255 + 50 crosses into colour 2 but, being above
    // 255, passes nothing on, so 250 stays below (it would reach 262 with the 12).
    Image high = grayRow({200, 255, 250});
    sierraLiteTwoColors(high, 256, black, white);
    EXPECT_EQ(coloursOf(high), (std::vector<uint32_t>{black, white, black}));

    // Threshold 0: 10 -> 2 and sends -62; 0 - 62 falls below 0 into colour 1 and passes
    // nothing on, so 5 stays at or above 0.
    Image low = grayRow({10, 0, 5});
    sierraLiteTwoColors(low, 0, black, white);
    EXPECT_EQ(coloursOf(low), (std::vector<uint32_t>{white, black, white}));
}

TEST(SierraLite, EachPixelBelowGetsAnEighthFromAboveAndFromAboveRight) {
    // 2 x 2 of level 100 at threshold 100: row 0 gives 2 (error -155, quarter -39) then
    // 61 -> 1 (error 61, quarter 15). Row 1: -20 + 7 = -13 -> 87 -> 1 (quarter 21), then
    // 21 + 7 = 28 -> 128 -> 2.
    Image image(2, 2, 32, rgb(100, 100, 100) | alphaMask);
    sierraLiteTwoColors(image, 100, black, white);
    EXPECT_EQ(coloursOf(image), (std::vector<uint32_t>{white, black, black, white}));

    // Only the share from above-right lifts 120 over 128: 127 -> 1 sends 31 / 2 = 15 down
    // and down-left.
    Image grays =
        imageFromRows(2, 2, {rgb(0, 0, 0), rgb(127, 127, 127), rgb(120, 120, 120), rgb(0, 0, 0)});
    sierraLiteTwoColors(grays, 128, black, white);
    EXPECT_EQ(coloursOf(grays), (std::vector<uint32_t>{black, black, white, black}));
}

TEST(SierraLite, InASelectionTheDiffusionStartsAtItsEdges) {
    Image image = randomImage(30, 20, 12);
    const Rect rect{7, 4, 21, 15};
    Image out = image;
    twoColors(out, rect, 130, TwoColorsDither::SierraLite, red, yellow);
    Image part = copyRect(image, 7, 4, 21, 15);
    sierraLiteTwoColors(part, 130, red, yellow);
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            const bool inside = x >= 7 && x <= 21 && y >= 4 && y <= 15;
            ASSERT_EQ(out.at(x, y), inside ? part.at(x - 7, y - 4) : image.at(x, y))
                << x << "," << y;
        }
    }
}

TEST(TwoColorsDitherNames, AreTheBatchWords) {
    EXPECT_EQ(twoColorsDitherFromName("none"), TwoColorsDither::None);
    EXPECT_EQ(twoColorsDitherFromName("ordered"), TwoColorsDither::Ordered);
    EXPECT_EQ(twoColorsDitherFromName("sierra"), TwoColorsDither::SierraLite);
    EXPECT_FALSE(twoColorsDitherFromName("floyd").has_value());
}

}  // namespace
