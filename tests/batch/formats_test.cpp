// pixova-batch and the newer formats: what is carried beside the pixels, --strip, GIF,
// WebP and TIFF output, and the notes a file that went well may still need.

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "quantize/palettes.h"
#include "support/batch_run.h"

namespace fs = std::filesystem;

namespace {

// A little-endian EXIF block: Make "Make1" and Orientation 6 (stored a quarter turned).
const std::vector<uint8_t> phoneBlock = {
    'I',  'I',  42, 0, 8,   0,   0,   0,   2,   0,        // header; two entries
    0x0F, 0x01, 2,  0, 6,   0,   0,   0,   38,  0, 0, 0,  // Make: 6 ASCII bytes at 38
    0x12, 0x01, 3,  0, 1,   0,   0,   0,   6,   0, 0, 0,  // Orientation 6
    0,    0,    0,  0, 'M', 'a', 'k', 'e', '1', 0};

// A GIF89a of one black pixel shown twice.
const std::vector<uint8_t> twoFrameGif = {
    'G',  'I',  'F',  '8', '9', 'a', 1, 0, 1, 0, 0x80, 0, 0,    0,    0,    0,    0xFF,
    0xFF, 0xFF, 0x2C, 0,   0,   0,   0, 1, 0, 1, 0,    0, 2,    2,    0x44, 0x01, 0,
    0x2C, 0,    0,    0,   0,   1,   0, 1, 0, 0, 2,    2, 0x44, 0x01, 0,    0x3B};

class BatchFormatsTest : public BatchFilesTest {
  protected:
    BatchFormatsTest() : BatchFilesTest(randomImage(40, 30, 5, 24)) {}
    void SetUp() override {
        BatchFilesTest::SetUp();
        ImageMetadata metadata;
        metadata.exif = phoneBlock;
        metadata.xDpi = metadata.yDpi = 300;
        ASSERT_EQ(writeImageFile(Image(4, 3, 24, 0xFF405060), dir + "phone.jpg", ImageFormat::Jpeg,
                                 metadata),
                  "");
    }
};

void writeBytesTo(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

bool holds(const std::vector<uint8_t>& bytes, const std::string& text) {
    return std::search(bytes.begin(), bytes.end(), text.begin(), text.end()) != bytes.end();
}

TEST_F(BatchFormatsTest, ResolutionAndExifGoFromInputToOutputUnlessStripped) {
    for (const char* name : {"kept.png", "kept.jpg", "kept.webp", "kept.tif"}) {
        BatchRun r = batch({dir + "phone.jpg", "--negative", "-o", dir + name});
        ASSERT_EQ(r.code, batchOk) << r.err;
        DecodeResult back = readImageFile(dir + name);
        ASSERT_TRUE(back.ok()) << back.error;
        // Turned upright on the way in, and written with Orientation 1: not turned again.
        EXPECT_EQ(back.image.width, 3) << name;
        EXPECT_DOUBLE_EQ(back.metadata.xDpi, 300) << name;
        EXPECT_TRUE(holds(back.metadata.exif, "Make1")) << name;
    }
    BatchRun r = batch({dir + "phone.jpg", "--strip", "-o", dir + "bare.png"});
    ASSERT_EQ(r.code, batchOk) << r.err;
    DecodeResult bare = readImageFile(dir + "bare.png");
    ASSERT_TRUE(bare.ok()) << bare.error;
    EXPECT_EQ(bare.image.width, 3);  // still upright
    EXPECT_TRUE(bare.metadata.empty());
}

TEST_F(BatchFormatsTest, AQuarterTurnSwapsTheResolution) {
    ImageMetadata uneven;
    uneven.xDpi = 300;
    uneven.yDpi = 100;
    ASSERT_EQ(writeImageFile(input, dir + "uneven.png", ImageFormat::Png, uneven), "");
    BatchRun r = batch({dir + "uneven.png", "--rotate", "right", "-o", dir + "turned.png"});
    ASSERT_EQ(r.code, batchOk) << r.err;
    DecodeResult back = readImageFile(dir + "turned.png");
    EXPECT_DOUBLE_EQ(back.metadata.xDpi, 100);
    EXPECT_DOUBLE_EQ(back.metadata.yDpi, 300);
}

TEST_F(BatchFormatsTest, GifWebpAndTiffOutputsByNameOrFormat) {
    BatchRun r = batch({dir + "in.png", "--quantize", "adaptive", "--limit", "16", "--out-dir",
                        dir + "o", "--format", "gif", "--quiet"});
    ASSERT_EQ(r.code, batchOk) << r.err;
    const Image gif = read("o/in.gif");
    for (const char* format : {"webp", "tif"}) {
        r = batch({dir + "o/in.gif", "--out-dir", dir + "p", "--format", format, "--quiet"});
        ASSERT_EQ(r.code, batchOk) << r.err;
        // Sixteen colours: lossless WebP, palette TIFF; the same pixels either way.
        EXPECT_EQ(read(std::string("p/in.") + format), gif) << format;
    }
    r = batch({dir + "in.png", "--format", "tga", "--out-dir", dir + "q"});
    EXPECT_EQ(r.code, batchUsageError);
    EXPECT_NE(r.err.find("--format: unknown format 'tga'"), std::string::npos) << r.err;
}

TEST_F(BatchFormatsTest, QualityAppliesToLossyWebp) {
    std::vector<uintmax_t> sizes;
    for (const char* quality : {"20", "90"}) {
        const std::string out = dir + "q" + quality + ".webp";
        BatchRun r = batch({dir + "in.png", "--quality", quality, "-o", out});
        ASSERT_EQ(r.code, batchOk) << r.err;
        sizes.push_back(fs::file_size(out));
    }
    EXPECT_LT(sizes[0], sizes[1]);
    // Without --quality, 90.
    BatchRun r = batch({dir + "in.png", "-o", dir + "default.webp"});
    ASSERT_EQ(r.code, batchOk) << r.err;
    EXPECT_EQ(fs::file_size(dir + "default.webp"), sizes[1]);
}

TEST_F(BatchFormatsTest, PartialAlphaInAGifIsMadeAllOrNothingAndNoted) {
    const Image soft =
        imageFromRows(3, 1, {rgba(10, 20, 30, 255), rgba(10, 20, 30, 127), rgba(40, 50, 60, 128)});
    ASSERT_EQ(writeImageFile(soft, dir + "soft.png", ImageFormat::Png), "");
    BatchRun r = batch({dir + "soft.png", "-o", dir + "soft.gif"});
    ASSERT_EQ(r.code, batchOk) << r.err;
    EXPECT_NE(r.err.find("soft.gif: a GIF holds no partial transparency: pixels below alpha 128 "
                         "were made transparent, the rest opaque"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(read("soft.gif"),
              imageFromRows(3, 1, {rgba(10, 20, 30, 255), 0, rgba(40, 50, 60, 255)}));
    // --quiet keeps it to itself.
    r = batch({dir + "soft.png", "-o", dir + "quiet.gif", "--quiet"});
    EXPECT_EQ(r.err, "");
}

TEST_F(BatchFormatsTest, AGifOfMoreThan256ColoursIsReducedWithoutAskingAndNoted) {
    Image many(300, 2, 24);
    for (int x = 0; x < 300; ++x) {
        many.at(x, 0) = rgb(x % 256, x / 256 * 100, 0) | alphaMask;
        many.at(x, 1) = rgb(x % 256, x / 256 * 100, 255) | alphaMask;
    }
    ASSERT_EQ(writeImageFile(many, dir + "many.png", ImageFormat::Png), "");
    BatchRun r = batch({dir + "many.png", "-o", dir + "many.gif"});
    ASSERT_EQ(r.code, batchOk) << r.err;
    EXPECT_NE(r.err.find("many.gif: the image has 600 colours and a GIF holds 256: reduced with "
                         "Best quality, dithered"),
              std::string::npos)
        << r.err;
    const Image back = read("many.gif");
    EXPECT_LE(countUniqueColours(back), 256);
    EXPECT_GT(countUniqueColours(back), 128);
    // Close to the picture: 600 colours in 256 are off by a few levels at most.
    EXPECT_LE(std::abs(redOf(back.at(150, 0)) - 150), 8);
    EXPECT_LE(std::abs(blueOf(back.at(150, 1)) - 255), 8);
}

TEST_F(BatchFormatsTest, AnAnimationIsNotedAndItsFirstFrameUsed) {
    writeBytesTo(dir + "moving.gif", twoFrameGif);
    BatchRun r = batch({dir + "moving.gif", "-o", dir + "still.png"});
    ASSERT_EQ(r.code, batchOk) << r.err;
    EXPECT_NE(r.err.find("moving.gif: only the first frame of the animation is shown"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(read("still.png"), imageFromRows(1, 1, {0xFF000000}, 24));
}

}  // namespace
