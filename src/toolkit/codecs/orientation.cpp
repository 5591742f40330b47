#include "toolkit/codecs/orientation.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace {

// Below this the transposition copies the image, which is quicker than following cycles
// and costs no more than the decoders' fixed allowance.
constexpr size_t copyTransposeBytes = size_t{16} << 20;
// Square tiles keep the copying transposition within the cache.
constexpr int tileSide = 32;

void mirrorRows(Image& image) {
    for (int y = 0; y < image.height; ++y) {
        uint32_t* row = image.row(y);
        std::reverse(row, row + image.width);
    }
}

void flipRows(Image& image) {
    for (int top = 0, bottom = image.height - 1; top < bottom; ++top, --bottom) {
        std::swap_ranges(image.row(top), image.row(top) + image.width, image.row(bottom));
    }
}

void turnHalf(Image& image) {
    std::reverse(image.pixels.begin(), image.pixels.end());
}

// Rows become columns: the pixel at (x, y) moves to (y, x) of a height x width image.
void transpose(Image& image) {
    const size_t w = static_cast<size_t>(image.width), h = static_cast<size_t>(image.height);
    const size_t n = w * h;
    if (w == 1 || h == 1) {
        // One row or one column: the words stay in the same order.
    } else if (n * sizeof(uint32_t) <= copyTransposeBytes) {
        PixelBuffer turned(n);
        for (size_t y0 = 0; y0 < h; y0 += tileSide) {
            for (size_t x0 = 0; x0 < w; x0 += tileSide) {
                const size_t y1 = std::min(h, y0 + tileSide), x1 = std::min(w, x0 + tileSide);
                for (size_t y = y0; y < y1; ++y) {
                    for (size_t x = x0; x < x1; ++x) turned[x * h + y] = image.pixels[y * w + x];
                }
            }
        }
        image.pixels.swap(turned);
    } else {
        // The word at i = y * w + x belongs at x * h + y, which is i * h modulo n - 1 (the
        // last word stays). Each cycle of that permutation is followed once.
        const size_t last = n - 1;
        std::vector<uint64_t> moved((n + 63) / 64, 0);
        uint32_t* p = image.pixels.data();
        for (size_t start = 1; start < last; ++start) {
            if (moved[start >> 6] >> (start & 63) & 1) continue;
            size_t i = start;
            uint32_t carried = p[i];
            do {
                const size_t to = i * h % last;
                std::swap(carried, p[to]);
                moved[to >> 6] |= uint64_t{1} << (to & 63);
                i = to;
            } while (i != start);
        }
    }
    std::swap(image.width, image.height);
}

}  // namespace

void orientUpright(Image& image, int orientation) {
    if (image.empty()) return;
    switch (orientation) {
        case 2:  // stored mirrored
            mirrorRows(image);
            break;
        case 3:  // stored upside down
            turnHalf(image);
            break;
        case 4:  // stored flipped
            flipRows(image);
            break;
        case 5:  // stored transposed
            transpose(image);
            break;
        case 6:  // stored a quarter turn counter-clockwise: turn it clockwise
            transpose(image);
            mirrorRows(image);
            break;
        case 7:  // stored transposed the other way
            transpose(image);
            turnHalf(image);
            break;
        case 8:  // stored a quarter turn clockwise: turn it back
            transpose(image);
            flipRows(image);
            break;
        default:
            break;
    }
}

void placeRowsUpright(Image& upright, const uint32_t* band, int top, int rows, int storedWidth,
                      int storedHeight, int orientation) {
    const int w = storedWidth, h = storedHeight;
    if (!orientationSwapsSides(orientation)) {
        // Whole rows: forwards or backwards, at the same or the mirrored height.
        const bool reversed = orientation == 2 || orientation == 3;
        const bool flipped = orientation == 3 || orientation == 4;
        for (int r = 0; r < rows; ++r) {
            const uint32_t* from = band + static_cast<size_t>(r) * w;
            uint32_t* to = upright.row(flipped ? h - 1 - (top + r) : top + r);
            if (reversed) {
                std::reverse_copy(from, from + w, to);
            } else {
                std::copy(from, from + w, to);
            }
        }
        return;
    }
    // Stored (x, y) goes to upright (column, row): 5 (y, x), 6 (h-1-y, x), 7 (h-1-y, w-1-x),
    // 8 (y, w-1-x). A stored column becomes an upright row, so the band's rows fill a
    // short run of each upright row.
    const bool fromRight = orientation == 6 || orientation == 7;   // stored y counts leftwards
    const bool fromBottom = orientation == 7 || orientation == 8;  // stored x counts upwards
    for (int x = 0; x < w; ++x) {
        uint32_t* to = upright.row(fromBottom ? w - 1 - x : x);
        for (int r = 0; r < rows; ++r) {
            const int y = top + r;
            to[fromRight ? h - 1 - y : y] = band[static_cast<size_t>(r) * w + x];
        }
    }
}
