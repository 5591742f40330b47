// pixova-batch with Best quality: an icon with soft edges becomes an indexed PNG with a
// transparency table; --measure prints the figures of a result against its original.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>

#include "batch/batch.h"
#include "quantize/quantize.h"
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

namespace {

// Ramps with noise: thousands of colours.
Image ramps(int w, int h) {
    Image image = randomImage(w, h, 44, 24);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const uint32_t n = image.at(x, y);
            image.at(x, y) =
                rgba((x * 255 / w + (n & 7)) & 255, (y * 255 / h) & 255, (n >> 8 & 3) + 60, 255);
        }
    }
    return image;
}

class TargetBatchTest : public BatchFilesTest {
  protected:
    TargetBatchTest() : BatchFilesTest(ramps(80, 60)) {}
    // The mean Delta E of a result against the input, as --measure prints it.
    double meanDeltaE(const std::vector<std::string>& quantize) {
        std::vector<std::string> args = {dir + "in.png"};
        args.insert(args.end(), quantize.begin(), quantize.end());
        args.insert(args.end(), {"--measure", dir + "in.png"});
        BatchRun r = batch(args);
        EXPECT_EQ(r.code, batchOk) << r.err;
        const size_t at = r.out.find("mean dE ");
        return at == std::string::npos ? -1 : std::stod(r.out.substr(at + 8));
    }
};

TEST_F(TargetBatchTest, AnImageOfFiveColoursNeedsExactlyFiveForNoDifference) {
    Image five(10, 10, 24);
    const uint32_t colours[] = {rgb(0, 0, 0), rgb(250, 10, 10), rgb(10, 250, 10), rgb(10, 10, 250),
                                rgb(128, 128, 128)};
    for (int i = 0; i < 100; ++i) five.pixels[i] = colours[(i * 7 + i / 10) % 5] | alphaMask;
    ASSERT_EQ(writeImageFile(five, dir + "five.png", ImageFormat::Png), "");
    BatchRun r = batch({dir + "five.png", "--quantize", "best", "--target-de", "0", "--count", "-o",
                        dir + "out.png"});
    ASSERT_EQ(r.code, batchOk) << r.err;
    EXPECT_EQ(r.out, "5\n");
    EXPECT_EQ(read("out.png"), five);
}

TEST_F(TargetBatchTest, TheFewestColoursThatMeetTheTarget) {
    BatchRun r = batch({dir + "in.png", "--quantize", "best", "--target-de", "3", "--count"});
    ASSERT_EQ(r.code, batchOk) << r.err;
    const int chosen = std::stoi(r.out);
    ASSERT_GT(chosen, 2);
    ASSERT_LT(chosen, 256);
    // That many meets it; one fewer does not.
    EXPECT_LE(meanDeltaE({"--quantize", "best", "--limit", std::to_string(chosen)}), 3.0);
    EXPECT_GT(meanDeltaE({"--quantize", "best", "--limit", std::to_string(chosen - 1)}), 3.0);
    // A looser target needs no more colours.
    r = batch({dir + "in.png", "--quantize", "best", "--target-de", "5", "--count"});
    ASSERT_EQ(r.code, batchOk) << r.err;
    EXPECT_LE(std::stoi(r.out), chosen);
}

TEST_F(TargetBatchTest, WhenEven256ColoursMissItTheyAreWrittenAndTheExitIs99) {
    // Noise of every colour cannot be held by 256 within 0.5.
    ASSERT_EQ(writeImageFile(randomImage(64, 64, 3, 24), dir + "noise.png", ImageFormat::Png), "");
    BatchRun r = batch({dir + "noise.png", "--quantize", "best", "--target-de", "0.5", "--dither",
                        "-o", dir + "out.png"});
    EXPECT_EQ(r.code, batchTargetMissed);
    EXPECT_EQ(batchTargetMissed, 99);
    EXPECT_NE(r.err.find("--target-de 0.5"), std::string::npos) << r.err;
    const Image out = read("out.png");
    EXPECT_EQ(std::set<uint32_t>(out.pixels.begin(), out.pixels.end()).size(), 256u);
    // Over several files the run goes on and ends with 99 when nothing failed.
    r = batch({dir + "noise.png", dir + "in.png", "--quantize", "best", "--target-de", "4",
               "--out-dir", dir + "many"});
    EXPECT_EQ(r.code, batchTargetMissed) << r.err;
    EXPECT_TRUE(std::ifstream(dir + "many/noise.png").good());
    EXPECT_TRUE(std::ifstream(dir + "many/in.png").good());
}

TEST_F(TargetBatchTest, BadTargetsAreUsageErrors) {
    const std::vector<std::vector<std::string>> bad = {
        {"--quantize", "best", "--target-de", "-1"},
        {"--quantize", "best", "--target-de", "two"},
        {"--quantize", "best", "--target-de", "1.5x"},
        {"--quantize", "best", "--target-de", "nan"},
        {"--quantize", "adaptive", "--target-de", "2"},
        {"--quantize", "best", "--limit", "16", "--target-de", "2"},
        {"--target-de", "2"},
    };
    for (const auto& options : bad) {
        std::vector<std::string> args = {dir + "in.png"};
        args.insert(args.end(), options.begin(), options.end());
        args.insert(args.end(), {"-o", dir + "never.png"});
        BatchRun r = batch(args);
        EXPECT_EQ(r.code, batchUsageError) << options[options.size() - 1] << ": " << r.err;
        EXPECT_FALSE(std::ifstream(dir + "never.png").good());
    }
    // A whole number is a number.
    EXPECT_EQ(batch({dir + "in.png", "--quantize", "best", "--target-de", "4", "--count"}).code,
              batchOk);
}

TEST_F(TargetBatchTest, HelpAndTheManPageListExitStatus99) {
    BatchRun r = batch({"--help"});
    ASSERT_EQ(r.code, batchOk);
    EXPECT_NE(r.out.find("--target-de X"), std::string::npos);
    EXPECT_NE(r.out.find("99"), std::string::npos);
    const std::string page = batchManPage();
    EXPECT_NE(page.find("99"), std::string::npos);
    EXPECT_NE(page.find("target\\-de"), std::string::npos);
}

TEST_F(TargetBatchTest, CompareListsEveryStyleTwiceBestFirst) {
    BatchRun r = batch({dir + "in.png", "--compare"});
    ASSERT_EQ(r.code, batchOk) << r.err;
    std::istringstream lines(r.out);
    std::string header;
    std::getline(lines, header);
    EXPECT_EQ(header.rfind("style", 0), 0u) << header;
    std::map<std::string, int> seen;
    double previous = -1;
    int rows = 0;
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("(*", 0) == 0) continue;
        std::istringstream fields(line);
        std::string style, dither;
        long long colours = 0, bytes = 0;
        double psnr = 0, deltaE = 0;
        fields >> style >> dither >> colours >> psnr >> deltaE >> bytes;
        ASSERT_TRUE(fields) << line;
        ++seen[style];
        ++rows;
        EXPECT_TRUE(dither == "yes" || dither == "no") << line;
        EXPECT_GE(deltaE, previous) << line;
        previous = deltaE;
        EXPECT_GT(bytes, 0) << line;
    }
    EXPECT_EQ(rows, 32);
    ASSERT_EQ(seen.size(), 16u);
    for (const StyleInfo& style : quantizeStyles()) EXPECT_EQ(seen[style.batchName], 2);
    // Reading the image, it writes nothing and needs no output.
    EXPECT_EQ(batch({dir + "in.png", "--negative", "--compare"}).code, batchOk);
}

}  // namespace
