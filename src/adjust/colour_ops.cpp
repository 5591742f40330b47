#include "adjust/colour_ops.h"

#include "toolkit/parallel.h"

// Every pixel is independent of the others, so rows are shared out among the threads.

void grayScalePixels(Image& image, const Rect& rect) {
    Rect r = clipToImage(rect, image);
    parallelRows(r.top, r.bottom, r.width(), [&](int y0, int y1) {
        for (int y = y0; y < y1; ++y) {
            uint32_t* row = image.row(y);
            for (int x = r.left; x <= r.right; ++x) {
                uint32_t c = row[x];
                int v = (2 * redOf(c) + 4 * greenOf(c) + blueOf(c)) / 7;
                row[x] = (c & alphaMask) | rgb(v, v, v);
            }
        }
    });
}

void negativePixels(Image& image, const Rect& rect) {
    Rect r = clipToImage(rect, image);
    parallelRows(r.top, r.bottom, r.width(), [&](int y0, int y1) {
        for (int y = y0; y < y1; ++y) {
            uint32_t* row = image.row(y);
            for (int x = r.left; x <= r.right; ++x) row[x] ^= colourMask;
        }
    });
}
