// JPEG 2000 decoder on files written by OpenJPEG directly (lossless, so pixels are exact).

#include <gtest/gtest.h>

#include "codec_test_util.h"
#include "support/test_images.h"
#include "toolkit/codecs/codec.h"

namespace {

DecodeResult load(const std::string& relative) {
    return readImageFile(testDataPath(relative));
}

TEST(Jpeg2000Decoder, RawCodestream) {
    DecodeResult r = load("good/rgb.j2k");
    ASSERT_TRUE(r.ok()) << r.error;
    EXPECT_EQ(r.image, imageFromRows(3, 2,
                                     {rgb(255, 0, 0), rgb(0, 255, 0), rgb(0, 0, 255),
                                      rgb(10, 20, 30), rgb(40, 50, 60), rgb(70, 80, 90)},
                                     24));
}

TEST(Jpeg2000Decoder, GreyWithAlphaIs32Bit) {
    DecodeResult r = load("good/grey_alpha.jp2");
    ASSERT_TRUE(r.ok()) << r.error;
    EXPECT_EQ(r.image.depth, 32);
    EXPECT_EQ(r.image, imageFromRows(2, 1, {rgba(100, 100, 100, 0), rgba(200, 200, 200, 255)}, 32));
}

TEST(Jpeg2000Decoder, SubsampledYccBecomesRgb) {
    // Cb 128 and Cr 200 (72 above neutral): R = Y + 1.402 * 72 = Y + 100.9,
    // G = Y - 0.714136 * 72 = Y - 51.4, B = Y. Luma 100 -> (201, 49, 100),
    // luma 150 -> (251, 99, 150). One chroma sample covers each 2 x 2 block.
    DecodeResult r = load("good/ycc_subsampled.jp2");
    ASSERT_TRUE(r.ok()) << r.error;
    const uint32_t left = rgb(201, 49, 100) | alphaMask, right = rgb(251, 99, 150) | alphaMask;
    EXPECT_EQ(r.image,
              imageFromRows(4, 2, {left, left, right, right, left, left, right, right}, 24));
}

TEST(Jpeg2000Decoder, DeepSamplesScaleToEightBits) {
    // 12 bits: 0, 4095, 2048 -> 0, 255, 2048 * 255 / 4095 = 127.5 -> 128.
    DecodeResult r = load("good/grey_12_bit.jp2");
    ASSERT_TRUE(r.ok()) << r.error;
    EXPECT_EQ(r.image,
              imageFromRows(3, 1, {rgb(0, 0, 0), rgb(255, 255, 255), rgb(128, 128, 128)}, 24));
}

TEST(Jpeg2000Decoder, HeaderChecksComeFirst) {
    DecodeResult r = load("bad/jp2_100000x100000.jp2");
    EXPECT_NE(r.error.find("100000 x 100000"), std::string::npos) << r.error;
    r = load("bad/jp2_five_components.jp2");
    EXPECT_NE(r.error.find("component count 5"), std::string::npos) << r.error;
    r = load("bad/jp2_20_bit.jp2");
    EXPECT_NE(r.error.find("bit depth 20"), std::string::npos) << r.error;
}

TEST(Jpeg2000Decoder, CutFilesAreErrors) {
    EncodeResult e = encodeJpeg2000(smoothImage(32, 24, 32), 10);
    ASSERT_TRUE(e.ok()) << e.error;
    for (size_t cut = 0; cut < e.bytes.size(); cut += 11) {
        DecodeResult part = decodeJpeg2000(e.bytes.data(), cut);
        EXPECT_FALSE(part.ok()) << cut;
    }
}

TEST(Jpeg2000Encoder, WritesAJp2WithAlphaFlagged) {
    EncodeResult e = encodeJpeg2000(imageFromRows(2, 2, {rgba(1, 2, 3, 4), 0, 0, 0}, 32), 3);
    ASSERT_TRUE(e.ok()) << e.error;
    EXPECT_EQ(detectFormat(e.bytes.data(), e.bytes.size()), ImageFormat::Jpeg2000);
    // The channel definition box marks the fourth channel as opacity (type 1).
    const std::string box = "cdef";
    auto at = std::search(e.bytes.begin(), e.bytes.end(), box.begin(), box.end());
    ASSERT_NE(at, e.bytes.end());
    size_t p = static_cast<size_t>(at - e.bytes.begin()) + 4;
    ASSERT_EQ((e.bytes[p] << 8) | e.bytes[p + 1], 4);  // four channel entries of 6 bytes
    size_t fourth = p + 2 + 3 * 6;
    EXPECT_EQ((e.bytes[fourth + 2] << 8) | e.bytes[fourth + 3], 1);
}

}  // namespace
