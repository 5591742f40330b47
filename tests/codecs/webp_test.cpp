// WebP: lossless when a picture has few values, lossy by quality otherwise, alpha either
// way, the first frame of an animation, and damaged files.

#include <gtest/gtest.h>

#include <cstring>

#include "codec_test_util.h"
#include "file_makers.h"
#include "support/test_images.h"
#include "toolkit/codecs/codec.h"

namespace {

// 256 values: every pixel one of them, in a scrambled order.
Image fewColours(int w, int h, int depth) {
    Image image(w, h, depth);
    for (size_t i = 0; i < image.pixels.size(); ++i) {
        const int k = static_cast<int>((i * 97 + i / 7) % 256);
        image.pixels[i] = rgba(k, (k * 5) & 255, 255 - k, depth == 32 ? (k * 3) & 255 : 255);
        if (depth == 32 && alphaOf(image.pixels[i]) == 0) image.pixels[i] = 0;
    }
    return image;
}

// The "riff" chunk header and where the first chunk's data starts.
constexpr size_t chunkData = 20;

TEST(WebpEncoder, AtMost256ValuesIsLosslessAndComesBackExactly) {
    for (int depth : {24, 32}) {
        const Image image = fewColours(61, 33, depth);
        EncodeResult e = encodeWebp(image);
        ASSERT_TRUE(e.ok()) << e.error;
        // A lossless file's bitstream chunk is VP8L, wrapped or not.
        EXPECT_TRUE(containsBytesOf(e.bytes, "VP8L"));
        DecodeResult r = decodeWebp(e.bytes.data(), e.bytes.size());
        ASSERT_TRUE(r.ok()) << r.error;
        EXPECT_EQ(r.image.depth, depth);
        EXPECT_EQ(firstDifference(r.image, image), "") << depth;
    }
    // Fully transparent pixels count as one value whatever they hide, and come back as it.
    Image hidden = fewColours(16, 16, 24);
    hidden.depth = 32;
    for (size_t i = 0; i < hidden.pixels.size(); i += 3)
        hidden.pixels[i] = rgba(static_cast<int>(i), 1, 2, 0);
    EncodeResult e = encodeWebp(hidden);
    ASSERT_TRUE(e.ok()) << e.error;
    EXPECT_TRUE(containsBytesOf(e.bytes, "VP8L"));
    DecodeResult r = decodeWebp(e.bytes.data(), e.bytes.size());
    ASSERT_TRUE(r.ok()) << r.error;
    for (size_t i = 0; i < hidden.pixels.size(); ++i) {
        ASSERT_EQ(r.image.pixels[i], i % 3 == 0 ? 0u : hidden.pixels[i]) << i;
    }
}

TEST(WebpEncoder, MoreValuesAreLossyAndQualityBuysSize) {
    const Image image = smoothImage(160, 120, 24);
    size_t previous = 0;
    for (int quality : {10, 50, 90, 100}) {
        EncodeResult e = encodeWebp(image, quality);
        ASSERT_TRUE(e.ok()) << e.error;
        EXPECT_FALSE(containsBytesOf(e.bytes, "VP8L"));
        EXPECT_GT(e.bytes.size(), previous) << quality;
        previous = e.bytes.size();
        DecodeResult r = decodeWebp(e.bytes.data(), e.bytes.size());
        ASSERT_TRUE(r.ok()) << r.error;
        // Gentle gradients survive even the lowest quality tried here.
        EXPECT_LE(maxChannelDifference(r.image, image), quality >= 90 ? 6 : 24) << quality;
    }
    // The save quality is the default.
    EXPECT_EQ(encodeWebp(image).bytes, encodeWebp(image, 90).bytes);
}

TEST(WebpEncoder, LossyKeepsAlphaExactly) {
    const Image image = smoothImage(96, 64, 32);  // alpha falls from 255 to 155 across
    EncodeResult e = encodeWebp(image, 75);
    ASSERT_TRUE(e.ok()) << e.error;
    DecodeResult r = decodeWebp(e.bytes.data(), e.bytes.size());
    ASSERT_TRUE(r.ok()) << r.error;
    ASSERT_EQ(r.image.depth, 32);
    for (size_t i = 0; i < image.pixels.size(); ++i) {
        ASSERT_EQ(alphaOf(r.image.pixels[i]), alphaOf(image.pixels[i])) << i;
    }
    EXPECT_LE(maxChannelDifference(r.image, image), 12);
}

TEST(WebpEncoder, RefusesWhatWebpCannotHold) {
    EncodeResult e = encodeWebp(Image(16384, 1, 24));
    EXPECT_EQ(e.error, "a WebP is at most 16383 pixels wide and high");
}

TEST(WebpDecoder, TheFirstFrameOfAnAnimation) {
    const Image first = fewColours(24, 16, 32);
    Image second = first;
    for (uint32_t& p : second.pixels) p ^= 0x00FFFFFF;
    const std::vector<uint8_t> file = makeAnimatedWebp({first, second});
    DecodeResult r = decodeWebp(file.data(), file.size());
    ASSERT_TRUE(r.ok()) << r.error;
    // The animation's encoder fills what fully transparent pixels hide as it likes.
    Image shown = r.image;
    for (uint32_t& p : shown.pixels) p = alphaOf(p) == 0 ? 0 : p;
    EXPECT_EQ(firstDifference(shown, first), "");
    EXPECT_EQ(r.notice, "only the first frame of the animation is shown");
    // A still file says nothing.
    const std::vector<uint8_t> still = makeWebp(first);
    EXPECT_EQ(decodeWebp(still.data(), still.size()).notice, "");
}

TEST(WebpDecoder, DamagedFilesGiveAReasonAndNoPicture) {
    const std::vector<uint8_t> good =
        makeWebp(smoothImage(40, 30, 24), std::vector<uint8_t>(40, 'x'));
    ASSERT_TRUE(decodeWebp(good.data(), good.size()).ok());
    auto refused = [](const std::vector<uint8_t>& bytes, const std::string& reason) {
        DecodeResult r = decodeWebp(bytes.data(), bytes.size());
        EXPECT_FALSE(r.ok());
        EXPECT_TRUE(r.image.empty());
        EXPECT_NE(r.error.find(reason), std::string::npos) << r.error;
    };
    refused(std::vector<uint8_t>(good.begin(), good.begin() + good.size() * 2 / 3), "truncated");
    refused(std::vector<uint8_t>(good.begin(), good.begin() + 16), "WebP");
    // A canvas that lies about the picture it holds.
    ASSERT_EQ(std::memcmp(good.data() + 12, "VP8X", 4), 0);
    std::vector<uint8_t> lying = good;
    lying[24] = 99;  // canvas 100 wide, the picture 40
    refused(lying, "WebP");
    // 100000 x 100000 is over the limit, refused from the header.
    std::vector<uint8_t> huge = good;
    for (size_t at : {size_t{24}, size_t{27}}) {
        huge[at] = 0x9F;  // 99999 = 0x01869F
        huge[at + 1] = 0x86;
        huge[at + 2] = 0x01;
    }
    refused(huge, "100000 x 100000");
    // Garbage where the picture's data should be.
    std::vector<uint8_t> scrambled = makeWebp(smoothImage(40, 30, 24));
    for (size_t i = chunkData + 5; i < scrambled.size(); ++i) scrambled[i] ^= 0x5A;
    refused(scrambled, "WebP");
}

}  // namespace
