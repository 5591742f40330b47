// What the decoders refuse before they allocate: data that cannot fill the size it claims,
// decodes that would pass the memory budget, inputs that are not files; and JPEG 2000
// decoded band by band giving the pixels of a single pass.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
// jpeglib.h needs FILE and size_t declared first.
#include <jpeglib.h>

#include <cstdlib>

#include "allocation_probe.h"
#include "codec_test_util.h"
#include "support/test_images.h"
#include "toolkit/codecs/codec.h"
#include "toolkit/codecs/codec_util.h"

namespace {

TEST(DecodeBounds, MalformedFilesAskForNoLargeBlock) {
    // Pixels that would be written later are not touched when an image is made, so the
    // resident size cannot show an image made too early; the size asked for can.
    constexpr size_t allowed = size_t{64} << 20;
    for (const char* folder : {"bad", "corpus/png/crashers", "corpus/bmp/b"}) {
        for (const std::string& path : dataFiles(folder)) {
            AllocationProbe probe;
            readImageFile(path);
            EXPECT_LT(probe.largestBlock(), allowed) << path;
        }
    }
}

TEST(DecodeBounds, EachMemoryCaseGivesItsReason) {
    const std::pair<const char*, const char*> cases[] = {
        // 16384 x 16384 at 8 bits needs 256 MiB of pixel data; the file has 4 bytes.
        {"bmp_16384x16384_no_data.bmp", "BMP pixel data is truncated"},
        // 149 rows of arithmetic-coded data under a header that says 4000.
        {"jpeg_arithmetic_lying_height.jpg", "JPEG data ends before the picture is complete"},
        // 1 GiB of image plus 1.5 GiB of coefficients.
        {"jpeg_progressive_1.5_gib.jpg", "JPEG file needs more than 1088 MiB to decode"},
        // 16384 x 16384 from a few hundred bytes of LZW data: the indices run out first.
        {"gif_16384x16384_tiny.gif", "GIF error: Image EOF detected before image complete"},
        {"gif_lzw_code_size_12.gif", "GIF image data has an invalid LZW code size of 12"},
        // 768 MiB of RGB from one strip of a few hundred deflated bytes.
        {"tiff_16384x16384_tiny.tif", "TIFF pixel data is too short for a 805306368-byte picture"},
        {"tiff_strip_offset_past_end.tif", "TIFF strip 0 lies beyond the end of the file"},
    };
    for (const auto& [file, reason] : cases) {
        EXPECT_EQ(readImageFile(testDataPath(std::string("bad/") + file)).error, reason) << file;
    }
    // 16384 x 16384 from a few bytes: decoding fails once the data runs out.
    DecodeResult r = readImageFile(testDataPath("bad/j2k_16384x16384_tiny.j2k"));
    EXPECT_FALSE(r.ok());
    EXPECT_TRUE(r.image.empty());
}

TEST(DecodeBounds, OnlyRegularFilesAreRead) {
    EXPECT_EQ(readImageFile("/dev/zero").error, "not a regular file");
    EXPECT_EQ(readImageFile("/dev/null").error, "not a regular file");
    // A pipe with no writer: opening it must not wait for one.
    std::string fifo = makeTempDir() + "pipe.png";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(readImageFile(fifo).error, "not a regular file");
}

// --- Arithmetic-coded JPEG ---------------------------------------------------------------

std::vector<uint8_t> arithmeticJpeg(int width, int height, const std::vector<uint8_t>& rgbRows,
                                    bool progressive) {
    jpeg_compress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);  // test-only: libjpeg's own handler is fine here
    jpeg_create_compress(&cinfo);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &out, &size);
    cinfo.image_width = width;
    cinfo.image_height = height;
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 90, TRUE);
    cinfo.arith_code = TRUE;
    if (progressive) jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    for (int y = 0; y < height; ++y) {
        auto row = const_cast<JSAMPROW>(rgbRows.data() + static_cast<size_t>(y) * width * 3);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::vector<uint8_t> bytes(out, out + size);
    std::free(out);
    return bytes;
}

TEST(JpegDecoder, ArithmeticDataMayLeaveOutOnlyTheLowerHalf) {
    // An encoder leaves out the zero bytes that end its data, and those stand for flat
    // blocks: here the bottom 64 of 160 rows are one grey, their data left out entirely.
    const int width = 64, height = 160, flatFrom = 96;
    std::vector<uint8_t> rows(static_cast<size_t>(width) * height * 3);
    std::srand(7);
    for (size_t i = 0; i < rows.size(); ++i) {
        rows[i] = i < static_cast<size_t>(width) * flatFrom * 3 ? std::rand() % 256 : 200;
    }
    for (bool progressive : {false, true}) {
        std::vector<uint8_t> file = arithmeticJpeg(width, height, rows, progressive);
        DecodeResult r = decodeJpeg(file.data(), file.size());
        ASSERT_TRUE(r.ok()) << progressive << ": " << r.error;
        for (int y = flatFrom; y < height; ++y) {
            ASSERT_NEAR(redOf(r.image.at(width / 2, y)), 200, 2) << y;
        }
    }

    // testimgari.jpg: 149 rows, ten rows of 16-pixel blocks. Its data ends within the
    // tenth, so a header may claim up to 20 rows of blocks (320 pixels) before the file
    // counts as cut.
    const std::vector<uint8_t> original = readBytes(testDataPath("corpus/jpeg/testimgari.jpg"));
    const DecodeResult reference = decodeJpeg(original.data(), original.size());
    ASSERT_TRUE(reference.ok()) << reference.error;
    size_t heightField = 0;
    while (!(original[heightField] == 0xFF && original[heightField + 1] == 0xC9)) ++heightField;
    heightField += 5;
    for (int claimed : {320, 352, 4000}) {
        std::vector<uint8_t> file = original;
        file[heightField] = static_cast<uint8_t>(claimed >> 8);
        file[heightField + 1] = static_cast<uint8_t>(claimed);
        DecodeResult r = decodeJpeg(file.data(), file.size());
        if (claimed == 320) {
            ASSERT_TRUE(r.ok()) << r.error;
            EXPECT_EQ(copyRect(r.image, 0, 0, 226, 148), reference.image);
        } else {
            EXPECT_EQ(r.error, "JPEG data ends before the picture is complete") << claimed;
            EXPECT_TRUE(r.image.empty());
        }
    }
}

// --- JPEG 2000 in bands -------------------------------------------------------------------

TEST(Jpeg2000Decoder, BandsGiveThePixelsOfOnePass) {
    // Lossless: every band count gives the picture back exactly.
    const Image random = randomImage(70, 50, 11, 32);
    EncodeResult lossless = encodeJpeg2000(random, 10);
    ASSERT_TRUE(lossless.ok()) << lossless.error;
    for (int64_t rows : {1, 13, 24, 50}) {
        DecodeResult r = decodeJpeg2000InBands(lossless.bytes.data(), lossless.bytes.size(), rows);
        ASSERT_TRUE(r.ok()) << rows << ": " << r.error;
        EXPECT_EQ(firstDifference(r.image, random), "") << rows;
    }
    // Lossy: bands agree with the single pass to the last bit.
    EncodeResult lossy = encodeJpeg2000(smoothImage(90, 61, 24), 3);
    ASSERT_TRUE(lossy.ok()) << lossy.error;
    DecodeResult whole = decodeJpeg2000(lossy.bytes.data(), lossy.bytes.size());
    ASSERT_TRUE(whole.ok()) << whole.error;
    for (int64_t rows : {1, 30}) {
        DecodeResult r = decodeJpeg2000InBands(lossy.bytes.data(), lossy.bytes.size(), rows);
        ASSERT_TRUE(r.ok()) << r.error;
        EXPECT_EQ(firstDifference(r.image, whole.image), "") << rows;
    }
    // Subsampled chroma: a band holds the chroma rows its pixel rows repeat.
    std::vector<uint8_t> ycc = readBytes(testDataPath("good/ycc_subsampled.jp2"));
    DecodeResult banded = decodeJpeg2000InBands(ycc.data(), ycc.size(), 1);
    ASSERT_TRUE(banded.ok()) << banded.error;
    EXPECT_EQ(banded.image, decodeJpeg2000(ycc.data(), ycc.size()).image);
    // A cut file fails in whichever band its data runs out.
    std::vector<uint8_t> cut(lossless.bytes.begin(),
                             lossless.bytes.begin() + lossless.bytes.size() * 3 / 4);
    EXPECT_FALSE(decodeJpeg2000InBands(cut.data(), cut.size(), 13).ok());
}

}  // namespace
