// GIF: the first frame of files giflib writes (interlaced or not, GIF87a and GIF89a, with a
// transparent index, animated, smaller than the screen), our own writer, making a picture
// fit one, and damaged files.

#include "toolkit/codecs/gif.h"

#include <gif_lib.h>
#include <gtest/gtest.h>

#include <cstring>

#include "codec_test_util.h"
#include "support/test_images.h"
#include "toolkit/codecs/codec.h"

namespace {

struct GifFrame {
    int left = 0, top = 0, width = 0, height = 0;
    bool interlaced = false;
    int transparent = -1;
    std::vector<uint8_t> indices = {};  // row by row, top to bottom
};

struct GifMaking {
    int width = 0, height = 0;
    std::vector<uint32_t> colours = {};  // power-of-two count
    std::vector<GifFrame> frames = {};
    bool gif87 = false;
};

int appendBytes(GifFileType* gif, const GifByteType* bytes, int count) {
    auto* out = static_cast<std::vector<uint8_t>*>(gif->UserData);
    out->insert(out->end(), bytes, bytes + count);
    return count;
}

// Written with giflib directly.
std::vector<uint8_t> makeGif(const GifMaking& m) {
    std::vector<uint8_t> out;
    int error = 0;
    GifFileType* gif = EGifOpen(&out, appendBytes, &error);
    ColorMapObject* map = GifMakeMapObject(static_cast<int>(m.colours.size()), nullptr);
    for (size_t i = 0; i < m.colours.size(); ++i) {
        map->Colors[i] = {static_cast<GifByteType>(redOf(m.colours[i])),
                          static_cast<GifByteType>(greenOf(m.colours[i])),
                          static_cast<GifByteType>(blueOf(m.colours[i]))};
    }
    EGifSetGifVersion(gif, !m.gif87);
    EGifPutScreenDesc(gif, m.width, m.height, 8, 0, map);
    for (const GifFrame& f : m.frames) {
        if (f.transparent >= 0) {
            const GifByteType control[4] = {1, 10, 0, static_cast<GifByteType>(f.transparent)};
            EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, control);
        }
        EGifPutImageDesc(gif, f.left, f.top, f.width, f.height, f.interlaced, nullptr);
        std::vector<int> order;
        if (f.interlaced) {
            for (int start : {0, 4, 2, 1}) {
                const int step = start == 0 || start == 4 ? 8 : (start == 2 ? 4 : 2);
                for (int y = start; y < f.height; y += step) order.push_back(y);
            }
        } else {
            for (int y = 0; y < f.height; ++y) order.push_back(y);
        }
        for (int y : order) {
            std::vector<GifPixelType> row(f.indices.begin() + y * f.width,
                                          f.indices.begin() + (y + 1) * f.width);
            EGifPutLine(gif, row.data(), f.width);
        }
    }
    EGifCloseFile(gif, &error);
    GifFreeMapObject(map);
    if (m.gif87) std::memcpy(out.data(), "GIF87a", 6);
    return out;
}

const std::vector<uint32_t> fourColours = {rgb(255, 0, 0), rgb(0, 255, 0), rgb(0, 0, 255),
                                           rgb(250, 250, 250)};

// A w x h frame whose index at (x, y) is (x + 2y) % 4.
GifFrame patternFrame(int w, int h) {
    GifFrame f;
    f.width = w;
    f.height = h;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) f.indices.push_back(static_cast<uint8_t>((x + 2 * y) % 4));
    }
    return f;
}

Image patternImage(int w, int h) {
    Image image(w, h, 24);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) image.at(x, y) = fourColours[(x + 2 * y) % 4] | alphaMask;
    }
    return image;
}

DecodeResult decode(const std::vector<uint8_t>& bytes) {
    return decodeGif(bytes.data(), bytes.size());
}

TEST(GifDecoder, PlainAndInterlacedGif87aAndGif89a) {
    for (bool interlaced : {false, true}) {
        for (bool gif87 : {false, true}) {
            GifFrame frame = patternFrame(7, 19);
            frame.interlaced = interlaced;
            std::vector<uint8_t> file = makeGif({7, 19, fourColours, {frame}, gif87});
            ASSERT_EQ(file[4], gif87 ? '7' : '9');
            DecodeResult r = decode(file);
            ASSERT_TRUE(r.ok()) << r.error;
            EXPECT_EQ(r.image.depth, 24);
            EXPECT_EQ(firstDifference(r.image, patternImage(7, 19)), "")
                << interlaced << " " << gif87;
            EXPECT_EQ(r.notice, "");
        }
    }
}

TEST(GifDecoder, TheTransparentIndexShowsNothing) {
    GifFrame frame = patternFrame(4, 2);
    frame.transparent = 1;
    DecodeResult r = decode(makeGif({4, 2, fourColours, {frame}}));
    ASSERT_TRUE(r.ok()) << r.error;
    EXPECT_EQ(r.image.depth, 32);
    // Indices 0 1 2 3 / 2 3 0 1.
    EXPECT_EQ(r.image, imageFromRows(4, 2,
                                     {0xFF0000FF, 0, 0xFFFF0000, 0xFFFAFAFA,  //
                                      0xFFFF0000, 0xFFFAFAFA, 0xFF0000FF, 0}));
    // A transparent index no pixel uses leaves the picture opaque.
    frame = patternFrame(2, 1);  // indices 0 1
    frame.transparent = 3;
    r = decode(makeGif({2, 1, fourColours, {frame}}));
    ASSERT_TRUE(r.ok()) << r.error;
    EXPECT_EQ(r.image.depth, 24);
}

TEST(GifDecoder, AnAnimationShowsItsFirstFrameAndSaysSo) {
    GifFrame first = patternFrame(5, 3);
    GifFrame second = patternFrame(5, 3);
    for (uint8_t& i : second.indices) i = 3;
    DecodeResult r = decode(makeGif({5, 3, fourColours, {first, second, second}}));
    ASSERT_TRUE(r.ok()) << r.error;
    EXPECT_EQ(firstDifference(r.image, patternImage(5, 3)), "");
    EXPECT_EQ(r.notice, "only the first frame of the animation is shown");
}

TEST(GifDecoder, AFrameSmallerThanTheScreenLeavesTheRestTransparent) {
    GifFrame frame = patternFrame(2, 2);
    frame.left = 1;
    frame.top = 1;
    DecodeResult r = decode(makeGif({4, 3, fourColours, {frame}}));
    ASSERT_TRUE(r.ok()) << r.error;
    EXPECT_EQ(r.image, imageFromRows(4, 3,
                                     {0, 0, 0, 0,                    //
                                      0, 0xFF0000FF, 0xFF00FF00, 0,  //
                                      0, 0xFFFF0000, 0xFFFAFAFA, 0}));
    // A screen too small for its frame grows to hold it.
    frame.left = 3;
    r = decode(makeGif({4, 3, fourColours, {frame}}));
    ASSERT_TRUE(r.ok()) << r.error;
    EXPECT_EQ(r.image.width, 5);
}

// The file's first image descriptor.
size_t imageDescriptor(const std::vector<uint8_t>& file) {
    size_t at = 13 + 3 * (size_t{2} << (file[10] & 7));
    while (file.at(at) == 0x21) {
        at += 2;
        while (file.at(at) != 0) at += 1 + file[at];
        ++at;
    }
    return at;
}

TEST(GifDecoder, DamagedFilesGiveAReasonAndNoPicture) {
    const std::vector<uint8_t> good = makeGif({64, 64, fourColours, {patternFrame(64, 64)}});
    auto refused = [](const std::vector<uint8_t>& bytes, const std::string& reason) {
        DecodeResult r = decodeGif(bytes.data(), bytes.size());
        EXPECT_FALSE(r.ok());
        EXPECT_TRUE(r.image.empty());
        EXPECT_NE(r.error.find(reason), std::string::npos) << r.error;
    };
    refused(std::vector<uint8_t>(good.begin(), good.begin() + good.size() / 2), "truncated");
    refused(std::vector<uint8_t>(good.begin(), good.begin() + 20), "truncated");
    // The LZW code size comes right after the descriptor: at most 8 bits.
    const size_t codeSize = imageDescriptor(good) + 10;
    for (uint8_t bomb : {9, 11, 12, 255}) {
        std::vector<uint8_t> bad = good;
        bad[codeSize] = bomb;
        DecodeResult r = decodeGif(bad.data(), bad.size());
        EXPECT_FALSE(r.ok()) << int{bomb};
        EXPECT_TRUE(r.image.empty());
        EXPECT_EQ(r.error,
                  "GIF image data has an invalid LZW code size of " + std::to_string(bomb));
    }
    // A frame that claims more rows than its data holds.
    std::vector<uint8_t> lying = good;
    lying[imageDescriptor(good) + 7] = 0;
    lying[imageDescriptor(good) + 8] = 4;  // 1024 rows
    lying[8] = 0;
    lying[9] = 4;
    refused(lying, "GIF");
    // A screen of 65535 x 65535 is over the limit before anything is read.
    std::vector<uint8_t> huge = good;
    huge[6] = huge[7] = huge[8] = huge[9] = 0xFF;
    refused(huge, "65535 x 65535");
    // No colour table anywhere.
    std::vector<uint8_t> bare = good;
    bare[10] &= 0x7F;
    bare.erase(bare.begin() + 13, bare.begin() + 13 + 12);
    refused(bare, "colour table");
    refused({'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0, 0x3B}, "no image");
}

// ---- Writing ----

TEST(GifEncoder, RoundTripsAPictureOfFewColours) {
    for (int colours : {1, 2, 3, 200, 256}) {
        Image image(16, 17, 24);
        for (size_t i = 0; i < image.pixels.size(); ++i) {
            const int k = static_cast<int>((i * 37) % colours);
            image.pixels[i] = rgb(k, 255 - k, (k * 7) & 255) | alphaMask;
        }
        EncodeResult e = encodeGif(image);
        ASSERT_TRUE(e.ok()) << e.error;
        ASSERT_EQ(std::string(e.bytes.begin(), e.bytes.begin() + 6), "GIF89a");
        DecodeResult r = decodeGif(e.bytes.data(), e.bytes.size());
        ASSERT_TRUE(r.ok()) << r.error;
        EXPECT_EQ(firstDifference(r.image, image), "") << colours;
    }
}

TEST(GifEncoder, FullyTransparentPixelsShareOneEntry) {
    // 255 colours and transparency in four hidden colours: 256 entries.
    Image image(32, 16, 32);
    for (size_t i = 0; i < image.pixels.size(); ++i) {
        image.pixels[i] = i % 2 ? rgba(static_cast<int>(i % 255), 9, 9, 255)
                                : rgba(static_cast<int>(i % 4), 1, 2, 0);
    }
    EncodeResult e = encodeGif(image);
    ASSERT_TRUE(e.ok()) << e.error;
    DecodeResult r = decodeGif(e.bytes.data(), e.bytes.size());
    ASSERT_TRUE(r.ok()) << r.error;
    ASSERT_EQ(r.image.depth, 32);
    for (size_t i = 0; i < image.pixels.size(); ++i) {
        ASSERT_EQ(r.image.pixels[i], i % 2 ? image.pixels[i] : 0u) << i;
    }
    // Without transparent pixels there is no transparent entry: the picture is opaque.
    Image opaque = imageFromRows(2, 1, {0xFF112233, 0xFF445566});
    e = encodeGif(opaque);
    EXPECT_EQ(decodeGif(e.bytes.data(), e.bytes.size()).image.depth, 24);
}

TEST(GifEncoder, RefusesWhatAGifCannotHold) {
    EncodeResult e = encodeGif(randomImage(20, 20, 3, 24));
    EXPECT_EQ(e.error, "a GIF holds at most 256 colours");
    EXPECT_TRUE(e.bytes.empty());
    e = encodeGif(imageFromRows(2, 1, {rgba(1, 2, 3, 255), rgba(1, 2, 3, 128)}));
    EXPECT_EQ(e.error, "a GIF cannot hold partial transparency");
    e = encodeGif(Image(70000, 1, 24));
    EXPECT_NE(e.error.find("65535"), std::string::npos) << e.error;
}

TEST(GifFitting, ThresholdAndCount) {
    Image image = imageFromRows(5, 1,
                                {rgba(9, 9, 9, 0), rgba(8, 8, 8, 127), rgba(7, 7, 7, 128),
                                 rgba(7, 7, 7, 255), rgba(6, 6, 6, 1)});
    EXPECT_TRUE(hasPartialAlpha(image));
    thresholdAlpha(image);
    EXPECT_EQ(image, imageFromRows(5, 1, {0, 0, rgba(7, 7, 7, 255), rgba(7, 7, 7, 255), 0}));
    EXPECT_FALSE(hasPartialAlpha(image));
    // One opaque colour and one transparent entry.
    EXPECT_EQ(gifColourCount(image), 2);
    Image many(64, 64, 24);
    for (size_t i = 0; i < many.pixels.size(); ++i) {
        many.pixels[i] = rgb(static_cast<int>(i & 255), static_cast<int>(i >> 8), 0) | alphaMask;
    }
    EXPECT_EQ(gifColourCount(many), 4096);
    EXPECT_EQ(gifColourCount(many, 256), 257);
    // A 24-bit picture has no partial alpha whatever its fourth bytes say.
    Image opaque(2, 1, 24);
    opaque.pixels[0] = 0x80123456;
    EXPECT_FALSE(hasPartialAlpha(opaque));
    EXPECT_EQ(gifColourCount(opaque), 2);
}

}  // namespace
