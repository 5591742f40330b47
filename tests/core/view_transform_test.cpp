// The mapping between canvas points and image pixels at any zoom, the zoom ladder and the
// fit, and drawing through the mapping: nearest neighbour at 100 % and above, box means
// below, only the columns asked for.

#include "core/view_transform.h"

#include <gtest/gtest.h>

#include <random>

#include "support/test_images.h"

namespace {

// A 400 x 300 picture on an 800 x 450 canvas, as on the minimum view.
ViewTransform view(Zoom zoom, int panX = 0, int panY = 0) {
    ViewTransform t;
    t.canvasW = 800;
    t.canvasH = 450;
    t.imageW = 400;
    t.imageH = 300;
    t.zoom = zoom;
    t.panX = panX;
    t.panY = panY;
    return t;
}

TEST(ViewTransform, AtActualPixelsACanvasPixelIsAnImagePixel) {
    const ViewTransform t = view(actualPixels);
    EXPECT_EQ(t.drawnW(), 400);
    EXPECT_EQ(t.drawnH(), 300);
    EXPECT_EQ(t.originX(), 200);
    EXPECT_EQ(t.originY(), 75);
    EXPECT_EQ(t.imageX(200), 0);
    EXPECT_EQ(t.imageX(599), 399);
    EXPECT_EQ(t.imageX(199), -1);  // off the picture: not clipped
    EXPECT_EQ(t.imageY(374), 299);
    EXPECT_EQ(t.canvasX(0), 200);
    EXPECT_EQ(t.canvasY(300), 375);
    EXPECT_EQ(t.imageRect(Rect{210, 85, 220, 90}), (Rect{10, 10, 20, 15}));
    EXPECT_EQ(t.canvasRect(Rect{10, 10, 20, 15}), (Rect{210, 85, 220, 90}));
    EXPECT_EQ(t.extent(), (Rect{200, 75, 599, 374}));
}

TEST(ViewTransform, AtEightTimesEachImagePixelIsAnEightPixelBlock) {
    const ViewTransform t = view(Zoom{8, 1});
    EXPECT_EQ(t.drawnW(), 3200);
    EXPECT_EQ(t.drawnH(), 2400);
    EXPECT_EQ(t.originX(), -1200);
    EXPECT_EQ(t.originY(), -975);
    // Canvas columns 0..7 show image column 150, 8..15 column 151.
    EXPECT_EQ(t.imageX(0), 150);
    EXPECT_EQ(t.imageX(7), 150);
    EXPECT_EQ(t.imageX(8), 151);
    EXPECT_EQ(t.imageY(0), 121);  // -975 + 121 * 8 = -7: row 121 covers canvas rows -7..0
    EXPECT_EQ(t.imageY(1), 122);
    EXPECT_EQ(t.canvasX(150), 0);
    EXPECT_EQ(t.canvasY(122), 1);
    EXPECT_EQ(t.canvasRect(Rect{150, 122, 151, 122}), (Rect{0, 1, 15, 8}));
    // A canvas rectangle ending inside a block takes the whole pixel.
    EXPECT_EQ(t.imageRect(Rect{3, 2, 9, 8}), (Rect{150, 122, 151, 122}));
    EXPECT_EQ(t.extent(), (Rect{0, 0, 799, 449}));
}

TEST(ViewTransform, AtAQuarterEachCanvasPixelShowsAFourByFourBox) {
    const ViewTransform t = view(Zoom{1, 4});
    EXPECT_EQ(t.drawnW(), 100);
    EXPECT_EQ(t.drawnH(), 75);
    EXPECT_EQ(t.originX(), 350);
    EXPECT_EQ(t.originY(), 187);
    EXPECT_EQ(t.firstImageX(350), 0);
    EXPECT_EQ(t.endImageX(350), 4);
    EXPECT_EQ(t.firstImageX(449), 396);
    EXPECT_EQ(t.endImageX(449), 400);
    EXPECT_EQ(t.imageX(350), 2);  // the pixel under the canvas pixel's centre
    EXPECT_EQ(t.canvasX(7), 351);
    EXPECT_EQ(t.imageRect(Rect{351, 188, 352, 188}), (Rect{4, 4, 11, 7}));
    EXPECT_EQ(t.canvasRect(Rect{4, 4, 11, 7}), (Rect{351, 188, 352, 188}));
    // An image rectangle off the box edges is shown by the boxes holding its edge pixels.
    EXPECT_EQ(t.canvasRect(Rect{5, 6, 9, 6}), (Rect{351, 188, 352, 188}));
    EXPECT_EQ(t.extent(), (Rect{350, 187, 449, 261}));
}

TEST(ViewTransform, PannedViewsStopAtTheirEdges) {
    // 3000 x 200 at 100 %: the picture slides between corner x -2200 and 0, and inside the
    // canvas vertically.
    ViewTransform wide = view(actualPixels);
    wide.imageW = 3000;
    wide.imageH = 200;
    ViewTransform right = pannedBy(wide, -100000, 100000);
    EXPECT_EQ(right.originX(), -2200);
    EXPECT_EQ(right.originY(), 250);
    EXPECT_EQ(right.imageX(799), 2999);
    EXPECT_EQ(right.imageY(449), 199);
    ViewTransform left = pannedBy(wide, 100000, -100000);
    EXPECT_EQ(left.originX(), 0);
    EXPECT_EQ(left.originY(), 0);
    EXPECT_EQ(left.imageX(0), 0);

    // At 8 times the last canvas columns show the picture's last column.
    ViewTransform zoomed = pannedBy(view(Zoom{8, 1}), -100000, -100000);
    EXPECT_EQ(zoomed.originX(), 800 - 3200);
    EXPECT_EQ(zoomed.imageX(799), 399);
    EXPECT_EQ(zoomed.imageX(792), 399);
    EXPECT_EQ(zoomed.imageX(791), 398);
    EXPECT_EQ(zoomed.imageY(449), 299);
    EXPECT_EQ(zoomed.extent(), (Rect{0, 0, 799, 449}));
}

TEST(ViewTransform, EnlargedRectanglesComeBackAsTheyWere) {
    std::mt19937 rng(7);
    for (int zoom : {1, 2, 3, 8, 32}) {
        for (int pan : {0, -13, 101}) {
            const ViewTransform t = panLimited(view(Zoom{zoom, 1}, pan, -pan));
            for (int i = 0; i < 200; ++i) {
                int l = static_cast<int>(rng() % 400), r = l + static_cast<int>(rng() % 30);
                int top = static_cast<int>(rng() % 300), b = top + static_cast<int>(rng() % 30);
                const Rect image{l, top, r, b};
                EXPECT_EQ(t.imageRect(t.canvasRect(image)), image) << zoom << " " << pan;
            }
        }
    }
}

TEST(ViewTransform, BelowActualPixelsTheBoxesTileTheImage) {
    // The fit of a 4272 x 2848 photograph into a 1920-pixel canvas, and the ladder's steps.
    for (Zoom zoom : {Zoom{1920, 4272}, Zoom{2, 3}, Zoom{1, 3}, Zoom{1, 16}}) {
        ViewTransform t;
        t.canvasW = 1920;
        t.canvasH = 1000;
        t.imageW = 4272;
        t.imageH = 2848;
        t.zoom = zoom;
        const Rect e = t.extent();
        int next = 0;
        for (int c = t.originX(); c < t.originX() + t.drawnW(); ++c) {
            ASSERT_EQ(t.firstImageX(c), next) << c;
            ASSERT_LT(t.firstImageX(c), 4272) << c;  // no box lies wholly off the picture
            ASSERT_GT(t.endImageX(c), t.firstImageX(c)) << c;
            ASSERT_LE(t.imageX(c), t.endImageX(c) - 1);
            ASSERT_GE(t.imageX(c), t.firstImageX(c));
            next = t.endImageX(c);
        }
        EXPECT_GE(next, 4272) << zoom.num << "/" << zoom.den;
        // A canvas rectangle survives the round trip through the image.
        const Rect c{e.left + 3, e.top + 2, e.left + 40, e.top + 9};
        EXPECT_EQ(t.canvasRect(t.imageRect(c)), c);
    }
}

TEST(ZoomLadder, StepsRunFromOneSixteenthToThirtyTwo) {
    EXPECT_EQ(zoomStep(actualPixels, 1), (Zoom{2, 1}));
    EXPECT_EQ(zoomStep(actualPixels, -1), (Zoom{2, 3}));
    EXPECT_EQ(zoomStep(Zoom{8, 1}, 1), (Zoom{12, 1}));
    // From between two steps (a fit) to the nearer one on either side.
    EXPECT_EQ(zoomStep(Zoom{1920, 4272}, 1), (Zoom{1, 2}));
    EXPECT_EQ(zoomStep(Zoom{1920, 4272}, -1), (Zoom{1, 3}));
    EXPECT_EQ(zoomStep(largestZoom, 1), (Zoom{32, 1}));
    EXPECT_EQ(zoomStep(smallestZoom, -1), (Zoom{1, 16}));
    Zoom z = smallestZoom;
    int steps = 0;
    while (zoomBelow(z, largestZoom)) {
        Zoom up = zoomStep(z, 1);
        ASSERT_TRUE(zoomBelow(z, up));
        EXPECT_EQ(zoomStep(up, -1), z);
        z = up;
        ++steps;
    }
    EXPECT_EQ(steps, 17);
}

TEST(ZoomLadder, FitShowsTheWholeImage) {
    // The photograph's height decides on a 1920 x 1000 canvas: 1000 / 2848 = 125 / 356.
    Zoom photo = fitZoom(4272, 2848, 1920, 1000);
    EXPECT_EQ(photo, (Zoom{125, 356}));
    ViewTransform t;
    t.canvasW = 1920;
    t.canvasH = 1000;
    t.imageW = 4272;
    t.imageH = 2848;
    t.zoom = photo;
    EXPECT_EQ(t.drawnH(), 1000);
    EXPECT_LE(t.drawnW(), 1920);
    // A sprite is enlarged by a whole factor only; a huge image stops at 1/16.
    EXPECT_EQ(fitZoom(32, 32, 800, 450), (Zoom{14, 1}));
    EXPECT_EQ(fitZoom(2, 2, 800, 450), (Zoom{32, 1}));
    EXPECT_EQ(fitZoom(800, 450, 800, 450), actualPixels);
    EXPECT_EQ(fitZoom(16384, 16384, 800, 450), smallestZoom);
}

TEST(ZoomLadder, Texts) {
    EXPECT_EQ(zoomText(Zoom{8, 1}), "800%");
    EXPECT_EQ(zoomText(Zoom{1, 3}), "33.3%");
    EXPECT_EQ(zoomText(Zoom{2, 3}), "66.7%");
    EXPECT_EQ(zoomText(Zoom{1, 16}), "6.3%");
    EXPECT_EQ(zoomText(Zoom{1, 4}), "25%");
}

TEST(ViewTransform, ZoomingAboutAPointKeepsItsPixelUnderIt) {
    const ViewTransform t = view(actualPixels);
    // Canvas (300, 125) shows image pixel (100, 50).
    ASSERT_EQ(t.imageX(300), 100);
    ASSERT_EQ(t.imageY(125), 50);
    for (Zoom z : {Zoom{8, 1}, Zoom{32, 1}, Zoom{4, 1}}) {
        const ViewTransform zoomed = zoomedAbout(t, z, 300, 125);
        EXPECT_EQ(zoomed.imageX(300), 100) << z.num;
        EXPECT_EQ(zoomed.imageY(125), 50) << z.num;
    }
    // At 2 times the picture is exactly as wide as the canvas and cannot move sideways, and
    // its top cannot come down past the canvas's: the limits win over the pointer.
    const ViewTransform twice = zoomedAbout(t, Zoom{2, 1}, 300, 125);
    EXPECT_EQ(twice.originX(), 0);
    EXPECT_EQ(twice.originY(), 0);
    EXPECT_EQ(twice.imageX(300), 150);
    // Zoomed out, the whole picture fits: the pan keeps it inside the canvas.
    const ViewTransform out = zoomedAbout(zoomedAbout(t, Zoom{8, 1}, 0, 0), Zoom{1, 4}, 799, 449);
    EXPECT_GE(out.originX(), 0);
    EXPECT_LE(out.originX() + out.drawnW(), 800);
}

// ---- Drawing ----

constexpr uint32_t grey = 0xFF404040;

TEST(DrawThroughView, EnlargedPixelsAreHardBlocks) {
    Image sprite(2, 2, 24);
    sprite.at(0, 0) = 0xFF0000FF;
    sprite.at(1, 0) = 0xFF00FF00;
    sprite.at(0, 1) = 0xFFFF0000;
    sprite.at(1, 1) = 0xFFFFFFFF;
    ViewTransform t;
    t.canvasW = 20;
    t.canvasH = 20;
    t.imageW = 2;
    t.imageH = 2;
    t.zoom = Zoom{8, 1};  // drawn 16 x 16 at (2, 2)
    Image canvas(20, 20, 24, 0);
    ViewDraw how;
    how.background = grey;
    drawThroughView(canvas, sprite, t, how);
    for (int y = 0; y < 20; ++y) {
        for (int x = 0; x < 20; ++x) {
            uint32_t want = grey;
            if (x >= 2 && x < 18 && y >= 2 && y < 18) {
                want = sprite.at((x - 2) / 8, (y - 2) / 8) | alphaMask;
            }
            ASSERT_EQ(canvas.at(x, y), want) << x << "," << y;
        }
    }
}

TEST(DrawThroughView, ReducedPixelsAreTheMeanOfTheirBox) {
    // At a half each canvas pixel shows a 2 x 2 box: red 0, 10, 20, 30 give 15.
    Image image(4, 2, 24);
    const int reds[2][4] = {{0, 10, 100, 100}, {20, 30, 100, 101}};
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 4; ++x) image.at(x, y) = rgba(reds[y][x], 40, 200, 255);
    }
    ViewTransform t;
    t.canvasW = 2;
    t.canvasH = 1;
    t.imageW = 4;
    t.imageH = 2;
    t.zoom = Zoom{1, 2};
    Image canvas(2, 1, 24, 0);
    drawThroughView(canvas, image, t, ViewDraw{});
    EXPECT_EQ(canvas.at(0, 0), rgba(15, 40, 200, 255));
    EXPECT_EQ(canvas.at(1, 0), rgba(100, 40, 200, 255));  // 100.25 rounds down
    // The largest boxes, 16 x 16 at 1/16, of the brightest colour stay that colour.
    Image white(32, 16, 24, 0xFFFFFFFF);
    ViewTransform sixteenth = t;
    sixteenth.canvasW = 2;
    sixteenth.imageW = 32;
    sixteenth.imageH = 16;
    sixteenth.zoom = smallestZoom;
    Image small(2, 1, 24, 0);
    drawThroughView(small, white, sixteenth, ViewDraw{});
    EXPECT_EQ(small.at(0, 0), 0xFFFFFFFFu);
    EXPECT_EQ(small.at(1, 0), 0xFFFFFFFFu);
    // Transparent pixels weigh nothing: a box half transparent shows its opaque half's
    // colour at half strength over the background.
    Image half(2, 2, 32);
    half.at(0, 0) = half.at(0, 1) = rgba(200, 0, 0, 255);
    half.at(1, 0) = half.at(1, 1) = rgba(0, 0, 200, 0);
    t.imageW = 2;
    Image onBlack(1, 1, 24, 0xFF000000);
    t.canvasW = 1;
    ViewDraw how;
    how.background = 0xFF000000;
    drawThroughView(onBlack, half, t, how);
    EXPECT_EQ(onBlack.at(0, 0), rgba(100, 0, 0, 255));
}

TEST(DrawThroughView, OnlyTheColumnsAskedForAndBlendedOverWhatIsThere) {
    Image image = randomImage(10, 10, 3, 24);
    ViewTransform t;
    t.canvasW = 10;
    t.canvasH = 10;
    t.imageW = 10;
    t.imageH = 10;
    t.zoom = Zoom{2, 1};
    Image canvas(10, 10, 24, 0xFF123456);
    ViewDraw how;
    how.clipLeft = 4;
    how.clipRight = 6;
    drawThroughView(canvas, image, t, how);
    for (int y = 0; y < 10; ++y) {
        for (int x = 0; x < 10; ++x) {
            // Origin -5: canvas x shows image column (x + 5) / 2.
            uint32_t want =
                x >= 4 && x < 6 ? image.at((x + 5) / 2, (y + 5) / 2) | alphaMask : 0xFF123456;
            ASSERT_EQ(canvas.at(x, y), want) << x << "," << y;
        }
    }
    // A section at image pixel (6, 6): blended where it lies, the rest left alone.
    Image section(2, 2, 32, rgba(0, 0, 0, 0));
    section.at(0, 0) = rgba(9, 9, 9, 255);
    Image over(10, 10, 24, 0xFF654321);
    ViewDraw blended;
    blended.blended = true;
    blended.sourceX = 6;
    blended.sourceY = 6;
    drawThroughView(over, section, t, blended);
    for (int y = 0; y < 10; ++y) {
        for (int x = 0; x < 10; ++x) {
            bool onPixel = x >= 7 && x < 9 && y >= 7 && y < 9;  // canvas of image (6, 6)
            ASSERT_EQ(over.at(x, y), onPixel ? rgba(9, 9, 9, 255) : 0xFF654321u) << x << "," << y;
        }
    }
}

}  // namespace
