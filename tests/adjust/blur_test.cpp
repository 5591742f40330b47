#include "adjust/blur.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "support/test_images.h"

namespace {

// Four lanes, one byte each, lane 0 lowest.
uint32_t lanes(int l0, int l1, int l2, int l3) {
    return rgba(l0, l1, l2, l3);
}

std::vector<uint32_t> lineOf(const std::vector<int>& values) {
    std::vector<uint32_t> line;
    for (int v : values) line.push_back(lanes(v, v, v, v));
    return line;
}

TEST(BlurLine, WorkedLinesCarryTheRemainder) {
    std::vector<uint32_t> peak = lineOf({0, 0, 255, 0, 0});
    blurLine(peak.data(), 5, 4);
    EXPECT_EQ(peak, lineOf({15, 64, 96, 64, 16}));

    std::vector<uint32_t> edge = lineOf({255, 0, 0, 0, 0, 0});
    blurLine(edge.data(), 6, 4);
    EXPECT_EQ(edge, lineOf({175, 80, 15, 0, 0, 0}));
}

TEST(BlurLine, LanesAreFilteredEachOnItsOwn) {
    const int l0[] = {255, 0, 0, 0, 0, 0}, l2[] = {0, 0, 0, 0, 0, 255}, l3[] = {0, 0, 255, 0, 0, 0};
    const int e0[] = {175, 80, 15, 0, 0, 0}, e2[] = {0, 0, 0, 15, 80, 175},
              e3[] = {15, 64, 96, 64, 16, 0};
    std::vector<uint32_t> line, expected;
    for (int i = 0; i < 6; ++i) {
        line.push_back(lanes(l0[i], 77, l2[i], l3[i]));
        expected.push_back(lanes(e0[i], 77, e2[i], e3[i]));
    }
    blurLine(line.data(), 6, 4);
    EXPECT_EQ(line, expected);
}

TEST(BlurLine, StrideAndShortLines) {
    // Every other word of the buffer is the line; the words between stay.
    std::vector<uint32_t> strided = {lanes(0, 0, 0, 0),         1, lanes(0, 0, 0, 0), 2,
                                     lanes(255, 255, 255, 255), 3, lanes(0, 0, 0, 0), 4,
                                     lanes(0, 0, 0, 0),         5};
    blurLine(strided.data(), 5, 8);
    std::vector<uint32_t> expected = {lanes(15, 15, 15, 15), 1, lanes(64, 64, 64, 64), 2,
                                      lanes(96, 96, 96, 96), 3, lanes(64, 64, 64, 64), 4,
                                      lanes(16, 16, 16, 16), 5};
    EXPECT_EQ(strided, expected);

    std::vector<uint32_t> two = lineOf({255, 0});
    blurLine(two.data(), 2, 4);
    EXPECT_EQ(two, lineOf({255, 0}));
}

// One round the slow way: blurLine along every row, then along every column.
void referenceRound(uint32_t* buffer, int w, int h, ptrdiff_t pitchBytes) {
    auto* bytes = reinterpret_cast<uint8_t*>(buffer);
    for (int y = 0; y < h; ++y) blurLine(reinterpret_cast<uint32_t*>(bytes + y * pitchBytes), w, 4);
    for (int x = 0; x < w; ++x) blurLine(buffer + x, h, pitchBytes);
}

TEST(BlurBuffer, ColumnsMatchBlurLineOnEveryColumn) {
    const std::pair<int, int> shapes[] = {{1, 3},  {3, 1},   {4, 3},   {7, 20},
                                          {20, 7}, {600, 5}, {513, 9}, {1030, 4}};
    std::mt19937 rng(42);
    for (auto [w, h] : shapes) {
        for (int pad : {0, 3}) {
            const int pitchWords = w + pad;
            std::vector<uint32_t> fast(static_cast<size_t>(pitchWords) * h);
            for (uint32_t& v : fast) v = rng();
            std::vector<uint32_t> slow = fast;
            blurBuffer(fast.data(), w, h, pad ? pitchWords * 4 : 0);
            referenceRound(slow.data(), w, h, pitchWords * 4);
            EXPECT_EQ(fast, slow) << w << "x" << h << " pad " << pad;
        }
    }
}

TEST(BlurImage, FlatSmallAndNarrowImages) {
    Image flat(9, 7, 32, rgba(12, 200, 99, 130));
    Image flatBefore = flat;
    blurImage(flat);
    EXPECT_EQ(flat, flatBefore);

    Image tiny = randomImage(2, 2, 8);
    Image tinyBefore = tiny;
    blurImage(tiny);
    EXPECT_EQ(tiny, tinyBefore);

    // Two pixels wide: the rows are left alone, each column is filtered twice:
    // 0 0 255 0 0 -> 15 64 96 64 16 -> 32 57 69 57 33.
    Image narrow(2, 5, 32, rgba(0, 0, 0, 255));
    narrow.at(0, 2) = narrow.at(1, 2) = rgba(255, 0, 0, 255);
    blurImage(narrow);
    const int expected[] = {32, 57, 69, 57, 33};
    for (int y = 0; y < 5; ++y) {
        EXPECT_EQ(narrow.at(0, y), rgba(expected[y], 0, 0, 255)) << y;
        EXPECT_EQ(narrow.at(1, y), rgba(expected[y], 0, 0, 255)) << y;
    }
}

TEST(BlurImage, TwoRoundsAreTheDefault) {
    Image image = randomImage(11, 6, 13);
    Image twice = image;
    blurBuffer(twice.pixels.data(), 11, 6);
    blurBuffer(twice.pixels.data(), 11, 6);
    blurImage(image);
    EXPECT_EQ(image, twice);
}

TEST(BlurRect, TheFilterStopsAtTheRectangle) {
    // White all round a black 5 x 4 rectangle: blurred as an image of its own, the black
    // stays black and nothing outside changes.
    Image image(12, 10, 32, rgba(255, 255, 255, 255));
    const Rect rect{3, 2, 7, 5};
    for (int y = rect.top; y <= rect.bottom; ++y)
        for (int x = rect.left; x <= rect.right; ++x) image.at(x, y) = 0;
    Image before = image;
    blurRect(image, rect);
    EXPECT_EQ(image, before);

    // A peak inside the rectangle spreads only inside it.
    image.at(5, 3) = rgba(255, 255, 255, 255);
    before = image;
    blurRect(image, rect);
    for (int y = 0; y < 10; ++y) {
        for (int x = 0; x < 12; ++x) {
            bool inside = x >= rect.left && x <= rect.right && y >= rect.top && y <= rect.bottom;
            if (!inside) {
                EXPECT_EQ(image.at(x, y), before.at(x, y)) << x << "," << y;
            }
        }
    }
    EXPECT_NE(image.at(4, 2), 0u);
    EXPECT_LT(redOf(image.at(5, 3)), 255);
}

}  // namespace
