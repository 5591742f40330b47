#include "adjust/colour_ops.h"

#include <gtest/gtest.h>

#include "support/test_images.h"

namespace {

TEST(GrayScale, WeightsTwoFourOneOverSeven) {
    Image image = imageFromRows(
        5, 1,
        {rgb(255, 0, 0), rgb(0, 255, 0), rgb(0, 0, 255), rgb(255, 255, 255), rgb(10, 20, 30)});
    grayScalePixels(image, wholeImage(image));
    EXPECT_EQ(image.read(0, 0), rgb(72, 72, 72));     // 510 / 7
    EXPECT_EQ(image.read(1, 0), rgb(145, 145, 145));  // 1020 / 7
    EXPECT_EQ(image.read(2, 0), rgb(36, 36, 36));     // 255 / 7
    EXPECT_EQ(image.read(3, 0), rgb(255, 255, 255));
    EXPECT_EQ(image.read(4, 0), rgb(18, 18, 18));  // (20 + 80 + 30) / 7 = 18.57
}

TEST(Negative, TwiceRestoresAndAlphaIsKept) {
    Image image = randomImage(7, 5, 3);
    Image original = image;
    negativePixels(image, wholeImage(image));
    for (size_t i = 0; i < image.pixels.size(); ++i) {
        uint32_t a = original.pixels[i], b = image.pixels[i];
        ASSERT_EQ(b >> 24, a >> 24);
        ASSERT_EQ(redOf(b), 255 - redOf(a));
        ASSERT_EQ(greenOf(b), 255 - greenOf(a));
        ASSERT_EQ(blueOf(b), 255 - blueOf(a));
    }
    negativePixels(image, wholeImage(image));
    EXPECT_EQ(image, original);
}

TEST(ColourOps, RectangleEdgesIncludedOutsideUntouched) {
    for (auto op : {grayScalePixels, negativePixels}) {
        Image image = randomImage(6, 5, 11);
        for (uint32_t& p : image.pixels) p = (p & colourMask) | 0x80000000;  // alpha 128
        Image original = image;
        Rect r{1, 1, 4, 3};
        op(image, r);
        for (int y = 0; y < 5; ++y) {
            for (int x = 0; x < 6; ++x) {
                bool inside = x >= 1 && x <= 4 && y >= 1 && y <= 3;
                ASSERT_EQ(image.at(x, y) >> 24, 128u);
                if (!inside) {
                    ASSERT_EQ(image.at(x, y), original.at(x, y)) << x << "," << y;
                } else {
                    ASSERT_NE(image.at(x, y), original.at(x, y)) << x << "," << y;
                }
            }
        }
    }
}

}  // namespace
