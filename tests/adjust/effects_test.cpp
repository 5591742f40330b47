#include "adjust/effects.h"

#include <gtest/gtest.h>

#include <set>
#include <string_view>
#include <utility>
#include <vector>

#include "support/test_images.h"

namespace {

using Point = std::pair<int, int>;
using Order = std::vector<Point>;

constexpr ScanOrder allOrders[] = {ScanOrder::Row, ScanOrder::Column, ScanOrder::AntiDiagonal,
                                   ScanOrder::Diagonal};

// The scan orders spelled out the slow way, straight from their definitions.
Order literalOrder(int w, int h, ScanOrder order) {
    Order out;
    switch (order) {
        case ScanOrder::Row:
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) out.emplace_back(x, y);
            break;
        case ScanOrder::Column:
            for (int x = 0; x < w; ++x)
                for (int y = 0; y < h; ++y) out.emplace_back(x, y);
            break;
        case ScanOrder::AntiDiagonal:
            for (int s = w + h - 2; s >= 0; --s)
                for (int x = w - 1; x >= 0; --x)
                    if (s - x >= 0 && s - x < h) out.emplace_back(x, s - x);
            break;
        case ScanOrder::Diagonal:
            for (int d = -(h - 1); d <= w - 1; ++d)
                for (int y = 0; y < h; ++y)
                    if (d + y >= 0 && d + y < w) out.emplace_back(d + y, y);
            break;
    }
    return out;
}

// Pixel by pixel through the default-mode read and write.
void literalDifference(Image& image, ScanOrder order) {
    Order o = literalOrder(image.width, image.height, order);
    std::vector<uint32_t> before;
    for (auto [x, y] : o) before.push_back(image.read(x, y));
    for (size_t k = 0; k + 1 < o.size(); ++k) {
        auto [x, y] = o[k];
        image.write(x, y, before[k] ^ before[k + 1]);
    }
}

void literalAccumulate(Image& image, ScanOrder order) {
    Order o = literalOrder(image.width, image.height, order);
    for (size_t k = o.size() - 1; k-- > 0;) {
        auto [x, y] = o[k];
        image.write(x, y, image.read(x, y) ^ image.read(o[k + 1].first, o[k + 1].second));
    }
}

// The three simple passes, pixel by pixel.
void literalGray(Image& image) {
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            uint32_t c = image.read(x, y);
            uint32_t g = (306 * redOf(c) + 601 * greenOf(c) + 117 * blueOf(c)) >> 10;
            image.write(x, y, g * 65793);
        }
    }
}

void literalInvert(Image& image) {
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) image.write(x, y, image.read(x, y) ^ 0xFFFFFF);
}

void literalMirror(Image& image) {
    const int w = image.width;
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < w / 2; ++x) {
            uint32_t left = image.read(x, y), right = image.read(w - 1 - x, y);
            image.write(x, y, right);
            image.write(w - 1 - x, y, left);
        }
    }
}

// Runs a recipe written as passes separated by spaces: D or A with the scan order r, c,
// a (anti-diagonal) or d (diagonal); g gray, i invert, m mirror.
void literalRecipe(Image& image, std::string_view passes) {
    auto orderOf = [](char c) {
        return c == 'r'   ? ScanOrder::Row
               : c == 'c' ? ScanOrder::Column
               : c == 'a' ? ScanOrder::AntiDiagonal
                          : ScanOrder::Diagonal;
    };
    for (size_t i = 0; i < passes.size(); ++i) {
        const char pass = passes[i];
        if (pass == 'D') literalDifference(image, orderOf(passes[++i]));
        if (pass == 'A') literalAccumulate(image, orderOf(passes[++i]));
        if (pass == 'g') literalGray(image);
        if (pass == 'i') literalInvert(image);
        if (pass == 'm') literalMirror(image);
    }
}

// A 4 x 3 image whose pixel (x, y) holds only bit x + 4y, with an alpha of its own.
Image bitImage() {
    Image image(4, 3);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x)
            image.at(x, y) = (1u << (x + 4 * y)) | (0x80u + x + 4 * y) << 24;
    return image;
}

uint32_t bitOf(Point p) {
    return 1u << (p.first + 4 * p.second);
}

TEST(ScanOrders, FourByThreeVisitsPixelsInTheDocumentedOrder) {
    // Each pair of digits is x then y.
    const char* const expected[] = {
        "00 10 20 30 01 11 21 31 02 12 22 32",
        "00 01 02 10 11 12 20 21 22 30 31 32",
        "32 31 22 30 21 12 20 11 02 10 01 00",
        "02 01 12 00 11 22 10 21 32 20 31 30",
    };
    for (int i = 0; i < 4; ++i) {
        Order o;
        for (const char* c = expected[i]; *c; c += c[2] ? 3 : 2)
            o.emplace_back(c[0] - '0', c[1] - '0');
        ASSERT_EQ(literalOrder(4, 3, allOrders[i]), o) << i;

        Image diff = bitImage();
        differencePass(diff, allOrders[i]);
        Image acc = bitImage();
        accumulatePass(acc, allOrders[i]);
        uint32_t later = 0;
        for (size_t k = o.size(); k-- > 0;) {
            auto [x, y] = o[k];
            uint32_t alpha = bitImage().at(x, y) & alphaMask;
            uint32_t next = k + 1 < o.size() ? bitOf(o[k + 1]) : 0;
            later |= bitOf(o[k]);
            EXPECT_EQ(diff.at(x, y), alpha | bitOf(o[k]) | next) << i << ": " << x << "," << y;
            EXPECT_EQ(acc.at(x, y), alpha | later) << i << ": " << x << "," << y;
        }
    }
}

TEST(ScanOrders, FastPassesEqualTheLiteralOrders) {
    const std::pair<int, int> shapes[] = {{1, 1},  {1, 2},   {2, 1},  {1, 17}, {17, 1},
                                          {2, 2},  {3, 7},   {7, 3},  {4, 3},  {5, 40},
                                          {40, 5}, {13, 13}, {64, 3}, {2, 33}, {33, 2}};
    uint32_t seed = 1;
    for (auto [w, h] : shapes) {
        for (ScanOrder order : allOrders) {
            Image original = randomImage(w, h, seed++);
            Image fast = original, slow = original;
            differencePass(fast, order);
            literalDifference(slow, order);
            EXPECT_EQ(fast, slow) << "difference " << w << "x" << h << " order "
                                  << static_cast<int>(order);
            fast = original;
            slow = original;
            accumulatePass(fast, order);
            literalAccumulate(slow, order);
            EXPECT_EQ(fast, slow) << "accumulate " << w << "x" << h << " order "
                                  << static_cast<int>(order);
            // Each undoes the other.
            differencePass(fast, order);
            EXPECT_EQ(fast, original);
        }
    }
}

TEST(ScanOrders, OnePixelIsUnchanged) {
    Image original = imageFromRows(1, 1, {0x12345678});
    for (ScanOrder order : allOrders) {
        Image image = original;
        differencePass(image, order);
        accumulatePass(image, order);
        EXPECT_EQ(image, original);
    }
}

TEST(Effects, ScrambleThenUnscrambleRestores) {
    const std::pair<int, int> shapes[] = {{1, 1}, {1, 9}, {9, 1},   {2, 2},
                                          {5, 8}, {8, 5}, {31, 17}, {100, 3}};
    uint32_t seed = 100;
    for (auto [w, h] : shapes) {
        Image original = randomImage(w, h, seed++);
        Image image = original;
        ASSERT_TRUE(applyEffect(image, wholeImage(image), commandScramble));
        if (w * h > 1) {
            EXPECT_NE(image, original) << w << "x" << h;
        }
        ASSERT_TRUE(applyEffect(image, wholeImage(image), commandUnscramble));
        EXPECT_EQ(image, original) << w << "x" << h;
    }
    Image original = randomImage(30, 20, 9);
    Image image = original;
    const Rect rect{3, 4, 17, 12};
    applyEffect(image, rect, commandScramble);
    applyEffect(image, rect, commandUnscramble);
    EXPECT_EQ(image, original);
}

TEST(Effects, EdgeDetectOfAFlatColourKeepsOnlyTheLastPixelOfTheOrder) {
    const uint32_t colour = rgba(200, 150, 100, 60);
    Image image(6, 4, 32, colour);
    applyEffect(image, wholeImage(image), commandEdgeDetect);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x)
            EXPECT_EQ(image.at(x, y), x == 0 && y == 0 ? colour : rgba(0, 0, 0, 60));

    // On a rectangle the order ends at the rectangle's top-left corner.
    Image original = randomImage(9, 8, 4);
    Image framed = original;
    const Rect rect{2, 3, 6, 5};
    for (int y = rect.top; y <= rect.bottom; ++y)
        for (int x = rect.left; x <= rect.right; ++x) framed.write(x, y, rgb(1, 2, 3));
    Image before = framed;
    applyEffect(framed, rect, commandEdgeDetect);
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 9; ++x) {
            bool inside = x >= rect.left && x <= rect.right && y >= rect.top && y <= rect.bottom;
            uint32_t alpha = before.at(x, y) & alphaMask;
            uint32_t expected = !inside                           ? before.at(x, y)
                                : x == rect.left && y == rect.top ? alpha | rgb(1, 2, 3)
                                                                  : alpha;
            EXPECT_EQ(framed.at(x, y), expected) << x << "," << y;
        }
    }
}

TEST(Effects, SimplePasses) {
    Image gray = imageFromRows(
        4, 1, {rgba(255, 0, 0, 1), rgba(0, 255, 0, 2), rgba(0, 0, 255, 3), rgba(255, 255, 255, 4)});
    grayPass(gray);
    EXPECT_EQ(gray, imageFromRows(4, 1,
                                  {rgba(76, 76, 76, 1), rgba(149, 149, 149, 2), rgba(29, 29, 29, 3),
                                   rgba(255, 255, 255, 4)}));

    Image inverted = imageFromRows(2, 1, {rgba(0, 10, 255, 7), rgba(1, 2, 3, 0)});
    invertPass(inverted);
    EXPECT_EQ(inverted, imageFromRows(2, 1, {rgba(255, 245, 0, 7), rgba(254, 253, 252, 0)}));

    // Colours trade places; every position keeps its alpha.
    Image mirrored = imageFromRows(5, 2,
                                   {rgba(0, 0, 0, 10), rgba(1, 0, 0, 11), rgba(2, 0, 0, 12),
                                    rgba(3, 0, 0, 13), rgba(4, 0, 0, 14), 5, 6, 7, 8, 9});
    mirrorPass(mirrored);
    EXPECT_EQ(mirrored, imageFromRows(5, 2,
                                      {rgba(4, 0, 0, 10), rgba(3, 0, 0, 11), rgba(2, 0, 0, 12),
                                       rgba(1, 0, 0, 13), rgba(0, 0, 0, 14), 9, 8, 7, 6, 5}));
    Image column = randomImage(1, 6, 5);
    Image same = column;
    mirrorPass(same);
    EXPECT_EQ(same, column);
}

TEST(Effects, GrayPassWeights) {
    // 117 * 200 / 1024 = 22.85; a blue weight of 118 would give 23.04.
    Image blue = imageFromRows(1, 1, {rgba(0, 0, 200, 5)});
    grayPass(blue);
    EXPECT_EQ(blue.at(0, 0), rgba(22, 22, 22, 5));
    Image image = randomImage(16, 16, 31);
    const Image before = image;
    grayPass(image);
    for (size_t i = 0; i < image.pixels.size(); ++i) {
        const uint32_t c = before.pixels[i];
        const int g = (306 * redOf(c) + 601 * greenOf(c) + 117 * blueOf(c)) / 1024;
        ASSERT_EQ(image.pixels[i], rgb(g, g, g) | (c & alphaMask)) << i;
    }
}

TEST(Effects, EveryCommandRunsItsRecipe) {
    struct Recipe {
        int commandId;
        std::string_view passes;
    };
    const Recipe recipes[] = {
        {54, "Da"},                           // Edge detect
        {52, "Dd Dd g i"},                    // Pencil
        {64, "Da i"},                         // Artist
        {57, "Ac i Dr Dc Ar"},                // Glowie
        {60, "Ar Dc Dr Dc Ac Ac i"},          // Blush
        {58, "Ar Dc Dr Ac"},                  // Spacy
        {61, "Dr Dc Ar Da Ac"},               // Spectrum
        {56, "Dc m Ac Dr m Ar"},              // Scratch
        {53, "Ad g Dd"},                      // Noise
        {59, "Dd i Ad"},                      // Phantom
        {62, "Dr Dr Ac Ar Dc Ar"},            // Demon
        {63, "Ac Dr Dr Dc Ar Ar"},            // Faded
        {55, "Ad Da i Aa Dd Aa Dd i Ad Da"},  // X-factor
        {50, "Ar Aa Ac Ad"},                  // scramble
        {51, "Dd Dc Da Dr"},                  // unscramble
    };
    const Image original = randomImage(5, 4, 77);
    for (const Recipe& recipe : recipes) {
        Image fast = original, slow = original;
        ASSERT_TRUE(applyEffect(fast, wholeImage(fast), recipe.commandId));
        literalRecipe(slow, recipe.passes);
        EXPECT_EQ(firstDifference(fast, slow), "") << recipe.commandId;
    }
}

TEST(Effects, AlphaNeverChangesAndOutsideTheRectangleIsUntouched) {
    const Image original = randomImage(23, 19, 11);
    const Rect rect{4, 2, 15, 16};
    for (const EffectRecipe& recipe : effectRecipes()) {
        Image whole = original;
        applyEffect(whole, wholeImage(whole), recipe.commandId);
        Image part = original;
        applyEffect(part, rect, recipe.commandId);
        for (int y = 0; y < original.height; ++y) {
            for (int x = 0; x < original.width; ++x) {
                uint32_t alpha = original.at(x, y) & alphaMask;
                ASSERT_EQ(whole.at(x, y) & alphaMask, alpha) << recipe.caption;
                ASSERT_EQ(part.at(x, y) & alphaMask, alpha) << recipe.caption;
                bool inside =
                    x >= rect.left && x <= rect.right && y >= rect.top && y <= rect.bottom;
                if (!inside) {
                    ASSERT_EQ(part.at(x, y), original.at(x, y)) << recipe.caption;
                }
            }
        }
        EXPECT_NE(whole, original) << recipe.caption;
    }
}

TEST(Effects, RecipesByIdentifierAndCaption) {
    std::set<int> ids;
    for (const EffectRecipe& r : effectRecipes()) {
        ids.insert(r.commandId);
        EXPECT_EQ(findEffect(r.commandId), &r);
        EXPECT_EQ(findEffectByCaption(r.caption), &r);
        EXPECT_FALSE(r.passes.empty());
    }
    EXPECT_EQ(ids.size(), 15u);
    EXPECT_EQ(*ids.begin(), 50);
    EXPECT_EQ(*ids.rbegin(), 64);
    ASSERT_NE(findEffectByCaption("Scramble"), nullptr);
    EXPECT_EQ(findEffectByCaption("Scramble")->commandId, 50);
    ASSERT_NE(findEffectByCaption("edge detect"), nullptr);
    EXPECT_EQ(findEffectByCaption("edge detect")->commandId, 54);
    EXPECT_EQ(findEffectByCaption("X-factor")->commandId, 55);
    EXPECT_EQ(findEffectByCaption("Gaussian Blur"), nullptr);
    EXPECT_EQ(findEffect(33), nullptr);

    Image image = randomImage(5, 5, 2);
    Image before = image;
    EXPECT_FALSE(applyEffect(image, wholeImage(image), 49));
    EXPECT_EQ(image, before);
}

}  // namespace
