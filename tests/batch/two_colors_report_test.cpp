// pixova-batch --two-colors and --report.

#include <gtest/gtest.h>

#include <sstream>

#include "batch/batch.h"
#include "quantize/error_figure.h"
#include "quantize/quantize.h"
#include "quantize/two_colors.h"
#include "support/batch_run.h"
#include "support/test_images.h"
#include "toolkit/codecs/codec.h"

namespace {

class TwoColorsReportTest : public BatchFilesTest {
  protected:
    TwoColorsReportTest() : BatchFilesTest(randomImage(40, 30, 31, 24)) {}
};

TEST_F(TwoColorsReportTest, TwoColorsTakesTheSliderValueADitherAndTwoColours) {
    BatchRun r = batch({dir + "in.png", "--two-colors", "100", dir + "a.png"});
    ASSERT_EQ(r.code, batchOk) << r.err;
    Image expected = input;
    // Slider 100 is threshold 156; black and white by default.
    twoColors(expected, wholeImage(expected), 156, TwoColorsDither::None, 0x000000, 0xFFFFFF);
    EXPECT_EQ(read("a.png"), expected);

    r = batch({dir + "in.png", "--select", "5,4,30,20", "--two-colors", "128,sierra,FF0000,0080FF",
               dir + "b.png"});
    ASSERT_EQ(r.code, batchOk) << r.err;
    expected = input;
    twoColors(expected, Rect{5, 4, 30, 20}, 128, TwoColorsDither::SierraLite, rgb(255, 0, 0),
              rgb(0, 128, 255));
    EXPECT_EQ(read("b.png"), expected);

    // Colours without a dither name; the dither without colours.
    r = batch({dir + "in.png", "--two-colors", "0,00ff00,000080", dir + "c.png"});
    ASSERT_EQ(r.code, batchOk) << r.err;
    expected = input;
    twoColors(expected, wholeImage(expected), 256, TwoColorsDither::None, rgb(0, 255, 0),
              rgb(0, 0, 128));
    EXPECT_EQ(read("c.png"), expected);
    r = batch({dir + "in.png", "--two-colors", "128,ordered", dir + "d.png"});
    ASSERT_EQ(r.code, batchOk) << r.err;
    expected = input;
    twoColors(expected, wholeImage(expected), 128, TwoColorsDither::Ordered, 0, 0xFFFFFF);
    EXPECT_EQ(read("d.png"), expected);
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

    r = batch({dir + "in.png", "--quantize", "cga16", "--dither", "--report", "--select", "0,0,9,9",
               "--report"});
    ASSERT_EQ(r.code, batchOk) << r.err;
    Image expected = input;
    runQuantizeStyle(expected, wholeImage(expected), styleCga, 0, true);
    EXPECT_EQ(r.out, errorFigureText(measureError(input, expected)) + "\n" +
                         errorFigureText(measureError(input, expected, Rect{0, 0, 9, 9})) + "\n");
    EXPECT_NE(r.out.find("PSNR"), std::string::npos);
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
