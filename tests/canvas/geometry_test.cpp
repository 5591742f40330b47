// The pixel work of the Rotate menu, placing a section, and the resize commands, on small
// literal images whose expected pixels were worked out by hand.

#include "canvas/geometry.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/test_images.h"

namespace {

// Pixels named by letter for the rotation examples; alpha differs per pixel so that a
// turn that left alpha behind would show.
constexpr uint32_t a = 0x01000001, b = 0x02000002, c = 0x03000003;
constexpr uint32_t d = 0x04000004, e = 0x05000005, f = 0x06000006;

// A w x 1 (or 1 x h) image of gray levels with opaque alpha.
Image grayRow(const std::vector<int>& levels, bool vertical = false) {
    int n = static_cast<int>(levels.size());
    Image image(vertical ? 1 : n, vertical ? n : 1, 32);
    for (int i = 0; i < n; ++i) image.pixels[i] = rgba(levels[i], levels[i], levels[i], 255);
    return image;
}

std::vector<int> redLevels(const Image& image) {
    std::vector<int> out;
    for (uint32_t p : image.pixels) out.push_back(redOf(p));
    return out;
}

TEST(RotateQuarter, TurnsThreeByTwoBothWays) {
    Image clockwise = imageFromRows(3, 2, {a, b, c, d, e, f});
    ASSERT_TRUE(rotateQuarterPixels(clockwise, true));
    EXPECT_EQ(clockwise, imageFromRows(2, 3, {d, a, e, b, f, c}));

    Image counter = imageFromRows(3, 2, {a, b, c, d, e, f});
    ASSERT_TRUE(rotateQuarterPixels(counter, false));
    EXPECT_EQ(counter, imageFromRows(2, 3, {c, f, b, e, a, d}));

    // The tall image turns back the same way.
    Image tall = imageFromRows(2, 3, {d, a, e, b, f, c});
    ASSERT_TRUE(rotateQuarterPixels(tall, false));
    EXPECT_EQ(tall, imageFromRows(3, 2, {a, b, c, d, e, f}));
}

TEST(RotateQuarter, FourTurnsRestoreEveryShapeAndDepth) {
    const int sizes[][2] = {{1, 1}, {1, 7}, {7, 1}, {4, 4}, {5, 5}, {6, 3}, {3, 8}, {17, 10}};
    for (auto [w, h] : sizes) {
        for (int depth : {24, 32}) {
            const Image original = randomImage(w, h, static_cast<uint32_t>(w * 31 + h), depth);
            for (bool clockwise : {true, false}) {
                Image image = original;
                for (int turn = 0; turn < 4; ++turn) {
                    ASSERT_TRUE(rotateQuarterPixels(image, clockwise));
                    ASSERT_EQ(image.width, turn % 2 == 0 ? h : w);
                    ASSERT_EQ(image.depth, depth);
                }
                EXPECT_EQ(firstDifference(image, original), "") << w << "x" << h;
                // One turn each way is no turn at all.
                image = original;
                rotateQuarterPixels(image, clockwise);
                rotateQuarterPixels(image, !clockwise);
                EXPECT_EQ(firstDifference(image, original), "") << w << "x" << h;
            }
        }
    }
}

TEST(RotateQuarter, OddSquareKeepsItsCentreAndCorners) {
    // 3 x 3: the centre stays; clockwise the left column becomes the top row.
    Image image = imageFromRows(3, 3, {1, 2, 3, 4, 5, 6, 7, 8, 9});
    rotateQuarterPixels(image, true);
    EXPECT_EQ(image, imageFromRows(3, 3, {7, 4, 1, 8, 5, 2, 9, 6, 3}));
}

TEST(RotateQuarter, ASideTooLongForTheSquareStillTurns) {
    // 16385 x 2 would need a square over the image size limit.
    const int w = 16385;
    Image image(w, 2, 32, 0);
    image.at(0, 0) = a;      // top-left
    image.at(w - 1, 0) = b;  // top-right
    image.at(0, 1) = c;      // bottom-left
    Image original = image;
    ASSERT_TRUE(rotateQuarterPixels(image, true));
    ASSERT_EQ(image.width, 2);
    ASSERT_EQ(image.height, w);
    EXPECT_EQ(image.at(1, 0), a);      // top-left went to the top-right
    EXPECT_EQ(image.at(1, w - 1), b);  // top-right went to the bottom-right
    EXPECT_EQ(image.at(0, 0), c);      // bottom-left went to the top-left
    for (int turn = 0; turn < 3; ++turn) rotateQuarterPixels(image, true);
    EXPECT_EQ(firstDifference(image, original), "");
}

TEST(RotateQuarter, RefusesAnEmptyImageOrAnUnknownDepth) {
    Image empty;
    EXPECT_FALSE(rotateQuarterPixels(empty, true));
    Image odd = imageFromRows(2, 1, {a, b});
    odd.depth = 16;
    EXPECT_FALSE(rotateQuarterPixels(odd, true));
    EXPECT_EQ(odd.width, 2);
    EXPECT_EQ(odd.pixels, (PixelBuffer{a, b}));
}

TEST(RotateHalf, MovesColoursButLeavesEachAlphaInPlace) {
    // Colours 1..6, alphas 10..60: the colours turn, the alphas stay.
    Image image = imageFromRows(3, 2,
                                {rgba(1, 0, 0, 10), rgba(2, 0, 0, 20), rgba(3, 0, 0, 30),
                                 rgba(4, 0, 0, 40), rgba(5, 0, 0, 50), rgba(6, 0, 0, 60)});
    rotateHalfPixels(image, wholeImage(image));
    EXPECT_EQ(image, imageFromRows(3, 2,
                                   {rgba(6, 0, 0, 10), rgba(5, 0, 0, 20), rgba(4, 0, 0, 30),
                                    rgba(3, 0, 0, 40), rgba(2, 0, 0, 50), rgba(1, 0, 0, 60)}));
}

TEST(RotateHalf, ReversesTheMiddleRowOfAnOddHeightInsideTheRectangle) {
    // A 4 x 3 rectangle at (1, 1) of a 6 x 5 image; everything else is 0.
    Image image(6, 5, 24, 0);
    int v = 1;
    for (int y = 1; y <= 3; ++y) {
        for (int x = 1; x <= 4; ++x) image.write(x, y, static_cast<uint32_t>(v++));
    }
    rotateHalfPixels(image, Rect{1, 1, 4, 3});
    const uint32_t o = opaqueBlack;
    EXPECT_EQ(image, imageFromRows(6, 5, {o, o,      o,      o,      o,     o,  //
                                          o, o | 12, o | 11, o | 10, o | 9, o,  //
                                          o, o | 8,  o | 7,  o | 6,  o | 5, o,  //
                                          o, o | 4,  o | 3,  o | 2,  o | 1, o,  //
                                          o, o,      o,      o,      o,     o},
                                   24));
}

TEST(FlipAndMirror, MoveWholePixelsAndKeepTheMiddleLine) {
    // 3 x 3 with alpha in every pixel: flip swaps the outer rows, the middle row stays.
    Image flipped = imageFromRows(3, 3, {a, b, c, d, e, f, 7, 8, 9});
    flipPixels(flipped, wholeImage(flipped));
    EXPECT_EQ(flipped, imageFromRows(3, 3, {7, 8, 9, d, e, f, a, b, c}));

    Image mirrored = imageFromRows(3, 2, {a, b, c, d, e, f});
    mirrorPixels(mirrored, wholeImage(mirrored));
    EXPECT_EQ(mirrored, imageFromRows(3, 2, {c, b, a, f, e, d}));

    // Even sizes have no middle line.
    Image evenFlip = imageFromRows(1, 4, {a, b, c, d});
    flipPixels(evenFlip, wholeImage(evenFlip));
    EXPECT_EQ(evenFlip, imageFromRows(1, 4, {d, c, b, a}));
}

TEST(FlipAndMirror, StayInsideTheRectangle) {
    Image image = imageFromRows(4, 3, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12});
    mirrorPixels(image, Rect{1, 0, 3, 1});
    EXPECT_EQ(image, imageFromRows(4, 3, {1, 4, 3, 2, 5, 8, 7, 6, 9, 10, 11, 12}));
    flipPixels(image, Rect{0, 1, 1, 2});
    EXPECT_EQ(image, imageFromRows(4, 3, {1, 4, 3, 2, 9, 10, 7, 6, 5, 8, 11, 12}));
}

TEST(PlaceSection, BlendsOverAnOpaqueImageLikeTheCanvasDoes) {
    Image target = randomImage(5, 4, 3, 24);
    Image section = randomImage(3, 3, 9, 32);
    section.at(0, 0) = rgba(200, 10, 10, 0);    // transparent: leaves the target
    section.at(1, 0) = rgba(200, 10, 10, 255);  // opaque: replaces it
    Image expected = target;
    drawImageBlended(expected, section, 3, 2);  // the toolkit's blend, as the canvas shows it
    placeSection(target, section, 3, 2);        // partly outside: the rest is dropped
    EXPECT_EQ(firstDifference(target, expected), "");
}

TEST(PlaceSection, ShowsThroughWhereTheImageIsTransparent) {
    Image target =
        imageFromRows(3, 1, {rgba(0, 0, 255, 0), rgba(0, 0, 255, 128), rgba(0, 0, 255, 128)});
    Image section =
        imageFromRows(3, 1, {rgba(255, 0, 0, 128), rgba(255, 0, 0, 128), rgba(255, 0, 0, 255)});
    placeSection(target, section, 0, 0);
    // Over nothing: the section itself. Half over half: alpha 128 + 128 * 127 / 255 =
    // 191.75, red 255 * 255 / (255 + 127) = 170.2, blue 255 * 127 / 382 = 84.8.
    EXPECT_EQ(target.at(0, 0), rgba(255, 0, 0, 128));
    EXPECT_EQ(target.at(1, 0), rgba(170, 0, 85, 192));
    EXPECT_EQ(target.at(2, 0), rgba(255, 0, 0, 255));
}

TEST(ResizeSizes, TypedSidesAreClamped) {
    EXPECT_EQ(clampResizeSide(10), 16);
    EXPECT_EQ(clampResizeSide(5000), 4096);
    EXPECT_EQ(clampResizeSide(0), 16);
    EXPECT_EQ(clampResizeSide(300), 300);
    // A canvas never shrinks and does not grow past 4096...
    EXPECT_EQ(clampCanvasSide(50, 100), 100);
    EXPECT_EQ(clampCanvasSide(151, 100), 151);
    EXPECT_EQ(clampCanvasSide(9000, 100), 4096);
    // ...and a side already past 4096 is kept, not cut.
    EXPECT_EQ(clampCanvasSide(4096, 5000), 5000);
    EXPECT_EQ(clampCanvasSide(0, 5000), 5000);
}

TEST(ResizeSizes, ResizeImageKeepsTheRatioWhenItClampsAndLeavesAnUnchangedSizeAlone) {
    // A photograph wider than 4096, the fields unchanged: nothing to do.
    EXPECT_EQ(resizeImageSize(4272, 2848, true, 4272, 2848), (ResizeSize{4272, 2848}));
    EXPECT_EQ(resizeImageSize(4272, 2848, false, 4272, 2848), (ResizeSize{4272, 2848}));
    // Typed larger with keep aspect: one factor for both sides, 2848 * 4096 / 4272 = 2730.7.
    EXPECT_EQ(resizeImageSize(8544, 5696, true, 4272, 2848), (ResizeSize{4096, 2731}));
    EXPECT_EQ(resizeImageSize(3000, 4500, true, 800, 1200), (ResizeSize{2731, 4096}));
    // Without keep aspect each side on its own, as typed.
    EXPECT_EQ(resizeImageSize(8544, 5696, false, 4272, 2848), (ResizeSize{4096, 4096}));
    // Too small with keep aspect: raised together, 30 * 16 / 8 = 60.
    EXPECT_EQ(resizeImageSize(30, 8, true, 300, 80), (ResizeSize{60, 16}));
    EXPECT_EQ(resizeImageSize(30, 8, false, 300, 80), (ResizeSize{30, 16}));
    // Sides too far apart for one factor: each is clamped on its own.
    EXPECT_EQ(resizeImageSize(5000, 10, true, 500, 1), (ResizeSize{4096, 16}));
    // An emptied field counts as 0 and is raised to 16, ratio or not.
    EXPECT_EQ(resizeImageSize(0, 300, true, 400, 300), (ResizeSize{16, 300}));
    // In range: as typed.
    EXPECT_EQ(resizeImageSize(400, 300, true, 800, 600), (ResizeSize{400, 300}));
}

TEST(ResizeSizes, KeepAspectRoundsToTheNearestWithHalvesToEven) {
    float ratio = aspectRatio(800, 600);  // 0.75
    EXPECT_EQ(heightForWidth(400, ratio), 300);
    EXPECT_EQ(widthForHeight(301, ratio), 401);  // 401.33
    EXPECT_EQ(widthForHeight(0, ratio), 0);
    float half = aspectRatio(10, 5);                     // 0.5
    EXPECT_EQ(heightForWidth(5, half), 2);               // 2.5
    EXPECT_EQ(heightForWidth(7, half), 4);               // 3.5
    EXPECT_EQ(widthForHeight(3, aspectRatio(4, 8)), 2);  // 1.5
}

TEST(Resample, EnlargingAStepFollowsTheMitchellWeights) {
    // [0, 255] to 4 pixels. Output centres 0.25, 0.75, 1.25, 1.75 against source centres
    // 0.5 and 1.5; k(0.25) = 0.78212, k(0.75) = 0.25608, k(1.25) = -0.02344. Normalised:
    // pixel 1 is 255 * 0.25608 / 1.03819 = 62.9, pixel 0 is 255 * -0.02344 / 0.75868,
    // below 0.
    EXPECT_EQ(redLevels(resampleMitchell(grayRow({0, 255}), 4, 1)),
              (std::vector<int>{0, 63, 192, 255}));
}

TEST(Resample, ShrinkingWidensTheKernel) {
    // [0, 0, 255, 255] to 2 pixels: the kernel is twice as wide, so the first output
    // (centre 1.0) reads all four pixels at distances 0.25, 0.25, 0.75, 1.25 of the
    // widened kernel: 255 * (0.25608 - 0.02344) / 1.79688 = 33.01.
    EXPECT_EQ(redLevels(resampleMitchell(grayRow({0, 0, 255, 255}), 2, 1)),
              (std::vector<int>{33, 222}));
    // To 3 pixels the middle one lies exactly between the two levels, and halves go up:
    // 126.5 gives 127 and 2.5 gives 3.
    EXPECT_EQ(redLevels(resampleMitchell(grayRow({0, 0, 253, 253}), 3, 1)),
              (std::vector<int>{0, 127, 255}));
    EXPECT_EQ(redLevels(resampleMitchell(grayRow({0, 0, 5, 5}), 3, 1)),
              (std::vector<int>{0, 3, 5}));
}

TEST(Resample, BothPassesAndAllFourChannels) {
    // Four identical rows shrink to the same two values per row; the same image turned
    // on its side gives the same values down its columns. Alpha is resampled too.
    Image rows(4, 4, 32);
    Image columns(4, 4, 32);
    const int levels[] = {0, 0, 255, 255};
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 4; ++x) {
            rows.at(x, y) = rgba(levels[x], 0, 255 - levels[x], levels[x]);
            columns.at(x, y) = rgba(levels[y], 0, 255 - levels[y], levels[y]);
        }
    }
    Image small = resampleMitchell(rows, 2, 2);
    EXPECT_EQ(small, imageFromRows(2, 2,
                                   {rgba(33, 0, 222, 33), rgba(222, 0, 33, 222),
                                    rgba(33, 0, 222, 33), rgba(222, 0, 33, 222)}));
    Image smallColumns = resampleMitchell(columns, 2, 2);
    EXPECT_EQ(smallColumns, imageFromRows(2, 2,
                                          {rgba(33, 0, 222, 33), rgba(33, 0, 222, 33),
                                           rgba(222, 0, 33, 222), rgba(222, 0, 33, 222)}));
}

TEST(Resample, AFlatImageStaysFlatAtAnySize) {
    const uint32_t colour = rgba(17, 128, 254, 99);
    Image flat(37, 23, 32, colour);
    const int sizes[][2] = {{16, 16}, {100, 7}, {37, 4096}, {1, 1}, {18, 23}, {37, 11}};
    for (auto [w, h] : sizes) {
        Image out = resampleMitchell(flat, w, h);
        ASSERT_EQ(out.width, w);
        ASSERT_EQ(out.height, h);
        EXPECT_EQ(out, Image(w, h, 32, colour)) << w << "x" << h;
    }
    Image opaque(40, 30, 24, rgb(3, 200, 90));
    Image out = resampleMitchell(opaque, 333, 17);
    EXPECT_EQ(out.depth, 24);
    EXPECT_EQ(out, Image(333, 17, 24, rgb(3, 200, 90)));
}

TEST(Resample, AnUnchangedSideIsCopied) {
    Image image = randomImage(9, 6, 4);
    EXPECT_EQ(resampleMitchell(image, 9, 6), image);
    // Only the width changes: every column of a one-row image is what the row gives alone.
    Image rows = resampleMitchell(image, 5, 6);
    for (int y = 0; y < 6; ++y) {
        Image line = copyRect(image, 0, y, 8, y);
        EXPECT_EQ(copyRect(rows, 0, y, 4, y), resampleMitchell(line, 5, 1)) << y;
    }
}

TEST(ResizeCanvas, AnchorsPlaceThePictureInReadingOrder) {
    // 100 x 50 to 151 x 50: centre puts it at x = 51 / 2 = 25, bottom-right at 51.
    EXPECT_EQ(anchorOffset(5, 100, 50, 151, 50).x, 25);
    EXPECT_EQ(anchorOffset(5, 100, 50, 151, 50).y, 0);
    EXPECT_EQ(anchorOffset(9, 100, 50, 151, 50).x, 51);
    // 2 x 2 to 5 x 4: columns 0, 1, 3 and rows 0, 1, 2.
    const int expected[9][2] = {{0, 0}, {1, 0}, {3, 0}, {0, 1}, {1, 1},
                                {3, 1}, {0, 2}, {1, 2}, {3, 2}};
    for (int p = 1; p <= 9; ++p) {
        AnchorOffset at = anchorOffset(p, 2, 2, 5, 4);
        EXPECT_EQ(at.x, expected[p - 1][0]) << p;
        EXPECT_EQ(at.y, expected[p - 1][1]) << p;
    }
}

TEST(ResizeCanvas, FillsWithAnOpaqueBackgroundAndKeepsThePicturesAlpha) {
    Image picture = imageFromRows(2, 1, {rgba(1, 2, 3, 0), rgba(4, 5, 6, 255)});
    Image out = extendCanvas(picture, 4, 2, 6, rgb(9, 8, 7));  // middle-right
    const uint32_t bg = rgba(9, 8, 7, 255);
    EXPECT_EQ(out.depth, 32);
    EXPECT_EQ(out, imageFromRows(4, 2,
                                 {bg, bg, rgba(1, 2, 3, 0), rgba(4, 5, 6, 255),  //
                                  bg, bg, bg, bg}));
}

}  // namespace
