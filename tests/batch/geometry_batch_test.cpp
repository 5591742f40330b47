// pixova-batch's geometry options: --rotate, --flip, --mirror, --resize, --canvas, --crop.

#include <gtest/gtest.h>

#include <sstream>

#include "batch/batch.h"
#include "support/test_images.h"
#include "toolkit/codecs/codec.h"

namespace {

constexpr uint32_t a = 0xFF000001, b = 0xFF000002, c = 0xFF000003;
constexpr uint32_t d = 0xFF000004, e = 0xFF000005, f = 0xFF000006;

class GeometryBatchTest : public ::testing::Test {
  protected:
    void SetUp() override { dir = makeTempDir(); }

    // Writes `image` as in.png and runs the options on it into out.png, replacing the one
    // an earlier run wrote; the exit code.
    int run(const Image& image, std::vector<std::string> options) {
        EXPECT_EQ(writeImageFile(image, dir + "in.png", ImageFormat::Png), "");
        std::vector<std::string> args{dir + "in.png", "--force"};
        args.insert(args.end(), options.begin(), options.end());
        args.push_back(dir + "out.png");
        std::ostringstream out, err;
        int code = runBatch(args, out, err);
        errors = err.str();
        return code;
    }
    Image result() {
        DecodeResult r = readImageFile(dir + "out.png");
        EXPECT_TRUE(r.ok()) << r.error;
        return r.image;
    }

    std::string dir;
    std::string errors;
};

TEST_F(GeometryBatchTest, RotateRightThenLeftGivesBackTheInputBitForBit) {
    Image photo = randomImage(37, 23, 41, 32);
    ASSERT_EQ(run(photo, {"--rotate", "right", "--rotate", "left"}), batchOk) << errors;
    EXPECT_EQ(result(), photo);
}

TEST_F(GeometryBatchTest, QuarterTurnsTurnTheWholeImageAndDropTheRectangle) {
    Image image = imageFromRows(3, 2, {a, b, c, d, e, f}, 24);
    ASSERT_EQ(run(image, {"--select", "0,0,0,0", "--rotate", "right"}), batchOk) << errors;
    EXPECT_EQ(result(), imageFromRows(2, 3, {d, a, e, b, f, c}, 24));
    // The negative after the turn covers the whole turned image.
    ASSERT_EQ(run(image, {"--select", "0,0,0,0", "--rotate", "left", "--negative"}), batchOk);
    Image expected = imageFromRows(2, 3, {c, f, b, e, a, d}, 24);
    for (uint32_t& p : expected.pixels) p ^= colourMask;
    EXPECT_EQ(result(), expected);
}

TEST_F(GeometryBatchTest, HalfTurnFlipAndMirrorKeepToTheRectangle) {
    Image image = imageFromRows(3, 2, {a, b, c, d, e, f}, 24);
    ASSERT_EQ(run(image, {"--rotate", "180"}), batchOk) << errors;
    EXPECT_EQ(result(), imageFromRows(3, 2, {f, e, d, c, b, a}, 24));
    ASSERT_EQ(run(image, {"--flip"}), batchOk);
    EXPECT_EQ(result(), imageFromRows(3, 2, {d, e, f, a, b, c}, 24));
    ASSERT_EQ(run(image, {"--select", "1,0,2,1", "--mirror"}), batchOk);
    EXPECT_EQ(result(), imageFromRows(3, 2, {a, c, b, d, f, e}, 24));
}

TEST_F(GeometryBatchTest, ResizeTakesTheDialogsLimitsAndRefusesWhatLiesOutside) {
    ASSERT_EQ(run(Image(8, 6, 24, rgb(9, 99, 199)), {"--resize", "16x4096"}), batchOk) << errors;
    // A flat picture stays flat at any size.
    EXPECT_EQ(result(), Image(16, 4096, 24, rgb(9, 99, 199)));
    // Outside the range nothing is brought into it behind the user's back.
    for (const char* size : {"10x50", "50x4097"}) {
        EXPECT_EQ(run(Image(8, 6, 24), {"--resize", size}), batchUsageError) << size;
        EXPECT_NE(errors.find(std::string("--resize ") + size + ": each side takes 16 to 4096"),
                  std::string::npos)
            << errors;
    }
}

TEST_F(GeometryBatchTest, CanvasPlacesThePictureAtItsAnchorOnTheColour) {
    Image picture = randomImage(100, 50, 42, 24);
    ASSERT_EQ(run(picture, {"--canvas", "151x50,9,0000ff"}), batchOk) << errors;
    Image expected(151, 50, 32, rgb(0, 0, 255) | alphaMask);
    drawImage(expected, picture, 51, 0);
    EXPECT_EQ(firstDifference(result(), expected), "");

    // By default centred on black.
    ASSERT_EQ(run(picture, {"--canvas", "151x51"}), batchOk) << errors;
    expected = Image(151, 51, 32, opaqueBlack);
    drawImage(expected, picture, 25, 0);
    EXPECT_EQ(firstDifference(result(), expected), "");
    // A canvas only grows: a side smaller than the image is refused, not kept quietly.
    EXPECT_EQ(run(picture, {"--canvas", "151x10"}), batchUsageError);
    EXPECT_NE(errors.find("--canvas 151x10: smaller than the 100 x 50 image"), std::string::npos)
        << errors;
    EXPECT_EQ(run(picture, {"--canvas", "4097x50"}), batchUsageError);
}

TEST_F(GeometryBatchTest, CropKeepsTheSelectedRectangle) {
    Image picture = randomImage(20, 10, 43, 24);
    ASSERT_EQ(run(picture, {"--select", "3,2,9,7", "--crop", "--negative"}), batchOk) << errors;
    Image expected = copyRect(picture, 3, 2, 9, 7);
    for (uint32_t& p : expected.pixels) p ^= colourMask;  // the whole cropped image
    EXPECT_EQ(result(), expected);
}

TEST_F(GeometryBatchTest, BadValuesAreUsageErrors) {
    Image picture(4, 4, 24);
    const std::vector<std::vector<std::string>> cases = {
        {"--rotate", "sideways"},      {"--resize", "100"},
        {"--resize", "ax5"},           {"--canvas", "10x10,0"},
        {"--canvas", "10x10,5,12345"}, {"--canvas", "10x10,5,ff,1"},
        {"--canvas", "10x10,xyz"},     {"--crop"},
        {"--select-none", "--crop"},
    };
    for (const auto& options : cases) {
        EXPECT_EQ(run(picture, options), batchUsageError) << options.back();
        EXPECT_NE(errors.find(options[0] == "--select-none" ? "--crop" : options[0]),
                  std::string::npos)
            << errors;
    }
}

}  // namespace
