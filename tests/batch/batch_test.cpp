#include "batch/batch.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "adjust/colour_ops.h"
#include "adjust/effects.h"
#include "quantize/palettes.h"
#include "quantize/quantize.h"
#include "support/batch_run.h"
#include "support/test_images.h"
#include "toolkit/codecs/codec.h"
#include "toolkit/parallel.h"

namespace fs = std::filesystem;

namespace {

// A picture with many colours: smooth ramps plus a little noise.
Image gradient(int w, int h) {
    Image image(w, h, 24);
    Image noise = randomImage(w, h, 99, 24);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            uint32_t n = noise.at(x, y);
            image.at(x, y) =
                rgb((x * 255 / w + (n & 7)) & 255, (y * 255 / h + ((n >> 8) & 7)) & 255,
                    ((x + y) * 2 + ((n >> 16) & 7)) & 255) |
                alphaMask;
        }
    }
    return image;
}

class BatchTest : public BatchFilesTest {
  protected:
    BatchTest() : BatchFilesTest(gradient(64, 48)) {}
};

TEST_F(BatchTest, NegativeOfASelectionWritesABmp) {
    BatchRun r = batch({dir + "in.png", "--select", "10,10,20,15", "--negative", dir + "out.bmp"});
    ASSERT_EQ(r.code, batchOk) << r.err;
    Image expected = input;
    negativePixels(expected, Rect{10, 10, 20, 15});
    EXPECT_EQ(read("out.bmp"), expected);
}

TEST_F(BatchTest, OptionsRunInTheOrderGiven) {
    // Gray then negative of the whole image, then negative again of a rectangle only.
    BatchRun r = batch({dir + "in.png", "--gray", "--negative", "--select", "0,0,9,9", "--negative",
                        "--select-none", dir + "out.png"});
    ASSERT_EQ(r.code, batchOk) << r.err;
    Image expected = input;
    grayScalePixels(expected, wholeImage(expected));
    negativePixels(expected, wholeImage(expected));
    negativePixels(expected, Rect{0, 0, 9, 9});
    EXPECT_EQ(read("out.png"), expected);
}

TEST_F(BatchTest, CountPrintsDistinctColoursOfImageOrRectangle) {
    Image two(4, 3, 24, rgb(1, 2, 3));
    two.at(3, 2) = rgb(9, 9, 9) | alphaMask;
    ASSERT_EQ(writeImageFile(two, dir + "two.png", ImageFormat::Png), "");
    BatchRun r = batch({dir + "two.png", "--count", "--select", "0,0,2,2", "--count"});
    ASSERT_EQ(r.code, batchOk) << r.err;
    EXPECT_EQ(r.out, "2\n1\n");
}

TEST_F(BatchTest, QuantizeRespectsLimitAndDitherWhereverTheyStand) {
    BatchRun r = batch(
        {dir + "in.png", "--quantize", "adaptive", "--limit", "16", "--dither", dir + "q.png"});
    ASSERT_EQ(r.code, batchOk) << r.err;
    BatchRun count = batch({dir + "q.png", "--count"});
    EXPECT_LE(std::stoi(count.out), 16);
    EXPECT_GT(std::stoi(count.out), 2);
    // Before the quantize, with odd spelling.
    r = batch({dir + "in.png", "--limit", "2", "--quantize", "POPULARITY", "--count"});
    ASSERT_EQ(r.code, batchOk) << r.err;
    EXPECT_LE(std::stoi(r.out), 2);
}

TEST_F(BatchTest, ALimitOutsideTheStylesRangeIsAUsageErrorThatGivesTheRange) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--quantize", "adaptive", "--limit", "1000"},
         "--limit 1000: adaptive takes 2 to 256 colours"},
        {{"--limit", "1", "--quantize", "popularity"},
         "--limit 1: popularity takes 2 to 256 colours"},
        {{"--quantize", "uniform", "--limit", "17"},
         "--limit 17: uniform takes 2 to 16 levels per channel"},
        {{"--quantize", "cga16", "--limit", "8"}, "--limit 8: cga16 has a fixed palette of 16"},
        {{"--quality", "0"}, "--quality 0: takes 1 to 100"},
        {{"--contrast", "101"}, "--contrast 101: the amount takes -100 to 100"},
    };
    for (const auto& [options, message] : cases) {
        std::vector<std::string> args{dir + "in.png"};
        args.insert(args.end(), options.begin(), options.end());
        args.push_back(dir + "never.png");
        BatchRun r = batch(args);
        EXPECT_EQ(r.code, batchUsageError) << message;
        EXPECT_NE(r.err.find("pixova-batch: " + message), std::string::npos) << r.err;
    }
    EXPECT_FALSE(fs::exists(dir + "never.png"));
    // The ends of each range are taken.
    for (const char* limit : {"2", "256"}) {
        EXPECT_EQ(
            batch({dir + "in.png", "--quantize", "adaptive", "--limit", limit, "--count"}).code,
            batchOk);
    }
}

TEST_F(BatchTest, EveryStyleNameWorks) {
    for (const char* style : {"uniform", "popularity", "adaptive", "cga16", "ega64", "trucolor256",
                              "human256", "neuquant256", "flat8", "flat64", "flat512", "flat4096",
                              "lemon128", "berry128", "ocean128", "Neuquant_256", "CGA (16)"}) {
        BatchRun r = batch({dir + "in.png", "--quantize", style, "--count"});
        ASSERT_EQ(r.code, batchOk) << style << ": " << r.err;
        EXPECT_GE(std::stoi(r.out), 1) << style;
    }
}

TEST_F(BatchTest, ScrambleThenUnscrambleGivesBackTheInput) {
    BatchRun r =
        batch({dir + "in.png", "--effect", "scramble", "--effect", "Unscramble", dir + "s.png"});
    ASSERT_EQ(r.code, batchOk) << r.err;
    EXPECT_EQ(read("s.png"), input);
    r = batch({dir + "in.png", "--effect", "scramble", dir + "t.png"});
    EXPECT_NE(read("t.png"), input);
}

TEST_F(BatchTest, EffectsBrightnessAndContrastHonourTheSelection) {
    for (std::vector<std::string> op : {std::vector<std::string>{"--effect", "xfactor"},
                                        {"--effect", "Gaussian Blur"},
                                        {"--effect", "edge-detect"},
                                        {"--brightness", "40"},
                                        {"--brightness", "-30,wrap,equal,proportional,g"},
                                        {"--contrast", "50"}}) {
        std::vector<std::string> args = {dir + "in.png", "--force", "--select", "8,8,40,30"};
        args.insert(args.end(), op.begin(), op.end());
        args.push_back(dir + "e.png");
        BatchRun r = batch(args);
        ASSERT_EQ(r.code, batchOk) << op[1] << ": " << r.err;
        Image out = read("e.png");
        bool changedInside = false;
        for (int y = 0; y < input.height; ++y) {
            for (int x = 0; x < input.width; ++x) {
                bool inside = x >= 8 && x <= 40 && y >= 8 && y <= 30;
                if (!inside) {
                    ASSERT_EQ(out.at(x, y), input.at(x, y)) << op[1] << " " << x << "," << y;
                }
                if (inside && out.at(x, y) != input.at(x, y)) changedInside = true;
            }
        }
        EXPECT_TRUE(changedInside) << op[1];
    }
}

TEST_F(BatchTest, BadOptionsExitTwoWithAUsageLine) {
    for (std::vector<std::string> args :
         {std::vector<std::string>{dir + "in.png", "--bogus"},
          {dir + "in.png", "--quantize", "sepia"},
          {dir + "in.png", "--select", "1,2,3"},
          {dir + "in.png", "--select", "5,5,1,1"},
          {dir + "in.png", "--select", "0,0,64,10"},  // one past the right edge
          {dir + "in.png", "--limit", "many"},
          {dir + "in.png", "--brightness", "200"},
          {dir + "in.png", "--brightness", "10,sideways"},
          {dir + "in.png", "--contrast"},
          {dir + "in.png", "--effect", "sparkle"},
          {dir + "in.png", dir + "out.tga"},
          {dir + "in.png", dir + "a.png", dir + "b.png"},
          {}}) {
        BatchRun r = batch(args);
        EXPECT_EQ(r.code, batchUsageError) << (args.size() > 1 ? args[1] : "");
        EXPECT_NE(r.err.find("usage: pixova-batch"), std::string::npos) << r.err;
    }
    EXPECT_FALSE(fs::exists(dir + "out.tga"));
}

TEST_F(BatchTest, ChangesThatWouldBeLostAndStrayQuantizeSettingsAreUsageErrors) {
    for (std::vector<std::string> args :
         {std::vector<std::string>{dir + "in.png", "--negative"},
          {dir + "in.png", "--count", "--gray"},  // the gray after the count is lost
          {dir + "in.png", "--limit", "8", dir + "out.png"},
          {dir + "in.png", "--dither", dir + "out.png"},
          {dir + "in.png", "--format", "png", dir + "out.png"},
          {dir + "in.png", "--out-dir", dir + "o", "--format", "tga"},
          {dir + "in.png", "--out-dir"}}) {
        BatchRun r = batch(args);
        EXPECT_EQ(r.code, batchUsageError) << args[1] << " " << args.back();
        EXPECT_NE(r.err.find("usage: pixova-batch"), std::string::npos) << r.err;
    }
    EXPECT_FALSE(fs::exists(dir + "out.png"));
    EXPECT_FALSE(fs::exists(dir + "o"));
    // A change that a later --count reads is not lost.
    BatchRun r = batch({dir + "in.png", "--gray", "--count"});
    EXPECT_EQ(r.code, batchOk) << r.err;
}

TEST_F(BatchTest, VersionAndHelpComeFromTheProgramsOwnTables) {
    BatchRun r = batch({"--version"});
    EXPECT_EQ(r.code, batchOk);
    EXPECT_EQ(r.out.rfind("pixova-batch ", 0), 0u) << r.out;
    EXPECT_NE(r.out.find_first_of("0123456789"), std::string::npos) << r.out;
    r = batch({"--help"});
    EXPECT_EQ(r.code, batchOk);
    for (const StyleInfo& style : quantizeStyles()) {
        EXPECT_NE(r.out.find(style.batchName), std::string::npos) << style.batchName;
    }
    for (const EffectRecipe& effect : effectRecipes()) {
        std::string name = normalisedName(std::string(effect.caption));
        EXPECT_NE(r.out.find(name), std::string::npos) << name;
    }
    for (const char* option : {"--out-dir", "--format", "--version", "--contrast A"}) {
        EXPECT_NE(r.out.find(option), std::string::npos) << option;
    }
}

class BatchFolderTest : public BatchTest {
  protected:
    // Three good images (one a BMP) and one file that is not an image.
    std::vector<std::string> inputs() {
        second = randomImage(9, 7, 5, 24);
        EXPECT_EQ(writeImageFile(second, dir + "b.bmp", ImageFormat::Bmp), "");
        EXPECT_EQ(writeImageFile(input, dir + "c.png", ImageFormat::Png), "");
        std::ofstream(dir + "broken.png") << "no picture here";
        return {dir + "in.png", dir + "b.bmp", dir + "broken.png", dir + "c.png"};
    }
    Image second;
};

TEST_F(BatchFolderTest, OneBadFileDoesNotStopTheOthers) {
    for (int threads : {1, 2}) {
        configureThreads(threads);
        std::string out = dir + "out" + std::to_string(threads);
        std::vector<std::string> args = inputs();
        args.insert(args.end(), {"--negative", "--out-dir", out});
        BatchRun r = batch(args);
        configureThreads(0);
        EXPECT_EQ(r.code, batchFileError) << r.err;
        EXPECT_NE(r.err.find("pixova-batch: " + dir + "broken.png: not a supported image\n"),
                  std::string::npos)
            << r.err;
        EXPECT_NE(r.err.find("3 of 4 files done, 1 failed"), std::string::npos) << r.err;
        Image negated = input, negatedSecond = second;
        negativePixels(negated, wholeImage(negated));
        negativePixels(negatedSecond, wholeImage(negatedSecond));
        EXPECT_EQ(firstDifference(read("out" + std::to_string(threads) + "/in.png"), negated), "");
        EXPECT_EQ(firstDifference(read("out" + std::to_string(threads) + "/c.png"), negated), "");
        EXPECT_EQ(firstDifference(read("out" + std::to_string(threads) + "/b.bmp"), negatedSecond),
                  "");
        EXPECT_FALSE(fs::exists(out + "/broken.png"));
    }
}

TEST_F(BatchFolderTest, ATerminalSeesAProgressLineThatIsClearedBeforeEveryMessage) {
    std::vector<std::string> args = inputs();
    args.insert(args.end(), {"--gray", "--out-dir", dir + "p"});
    configureThreads(1);
    BatchRun r = batch(args, true);
    configureThreads(0);
    EXPECT_EQ(r.code, batchFileError);
    // One thread takes the files in order: the third is the broken one.
    const std::string clear = "\r\x1b[K";
    EXPECT_EQ(r.err, "\r[1/4] " + dir + "in.png\x1b[K\r[2/4] " + dir + "b.bmp\x1b[K" + clear +
                         "pixova-batch: " + dir + "broken.png: not a supported image\n\r[3/4] " +
                         dir + "broken.png (1 failed)\x1b[K\r[4/4] " + dir +
                         "c.png (1 failed)\x1b[K" + clear +
                         "pixova-batch: 3 of 4 files done, 1 failed\n");
    // Without a terminal, only the messages.
    r = batch(args);
    EXPECT_EQ(r.err.find('\r'), std::string::npos);
}

TEST_F(BatchFolderTest, FormatRenamesAndPrintedResultsKeepTheInputOrder) {
    configureThreads(2);
    std::vector<std::string> args = inputs();
    args.erase(args.begin() + 2);  // no broken file this time
    args.insert(args.end(), {"--count", "--out-dir", dir + "deep/er", "--format", "jp2"});
    BatchRun r = batch(args);
    configureThreads(0);
    EXPECT_EQ(r.code, batchOk) << r.err;
    for (const char* name : {"in.jp2", "b.jp2", "c.jp2"}) {
        EXPECT_TRUE(fs::exists(dir + "deep/er/" + name)) << name;
    }
    EXPECT_EQ(r.out, dir + "in.png: " + std::to_string(countUniqueColours(input)) + "\n" + dir +
                         "b.bmp: 63\n" + dir +
                         "c.png: " + std::to_string(countUniqueColours(input)) + "\n");
    EXPECT_NE(r.err.find("3 of 3 files done"), std::string::npos) << r.err;
}

TEST_F(BatchFolderTest, TwoInputsOfOneNameOrAFileForAFolderAreRefused) {
    fs::create_directory(dir + "sub");
    ASSERT_EQ(writeImageFile(input, dir + "sub/in.png", ImageFormat::Png), "");
    BatchRun r = batch({dir + "in.png", dir + "sub/in.png", "--out-dir", dir + "o"});
    EXPECT_EQ(r.code, batchUsageError);
    EXPECT_NE(r.err.find("would both be written"), std::string::npos) << r.err;
    // Different names, one format: the same clash.
    r = batch({dir + "in.png", dir + "sub/in.png", "--out-dir", dir + "o", "--format", "bmp"});
    EXPECT_EQ(r.code, batchUsageError);
    EXPECT_FALSE(fs::exists(dir + "o"));
    std::ofstream(dir + "plain") << "x";
    r = batch({dir + "in.png", "--out-dir", dir + "plain"});
    EXPECT_EQ(r.code, batchFileError);
    EXPECT_EQ(r.err.rfind("pixova-batch: " + dir + "plain: ", 0), 0u) << r.err;
}

TEST_F(BatchFolderTest, AStepThatDoesNotFitOneImageFailsOnlyThatFile) {
    std::vector<std::string> args = inputs();
    args.erase(args.begin() + 2);
    // 20,20 is inside the 64 x 48 images but not the 9 x 7 one.
    args.insert(args.end(), {"--select", "0,0,20,20", "--gray", "--out-dir", dir + "sel"});
    BatchRun r = batch(args);
    EXPECT_EQ(r.code, batchFileError);
    EXPECT_NE(r.err.find("pixova-batch: " + dir + "b.bmp: --select: 0,0,20,20 is not inside"),
              std::string::npos)
        << r.err;
    EXPECT_TRUE(fs::exists(dir + "sel/in.png"));
    EXPECT_FALSE(fs::exists(dir + "sel/b.bmp"));
}

TEST_F(BatchTest, UnreadableInputExitsOneAndWritesNothing) {
    BatchRun r = batch({dir + "missing.png", "--negative", dir + "out.png"});
    EXPECT_EQ(r.code, batchFileError);
    EXPECT_EQ(r.err.rfind("pixova-batch: " + dir + "missing.png: ", 0), 0u) << r.err;
    EXPECT_FALSE(fs::exists(dir + "out.png"));
    std::ofstream(dir + "text.png") << "not an image";
    r = batch({dir + "text.png", dir + "out.png"});
    EXPECT_EQ(r.code, batchFileError);
    EXPECT_NE(r.err.find("not a supported image"), std::string::npos);
    EXPECT_FALSE(fs::exists(dir + "out.png"));
}

TEST_F(BatchTest, UnwritableOutputExitsOne) {
    std::ofstream(dir + "file") << "x";
    BatchRun r = batch({dir + "in.png", "--gray", dir + "file/out.png"});
    EXPECT_EQ(r.code, batchFileError);
    EXPECT_EQ(r.err.rfind("pixova-batch: " + dir + "file/out.png: ", 0), 0u) << r.err;
}

TEST_F(BatchTest, TheExecutableReportsTheSameCodes) {
    std::string exe = PIXOVA_BATCH_EXE;
    auto status = [](const std::string& cmd) {
        int s = std::system((cmd + " >/dev/null 2>&1").c_str());
        return WIFEXITED(s) ? WEXITSTATUS(s) : -1;
    };
    EXPECT_EQ(status(exe + " --help"), 0);
    EXPECT_EQ(status(exe + " --version"), 0);
    EXPECT_EQ(status(exe + " " + dir + "in.png --negative"), 2);
    EXPECT_EQ(status(exe + " " + dir + "in.png --count"), 0);
    EXPECT_EQ(status(exe + " " + dir + "in.png --nope"), 2);
    EXPECT_EQ(status(exe + " " + dir + "nothing.png"), 1);
}

}  // namespace
