#include "adjust/colour_ops.h"

void grayScalePixels(Image& image, const Rect& rect) {
    Rect r = clipToImage(rect, image);
    for (int y = r.top; y <= r.bottom; ++y) {
        uint32_t* row = image.row(y);
        for (int x = r.left; x <= r.right; ++x) {
            uint32_t c = row[x];
            int v = (2 * redOf(c) + 4 * greenOf(c) + blueOf(c)) / 7;
            row[x] = (c & alphaMask) | rgb(v, v, v);
        }
    }
}

void negativePixels(Image& image, const Rect& rect) {
    Rect r = clipToImage(rect, image);
    for (int y = r.top; y <= r.bottom; ++y) {
        uint32_t* row = image.row(y);
        for (int x = r.left; x <= r.right; ++x) row[x] ^= colourMask;
    }
}
