// The operations that share rows or columns among threads give the same bytes with one
// thread, two or seven, on odd sizes and with a selection.

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "adjust/blur.h"
#include "adjust/brightness.h"
#include "adjust/colour_ops.h"
#include "support/test_images.h"
#include "toolkit/parallel.h"

namespace {

using Operation = std::function<void(Image&, const Rect&)>;

class ThreadCountTest : public ::testing::Test {
  protected:
    void TearDown() override { configureThreads(0); }

    // Runs `op` with 1, 2 and 7 threads, every share as small as one row, and expects
    // identical images; returns the one-thread result.
    Image sameForEveryThreadCount(const Image& input, const Rect& rect, const Operation& op) {
        Image reference;
        for (int threads : {1, 2, 7}) {
            configureThreads(threads, 1);
            Image image = input;
            op(image, rect);
            if (threads == 1) {
                reference = image;
            } else {
                EXPECT_EQ(firstDifference(image, reference), "") << threads << " threads";
            }
        }
        return reference;
    }

    // Odd sizes, a selection that touches neither edge, and the whole image.
    void checkEverywhere(const std::string& name, const Operation& op) {
        for (auto [w, h] : {std::pair{37, 23}, std::pair{5, 61}, std::pair{129, 3}}) {
            Image input = randomImage(w, h, static_cast<uint32_t>(w * h), 32);
            SCOPED_TRACE(name + " " + std::to_string(w) + "x" + std::to_string(h));
            Image whole = sameForEveryThreadCount(input, wholeImage(input), op);
            EXPECT_NE(whole, input);
            Rect inside{1, 1, w - 2, h - 2};
            Image part = sameForEveryThreadCount(input, inside, op);
            for (int x = 0; x < w; ++x) {
                EXPECT_EQ(part.at(x, 0), input.at(x, 0));
                EXPECT_EQ(part.at(x, h - 1), input.at(x, h - 1));
            }
        }
    }
};

TEST_F(ThreadCountTest, GrayAndNegativeMatchTheirOwnFormulas) {
    Image input = randomImage(41, 19, 8, 32);
    Rect r{2, 3, 39, 17};
    Image gray = sameForEveryThreadCount(input, r, grayScalePixels);
    Image negative = sameForEveryThreadCount(input, r, negativePixels);
    for (int y = 0; y < input.height; ++y) {
        for (int x = 0; x < input.width; ++x) {
            const uint32_t c = input.at(x, y);
            const bool inside = x >= r.left && x <= r.right && y >= r.top && y <= r.bottom;
            const int v = (2 * redOf(c) + 4 * greenOf(c) + blueOf(c)) / 7;
            ASSERT_EQ(gray.at(x, y), inside ? rgba(v, v, v, alphaOf(c)) : c) << x << "," << y;
            ASSERT_EQ(
                negative.at(x, y),
                inside ? rgba(255 - redOf(c), 255 - greenOf(c), 255 - blueOf(c), alphaOf(c)) : c)
                << x << "," << y;
        }
    }
}

TEST_F(ThreadCountTest, BrightnessAndContrast) {
    BrightnessSettings ratio;
    ratio.amount = 37;
    BrightnessSettings wrap;
    wrap.amount = -50;
    wrap.limitOption = LimitOption::Wrap;
    wrap.ratioMode = false;
    checkEverywhere("brightness ratio",
                    [&](Image& i, const Rect& r) { applyBrightness(i, r, ratio); });
    checkEverywhere("brightness wrap",
                    [&](Image& i, const Rect& r) { applyBrightness(i, r, wrap); });
    checkEverywhere("contrast", [](Image& i, const Rect& r) { applyContrast(i, r, 45); });
}

TEST_F(ThreadCountTest, BothBlurPasses) {
    checkEverywhere("blur", [](Image& i, const Rect& r) { blurRect(i, r); });
    // One round of the raw buffer filter too (rows, then columns), at heights around the
    // filter's shortest line.
    for (int h : {2, 3, 4, 40}) {
        Image input = randomImage(31, h, static_cast<uint32_t>(h), 32);
        Image out = sameForEveryThreadCount(input, wholeImage(input), [](Image& i, const Rect&) {
            blurBuffer(i.pixels.data(), i.width, i.height);
        });
        EXPECT_NE(out, input) << h;
    }
}

}  // namespace
