// pixova-batch with palette files: --palette-out writes the colours of the result, --remap
// maps onto a palette read from a file; bad palette files stop the run and write nothing.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "batch/batch.h"
#include "quantize/builtin_palettes.h"
#include "quantize/palette_map.h"
#include "support/batch_run.h"
#include "support/test_images.h"
#include "toolkit/codecs/codec.h"
#include "tools/palette_files.h"

namespace fs = std::filesystem;

namespace {

// The colours of an image in the order they first appear, found the slow way.
std::vector<uint32_t> coloursInOrder(const Image& image) {
    std::vector<uint32_t> colours;
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            uint32_t c = image.read(x, y);
            bool seen = false;
            for (uint32_t d : colours) seen |= d == c;
            if (!seen) colours.push_back(c);
        }
    }
    return colours;
}

class PaletteBatchTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = makeTempDir();
        photo = randomImage(40, 30, 21, 24);
        ASSERT_EQ(writeImageFile(photo, dir + "photo.png", ImageFormat::Png), "");
        // Four colours in 2 x 2 blocks.
        few = Image(4, 4, 24, rgb(10, 20, 30));
        for (int y = 0; y < 2; ++y) {
            few.write(2, y, rgb(200, 0, 0));
            few.write(3, y, rgb(200, 0, 0));
            few.write(0, y + 2, rgb(0, 0, 255));
            few.write(1, y + 2, rgb(0, 0, 255));
            few.write(2, y + 2, rgb(255, 255, 255));
            few.write(3, y + 2, rgb(255, 255, 255));
        }
        ASSERT_EQ(writeImageFile(few, dir + "few.png", ImageFormat::Png), "");
    }
    Image read(const std::string& name) {
        DecodeResult r = readImageFile(dir + name);
        EXPECT_TRUE(r.ok()) << name << ": " << r.error;
        return r.image;
    }
    std::vector<uint32_t> palette(const std::string& name) {
        PaletteReadResult r = readPaletteFile(dir + name);
        EXPECT_TRUE(r.ok()) << name << ": " << r.error;
        return r.colours;
    }
    void writeText(const std::string& name, const std::string& text) {
        std::ofstream(dir + name, std::ios::binary) << text;
    }
    std::string dir;
    Image photo, few;
};

TEST_F(PaletteBatchTest, QuantizeWritesItsPaletteThenAnotherImageIsMappedOntoIt) {
    BatchRun r = batch({dir + "photo.png", "--quantize", "adaptive", "--limit", "16",
                        "--palette-out", dir + "p.gpl", dir + "out.png"});
    ASSERT_EQ(r.code, batchOk) << r.err;
    std::vector<uint32_t> written = palette("p.gpl");
    EXPECT_EQ(written, coloursInOrder(read("out.png")));
    EXPECT_LE(written.size(), 16u);
    EXPECT_GE(written.size(), 2u);

    Image other = randomImage(33, 17, 4, 24);
    ASSERT_EQ(writeImageFile(other, dir + "other.png", ImageFormat::Png), "");
    for (bool dither : {false, true}) {
        std::string value = dir + "p.gpl" + (dither ? ",dither" : "");
        const std::string name = dither ? "out2-dither.png" : "out2.png";
        r = batch({dir + "other.png", "--remap", value, dir + name});
        ASSERT_EQ(r.code, batchOk) << r.err;
        Image expected = other;
        applyPalette(expected, wholeImage(expected), written, dither);
        EXPECT_EQ(firstDifference(read(name), expected), "") << dither;
        std::set<uint32_t> allowed(written.begin(), written.end());
        for (uint32_t c : coloursInOrder(read(name))) EXPECT_TRUE(allowed.count(c));
    }
}

TEST_F(PaletteBatchTest, EachFormatAndTheRectangle) {
    const std::vector<uint32_t> all{rgb(10, 20, 30), rgb(200, 0, 0), rgb(0, 0, 255),
                                    rgb(255, 255, 255)};
    for (const char* name : {"f.gpl", "f.pal", "f.act"}) {
        BatchRun r = batch({dir + "few.png", "--palette-out", dir + name});
        ASSERT_EQ(r.code, batchOk) << r.err;
        EXPECT_EQ(palette(name), all) << name;
    }
    BatchRun r = batch({dir + "few.png", "--select", "2,1,3,3", "--palette-out", dir + "r.gpl"});
    ASSERT_EQ(r.code, batchOk) << r.err;
    EXPECT_EQ(palette("r.gpl"), (std::vector<uint32_t>{rgb(200, 0, 0), rgb(255, 255, 255)}));
}

TEST_F(PaletteBatchTest, RemapOntoTheCgaFileEqualsTheCgaStyle) {
    for (bool dither : {false, true}) {
        std::vector<std::string> byStyle{dir + "photo.png", "--force", "--quantize", "cga16",
                                         dir + "style.png"};
        if (dither) byStyle.insert(byStyle.begin() + 4, "--dither");
        ASSERT_EQ(batch(byStyle).code, batchOk);
        std::string value = testDataPath("palettes/cga16.gpl") + (dither ? ",dither" : "");
        ASSERT_EQ(batch({dir + "photo.png", "-f", "--remap", value, dir + "file.png"}).code,
                  batchOk);
        EXPECT_EQ(firstDifference(read("file.png"), read("style.png")), "") << dither;
    }
}

TEST_F(PaletteBatchTest, BadPaletteFilesStopTheRunAndWriteNothing) {
    writeText("line.gpl", "GIMP Palette\n1 2 3\nred\n");
    writeText("empty.pal", "JASC-PAL\r\n0100\r\n0\r\n");
    writeText("short.act", std::string(700, '\0'));
    writeText("many.gpl",
              encodePalette(std::vector<uint32_t>(256, 0), PaletteFormat::Gpl) + "1 1 1\n");
    struct Case {
        std::string file, message;
    };
    for (const Case& c :
         {Case{"missing.gpl", "missing.gpl: cannot be read: No such file or directory"},
          Case{"line.gpl",
               "line.gpl: line 3: expected red, green and blue values from 0 to 255, found "
               "\"red\""},
          Case{"empty.pal", "empty.pal: it holds no colors"},
          Case{"short.act",
               "short.act: a .act palette is 768 bytes (or 772 with a color "
               "count); this one is 700"},
          Case{"many.gpl", "many.gpl: it holds more than 256 colors"}}) {
        BatchRun r =
            batch({dir + "photo.png", "--negative", "--remap", dir + c.file, dir + "o.png"});
        EXPECT_EQ(r.code, batchFileError) << c.file;
        EXPECT_EQ(r.err, "pixova-batch: " + dir + c.message + "\n");
        EXPECT_FALSE(fs::exists(dir + "o.png")) << c.file;
    }
}

TEST_F(PaletteBatchTest, AnImageOfTooManyColoursWritesNeitherPaletteNorImage) {
    BatchRun r = batch({dir + "photo.png", "--palette-out", dir + "big.act", dir + "o.png"});
    EXPECT_EQ(r.code, batchFileError);
    EXPECT_EQ(r.err, "pixova-batch: " + dir +
                         "big.act: the image holds more than 256 colors, more than a palette "
                         "file holds\n");
    EXPECT_FALSE(fs::exists(dir + "big.act"));
    EXPECT_FALSE(fs::exists(dir + "o.png"));
    // A palette-out alone is a result: no output image is needed.
    EXPECT_EQ(batch({dir + "few.png", "--negative", "--palette-out", dir + "n.gpl"}).code, batchOk);
}

TEST_F(PaletteBatchTest, UsageErrors) {
    BatchRun r = batch({dir + "few.png", "--palette-out", dir + "p.txt"});
    EXPECT_EQ(r.code, batchUsageError);
    EXPECT_NE(r.err.find("--palette-out: '" + dir + "p.txt' must end in .gpl, .pal or .act"),
              std::string::npos);
    r = batch({dir + "few.png", dir + "photo.png", "--palette-out", dir + "p.gpl", "--out-dir",
               dir + "outs"});
    EXPECT_EQ(r.code, batchUsageError);
    EXPECT_NE(r.err.find("--palette-out names one file"), std::string::npos);
    EXPECT_FALSE(fs::exists(dir + "p.gpl"));
    r = batch({dir + "few.png", "--remap"});
    EXPECT_EQ(r.code, batchUsageError);
}

}  // namespace
