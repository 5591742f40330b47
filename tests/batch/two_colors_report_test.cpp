// pixova-batch --two-colors and --report.

#include <gtest/gtest.h>

#include <sstream>

#include "batch/batch.h"
#include "support/batch_run.h"
#include "support/test_images.h"
#include "toolkit/codecs/codec.h"

namespace {

class TwoColorsReportTest : public BatchFilesTest {
  protected:
    TwoColorsReportTest() : BatchFilesTest(randomImage(40, 30, 31, 24)) {}
};

// Greys, whose level is their value, about the thresholds 128 and 156.
Image greys() {
    auto grey = [](int v) { return rgb(v, v, v); };
    return imageFromRows(4, 3,
                         {grey(0), grey(128), grey(128), grey(156), grey(157), grey(128), grey(128),
                          grey(127), grey(155), grey(129), grey(50), grey(255)},
                         24);
}

class TwoColorsBatchTest : public BatchFilesTest {
  protected:
    TwoColorsBatchTest() : BatchFilesTest(greys()) {}
};

TEST_F(TwoColorsBatchTest, TwoColorsTakesTheSliderValueADitherAndTwoColours) {
    constexpr uint32_t black = 0x000000, white = 0xFFFFFF;
    BatchRun r = batch({dir + "in.png", "--two-colors", "100", dir + "a.png"});
    ASSERT_EQ(r.code, batchOk) << r.err;
    // Slider 100 is threshold 156; black and white by default.
    EXPECT_EQ(twoColourPattern(read("a.png"), black, white), "1112/2111/1112");

    // Sierra Lite within the selection only, starting afresh at its corner: 128 there is
    // colour 2 and sends -127 / 4 = -32 on, so the next 128 is colour 1, and so on.
    r = batch({dir + "in.png", "--select", "1,0,2,1", "--two-colors", "128,sierra,FF0000,0080FF",
               dir + "b.png"});
    ASSERT_EQ(r.code, batchOk) << r.err;
    const Image b = read("b.png");
    EXPECT_EQ(twoColourPattern(b, rgb(255, 0, 0), rgb(0, 128, 255)), ".21./.12./....");
    EXPECT_EQ(b.at(0, 0) & colourMask, 0u);
    EXPECT_EQ(b.at(3, 1) & colourMask, rgb(127, 127, 127));

    // Colours without a dither name: slider 0 is threshold 256, everything colour 1.
    r = batch({dir + "in.png", "--two-colors", "0,00ff00,000080", dir + "c.png"});
    ASSERT_EQ(r.code, batchOk) << r.err;
    EXPECT_EQ(twoColourPattern(read("c.png"), rgb(0, 255, 0), rgb(0, 0, 128)), "1111/1111/1111");
    // The dither without colours: each grey plus its 4 x 4 ordered offset against 128.
    r = batch({dir + "in.png", "--two-colors", "128,ordered", dir + "d.png"});
    ASSERT_EQ(r.code, batchOk) << r.err;
    EXPECT_EQ(twoColourPattern(read("d.png"), black, white), "1212/2121/2212");
}

TEST_F(TwoColorsReportTest, BadTwoColorsValuesAreUsageErrors) {
    for (const char* value : {"257", "-1", "x", "128,floyd", "128,FF0000", "128,none,FF0000",
                              "128,GG0000,000000", "128,FF00000,000000", "128,FF0000,000000,1"}) {
        BatchRun r = batch({dir + "in.png", "--two-colors", value, dir + "out.png"});
        EXPECT_EQ(r.code, batchUsageError) << value;
        EXPECT_NE(r.err.find("--two-colors"), std::string::npos) << r.err;
    }
}

TEST_F(TwoColorsReportTest, ReportComparesTheImageAsItStandsWithTheInput) {
    BatchRun r = batch({dir + "in.png", "--report"});
    ASSERT_EQ(r.code, batchOk) << r.err;
    EXPECT_EQ(r.out, std::to_string(40 * 30) + " colors | PSNR exact | mean dE 0.0\n");

    // Black and white on the left, each a little off them on the right: CGA with Dither
    // changes only the right half. The squared errors, 3 x (125 + 150) over 36 channel
    // values, give 10 log10(255^2 / 22.9) = 34.5 dB; the left half alone is exact.
    const uint32_t k = rgb(0, 0, 0) | alphaMask, w = rgb(255, 255, 255) | alphaMask;
    const uint32_t nearK = rgb(10, 5, 0) | alphaMask, nearW = rgb(250, 250, 245) | alphaMask;
    Image halves(4, 3, 24);
    for (int y = 0; y < 3; ++y) {
        halves.at(0, y) = k;
        halves.at(1, y) = w;
        halves.at(2, y) = nearK;
        halves.at(3, y) = nearW;
    }
    ASSERT_EQ(writeImageFile(halves, dir + "halves.png", ImageFormat::Png), "");
    r = batch({dir + "halves.png", "--quantize", "cga16", "--dither", "--report", "--select",
               "0,0,1,2", "--report"});
    ASSERT_EQ(r.code, batchOk) << r.err;
    EXPECT_EQ(r.out.rfind("2 colors | PSNR 34.5 dB | mean dE ", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("\n2 colors | PSNR exact | mean dE 0.0\n"), std::string::npos) << r.out;
    // A quarter turn leaves nothing to compare pixel by pixel.
    r = batch({dir + "in.png", "--rotate", "right", "--report"});
    ASSERT_EQ(r.code, batchOk) << r.err;
    EXPECT_EQ(r.out,
              std::to_string(40 * 30) + " colors | not comparable: 40 x 30 then, 30 x 40 now\n");
    // A change that --report reads is not lost.
    r = batch({dir + "in.png", "--two-colors", "128", "--report"});
    EXPECT_EQ(r.code, batchOk) << r.err;
    EXPECT_EQ(r.out.rfind("2 colors | PSNR ", 0), 0u) << r.out;
}

}  // namespace
