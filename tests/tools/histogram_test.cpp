// The histogram's counts, maxima and averages, and the graph, strip, title and label drawn
// from them, against values worked out by hand.

#include "tools/histogram.h"

#include <gtest/gtest.h>

#include "support/test_images.h"

namespace {

constexpr uint32_t white = 0xFFFFFF;
constexpr uint32_t blue = 0xFF0000;
constexpr uint32_t magenta = 0xFF00FF;

uint32_t at(const Image& image, int x, int y) {
    return image.at(x, y) & colourMask;
}

HistogramOptions noExEx() {
    HistogramOptions o;
    o.excludeExtremes = false;
    return o;
}

Image blackAndWhite() {
    return imageFromRows(2, 1, {rgb(0, 0, 0), rgb(255, 255, 255)});
}

TEST(Histogram, CountsAllPixelsAndAveragesRoundDown) {
    Image image = imageFromRows(3, 1, {rgba(0, 1, 2, 0), rgb(1, 2, 4), rgb(1, 2, 4)});
    HistogramData d = computeHistogram(image, false);
    EXPECT_EQ(d.redCount[0], 1);
    EXPECT_EQ(d.redCount[1], 2);
    EXPECT_EQ(d.greenCount[2], 2);
    EXPECT_EQ(d.blueCount[4], 2);
    EXPECT_EQ(d.avgRed, 0);    // 2 / 3
    EXPECT_EQ(d.avgGreen, 1);  // 5 / 3
    EXPECT_EQ(d.avgBlue, 3);   // 10 / 3
    EXPECT_EQ(d.maxRed, 2);
    EXPECT_EQ(d.maxBlue, 2);
}

TEST(Histogram, ExExLeavesTheFiveEndValuesOutOfTheMaximaOnly) {
    // 97 black pixels, one of 100 and two of 200 in every channel.
    Image image(10, 10, 24, opaqueBlack);
    image.write(4, 4, rgb(100, 100, 100));
    image.write(5, 5, rgb(200, 200, 200));
    image.write(6, 6, rgb(200, 200, 200));
    HistogramData with = computeHistogram(image, true);
    HistogramData without = computeHistogram(image, false);
    EXPECT_EQ(with.maxGreen, 2);
    EXPECT_EQ(without.maxGreen, 97);
    EXPECT_EQ(with.greenCount[0], 97);
    EXPECT_EQ(with.avgGreen, without.avgGreen);
    EXPECT_EQ(with.avgGreen, 5);  // 500 / 100

    HistogramOptions o;
    o.averageLines = false;
    HistogramView ex = renderHistogram(image, o);
    // Scale 128 / 2: the 200 bar fills the graph, the 100 bar reaches row 127 - 64, and
    // the black bar is cut at the top edge.
    EXPECT_EQ(at(ex.graph, 200, 0), white);
    EXPECT_EQ(at(ex.graph, 100, 63), white);
    EXPECT_EQ(at(ex.graph, 100, 62), 0u);
    EXPECT_EQ(at(ex.graph, 0, 0), white);
    // Without ExEx the black border flattens the rest: 127 - 128 / 97 rounds to 126.
    o.excludeExtremes = false;
    HistogramView flat = renderHistogram(image, o);
    EXPECT_EQ(at(flat.graph, 100, 126), white);
    EXPECT_EQ(at(flat.graph, 100, 125), 0u);
    EXPECT_EQ(at(flat.graph, 200, 124), white);
    EXPECT_EQ(at(flat.graph, 200, 123), 0u);
}

TEST(Histogram, BarTopsRoundHalvesToEvenAndStopAtTheTop) {
    EXPECT_EQ(histogramBarTop(1, 256), 126);  // 126.5
    EXPECT_EQ(histogramBarTop(3, 256), 126);  // 125.5
    EXPECT_EQ(histogramBarTop(0, 256), 127);
    EXPECT_EQ(histogramBarTop(256, 256), 0);  // -1, cut
    EXPECT_EQ(histogramBarTop(int64_t{1} << 40, 1), 0);
    EXPECT_EQ(histogramBarTop(5, 0), 127);  // no scale: the base line only
}

TEST(Histogram, BlackAndWhitePairWithoutExEx) {
    HistogramView v = renderHistogram(blackAndWhite(), noExEx());
    EXPECT_EQ(v.data.maxRed, 1);
    EXPECT_EQ(v.title, "Histogram | RGB Average = (127, 127, 127)");
    EXPECT_EQ(v.labelText, "RGB Ratio = (0.333, 0.333, 0.333)");
    EXPECT_EQ(v.averageColour, rgb(127, 127, 127));
    EXPECT_EQ(v.labelTextColour, white);  // (2 + 4 + 1) * 127 / 7 = 127 is dark
    ASSERT_EQ(v.graph.width, 256);
    ASSERT_EQ(v.graph.height, 128);
    for (int y = 0; y < 128; ++y) {
        for (int x = 0; x < 256; ++x) {
            uint32_t expected = 0;
            if (x == 0 || x == 255 || y == 127) expected = white;  // three channels xor'ed
            if (x == 127) expected = blue;  // the average lines, blue drawn last
            ASSERT_EQ(at(v.graph, x, y), expected) << x << "," << y;
        }
    }
    // The strip carries the dots at average + 10, blue on top.
    ASSERT_EQ(v.strip.width, 266);
    ASSERT_EQ(v.strip.height, 10);
    EXPECT_EQ(at(v.strip, 137, 5), blue);
    EXPECT_EQ(at(v.strip, 137, 2), blue);
    EXPECT_EQ(at(v.strip, 139, 7), blue);
    EXPECT_EQ(at(v.strip, 140, 6), rgb(127, 127, 127));
    EXPECT_EQ(at(v.strip, 137, 1), rgb(127, 127, 127));
    EXPECT_EQ(at(v.strip, 0, 0), rgb(127, 127, 127));
}

TEST(Histogram, AnUncheckedChannelLeavesGraphColourTitleAndRatio) {
    HistogramOptions o = noExEx();
    o.green = false;
    HistogramView v = renderHistogram(blackAndWhite(), o);
    EXPECT_EQ(at(v.graph, 0, 0), magenta);
    EXPECT_EQ(at(v.graph, 50, 127), magenta);
    EXPECT_EQ(at(v.graph, 127, 0), blue);
    EXPECT_EQ(v.averageColour, rgb(127, 0, 127));
    EXPECT_EQ(v.title, "Histogram | RGB Average = (127, 0, 127)");
    EXPECT_EQ(v.labelText, "RGB Ratio = (0.500, 0.000, 0.500)");
    EXPECT_EQ(v.data.avgGreen, 0);
    EXPECT_EQ(v.data.avgRed, 127);
}

TEST(Histogram, AllChannelsUncheckedDrawNothing) {
    HistogramOptions o = noExEx();
    o.red = o.green = o.blue = false;
    HistogramView v = renderHistogram(blackAndWhite(), o);
    for (uint32_t p : v.graph.pixels) ASSERT_EQ(p & colourMask, 0u);
    for (uint32_t p : v.strip.pixels) ASSERT_EQ(p & colourMask, 0u);
    EXPECT_EQ(v.labelText, "RGB Ratio = (0.000, 0.000, 0.000)");
    EXPECT_EQ(v.title, "Histogram | RGB Average = (0, 0, 0)");
    EXPECT_EQ(v.averageColour, 0u);
}

TEST(Histogram, WithEveryMaximumZeroOnlyTheBaseLineIsDrawn) {
    // Black and white only, so ExEx finds nothing inside 5..250.
    HistogramOptions o;
    o.averageLines = false;
    HistogramView v = renderHistogram(blackAndWhite(), o);
    for (int y = 0; y < 128; ++y) {
        for (int x = 0; x < 256; ++x) {
            ASSERT_EQ(at(v.graph, x, y), y == 127 ? white : 0u) << x << "," << y;
        }
    }
}

TEST(Histogram, LightAveragesGetBlackLabelText) {
    HistogramView v = renderHistogram(imageFromRows(1, 1, {rgb(128, 128, 128)}), {});
    EXPECT_EQ(v.labelTextColour, 0u);
    EXPECT_EQ(v.title, "Histogram | RGB Average = (128, 128, 128)");
    // Red alone at 128 is dark: 2 * 128 / 7 = 36.
    HistogramOptions o;
    o.green = o.blue = false;
    EXPECT_EQ(renderHistogram(imageFromRows(1, 1, {rgb(128, 128, 128)}), o).labelTextColour, white);
}

}  // namespace
