#include <gtest/gtest.h>

#include <set>

#include "quantize/nibble_key.h"
#include "quantize/palettes.h"
#include "support/test_images.h"
#include "toolkit/parallel.h"

namespace {

TEST(CountUniqueColours, CountsTwentyFourBitColoursOnly) {
    EXPECT_EQ(countUniqueColours(Image(1, 1, 32, rgba(1, 2, 3, 4))), 1);
    // Alpha is ignored: these are one colour.
    Image image = imageFromRows(3, 1, {rgba(9, 9, 9, 0), rgba(9, 9, 9, 255), rgba(0, 0, 0, 7)});
    EXPECT_EQ(countUniqueColours(image), 2);
    // The extreme colours sit in the first and last byte of the bit set.
    Image extremes = imageFromRows(2, 2, {0xFFFFFF, 0, 0xFFFFFF, 0xFFFFFE});
    EXPECT_EQ(countUniqueColours(extremes), 3);
}

TEST(CountUniqueColours, EveryColourOnce) {
    Image image(4096, 4096, 32);
    for (size_t i = 0; i < image.pixels.size(); ++i) {
        image.pixels[i] = static_cast<uint32_t>(i) | (static_cast<uint32_t>(i & 1) << 31);
    }
    EXPECT_EQ(countUniqueColours(image), 16777216);
}

TEST(CountUniqueColours, InARectangleCountsOnlyItsPixels) {
    // 3 x 3 with the rectangle (1, 1)..(2, 2) holding two colours; the others lie outside.
    Image image = imageFromRows(3, 3, {1, 2, 3, 4, 5, 5, 6, rgba(5, 0, 0, 9), 7});
    // Each row its own share of the work, too: a colour met by two threads counts once.
    for (int threads : {1, 2, 7}) {
        configureThreads(threads, 1);
        EXPECT_EQ(countUniqueColours(image, Rect{1, 1, 2, 2}), 2) << threads;
        EXPECT_EQ(countUniqueColours(image, Rect{0, 0, 2, 2}), 7) << threads;
        // Clipped to the image; nothing when they do not meet.
        EXPECT_EQ(countUniqueColours(image, Rect{2, 2, 9, 9}), 1) << threads;
        EXPECT_EQ(countUniqueColours(image, Rect{5, 5, 9, 9}), 0) << threads;
    }
    configureThreads(0);
}

TEST(DistinctColours, FirstAppearanceWithoutAlpha) {
    Image image = imageFromRows(
        3, 2, {rgba(5, 5, 5, 9), rgba(1, 1, 1, 0), rgba(5, 5, 5, 200), rgb(2, 2, 2), 0, 0});
    std::vector<uint32_t> want = {rgb(5, 5, 5), rgb(1, 1, 1), rgb(2, 2, 2), 0};
    EXPECT_EQ(distinctColours(image), want);
}

TEST(DistinctColours, StopsAfterTheFiveHundredThirteenthColour) {
    Image image(40, 20, 32);  // 800 distinct colours
    for (size_t i = 0; i < image.pixels.size(); ++i) image.pixels[i] = static_cast<uint32_t>(i * 7);
    std::vector<uint32_t> colours = distinctColours(image);
    ASSERT_EQ(colours.size(), 513u);
    EXPECT_EQ(colours.front(), 0u);
    EXPECT_EQ(colours.back(), 512u * 7);
    // Exactly 513 colours: all kept, none lost.
    image.pixels.resize(513);
    image.width = 513;
    image.height = 1;
    EXPECT_EQ(distinctColours(image).size(), 513u);
}

TEST(ExtractPalette, CopiesToCurrentPaletteOnlyWithoutSelection) {
    resetPalettes();
    EXPECT_EQ(currentPalette, std::vector<uint32_t>{0});
    EXPECT_EQ(extractedPalette, std::vector<uint32_t>{0});
    Image image = imageFromRows(2, 1, {rgb(1, 2, 3), rgba(1, 2, 3, 0)});
    extractPalette(image, false);
    EXPECT_EQ(extractedPalette, std::vector<uint32_t>{rgb(1, 2, 3)});
    EXPECT_EQ(currentPalette, extractedPalette);

    Image selected = imageFromRows(2, 1, {rgb(7, 7, 7), rgb(8, 8, 8)});
    extractPalette(selected, true);
    std::set<uint32_t> got(extractedPalette.begin(), extractedPalette.end());
    EXPECT_EQ(got, (std::set<uint32_t>{rgb(7, 7, 7), rgb(8, 8, 8)}));
    EXPECT_EQ(currentPalette, std::vector<uint32_t>{rgb(1, 2, 3)});
    resetPalettes();
}

// The key of a posterized colour: each channel's top nibble in its own four bits, so that
// colours differing in one channel never share a table entry.
TEST(NibbleKey, EachChannelKeepsItsOwnNibble) {
    EXPECT_EQ(nibbleKey(0xF0A050), 0xFA5);  // red F, green A, blue 5
    EXPECT_EQ(nibbleKey(0xFFAF5F), 0xFA5);  // the low bits do not count
    EXPECT_EQ(nibbleKey(0xFF000000), 0);    // nor does alpha
    EXPECT_EQ(nibbleKey(0x0000F0), 0x00F);
    EXPECT_EQ(nibbleKey(0x00F000), 0x0F0);
    EXPECT_EQ(nibbleKey(0xF00000), 0xF00);
    EXPECT_EQ(nibbleKey(0xFFFFFF), nibbleKeyCount - 1);
    EXPECT_EQ(colourOfNibbleKey(0xFA5), 0xFFAF5Fu);
    EXPECT_EQ(colourOfNibbleKey(0), 0x0F0F0Fu);
}

TEST(NibbleKey, EveryKeyNamesOneColourAndComesBackFromIt) {
    std::set<uint32_t> colours;
    for (int key = 0; key < nibbleKeyCount; ++key) {
        const uint32_t colour = colourOfNibbleKey(key);
        EXPECT_EQ(colour & 0x0F0F0F, 0x0F0F0Fu) << key;
        EXPECT_EQ(nibbleKey(colour), key);
        colours.insert(colour);
    }
    EXPECT_EQ(colours.size(), 4096u);
}

}  // namespace
