// Drawing a picture on a background in one pass gives what filling the background and
// blending the picture over it gives.

#include <gtest/gtest.h>

#include "support/test_images.h"
#include "toolkit/image.h"

namespace {

TEST(DrawOnBackground, MatchesFillThenBlendWhereverThePictureLies) {
    const uint32_t background = 0xFF404040;
    for (int depth : {24, 32}) {
        Image picture = randomImage(13, 9, 4, depth);
        if (depth == 32) {
            // Fully transparent, half and fully opaque pixels all occur.
            picture.at(0, 0) &= colourMask;
            picture.at(1, 0) = (picture.at(1, 0) & colourMask) | 0x80000000u;
            picture.at(2, 0) |= alphaMask;
        }
        for (auto [x, y] : {std::pair{3, 2}, std::pair{-4, -3}, std::pair{15, 8}, std::pair{20, 0},
                            std::pair{0, -9}, std::pair{-2, 5}}) {
            Image expected(20, 12, 24, 0x123456);
            fillBox(expected, 0, 0, expected.width, expected.height, background);
            drawImageBlended(expected, picture, x, y);
            Image actual(20, 12, 24, 0x123456);
            drawImageOnBackground(actual, picture, x, y, background);
            EXPECT_EQ(firstDifference(actual, expected), "")
                << "depth " << depth << " at " << x << "," << y;
        }
    }
}

}  // namespace
