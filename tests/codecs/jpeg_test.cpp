// JPEG decoder and encoder: colour spaces, codings, precision, quality and damaged files.

#include <gtest/gtest.h>

#include <cstdlib>

#include "codec_test_util.h"
#include "support/test_images.h"
#include "toolkit/codecs/codec.h"

namespace {

DecodeResult load(const std::string& relative) {
    return readImageFile(testDataPath(relative));
}

bool near(uint32_t a, uint32_t b, int tolerance) {
    for (int shift = 0; shift < 32; shift += 8) {
        if (std::abs(int((a >> shift) & 255) - int((b >> shift) & 255)) > tolerance) return false;
    }
    return true;
}

TEST(JpegDecoder, BaselineProgressiveAndArithmeticCodingsDecode) {
    DecodeResult original = load("corpus/jpeg/testorig.jpg");
    DecodeResult progressive = load("corpus/jpeg/testimgint.jpg");
    DecodeResult arithmetic = load("corpus/jpeg/testimgari.jpg");
    for (const DecodeResult* r : {&original, &progressive, &arithmetic}) {
        ASSERT_TRUE(r->ok()) << r->error;
        EXPECT_EQ(r->image.width, 227);
        EXPECT_EQ(r->image.height, 149);
        EXPECT_EQ(r->image.depth, 24);
    }
    // The last two hold the same coefficients, coded two ways: the pixels must agree.
    EXPECT_EQ(progressive.image, arithmetic.image);
    // The first was made by another encoder run from the same picture: single pixels
    // differ, but on average the channels agree to within a level or two.
    double total = 0;
    for (size_t i = 0; i < original.image.pixels.size(); ++i) {
        uint32_t a = original.image.pixels[i], b = progressive.image.pixels[i];
        total += std::abs(redOf(a) - redOf(b)) + std::abs(greenOf(a) - greenOf(b)) +
                 std::abs(blueOf(a) - blueOf(b));
    }
    double mean = total / (3.0 * original.image.pixels.size());
    EXPECT_LT(mean, 2.0);
}

TEST(JpegDecoder, GreyFilesGiveEqualChannels) {
    // 16 x 16 grey, left half 50 and right half 200, quality 100 (good/grey.jpg).
    DecodeResult baseline = load("good/grey.jpg");
    ASSERT_TRUE(baseline.ok()) << baseline.error;
    EXPECT_EQ(baseline.image.depth, 24);
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) {
            uint32_t p = baseline.image.at(x, y);
            ASSERT_EQ(redOf(p), greenOf(p));
            ASSERT_EQ(redOf(p), blueOf(p));
            ASSERT_EQ(alphaOf(p), 255);
            ASSERT_NEAR(redOf(p), x < 8 ? 50 : 200, 2) << x << "," << y;
        }
    }
    // The same coefficients sent progressively decode to the same pixels.
    DecodeResult progressive = load("good/grey_progressive.jpg");
    ASSERT_TRUE(progressive.ok()) << progressive.error;
    EXPECT_EQ(progressive.image, baseline.image);
}

TEST(JpegDecoder, AdobeCmykAndYcckBecomeRgb) {
    // 16 x 8: left block red ink mix, right block blue, stored inverted as Adobe does.
    for (const char* file : {"good/cmyk_adobe.jpg", "good/ycck_adobe.jpg"}) {
        DecodeResult r = load(file);
        ASSERT_TRUE(r.ok()) << file << ": " << r.error;
        EXPECT_EQ(r.image.depth, 24);
        EXPECT_TRUE(near(r.image.at(0, 0), rgb(255, 0, 0) | alphaMask, 3))
            << file << std::hex << r.image.at(0, 0);
        EXPECT_TRUE(near(r.image.at(15, 7), rgb(0, 0, 255) | alphaMask, 3))
            << file << std::hex << r.image.at(15, 7);
    }
}

TEST(JpegDecoder, TwelveBitFilesGiveAClearError) {
    DecodeResult r = load("corpus/jpeg/monkey12.jpg");
    EXPECT_FALSE(r.ok());
    EXPECT_NE(r.error.find("12 bits"), std::string::npos) << r.error;
    EXPECT_TRUE(r.image.empty());
}

TEST(JpegDecoder, DamagedFilesAreErrors) {
    DecodeResult r = load("bad/jpeg_lying_height.jpg");  // 64 x 48 data, header says 64 x 2000
    EXPECT_FALSE(r.ok());
    r = load("bad/jpeg_65535x65535.jpg");
    EXPECT_NE(r.error.find("65535 x 65535"), std::string::npos) << r.error;
    r = load("bad/jpeg_zero_height.jpg");
    EXPECT_NE(r.error.find("64 x 0"), std::string::npos) << r.error;
    r = load("bad/jpeg_1100_scans.jpg");
    EXPECT_NE(r.error.find("too many scans"), std::string::npos) << r.error;
    // A size within the pixel limit whose progressive decoding would need 1.5 GiB.
    r = load("bad/jpeg_progressive_1.5_gib.jpg");
    EXPECT_NE(r.error.find("needs more than 1088 MiB"), std::string::npos) << r.error;

    // Every cut of a good file fails cleanly.
    EncodeResult e = encodeJpeg(smoothImage(24, 16, 24), 8);
    ASSERT_TRUE(e.ok());
    for (size_t cut = 0; cut < e.bytes.size(); cut += 7) {
        DecodeResult part = decodeJpeg(e.bytes.data(), cut);
        EXPECT_FALSE(part.ok()) << cut;
    }
}

// The first three luminance quantizers of a file (in zigzag order).
std::vector<int> firstQuantizers(const std::vector<uint8_t>& jpeg) {
    for (size_t i = 0; i + 8 < jpeg.size(); ++i) {
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xDB) return {jpeg[i + 5], jpeg[i + 6], jpeg[i + 7]};
    }
    return {};
}

TEST(JpegEncoder, QualityScaleIsTimesTen) {
    // libjpeg scales the standard table (16, 11, 12 first in zigzag order) by
    // 200 - 2q percent for q >= 50, rounding (v * s + 50) / 100:
    //   quality 8 -> 80: s = 40 -> 6, 4, 5;  quality 5 -> 50: s = 100 -> 16, 11, 12;
    //   quality 10 -> 100: s = 0 -> every entry 1.
    Image image = smoothImage(16, 16, 24);
    EXPECT_EQ(firstQuantizers(encodeJpeg(image, jpegSaveQuality).bytes),
              (std::vector<int>{6, 4, 5}));
    EXPECT_EQ(firstQuantizers(encodeJpeg(image, 5).bytes), (std::vector<int>{16, 11, 12}));
    EXPECT_EQ(firstQuantizers(encodeJpeg(image, 10).bytes), (std::vector<int>{1, 1, 1}));
    // Out-of-range qualities are clamped, not refused.
    EXPECT_EQ(firstQuantizers(encodeJpeg(image, 99).bytes), (std::vector<int>{1, 1, 1}));
    EXPECT_TRUE(encodeJpeg(image, -3).ok());
}

TEST(JpegEncoder, RefusesSizesJpegCannotHold) {
    // JPEG stops at 65500 pixels a side; the program allows longer strips.
    EncodeResult e = encodeJpeg(Image(70000, 1, 24), 8);
    EXPECT_FALSE(e.ok());
    EXPECT_TRUE(e.bytes.empty());
}

}  // namespace
