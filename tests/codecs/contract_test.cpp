// The fuzz harness's decode contract must itself catch what it is there to catch.

#include "../fuzz/contract.h"

#include <gtest/gtest.h>

#include "support/test_images.h"

namespace {

TEST(DecodeContract, AcceptsWhatTheDecodersReallyGive) {
    const Image image = randomImage(5, 3, 4, 32);
    for (ImageFormat format : {ImageFormat::Png, ImageFormat::Bmp}) {
        EncodeResult e = encodeImage(image, format);
        DecodeResult r = decodeImage(e.bytes.data(), e.bytes.size());
        EXPECT_TRUE(checkDecode(format, e.bytes.data(), e.bytes.size(), r));
        checkRoundTrip(format, r.image);
    }
    EncodeResult jpeg = encodeJpeg(randomImage(9, 7, 1, 24), 8);
    EXPECT_TRUE(checkDecode(ImageFormat::Jpeg, jpeg.bytes.data(), jpeg.bytes.size(),
                            decodeJpeg(jpeg.bytes.data(), jpeg.bytes.size())));
    EncodeResult jp2 = encodeJpeg2000(randomImage(9, 7, 1, 24), 3);
    EXPECT_TRUE(checkDecode(ImageFormat::Jpeg2000, jp2.bytes.data(), jp2.bytes.size(),
                            decodeJpeg2000(jp2.bytes.data(), jp2.bytes.size())));
    DecodeResult refused;
    refused.error = "no";
    EXPECT_FALSE(checkDecode(ImageFormat::Png, jpeg.bytes.data(), 4, refused));
}

TEST(DecodeContractDeathTest, BrokenPromisesEndTheProgram) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EncodeResult png = encodePng(randomImage(4, 4, 2, 24));
    const uint8_t* bytes = png.bytes.data();
    const size_t size = png.bytes.size();

    DecodeResult wrongSize;
    wrongSize.image = randomImage(4, 5, 2, 24);
    EXPECT_DEATH(checkDecode(ImageFormat::Png, bytes, size, wrongSize), "differs from the header");

    DecodeResult seeThrough;
    seeThrough.image = randomImage(4, 4, 2, 24);
    seeThrough.image.at(3, 3) = 0x00123456;
    EXPECT_DEATH(checkDecode(ImageFormat::Png, bytes, size, seeThrough), "not opaque");

    DecodeResult shortPixels;
    shortPixels.image = randomImage(4, 4, 2, 24);
    shortPixels.image.pixels.resize(15);
    EXPECT_DEATH(checkDecode(ImageFormat::Png, bytes, size, shortPixels), "pixel count");

    DecodeResult refusedWithPixels;
    refusedWithPixels.error = "bad";
    refusedWithPixels.image = randomImage(1, 1, 2, 24);
    EXPECT_DEATH(checkDecode(ImageFormat::Png, bytes, size, refusedWithPixels), "refused");

    // JPEG is lossy: held to an exact round trip, it must fail.
    EXPECT_DEATH(checkRoundTrip(ImageFormat::Jpeg, randomImage(8, 8, 3, 24)), "round trip");
}

}  // namespace
