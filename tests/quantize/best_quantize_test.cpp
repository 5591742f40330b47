// Best quality: the histogram, the fitted palette, the exact mapping with its transparent
// entry and premultiplied matching, the dither, and the same result on any thread count.

#include "quantize/best_quantize.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <set>

#include "support/test_images.h"
#include "toolkit/parallel.h"

namespace {

std::set<uint32_t> valuesOf(const Image& image) {
    return std::set<uint32_t>(image.pixels.begin(), image.pixels.end());
}

// A picture with smooth ramps, a little noise and so many colours that the histogram has to
// merge neighbouring values.
Image photoLike(int w, int h, uint32_t seed) {
    Image image = randomImage(w, h, seed, 24);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const uint32_t n = image.at(x, y);
            image.at(x, y) =
                rgba((x * 255 / w + (n & 15)) & 255, (y * 255 / h + (n >> 8 & 15)) & 255,
                     ((x + y) * 127 / (w + h) + (n >> 16 & 31)) & 255, 255);
        }
    }
    return image;
}

TEST(BestHistogram, CountsEachValueAndSumsItsPremultipliedChannels) {
    // Two fully transparent pixels of different colours count apart, as one value.
    const Image image =
        imageFromRows(3, 2,
                      {rgba(10, 20, 30, 255), rgba(10, 20, 30, 255), rgba(1, 2, 3, 0),
                       rgba(200, 0, 100, 128), rgba(10, 20, 30, 255), rgba(9, 9, 9, 0)});
    const BestHistogram h = buildBestHistogram(image);
    EXPECT_EQ(h.pixels, 6u);
    EXPECT_EQ(h.transparentPixels, 2u);
    EXPECT_FALSE(h.merged);
    ASSERT_EQ(h.bins.size(), 2u);
    uint64_t counts = 0;
    for (const BestHistogram::Bin& bin : h.bins) {
        counts += bin.count;
        if (bin.count == 3) {
            EXPECT_EQ(bin.alphaSum, 765u);
            EXPECT_EQ(bin.premultiplied[0], 3u * 255 * 10);
            EXPECT_EQ(bin.premultiplied[1], 3u * 255 * 20);
            EXPECT_EQ(bin.premultiplied[2], 3u * 255 * 30);
        } else {
            EXPECT_EQ(bin.count, 1u);
            EXPECT_EQ(bin.alphaSum, 128u);
            EXPECT_EQ(bin.premultiplied[0], 128u * 200);
            EXPECT_EQ(bin.premultiplied[2], 128u * 100);
        }
    }
    EXPECT_EQ(counts, 4u);
    EXPECT_EQ(std::set<uint32_t>(h.exactValues.begin(), h.exactValues.end()),
              (std::set<uint32_t>{0, rgba(10, 20, 30, 255), rgba(200, 0, 100, 128)}));
}

TEST(BestHistogram, ManyColoursAreMergedIntoCellsWithoutLosingAPixel) {
    const Image image = randomImage(512, 512, 4, 24);  // about 262,000 distinct values
    const BestHistogram h = buildBestHistogram(image);
    EXPECT_TRUE(h.merged);
    EXPECT_TRUE(h.exactValues.empty());
    EXPECT_LE(h.bins.size(), size_t{1} << 17);
    EXPECT_GT(h.bins.size(), size_t{1} << 15);
    uint64_t count = 0, red = 0;
    for (const BestHistogram::Bin& bin : h.bins) {
        count += bin.count;
        red += bin.premultiplied[0];
    }
    uint64_t expectedRed = 0;
    for (uint32_t p : image.pixels) expectedRed += 255u * static_cast<uint64_t>(redOf(p));
    EXPECT_EQ(count, 512u * 512u);
    EXPECT_EQ(red, expectedRed);
}

TEST(BestQuantize, TwoSeparateClustersBecomeTheirWeightedCentroids) {
    // Cluster one: three pixels of (10, 20, 30) and one of (14, 24, 34), centroid
    // (11, 21, 31). Cluster two: two of (200, 100, 50) and one of (206, 100, 56), centroid
    // (202, 100, 52).
    const uint32_t a = rgb(10, 20, 30), b = rgb(14, 24, 34), c = rgb(200, 100, 50),
                   d = rgb(206, 100, 56);
    Image image = imageFromRows(7, 1, {a, c, a, d, b, c, a}, 24);
    const std::vector<uint32_t> used = bestQuantize(image, wholeImage(image), 2, false);
    const uint32_t first = rgba(11, 21, 31, 255), second = rgba(202, 100, 52, 255);
    EXPECT_EQ(std::set<uint32_t>(used.begin(), used.end()), (std::set<uint32_t>{first, second}));
    EXPECT_EQ(image, imageFromRows(7, 1, {first, second, first, second, first, second, first}, 24));
}

TEST(BestQuantize, AnImageWithinTheLimitComesBackUnchanged) {
    Image image(16, 16, 24);
    for (int i = 0; i < 256; ++i) image.pixels[i] = rgba(i, (i * 37) & 255, 255 - i, 255);
    for (bool dither : {false, true}) {
        Image copy = image;
        const std::vector<uint32_t> used = bestQuantize(copy, wholeImage(copy), 256, dither);
        EXPECT_EQ(firstDifference(copy, image), "") << dither;
        EXPECT_EQ(used.size(), 256u);
    }
    // One colour more, and it must give one up.
    Image more(257, 1, 24);
    for (int i = 0; i < 257; ++i) more.pixels[i] = rgba(i & 255, i >> 8, i & 255, 255);
    bestQuantize(more, wholeImage(more), 256, false);
    EXPECT_EQ(valuesOf(more).size(), 256u);
}

TEST(BestQuantize, TheLimitIsAnUpperBoundThatARichImageFills) {
    const Image source = photoLike(96, 64, 3);
    for (int limit : {2, 3, 7, 16, 100, 256}) {
        for (bool dither : {false, true}) {
            Image image = source;
            const std::vector<uint32_t> used =
                bestQuantize(image, wholeImage(image), limit, dither);
            const std::set<uint32_t> values = valuesOf(image);
            EXPECT_LE(values.size(), static_cast<size_t>(limit)) << limit << " " << dither;
            // A picture of thousands of colours has a use for nearly every entry.
            EXPECT_GE(values.size() * 10, static_cast<size_t>(limit) * 9) << limit;
            // What it says it used is what the image holds.
            EXPECT_EQ(std::set<uint32_t>(used.begin(), used.end()), values) << limit;
        }
    }
    // Out of range: clamped to 2..256.
    Image image = source;
    bestQuantize(image, wholeImage(image), 1, false);
    EXPECT_EQ(valuesOf(image).size(), 2u);
}

TEST(BestQuantize, FullyTransparentPixelsShareOneEntry) {
    Image image = photoLike(40, 30, 8);
    image.depth = 32;
    for (int y = 0; y < 30; ++y) {
        for (int x = 0; x < 10; ++x) image.at(x, y) &= colourMask;  // alpha 0, colours kept
    }
    for (bool dither : {false, true}) {
        Image copy = image;
        const std::vector<uint32_t> used = bestQuantize(copy, wholeImage(copy), 16, dither);
        EXPECT_EQ(std::count(used.begin(), used.end(), 0u), 1);
        for (int y = 0; y < 30; ++y) {
            for (int x = 0; x < 40; ++x) {
                if (x < 10) {
                    ASSERT_EQ(copy.at(x, y), 0u) << x << "," << y;
                } else {
                    // The dither passes nothing into or out of the transparent part.
                    ASSERT_EQ(alphaOf(copy.at(x, y)), 255) << x << "," << y;
                }
            }
        }
        EXPECT_LE(valuesOf(copy).size(), 16u);
        // Whatever colour lies under a transparent pixel never shows anywhere.
        Image hidden = image;
        for (uint32_t& p : hidden.pixels) {
            if (alphaOf(p) == 0) p = rgba(255, 255, 255, 0) ^ (p & 0x3F3F3F);
        }
        bestQuantize(hidden, wholeImage(hidden), 16, dither);
        EXPECT_EQ(firstDifference(hidden, copy), "") << dither;
    }
}

TEST(BestQuantize, AHalfTransparentGradientKeepsItsAlphaSteps) {
    // Columns of alpha 0, 8, ..., 248, each of two colours that differ by one in red: 63
    // values, 40 entries allowed. Each step of alpha is worth more than the colour's.
    Image image(32, 8, 32);
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 32; ++x) image.at(x, y) = rgba(100 + (y & 1), 50, 200, x * 8);
    }
    bestQuantize(image, wholeImage(image), 40, false);
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 32; ++x) ASSERT_EQ(alphaOf(image.at(x, y)), x * 8) << x << "," << y;
    }
    EXPECT_EQ(image.at(0, 3), 0u);
}

TEST(BestRemap, PartlyTransparentPixelsAreMatchedOnPremultipliedColour) {
    const std::vector<uint32_t> palette = {0, rgba(255, 255, 255, 255), rgba(0, 0, 0, 255),
                                           rgba(128, 128, 128, 128)};
    // White at alpha 2 is nearly nothing: the transparent entry, not opaque white (which
    // has its colour, but straight colour plus alpha would choose it).
    Image image = imageFromRows(4, 1,
                                {rgba(255, 255, 255, 2), rgba(250, 250, 250, 255),
                                 rgba(140, 140, 140, 120), rgba(7, 7, 7, 0)});
    bestRemap(image, palette, false, 0);
    EXPECT_EQ(image,
              imageFromRows(4, 1, {0, rgba(255, 255, 255, 255), rgba(128, 128, 128, 128), 0}));
}

TEST(BestRemap, EveryPixelGetsTheAnswerItWouldGetAlone) {
    // The search starts from the previous pixel's answer and remembers answers; neither may
    // change what it finds.
    const Image source = randomImage(64, 48, 12, 32);
    Image palettePicture = photoLike(64, 48, 5);
    const BestPalette palette = buildBestPalette(buildBestHistogram(palettePicture), 64);
    Image image = source;
    bestRemap(image, palette.colours, false, 0);
    for (int y = 0; y < source.height; y += 3) {
        for (int x = 0; x < source.width; ++x) {
            Image one(1, 1, 32, source.at(x, y));
            bestRemap(one, palette.colours, false, 0);
            ASSERT_EQ(image.at(x, y), one.at(0, 0)) << x << "," << y;
        }
    }
    // An entry itself always maps to itself.
    Image entries(static_cast<int>(palette.colours.size()), 1, 32);
    std::copy(palette.colours.begin(), palette.colours.end(), entries.pixels.begin());
    const Image before = entries;
    bestRemap(entries, palette.colours, false, 0);
    EXPECT_EQ(entries, before);
}

TEST(BestRemap, DitherMixesAFlatColourBetweenEntriesAndLeavesAnExactOneAlone) {
    const std::vector<uint32_t> palette = {rgba(0, 0, 0, 255), rgba(255, 255, 255, 255)};
    Image gray(32, 32, 24, rgba(100, 100, 100, 255));
    Image plain = gray;
    bestRemap(plain, palette, false, 40);
    EXPECT_EQ(valuesOf(plain), std::set<uint32_t>{rgba(0, 0, 0, 255)});
    bestRemap(gray, palette, true, 40);
    int white = 0;
    for (uint32_t p : gray.pixels) white += p == rgba(255, 255, 255, 255);
    // Some of the gray becomes white; with the error faded and clamped, fewer than the
    // 100/255 of an undamped diffusion.
    EXPECT_GT(white, 32 * 32 / 10);
    EXPECT_LT(white, 32 * 32 * 100 / 255);
    Image exact(32, 32, 24, rgba(255, 255, 255, 255));
    const Image before = exact;
    bestRemap(exact, palette, true, 40);
    EXPECT_EQ(exact, before);
}

TEST(BestQuantize, ASelectionIsQuantizedAsAnImageOfItsOwn) {
    const Image source = photoLike(60, 40, 9);
    Image image = source;
    const Rect rect{10, 5, 39, 29};
    bestQuantize(image, rect, 8, true);
    Image part = copyRect(source, rect.left, rect.top, rect.right, rect.bottom);
    bestQuantize(part, wholeImage(part), 8, true);
    for (int y = 0; y < 40; ++y) {
        for (int x = 0; x < 60; ++x) {
            const bool inside = x >= 10 && x <= 39 && y >= 5 && y <= 29;
            ASSERT_EQ(image.at(x, y), inside ? part.at(x - 10, y - 5) : source.at(x, y));
        }
    }
}

class BestThreadsTest : public ::testing::Test {
  protected:
    void TearDown() override { configureThreads(0); }
};

TEST_F(BestThreadsTest, TheResultIsTheSameOnOneTwoAndSevenThreads) {
    // Large enough for several shares of the counting (2^18 pixels each), merged bins, many
    // shares of each pass over them, and two bands of the dither (512 rows each).
    Image source = photoLike(380, 760, 21);
    source.depth = 32;
    for (int x = 0; x < 380; ++x) source.at(x, 0) &= colourMask;
    for (int x = 0; x < 380; x += 2) source.at(x, 1) = (source.at(x, 1) & colourMask) | 0x80000000;
    for (bool dither : {false, true}) {
        Image reference;
        std::vector<uint32_t> referenceUsed;
        for (int threads : {1, 2, 7}) {
            configureThreads(threads, 1);
            Image image = source;
            const std::vector<uint32_t> used = bestQuantize(image, wholeImage(image), 200, dither);
            if (threads == 1) {
                reference = image;
                referenceUsed = used;
            } else {
                EXPECT_EQ(firstDifference(image, reference), "") << threads << " " << dither;
                EXPECT_EQ(used, referenceUsed) << threads;
            }
        }
    }
}

}  // namespace
