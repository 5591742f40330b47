// PNG writer: palette files at the smallest bit depth, transparency tables, truecolour
// beyond 256 values, and the row filters, each checked by reading the file back with
// libpng and by looking at its chunks.

#include <gtest/gtest.h>
#include <libdeflate.h>

#include <set>
#include <string>

#include "codec_test_util.h"
#include "support/test_images.h"
#include "toolkit/codecs/codec.h"
#include "toolkit/parallel.h"

namespace {

struct Chunk {
    std::string type;
    std::vector<uint8_t> data;
};

uint32_t be32(const uint8_t* p) {
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

std::vector<Chunk> chunksOf(const std::vector<uint8_t>& file) {
    std::vector<Chunk> chunks;
    for (size_t at = 8; at + 12 <= file.size();) {
        const uint32_t length = be32(&file[at]);
        chunks.push_back(
            {std::string(file.begin() + at + 4, file.begin() + at + 8),
             std::vector<uint8_t>(file.begin() + at + 8, file.begin() + at + 8 + length)});
        at += 12 + length;
    }
    return chunks;
}

const Chunk* find(const std::vector<Chunk>& chunks, const std::string& type) {
    for (const Chunk& c : chunks) {
        if (c.type == type) return &c;
    }
    return nullptr;
}

// The scanlines of the file (filter bytes included), inflated from its IDAT chunks.
std::vector<uint8_t> scanlines(const std::vector<Chunk>& chunks, size_t expected) {
    std::vector<uint8_t> zlib;
    for (const Chunk& c : chunks) {
        if (c.type == "IDAT") zlib.insert(zlib.end(), c.data.begin(), c.data.end());
    }
    std::vector<uint8_t> out(expected);
    libdeflate_decompressor* d = libdeflate_alloc_decompressor();
    size_t actual = 0;
    libdeflate_result r =
        libdeflate_zlib_decompress(d, zlib.data(), zlib.size(), out.data(), out.size(), &actual);
    libdeflate_free_decompressor(d);
    EXPECT_EQ(r, LIBDEFLATE_SUCCESS);
    EXPECT_EQ(actual, expected);
    return out;
}

// Value number k (< 512) of the test images; at depth 32 every third is translucent (but
// never fully transparent, since those are all one value to the writer).
uint32_t testColour(int k, int depth) {
    const int alpha = depth == 32 && k % 3 == 0 ? 1 + k % 254 : 255;
    return rgba(k * 37 & 255, k & 255, (k >> 8) * 100 + 7, alpha);
}

// A w x h image using exactly `colours` values: the first pixels take each value once, the
// rest repeat them in a scrambled order.
Image imageOfColours(int w, int h, int colours, int depth) {
    Image image(w, h, depth);
    for (int i = 0; i < w * h; ++i) {
        const int k = i < colours ? i : (i * 7 + i / 5) % colours;
        image.pixels[static_cast<size_t>(i)] = testColour(k, depth);
    }
    return image;
}

TEST(PngWriter, FewColoursGiveAPaletteAtTheSmallestDepthThatReadsBackExactly) {
    struct Case {
        int colours;
        int bits;
    };
    for (Case c : {Case{1, 1}, Case{2, 1}, Case{3, 2}, Case{4, 2}, Case{5, 4}, Case{16, 4},
                   Case{17, 8}, Case{256, 8}}) {
        for (int depth : {24, 32}) {
            for (int width : {1, 7, 13, 64}) {
                SCOPED_TRACE(std::to_string(c.colours) + " colours, depth " +
                             std::to_string(depth) + ", width " + std::to_string(width));
                const int height = std::max(3, (c.colours + width - 1) / width);
                Image original = imageOfColours(width, height, c.colours, depth);
                EncodeResult e = encodePng(original);
                ASSERT_TRUE(e.ok()) << e.error;
                std::vector<Chunk> chunks = chunksOf(e.bytes);
                ASSERT_FALSE(chunks.empty());
                ASSERT_EQ(chunks[0].type, "IHDR");
                EXPECT_EQ(chunks[0].data[8], c.bits);
                EXPECT_EQ(chunks[0].data[9], 3);  // palette
                const Chunk* plte = find(chunks, "PLTE");
                ASSERT_NE(plte, nullptr);
                EXPECT_EQ(plte->data.size(), 3u * c.colours);
                const Chunk* trns = find(chunks, "tRNS");
                if (depth == 24) {
                    EXPECT_EQ(trns, nullptr);
                } else {
                    ASSERT_NE(trns, nullptr);
                    // Translucent entries first: the table stops after the last of them.
                    int translucent = 0;
                    for (int k = 0; k < c.colours; k += 3) ++translucent;
                    EXPECT_EQ(trns->data.size(), static_cast<size_t>(translucent));
                    for (uint8_t a : trns->data) EXPECT_LT(a, 255);
                }
                EXPECT_EQ(chunks.back().type, "IEND");
                DecodeResult back = decodePng(e.bytes.data(), e.bytes.size());
                ASSERT_TRUE(back.ok()) << back.error;
                EXPECT_EQ(back.image.depth, depth);
                EXPECT_EQ(firstDifference(back.image, original), "");
            }
        }
    }
}

TEST(PngWriter, AnOpaqueThirtyTwoBitImageKeepsItsDepth) {
    // Few colours, all opaque: a one-entry transparency table of 255 keeps it 32-bit.
    Image original = imageOfColours(9, 4, 6, 24);
    original.depth = 32;
    EncodeResult e = encodePng(original);
    ASSERT_TRUE(e.ok());
    const std::vector<Chunk> chunks = chunksOf(e.bytes);
    const Chunk* trns = find(chunks, "tRNS");
    ASSERT_NE(trns, nullptr);
    EXPECT_EQ(trns->data, std::vector<uint8_t>{255});
    DecodeResult back = decodePng(e.bytes.data(), e.bytes.size());
    ASSERT_TRUE(back.ok());
    EXPECT_EQ(back.image, original);
}

TEST(PngWriter, AColourDifferingOnlyInAlphaCountsAsAnotherValue) {
    // 256 colours, one pixel of a repeated one made half transparent: 257 values at depth
    // 32, but only 256 at depth 24, where alpha is not stored.
    Image image = imageOfColours(32, 9, 256, 24);
    image.at(5, 8) = (image.at(5, 8) & colourMask) | 0x80000000u;
    Image truecolour = image;
    truecolour.depth = 32;
    EncodeResult e = encodePng(truecolour);
    EXPECT_EQ(chunksOf(e.bytes)[0].data[9], 6);  // RGBA
    EXPECT_EQ(decodePng(e.bytes.data(), e.bytes.size()).image, truecolour);

    e = encodePng(image);
    EXPECT_EQ(chunksOf(e.bytes)[0].data[9], 3);
    Image expected = image;
    expected.at(5, 8) |= alphaMask;
    EXPECT_EQ(decodePng(e.bytes.data(), e.bytes.size()).image, expected);
}

TEST(PngWriter, TwoHundredFiftySevenColoursStayTruecolour) {
    for (int depth : {24, 32}) {
        Image original = imageOfColours(31, 9, 257, depth);
        EncodeResult e = encodePng(original);
        ASSERT_TRUE(e.ok());
        std::vector<Chunk> chunks = chunksOf(e.bytes);
        EXPECT_EQ(chunks[0].data[8], 8);
        EXPECT_EQ(chunks[0].data[9], depth == 32 ? 6 : 2);
        EXPECT_EQ(find(chunks, "PLTE"), nullptr);
        EXPECT_EQ(find(chunks, "tRNS"), nullptr);
        DecodeResult back = decodePng(e.bytes.data(), e.bytes.size());
        ASSERT_TRUE(back.ok()) << back.error;
        EXPECT_EQ(back.image, original) << depth;
    }
}

TEST(PngWriter, EachRowGetsAFilterThatSuitsIt) {
    // Row 0 is a ramp (+1 per pixel in every channel): the difference to the left is
    // smallest. Row 1 repeats row 0: the difference to the row above is zero. Then 300
    // distinct colours keep the image truecolour.
    const int w = 300;
    Image image(w, 2, 24);
    for (int x = 0; x < w; ++x) {
        image.at(x, 0) = rgb(x & 255, (x + 40) & 255, (x / 2) & 255) | alphaMask;
        image.at(x, 1) = image.at(x, 0);
    }
    EncodeResult e = encodePng(image);
    std::vector<uint8_t> lines = scanlines(chunksOf(e.bytes), 2 * (1 + 3 * w));
    EXPECT_EQ(lines[0], 1);          // Sub
    EXPECT_EQ(lines[1 + 3 * w], 2);  // Up
    EXPECT_EQ(decodePng(e.bytes.data(), e.bytes.size()).image, image);
}

TEST(PngWriter, PhotographLikeImagesUseSeveralFiltersAndReadBackExactly) {
    // Smooth gradients with noise on top: rows favour different filters, and libpng must
    // undo every one of them.
    for (int depth : {24, 32}) {
        Image image = smoothImage(257, 61, depth);
        Image noise = randomImage(257, 61, 3, depth);
        for (size_t i = 0; i < image.pixels.size(); ++i) {
            if (i % 3 == 0)
                image.pixels[i] ^= noise.pixels[i] & (depth == 32 ? 0x03030303u : 0x030303u);
        }
        EncodeResult e = encodePng(image);
        ASSERT_TRUE(e.ok());
        const size_t row = 1 + 257 * (depth / 8);
        std::vector<uint8_t> lines = scanlines(chunksOf(e.bytes), row * 61);
        std::set<int> used;
        for (int y = 0; y < 61; ++y) used.insert(lines[y * row]);
        EXPECT_GE(used.size(), 2u) << depth;
        for (int f : used) EXPECT_LE(f, 4);
        DecodeResult back = decodePng(e.bytes.data(), e.bytes.size());
        ASSERT_TRUE(back.ok());
        EXPECT_EQ(firstDifference(back.image, image), "") << depth;
    }
}

TEST(PngWriter, LargeDataIsSplitOverSeveralImageChunks) {
    // Noise does not compress: about 2 MB of data, so at least two chunks of at most 1 MiB.
    Image noise = randomImage(720, 720, 12, 32);
    EncodeResult e = encodePng(noise);
    ASSERT_TRUE(e.ok());
    std::vector<Chunk> chunks = chunksOf(e.bytes);
    size_t idat = 0;
    for (const Chunk& c : chunks) {
        if (c.type != "IDAT") continue;
        ++idat;
        EXPECT_LE(c.data.size(), size_t{1} << 20);
    }
    EXPECT_GE(idat, 2u);
    EXPECT_EQ(decodePng(e.bytes.data(), e.bytes.size()).image, noise);
}

TEST(PngWriter, TheFileIsTheSameWhateverTheThreadCount) {
    const Image pictures[] = {smoothImage(101, 37, 24), randomImage(53, 29, 6, 32),
                              imageOfColours(45, 23, 200, 32), imageOfColours(19, 31, 3, 24)};
    for (const Image& picture : pictures) {
        configureThreads(1, 1);
        const std::vector<uint8_t> reference = encodePng(picture).bytes;
        for (int threads : {2, 7}) {
            configureThreads(threads, 1);
            EXPECT_EQ(encodePng(picture).bytes, reference) << threads << " threads";
        }
    }
    configureThreads(0);
}

}  // namespace
