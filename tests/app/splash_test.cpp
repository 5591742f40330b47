#include <gtest/gtest.h>

#include "app/main_window.h"
#include "core/state.h"
#include "support/app_fixture.h"
#include "toolkit/image_store.h"

namespace {

uint32_t colourAt(const Image& image, int x, int y) {
    return image.at(x, y) & colourMask;
}

TEST(Splash, BackgroundPixelsFollowTheFormula) {
    Image image(800, 450, 32, opaqueBlack);
    drawSplashBackground(image);
    // (0,0): a = 85, b = 0 -> bytes 85, 85, 85, alpha 168 -> 85 * 168 / 255 = 56.
    EXPECT_EQ(colourAt(image, 0, 0), rgb(56, 56, 56));
    // (1,0): b = 1 -> red byte 84 -> 55.
    EXPECT_EQ(colourAt(image, 1, 0), rgb(55, 56, 56));
    // (2,0): b = 3 -> bytes 86, 87, 87 -> 56, 57, 57.
    EXPECT_EQ(colourAt(image, 2, 0), rgb(56, 57, 57));
    // (10,10): b has run up to 1023, a = 117: the low 32 bits are 0xAC03028A, whose red
    // byte carries from a ^ b = 906 -> 138, 2, 3 at alpha 172 -> 93, 1, 2.
    EXPECT_EQ(colourAt(image, 10, 10), rgb(93, 1, 2));
    for (uint32_t p : image.pixels) ASSERT_EQ(p & alphaMask, alphaMask);
}

TEST(Splash, TextPlacementRule) {
    // 225 - 1.5 * th, halves to even.
    EXPECT_EQ(splashFirstLineTop(450, 53), 146);  // 145.5
    EXPECT_EQ(splashFirstLineTop(450, 51), 148);  // 148.5
    EXPECT_EQ(splashFirstLineTop(450, 54), 144);
    EXPECT_EQ(splashLineLeft(800, 301), 249);
    EXPECT_EQ(splashLineLeft(800, 300), 250);
}

class SplashWindow : public AppTest {};

TEST_F(SplashWindow, SplashShowsTheTextAndItsShadow) {
    Image* view = findImage(viewImage);
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->width, 800);
    EXPECT_EQ(view->height, 450);
    EXPECT_EQ(view->depth, 32);
    int text = 0, shadow = 0;
    int firstTextRow = -1;
    for (int y = 0; y < view->height; ++y) {
        for (int x = 0; x < view->width; ++x) {
            uint32_t c = colourAt(*view, x, y);
            if (c == 0xff3f) {
                ++text;
                if (firstTextRow < 0) firstTextRow = y;
            }
            if (c == 0x1f2d1d) ++shadow;
        }
    }
    EXPECT_GT(text, 1000);
    EXPECT_GT(shadow, 200);
    // Glyphs start a little below the line's top, never above it.
    int th = 0;
    ASSERT_TRUE(loadFont(99, "Arial", 36, fontBold | fontItalic));
    th = textHeight(99, "Ag");
    freeFont(99);
    EXPECT_GE(firstTextRow, splashFirstLineTop(450, th));
    EXPECT_LT(firstTextRow, splashFirstLineTop(450, th) + th);
}

}  // namespace
