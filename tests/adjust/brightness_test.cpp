#include "adjust/brightness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <random>

#include "support/test_images.h"

namespace {

BrightnessSettings settings(int amount, LimitOption limit, bool ratio, bool proportional = false) {
    BrightnessSettings s;
    s.amount = amount;
    s.limitOption = limit;
    s.ratioMode = ratio;
    s.proportional = proportional;
    return s;
}

uint32_t bright(int r, int g, int b, const BrightnessSettings& s) {
    return brightnessPixel(rgb(r, g, b), s);
}

constexpr LimitOption hold = LimitOption::HoldRatio;
constexpr LimitOption clamp = LimitOption::Clamp;
constexpr LimitOption wrap = LimitOption::Wrap;

TEST(Brightness, EqualModeUnderEachLimit) {
    EXPECT_EQ(bright(250, 100, 50, settings(20, hold, false)), rgb(255, 105, 55));
    EXPECT_EQ(bright(250, 100, 50, settings(20, clamp, false)), rgb(255, 120, 70));
    EXPECT_EQ(bright(250, 100, 50, settings(20, wrap, false)), rgb(14, 120, 70));

    EXPECT_EQ(bright(200, 100, 50, settings(-60, hold, false)), rgb(150, 50, 0));
    EXPECT_EQ(bright(200, 100, 50, settings(-60, clamp, false)), rgb(140, 40, 0));
    EXPECT_EQ(bright(200, 100, 50, settings(-60, wrap, false)), rgb(140, 40, 246));
}

TEST(Brightness, RatioMode) {
    EXPECT_EQ(bright(200, 100, 50, settings(20, hold, true)), rgb(220, 110, 55));
    // M' is raised to 16: S' = 12 * 32 / 16 = 24.
    EXPECT_EQ(bright(8, 4, 0, settings(16, hold, true)), rgb(16, 8, 0));
    // Clamp: S' = 350 * 300 / 200 = 525 gives 300, 150, 75.
    EXPECT_EQ(bright(200, 100, 50, settings(100, clamp, true)), rgb(255, 150, 75));
    // Hold ratio shrinks the step to 55: S' = 350 * 255 / 200 = 446 (446.25 truncated),
    // 446 * 4/7 = 254.86, 446 * 2/7 = 127.43, 446 / 7 = 63.71.
    EXPECT_EQ(bright(200, 100, 50, settings(100, hold, true)), rgb(255, 127, 64));
}

TEST(Brightness, RatioModeRoundsHalvesToEvenAndTruncatesTheSum) {
    // S = 2, M' = 16: S' = 2 * 40 / 16 = 5, each half share gives 2.5, which rounds to 2.
    EXPECT_EQ(bright(1, 1, 0, settings(24, hold, true)), rgb(2, 2, 0));
    // S' = 12 * (16 - 21) / 16 = -3.75 truncates to -3 (not -4): red round(-2) wraps to 254,
    // green round(-1) to 255, blue stays 0.
    EXPECT_EQ(bright(8, 4, 0, settings(-21, wrap, true)), rgb(254, 255, 0));
    // The shares are single precision: 1/6 rounds up and 5/6 down, so with S' = 6 * 8 / 16 = 3
    // red gets round(0.50000001) = 1 and green round(2.4999999) = 2.
    EXPECT_EQ(bright(1, 5, 0, settings(-8, clamp, true)), rgb(1, 2, 0));
}

TEST(Brightness, Proportional) {
    // L = 700: +64 becomes round(64 * 1085 / 1785) = 39, -64 becomes round(-64 * 700 / 1785) = -25.
    EXPECT_EQ(bright(100, 100, 100, settings(64, hold, false, true)), rgb(139, 139, 139));
    EXPECT_EQ(bright(100, 100, 100, settings(-64, hold, false, true)), rgb(75, 75, 75));
    // Wrap: L = 20, -128 becomes round(-1.43) = -1; the zero components wrap to 255.
    EXPECT_EQ(bright(10, 0, 0, settings(-128, wrap, false, true)), rgb(9, 255, 255));
    // White is not brightened and black not darkened.
    EXPECT_EQ(bright(255, 255, 255, settings(128, clamp, false, true)), rgb(255, 255, 255));
    EXPECT_EQ(bright(0, 0, 0, settings(-128, wrap, false, true)), rgb(0, 0, 0));
}

TEST(Brightness, DisabledComponentsKeepTheirValueButCountForTheLimit) {
    BrightnessSettings onlyRed = settings(50, hold, false);
    onlyRed.enableGreen = onlyRed.enableBlue = false;
    EXPECT_EQ(bright(255, 0, 0, onlyRed), rgb(255, 0, 0));
    onlyRed.limitOption = clamp;
    EXPECT_EQ(bright(255, 0, 0, onlyRed), rgb(255, 0, 0));

    BrightnessSettings onlyGreen = settings(50, hold, false);
    onlyGreen.enableRed = onlyGreen.enableBlue = false;
    EXPECT_EQ(bright(255, 0, 0, onlyGreen), rgb(255, 0, 0));
    onlyGreen.limitOption = clamp;
    EXPECT_EQ(bright(255, 0, 0, onlyGreen), rgb(255, 50, 0));

    // Ratio mode: S' = 385 as for all three, but only green takes its share.
    BrightnessSettings ratioGreen = settings(20, hold, true);
    ratioGreen.enableRed = ratioGreen.enableBlue = false;
    EXPECT_EQ(bright(200, 100, 50, ratioGreen), rgb(200, 110, 50));
}

TEST(Brightness, RatioModeLeavesBlackBlack) {
    for (LimitOption limit : {hold, clamp, wrap}) {
        for (int amount : {-128, -60, -1, 1, 16, 128}) {
            for (bool proportional : {false, true}) {
                EXPECT_EQ(bright(0, 0, 0, settings(amount, limit, true, proportional)), 0u)
                    << amount;
            }
        }
    }
}

TEST(Brightness, AmountZeroLeavesEveryPixelUnchanged) {
    Image original = randomImage(40, 30, 7);
    for (LimitOption limit : {hold, clamp, wrap}) {
        for (bool ratio : {false, true}) {
            Image image = original;
            applyBrightness(image, wholeImage(image), settings(0, limit, ratio, true));
            EXPECT_EQ(image, original);
        }
    }
}

TEST(Brightness, OnlyTheRectangleChangesAndAlphaIsKept) {
    Image image(4, 3, 32, rgba(10, 20, 30, 77));
    image.at(0, 0) = rgba(10, 20, 30, 5);
    applyBrightness(image, Rect{1, 1, 2, 2}, settings(20, clamp, false));
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 4; ++x) {
            bool inside = x >= 1 && x <= 2 && y >= 1;
            uint32_t expected = inside ? rgba(30, 40, 50, 77) : rgba(10, 20, 30, x + y ? 77 : 5);
            EXPECT_EQ(image.at(x, y), expected) << x << "," << y;
        }
    }
    // A rectangle reaching past the image is clipped to it.
    Image small(2, 2, 24, rgb(0, 0, 0));
    applyBrightness(small, Rect{1, -5, 9, 0}, settings(3, clamp, false));
    EXPECT_EQ(small.at(1, 0), rgba(3, 3, 3, 255));
    EXPECT_EQ(small.at(0, 0), rgba(0, 0, 0, 255));
    EXPECT_EQ(small.at(1, 1), rgba(0, 0, 0, 255));
}

// The brightness steps followed word for word, in 64-bit integers and doubles.
uint32_t literalBrightness(uint32_t colour, const BrightnessSettings& s) {
    int64_t c[3] = {colour & 255, (colour >> 8) & 255, (colour >> 16) & 255};
    const bool enabled[3] = {s.enableRed, s.enableGreen, s.enableBlue};
    const int64_t level = 2 * c[0] + 4 * c[1] + c[2];
    const int64_t sum = c[0] + c[1] + c[2];
    float shares[3] = {};
    for (int i = 0; i < 3 && sum > 0; ++i) shares[i] = static_cast<float>(double(c[i]) / sum);
    const int64_t largest = std::max({c[0], c[1], c[2]});
    const int64_t smallest = std::min({c[0], c[1], c[2]});
    auto round = [](double v) { return static_cast<int64_t>(std::nearbyint(v)); };
    auto change = [&](int64_t a) {
        for (int i = 0; i < 3; ++i) {
            if (!enabled[i]) continue;
            if (!s.ratioMode) {
                c[i] += a;
            } else if (sum == 0) {
                c[i] = 0;
            } else {
                int64_t m = largest < 16 ? 16 : largest;
                int64_t newSum = sum * (m + a) / m;
                c[i] = round(double(newSum) * double(shares[i]));
            }
        }
    };
    int64_t a = s.amount;
    if (s.limitOption == wrap) {
        if (s.proportional)
            a = a > 0 ? round(a * (1785.0 - level) / 1785) : round(a * level / 1785.0);
        change(a);
        for (int64_t& v : c) {
            if (v < 0) v += 256;
            if (v > 255) v -= 256;
        }
    } else if (a > 0) {
        if (s.proportional) a = round(a * (1785.0 - level) / 1785);
        if (s.limitOption == hold && largest + a > 255) a = 255 - largest;
        change(a);
    } else if (a < 0) {
        if (s.proportional) a = round(a * level / 1785.0);
        if (s.limitOption == hold && smallest + a < 0) a = -smallest;
        change(a);
    }
    if (s.limitOption == clamp) {
        for (int64_t& v : c) v = std::clamp<int64_t>(v, 0, 255);
    }
    EXPECT_TRUE(c[0] >= 0 && c[0] <= 255 && c[1] >= 0 && c[1] <= 255 && c[2] >= 0 && c[2] <= 255);
    return static_cast<uint32_t>(c[0] | c[1] << 8 | c[2] << 16);
}

TEST(Brightness, MatchesTheStepsOnRandomPixelsAndSettings) {
    std::mt19937 rng(2024);
    const LimitOption limits[] = {hold, clamp, wrap};
    for (int i = 0; i < 300000; ++i) {
        uint32_t bits = rng();
        BrightnessSettings s;
        s.amount = static_cast<int>(rng() % 257) - 128;
        s.limitOption = limits[bits % 3];
        s.ratioMode = bits & 8;
        s.proportional = bits & 16;
        s.enableRed = bits & 32;
        s.enableGreen = bits & 64;
        s.enableBlue = bits & 128;
        // Dark pixels often, where the floor of 16 applies.
        uint32_t colour = rng();
        if (bits & 256) colour &= 0x1F1F1F;
        ASSERT_EQ(brightnessPixel(colour, s), literalBrightness(colour & colourMask, s))
            << std::hex << colour << std::dec << " amount " << s.amount << " bits " << bits;
    }
}

TEST(Contrast, WorkedValues) {
    auto component = [](int v, int amount) { return redOf(contrastPixel(rgb(v, 0, 0), amount)); };
    const int at50[][2] = {{0, 0}, {100, 86}, {127, 127}, {128, 128}, {200, 236}, {255, 255}};
    for (auto [v, expected] : at50) EXPECT_EQ(component(v, 50), expected) << v;
    const int at100[][2] = {{63, 0}, {64, 1}, {191, 254}, {192, 255}};
    for (auto [v, expected] : at100) EXPECT_EQ(component(v, 100), expected) << v;
    for (int v = 0; v < 256; ++v) EXPECT_EQ(component(v, -100), v < 128 ? 127 : 128) << v;
    // k is the single-precision 0.1f, slightly above 0.1: 122 - 0.5000000075 rounds to 121
    // and 143 + 1.5000000224 to 145 (exact halves would give 122 and 144).
    EXPECT_EQ(component(122, 10), 121);
    EXPECT_EQ(component(143, 10), 145);
}

TEST(Contrast, MatchesTheFormulaForEveryAmountAndValue) {
    for (int amount = -100; amount <= 100; ++amount) {
        const float k = static_cast<float>(amount / 100.0);
        for (int v = 0; v < 256; ++v) {
            double exact = v < 128 ? v - double(k) * (127 - v) : v + double(k) * (v - 128);
            int64_t expected = std::clamp<int64_t>(std::llround(std::nearbyint(exact)), 0, 255);
            ASSERT_EQ(redOf(contrastPixel(rgb(v, 0, 0), amount)), expected) << amount << " " << v;
        }
    }
}

TEST(Adjustments, AmountsOutsideTheirRangeActAsTheNearestEnd) {
    Image image = randomImage(16, 16, 21);
    for (uint32_t p : image.pixels) {
        ASSERT_EQ(contrastPixel(p, 400), contrastPixel(p, 100));
        ASSERT_EQ(contrastPixel(p, -400), contrastPixel(p, -100));
        BrightnessSettings s = settings(1000, wrap, false);
        BrightnessSettings limit = settings(128, wrap, false);
        ASSERT_EQ(brightnessPixel(p, s), brightnessPixel(p, limit));
        s.amount = -1000;
        limit.amount = -128;
        ASSERT_EQ(brightnessPixel(p, s), brightnessPixel(p, limit));
    }
}

TEST(Contrast, AllThreeComponentsRegionAndAlpha) {
    Image image = imageFromRows(3, 1, {rgba(100, 200, 0, 9), rgba(63, 64, 191, 10), 0});
    applyContrast(image, Rect{0, 0, 1, 0}, 100);
    EXPECT_EQ(image.at(0, 0), rgba(73, 255, 0, 9));
    EXPECT_EQ(image.at(1, 0), rgba(0, 1, 254, 10));
    EXPECT_EQ(image.at(2, 0), 0u);

    Image original = randomImage(20, 20, 3);
    Image same = original;
    applyContrast(same, wholeImage(same), 0);
    EXPECT_EQ(same, original);
}

}  // namespace
