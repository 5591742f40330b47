// Encode then decode at both depths for every format.

#include <gtest/gtest.h>

#include "codec_test_util.h"
#include "support/test_images.h"
#include "toolkit/codecs/codec.h"

namespace {

// Largest per-channel error allowed after a lossy round trip of smoothImage(256, 192).
// JPEG at the save quality 8 (libjpeg 80, 4:2:0 chroma) on gentle gradients: 6.
constexpr int jpegRoundTripBound = 6;
// JPEG 2000 at the save quality 3 (40:1) on the same picture, alpha included: 5.
constexpr int jpeg2000RoundTripBound = 5;

struct Exact {
    const char* name;
    EncodeResult (*encode)(const Image&);
};

const Exact exactCodecs[] = {{"PNG", [](const Image& i) { return encodePng(i); }},
                             {"BMP", [](const Image& i) { return encodeBmp(i); }}};

TEST(RoundTrip, PngAndBmpKeepEveryPixelAndDepth) {
    // Odd widths exercise BMP row padding; random words make every byte matter.
    const int sizes[][2] = {{1, 1}, {3, 2}, {5, 7}, {64, 33}};
    for (const Exact& codec : exactCodecs) {
        for (int depth : {24, 32}) {
            for (const auto& size : sizes) {
                SCOPED_TRACE(std::string(codec.name) + " depth " + std::to_string(depth) + " " +
                             std::to_string(size[0]) + "x" + std::to_string(size[1]));
                Image original = randomImage(size[0], size[1], 17u + size[0], depth);
                EncodeResult encoded = codec.encode(original);
                ASSERT_TRUE(encoded.ok()) << encoded.error;
                DecodeResult decoded = decodeImage(encoded.bytes.data(), encoded.bytes.size());
                ASSERT_TRUE(decoded.ok()) << decoded.error;
                EXPECT_EQ(decoded.image.depth, depth);
                EXPECT_EQ(decoded.image, original);
            }
        }
    }
}

TEST(RoundTrip, TransparentPixelsKeepTheirColour) {
    // A fully transparent pixel still carries a colour; BMP and truecolour PNG must not
    // drop it. (A PNG written with a palette keeps one transparent entry for all of them:
    // see PngWriter.)
    Image original = randomImage(20, 20, 5, 32);
    original.at(0, 0) = rgba(10, 20, 30, 0);
    original.at(1, 0) = rgba(200, 100, 50, 128);
    for (const Exact& codec : exactCodecs) {
        EncodeResult encoded = codec.encode(original);
        ASSERT_TRUE(encoded.ok()) << encoded.error;
        DecodeResult decoded = decodeImage(encoded.bytes.data(), encoded.bytes.size());
        ASSERT_TRUE(decoded.ok()) << codec.name << ": " << decoded.error;
        EXPECT_EQ(decoded.image, original) << codec.name;
    }
    // BMP keeps them in a picture of few colours too.
    Image few = imageFromRows(2, 1, {rgba(10, 20, 30, 0), rgba(200, 100, 50, 128)});
    EncodeResult bmp = encodeBmp(few);
    ASSERT_TRUE(bmp.ok()) << bmp.error;
    EXPECT_EQ(decodeImage(bmp.bytes.data(), bmp.bytes.size()).image, few);
}

TEST(RoundTrip, JpegStaysCloseAndDropsAlpha) {
    for (int depth : {24, 32}) {
        Image original = smoothImage(256, 192, depth);
        EncodeResult encoded = encodeImage(original, ImageFormat::Jpeg);
        ASSERT_TRUE(encoded.ok()) << encoded.error;
        DecodeResult decoded = decodeImage(encoded.bytes.data(), encoded.bytes.size());
        ASSERT_TRUE(decoded.ok()) << decoded.error;
        EXPECT_EQ(decoded.image.depth, 24);
        // JPEG has no alpha: compare colours only, and the result is opaque.
        Image opaque = original;
        for (uint32_t& p : opaque.pixels) p |= alphaMask;
        EXPECT_LE(maxChannelDifference(decoded.image, opaque), jpegRoundTripBound) << depth;
    }
}

TEST(RoundTrip, JpegQualityChangesTheFileSize) {
    Image original = randomImage(32, 32, 5, 24);
    EncodeResult low = encodeJpeg(original, 1);
    EncodeResult high = encodeJpeg(original, 10);
    ASSERT_TRUE(low.ok() && high.ok());
    EXPECT_LT(low.bytes.size() * 2, high.bytes.size());
}

TEST(RoundTrip, Jpeg2000StaysCloseAndKeepsAlpha) {
    for (int depth : {24, 32}) {
        Image original = smoothImage(256, 192, depth);
        EncodeResult encoded = encodeImage(original, ImageFormat::Jpeg2000);
        ASSERT_TRUE(encoded.ok()) << encoded.error;
        DecodeResult decoded = decodeImage(encoded.bytes.data(), encoded.bytes.size());
        ASSERT_TRUE(decoded.ok()) << decoded.error;
        EXPECT_EQ(decoded.image.depth, depth);
        EXPECT_LE(maxChannelDifference(decoded.image, original), jpeg2000RoundTripBound) << depth;
    }
}

TEST(RoundTrip, Jpeg2000QualityTenIsLossless) {
    for (int depth : {24, 32}) {
        Image original = randomImage(13, 9, 3, depth);
        EncodeResult encoded = encodeJpeg2000(original, 10);
        ASSERT_TRUE(encoded.ok()) << encoded.error;
        DecodeResult decoded = decodeJpeg2000(encoded.bytes.data(), encoded.bytes.size());
        ASSERT_TRUE(decoded.ok()) << decoded.error;
        EXPECT_EQ(decoded.image, original);
    }
}

TEST(RoundTrip, Jpeg2000SaveQualityCompressesAboutFortyToOne) {
    Image original = randomImage(128, 128, 9, 24);
    EncodeResult encoded = encodeImage(original, ImageFormat::Jpeg2000);
    ASSERT_TRUE(encoded.ok()) << encoded.error;
    const double raw = 128.0 * 128 * 3;
    // Headers add a little; rate control lands at or under the target.
    EXPECT_LT(encoded.bytes.size(), raw / 40 * 1.25);
    EXPECT_GT(encoded.bytes.size(), raw / 40 * 0.5);
}

TEST(RoundTrip, TinyImagesEncodeInEveryFormat) {
    // One pixel is below the JPEG 2000 default wavelet depth and one JPEG block.
    Image pixel = imageFromRows(1, 1, {rgba(250, 5, 128, 255)}, 24);
    for (ImageFormat f :
         {ImageFormat::Png, ImageFormat::Jpeg, ImageFormat::Jpeg2000, ImageFormat::Bmp}) {
        EncodeResult encoded = encodeImage(pixel, f);
        ASSERT_TRUE(encoded.ok()) << static_cast<int>(f) << ": " << encoded.error;
        DecodeResult decoded = decodeImage(encoded.bytes.data(), encoded.bytes.size());
        ASSERT_TRUE(decoded.ok()) << decoded.error;
        EXPECT_EQ(decoded.image.width, 1);
        EXPECT_EQ(decoded.image.height, 1);
    }
}

TEST(RoundTrip, EncodersRefuseImagesTheyCannotWrite) {
    Image empty;
    Image inconsistent(4, 4, 24);
    inconsistent.pixels.resize(3);  // fewer words than 4 x 4
    Image oddDepth(2, 2, 24);
    oddDepth.depth = 16;
    for (const Image* bad : {&empty, &inconsistent, &oddDepth}) {
        EXPECT_FALSE(encodePng(*bad).ok());
        EXPECT_FALSE(encodeJpeg(*bad, 8).ok());
        EXPECT_FALSE(encodeJpeg2000(*bad, 3).ok());
        EXPECT_FALSE(encodeBmp(*bad).ok());
    }
    EXPECT_FALSE(encodeImage(Image(2, 2, 24), ImageFormat::Unknown).ok());
}

}  // namespace
