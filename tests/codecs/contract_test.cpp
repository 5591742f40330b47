// The fuzz harness's decode contract must itself catch what it is there to catch.

#include "../fuzz/contract.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <vector>

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

// A .jp2 is read box by box: marker-like bytes in a box before the codestream (as a fuzzer
// planted them in a colour box) are not the picture's size.
TEST(DecodeContract, AJp2sSizeIsItsCodestreamsWhateverOtherBoxesHold) {
    EncodeResult jp2 = encodeJpeg2000(randomImage(4, 2, 1, 24), 3);
    ASSERT_TRUE(jp2.ok());
    // Signature box (12 bytes), then ftyp; a box of our own goes in before jp2h.
    const size_t ftypLength = static_cast<size_t>(jp2.bytes[12]) << 24 |
                              static_cast<size_t>(jp2.bytes[13]) << 16 |
                              static_cast<size_t>(jp2.bytes[14]) << 8 | jp2.bytes[15];
    const std::vector<uint8_t> planted = {0,    0, 0, 30, 'x', 'm', 'l', ' ',  0xFF, 0x4F, 0xFF,
                                          0x51, 0, 0, 0,  0,   0,   0,   0x10, 0x00, 0x00, 0,
                                          0,    0, 9, 0,  0,   0,   0,   0};  // a 4096 x 9 "size"
    std::vector<uint8_t> file = jp2.bytes;
    file.insert(file.begin() + static_cast<std::ptrdiff_t>(12 + ftypLength), planted.begin(),
                planted.end());
    DecodeResult decoded = decodeJpeg2000(file.data(), file.size());
    ASSERT_TRUE(decoded.ok()) << decoded.error;
    EXPECT_EQ(decoded.image.width, 4);
    EXPECT_TRUE(checkDecode(ImageFormat::Jpeg2000, file.data(), file.size(), decoded));
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
