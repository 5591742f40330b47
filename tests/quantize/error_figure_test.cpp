// The error figure: PSNR and mean Delta E against hand-computed values and against a slow
// version that computes CIELAB in doubles with pow and cube roots.

#include "quantize/error_figure.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "quantize/palettes.h"
#include "support/test_images.h"
#include "toolkit/parallel.h"

namespace {

// Mean Delta E of the whole images straight from the colour science, pixel by pixel.
double literalMeanDeltaE(const Image& a, const Image& b) {
    double sum = 0;
    for (size_t i = 0; i < a.pixels.size(); ++i) {
        const LabColour p = labOf(a.pixels[i]), q = labOf(b.pixels[i]);
        sum += std::sqrt((p.l - q.l) * (p.l - q.l) + (p.a - q.a) * (p.a - q.a) +
                         (p.b - q.b) * (p.b - q.b));
    }
    return sum / static_cast<double>(a.pixels.size());
}

TEST(Lab, PrimariesHaveTheirPublishedValues) {
    const LabColour red = labOf(rgb(255, 0, 0));
    EXPECT_NEAR(red.l, 53.24, 0.01);
    EXPECT_NEAR(red.a, 80.09, 0.01);
    EXPECT_NEAR(red.b, 67.20, 0.01);
    const LabColour blue = labOf(rgb(0, 0, 255));
    EXPECT_NEAR(blue.l, 32.30, 0.01);
    EXPECT_NEAR(blue.a, 79.19, 0.01);
    EXPECT_NEAR(blue.b, -107.86, 0.01);
    const LabColour white = labOf(rgb(255, 255, 255));
    EXPECT_NEAR(white.l, 100.0, 1e-4);
    EXPECT_NEAR(white.a, 0.0, 1e-3);
    EXPECT_NEAR(white.b, 0.0, 1e-3);
}

TEST(ErrorFigure, AnImageAgainstItselfIsExact) {
    Image image = randomImage(31, 9, 3);
    const ErrorFigure f = measureError(image, image);
    EXPECT_TRUE(f.exact());
    EXPECT_TRUE(std::isinf(f.psnr));
    EXPECT_EQ(f.meanDeltaE, 0.0);
    EXPECT_EQ(f.pixels, 31 * 9);
    EXPECT_EQ(f.colours, countUniqueColours(image));
    EXPECT_EQ(errorFigureText(f), std::to_string(f.colours) + " colors | PSNR exact | mean dE 0.0");
    // Alpha is ignored.
    Image faded = image;
    for (uint32_t& p : faded.pixels) p &= colourMask;
    EXPECT_TRUE(measureError(image, faded).exact());
}

TEST(ErrorFigure, OneChangedPixelGivesTheHandComputedFigures) {
    // Red 0 -> 10 in one of two pixels: MSE = 10^2 / (3 * 2) = 16.67, PSNR = 10 log10(255^2 /
    // 16.67) = 35.91 dB. Red 10 is linear 10 / 255 / 12.92 = 0.003035; X / Xn = 0.001317,
    // Y = 0.000645, Z / Zn = 0.0000538, all on the straight part (kappa / 116 = 7.787):
    // L = 0.583, a = 500 * 7.787 * 0.000672 = 2.615, b = 200 * 7.787 * 0.000592 = 0.921,
    // Delta E = 2.833 and the mean over two pixels 1.417.
    Image before = imageFromRows(2, 1, {rgb(0, 0, 0), rgb(40, 50, 60)});
    Image after = imageFromRows(2, 1, {rgb(10, 0, 0), rgb(40, 50, 60)});
    const ErrorFigure f = measureError(before, after);
    EXPECT_FALSE(f.exact());
    EXPECT_NEAR(f.meanSquaredError, 100.0 / 6.0, 1e-9);
    EXPECT_NEAR(f.psnr, 35.912, 0.001);
    EXPECT_NEAR(f.meanDeltaE, 1.417, 0.002);
    EXPECT_EQ(errorFigureText(f), "2 colors | PSNR 35.9 dB | mean dE 1.4");

    // Black against white: PSNR 0 dB, Delta E 100.
    const ErrorFigure bw =
        measureError(imageFromRows(1, 1, {rgb(0, 0, 0)}), imageFromRows(1, 1, {0xFFFFFF}));
    EXPECT_NEAR(bw.psnr, 0.0, 1e-9);
    EXPECT_NEAR(bw.meanDeltaE, 100.0, 0.01);
    EXPECT_EQ(errorFigureText(bw), "1 color | PSNR 0.0 dB | mean dE 100.0");
}

TEST(ErrorFigure, TheTablesAgreeWithTheColourScience) {
    // Colours all over the cube, many of them near black where the curve bends most.
    for (uint32_t seed : {1u, 2u, 3u}) {
        Image a = randomImage(64, 48, seed, 24);
        Image b = randomImage(64, 48, seed + 100, 24);
        if (seed == 3) {
            for (uint32_t& p : a.pixels) p = (p & 0xFF1F1F1F);
            for (uint32_t& p : b.pixels) p = (p & 0xFF0F0F0F);
        }
        const ErrorFigure f = measureError(a, b);
        EXPECT_NEAR(f.meanDeltaE, literalMeanDeltaE(a, b), 0.005) << seed;
    }
}

TEST(ErrorFigure, TheFigureDoesNotDependOnTheThreads) {
    Image source = randomImage(37, 29, 21, 24);
    Image result = source;
    for (size_t i = 0; i < result.pixels.size(); i += 3) result.pixels[i] &= 0xFFE0E0E0;
    const Rect rect{2, 3, 33, 27};
    configureThreads(1, 1);
    const ErrorFigure one = measureError(source, result, rect);
    for (int threads : {2, 7}) {
        configureThreads(threads, 1);
        const ErrorFigure many = measureError(source, result, rect);
        EXPECT_EQ(many.colours, one.colours) << threads;
        EXPECT_EQ(many.meanSquaredError, one.meanSquaredError) << threads;
        EXPECT_NEAR(many.meanDeltaE, one.meanDeltaE, 1e-9) << threads;
    }
    configureThreads(0);
    const Image area = copyRect(result, rect.left, rect.top, rect.right, rect.bottom);
    EXPECT_EQ(one.colours, countUniqueColours(area));
    EXPECT_NEAR(one.meanDeltaE, literalMeanDeltaE(copyRect(source, 2, 3, 33, 27), area), 0.005);
}

TEST(ErrorFigure, OnlyTheRectangleCounts) {
    Image before = randomImage(20, 10, 7);
    Image after = before;
    after.at(0, 0) ^= 0x00FF00;  // outside the rectangle
    const Rect rect{5, 2, 14, 7};
    EXPECT_TRUE(measureError(before, after, rect).exact());
    after.at(5, 2) ^= 0x000040;
    const ErrorFigure f = measureError(before, after, rect);
    EXPECT_EQ(f.pixels, 10 * 6);
    EXPECT_NEAR(f.meanSquaredError, 64.0 * 64.0 / (3.0 * 60.0), 1e-9);
    // Different sizes cannot be compared.
    EXPECT_EQ(measureError(before, randomImage(10, 10, 7)).pixels, 0);
    ErrorFigure none;
    none.colours = 3;
    EXPECT_EQ(errorFigureText(none), "3 colors");
}

TEST(BlurredDeltaE, DotsMergeInLinearLight) {
    // A black and white checkerboard blurred by sigma 1 is linear 0.5 to within 0.02%
    // everywhere (each tap's sign alternates): L* 76.07, which sRGB 188 nearly is (L*
    // 76.25), and 22.48 brighter than sRGB 128 (L* 53.59), a mean of the two in gamma.
    Image checker(40, 40, 24);
    for (int y = 0; y < 40; ++y) {
        for (int x = 0; x < 40; ++x) checker.at(x, y) = (x + y) % 2 ? 0xFFFFFFFF : opaqueBlack;
    }
    EXPECT_NEAR(blurredDeltaE(checker, Image(40, 40, 24, rgba(188, 188, 188, 255))), 0.18, 0.03);
    EXPECT_NEAR(blurredDeltaE(checker, Image(40, 40, 24, rgba(128, 128, 128, 255))), 22.48, 0.05);
    // Without the blur the checkerboard is 50 from that gray everywhere.
    EXPECT_NEAR(measureError(checker, Image(40, 40, 24, rgba(188, 188, 188, 255))).meanDeltaE, 50.0,
                1.0);
    EXPECT_EQ(blurredDeltaE(checker, checker), 0.0);
    EXPECT_EQ(blurredDeltaE(checker, Image(40, 41, 24)), 0.0);
}

TEST(BlurredDeltaE, FlatAreasMeasureAsTheyDoSharp) {
    // Blurring a flat image changes nothing, so two flat images are as far apart blurred as
    // sharp, for colours all over the cube.
    for (uint32_t seed : {3u, 4u, 5u, 6u}) {
        const uint32_t p = randomImage(1, 1, seed, 24).pixels[0];
        const uint32_t q = randomImage(1, 1, seed + 50, 24).pixels[0];
        const Image a(12, 9, 24, p), b(12, 9, 24, q);
        EXPECT_NEAR(blurredDeltaE(a, b), measureError(a, b).meanDeltaE, 0.02) << seed;
    }
}

TEST(BlurredDeltaE, TheFigureDoesNotDependOnTheThreads) {
    const Image a = randomImage(90, 150, 5, 24);  // three bands of 64 rows
    Image b = a;
    for (size_t i = 0; i < b.pixels.size(); i += 2) b.pixels[i] &= 0xFFF0F0F0;
    configureThreads(1, 1);
    const double one = blurredDeltaE(a, b), onePsnr = premultipliedPsnr(a, b);
    for (int threads : {2, 7}) {
        configureThreads(threads, 1);
        EXPECT_EQ(blurredDeltaE(a, b), one) << threads;
        EXPECT_EQ(premultipliedPsnr(a, b), onePsnr) << threads;
    }
    configureThreads(0);
}

TEST(PremultipliedPsnr, HandComputedAndBlindToHiddenColours) {
    // Red at alpha 255 against red at alpha 128: premultiplied red 255 against 128 and alpha
    // 255 against 128, two errors of 127 among eight channels: MSE 4032.25, 12.08 dB.
    const Image a = imageFromRows(2, 1, {rgba(255, 0, 0, 255), rgba(9, 9, 9, 0)});
    const Image b = imageFromRows(2, 1, {rgba(255, 0, 0, 128), rgba(200, 1, 70, 0)});
    EXPECT_NEAR(premultipliedPsnr(a, b), 12.075, 0.001);
    // Fully transparent pixels of any colour are equal.
    EXPECT_TRUE(std::isinf(premultipliedPsnr(imageFromRows(1, 1, {rgba(9, 9, 9, 0)}),
                                             imageFromRows(1, 1, {rgba(200, 1, 70, 0)}))));
    // A 24-bit image is opaque.
    EXPECT_TRUE(std::isinf(premultipliedPsnr(imageFromRows(1, 1, {rgba(1, 2, 3, 255)}),
                                             imageFromRows(1, 1, {rgb(1, 2, 3)}, 24))));
}

}  // namespace
