// pixova-batch with Best quality: an icon with soft edges becomes an indexed PNG with a
// transparency table; --measure prints the figures of a result against its original.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

#include "batch/batch.h"
#include "support/batch_run.h"
#include "support/test_images.h"
#include "toolkit/codecs/codec.h"

namespace {

// A round icon: a disc of colours blending across, its edge fading out over six pixels,
// fully transparent outside (with whatever colour lay there).
Image softIcon(int size) {
    Image image = randomImage(size, size, 31, 32);
    const double centre = (size - 1) / 2.0, radius = size * 0.4;
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const double d = std::hypot(x - centre, y - centre);
            const double a = std::clamp((radius - d) / 6.0, 0.0, 1.0);
            const uint32_t noise = image.at(x, y);
            image.at(x, y) = rgba((x * 4 + (noise & 7)) & 255, (y * 3 + (noise >> 8 & 7)) & 255,
                                  120 + (noise >> 16 & 15), static_cast<int>(a * 255 + 0.5));
            if (a == 0) image.at(x, y) = noise & colourMask;
        }
    }
    return image;
}

std::string fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class BestBatchTest : public BatchFilesTest {
  protected:
    BestBatchTest() : BatchFilesTest(softIcon(64)) {}
};

TEST_F(BestBatchTest, AnIconWithSoftEdgesBecomesAnIndexedPngWithTransparency) {
    std::set<uint32_t> before(input.pixels.begin(), input.pixels.end());
    ASSERT_GT(before.size(), 1000u);
    for (const char* dither : {"", "--dither"}) {
        std::vector<std::string> args = {dir + "in.png", "--quantize", "best", "--limit", "64"};
        const std::string name = *dither ? "dithered.png" : "plain.png";
        if (*dither) args.push_back(dither);
        args.push_back(dir + name);
        BatchRun r = batch(args);
        ASSERT_EQ(r.code, batchOk) << r.err;
        const std::string png = fileBytes(dir + name);
        ASSERT_GT(png.size(), 33u);
        EXPECT_EQ(png[25], 3) << "colour type: palette";
        EXPECT_NE(png.find("tRNS"), std::string::npos);
        const Image out = read(name);
        const std::set<uint32_t> values(out.pixels.begin(), out.pixels.end());
        EXPECT_LE(values.size(), 64u);
        // The soft edge keeps levels of alpha between none and full.
        std::set<int> alphas;
        for (uint32_t v : values) alphas.insert(alphaOf(v));
        EXPECT_GE(alphas.size(), 4u) << dither;
        EXPECT_TRUE(alphas.count(0) && alphas.count(255));
    }
}

TEST_F(BestBatchTest, MeasurePrintsTheFiguresAgainstTheOriginal) {
    // Red at alpha 255 against red at alpha 128: premultiplied PSNR 12.08 dB (worked out
    // in the error figure's tests); PSNR over the colours alone is exact.
    const Image original = imageFromRows(2, 1, {rgba(255, 0, 0, 255), rgba(9, 9, 9, 255)});
    const Image result = imageFromRows(2, 1, {rgba(255, 0, 0, 128), rgba(9, 9, 9, 255)});
    ASSERT_EQ(writeImageFile(original, dir + "original.png", ImageFormat::Png), "");
    ASSERT_EQ(writeImageFile(result, dir + "result.png", ImageFormat::Png), "");
    BatchRun r = batch({dir + "result.png", "--measure", dir + "original.png"});
    ASSERT_EQ(r.code, batchOk) << r.err;
    EXPECT_EQ(r.out,
              "2 colors | PSNR inf dB | mean dE 0.000 | blurred dE 0.000 | RGBA PSNR 12.08 dB\n");

    // After a reduction, of the image as it stands.
    r = batch({dir + "in.png", "--quantize", "best", "--limit", "16", "--measure", dir + "in.png"});
    ASSERT_EQ(r.code, batchOk) << r.err;
    EXPECT_EQ(r.out.rfind("16 colors | PSNR ", 0), 0u) << r.out;

    // An original that cannot be read, or of another size, stops the run with nothing written.
    r = batch({dir + "in.png", "--quantize", "best", "--measure", dir + "missing.png",
               dir + "never.png"});
    EXPECT_EQ(r.code, batchFileError);
    EXPECT_NE(r.err.find("missing.png"), std::string::npos) << r.err;
    r = batch({dir + "in.png", "--measure", dir + "original.png"});
    EXPECT_EQ(r.code, batchFileError);
    EXPECT_NE(r.err.find("not comparable"), std::string::npos) << r.err;
    EXPECT_FALSE(std::ifstream(dir + "never.png").good());
}

}  // namespace
