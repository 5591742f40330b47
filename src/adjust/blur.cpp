#include "adjust/blur.h"

#include <algorithm>
#include <array>
#include <vector>

#include "toolkit/parallel.h"

namespace {

constexpr int bytesPerPixel = 4;
constexpr int minFilteredLength = 3;
// The filter's sum is at most 16 * 255 + 15, so a result is sum >> 4 and the remainder
// the low 4 bits.
constexpr int weightShift = 4;
constexpr unsigned remainderMask = 15;
// Four 8-bit lanes spread over 16-bit slots of a 64-bit word.
constexpr uint64_t laneMask = 0x00FF00FF00FF00FFull;
constexpr uint64_t laneRemainderMask = 0x000F000F000F000Full;
constexpr uint64_t halfMask = 0x0000FFFF0000FFFFull;
// Columns filtered together in one walk down the rows; their state stays in L1.
constexpr int columnChunkBytes = 2048;

// Bytes b3 b2 b1 b0 -> 16-bit slots 0 b3 0 b2 0 b1 0 b0.
inline uint64_t spread(uint32_t word) {
    uint64_t v = word;
    v = (v | v << 16) & halfMask;
    return (v | v << 8) & laneMask;
}

inline uint32_t pack(uint64_t v) {
    v = (v | v >> 8) & halfMask;
    return static_cast<uint32_t>(v | v >> 16);
}

// Filters columns [begin, end) of the buffer viewed as bytes, all rows, walking the rows
// so that memory is read row by row. Same result as blurLine on each byte column.
void blurColumnChunk(uint8_t* buffer, int h, ptrdiff_t pitch, int begin, int end) {
    const int n = end - begin;
    std::array<uint8_t, columnChunkBytes> twoAbove, oneAbove, carry{};
    // Above the top the first row repeats.
    std::copy_n(buffer + begin, n, twoAbove.begin());
    std::copy_n(buffer + begin, n, oneAbove.begin());
    for (int y = 0; y < h; ++y) {
        // At the bottom the rows below are the last row itself, read before it is written.
        uint8_t* here = buffer + y * pitch + begin;
        const uint8_t* below1 = buffer + std::min(y + 1, h - 1) * pitch + begin;
        const uint8_t* below2 = buffer + std::min(y + 2, h - 1) * pitch + begin;
        uint8_t* __restrict a = twoAbove.data();
        uint8_t* __restrict b = oneAbove.data();
        uint8_t* __restrict c = carry.data();
        for (int i = 0; i < n; ++i) {
            uint16_t centre = here[i];
            auto sum = static_cast<uint16_t>(a[i] + 4 * (b[i] + below1[i]) + 6 * centre +
                                             below2[i] + c[i]);
            a[i] = b[i];
            b[i] = static_cast<uint8_t>(centre);
            c[i] = static_cast<uint8_t>(sum & remainderMask);
            here[i] = static_cast<uint8_t>(sum >> weightShift);
        }
    }
}

// Every byte column is filtered on its own, so the threads share them out.
void blurColumns(uint32_t* buffer, int w, int h, ptrdiff_t pitchBytes) {
    if (h < minFilteredLength) return;
    auto* bytes = reinterpret_cast<uint8_t*>(buffer);
    const int rowBytes = w * bytesPerPixel;
    // A column of h bytes is about a quarter of the work of h pixels.
    parallelFor(rowBytes, h / bytesPerPixel + 1, [&](int64_t from, int64_t to) {
        for (int64_t begin = from; begin < to; begin += columnChunkBytes) {
            blurColumnChunk(bytes, h, pitchBytes, static_cast<int>(begin),
                            static_cast<int>(std::min<int64_t>(begin + columnChunkBytes, to)));
        }
    });
}

}  // namespace

void blurLine(uint32_t* start, int n, ptrdiff_t strideBytes) {
    if (n < minFilteredLength) return;
    const ptrdiff_t step = strideBytes / bytesPerPixel;
    uint32_t* p = start;
    // Sliding window of the unfiltered values p[k-2] .. p[k+2], edges repeated.
    uint64_t a = spread(p[0]), b = a, c = a;
    uint64_t d = spread(p[step]), e = spread(p[2 * step]);
    uint64_t carry = 0;
    for (int k = 0; k < n; ++k) {
        uint64_t sum = a + 4 * (b + d) + 6 * c + e + carry;
        carry = sum & laneRemainderMask;
        p[k * step] = pack((sum >> weightShift) & laneMask);
        a = b;
        b = c;
        c = d;
        d = e;
        if (k + 3 < n) e = spread(p[(k + 3) * step]);
    }
}

void blurBuffer(uint32_t* buffer, int w, int h, ptrdiff_t pitchBytes) {
    if (!buffer || w <= 0 || h <= 0) return;
    if (pitchBytes == 0) pitchBytes = static_cast<ptrdiff_t>(w) * bytesPerPixel;
    auto* bytes = reinterpret_cast<uint8_t*>(buffer);
    // Rows are independent of each other, and so are columns; only the order of the two
    // halves matters.
    parallelRows(0, h - 1, w, [&](int y0, int y1) {
        for (int y = y0; y < y1; ++y) {
            blurLine(reinterpret_cast<uint32_t*>(bytes + y * pitchBytes), w, bytesPerPixel);
        }
    });
    blurColumns(buffer, w, h, pitchBytes);
}

void blurImage(Image& image, int roundCount) {
    if (image.empty()) return;
    for (int round = 0; round <= roundCount; ++round) {
        blurBuffer(image.pixels.data(), image.width, image.height);
    }
}

void blurRect(Image& image, const Rect& rect, int roundCount) {
    runOnRect(image, rect, [roundCount](Image& part) { blurImage(part, roundCount); });
}
