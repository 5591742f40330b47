#pragma once
// The inclusive rectangle an operation works on: the selection's image rectangle, or the
// whole image when nothing is selected.

#include <algorithm>

#include "toolkit/image.h"

struct Rect {
    int left = 0;
    int top = 0;
    int right = -1;
    int bottom = -1;

    int width() const { return right - left + 1; }
    int height() const { return bottom - top + 1; }
    bool empty() const { return right < left || bottom < top; }
    bool operator==(const Rect&) const = default;
};

inline Rect wholeImage(const Image& image) {
    return Rect{0, 0, image.width - 1, image.height - 1};
}

inline bool coversWholeImage(const Rect& r, const Image& image) {
    return r == wholeImage(image);
}

// `r` clipped to the image (empty when they do not meet).
inline Rect clipToImage(const Rect& r, const Image& image) {
    return Rect{std::max(r.left, 0), std::max(r.top, 0), std::min(r.right, image.width - 1),
                std::min(r.bottom, image.height - 1)};
}

// Runs `pass` on the rectangle as if it were a whole image of its own: directly on the
// image when the rectangle covers it, otherwise on a copy that is drawn back. Used by the
// operations whose result depends on the image's edges (effects, blur, palette mapping).
template <typename Pass>
void runOnRect(Image& image, const Rect& rect, Pass&& pass) {
    Rect r = clipToImage(rect, image);
    if (r.empty()) return;
    if (coversWholeImage(r, image)) {
        pass(image);
        return;
    }
    Image part = copyRect(image, r.left, r.top, r.right, r.bottom);
    pass(part);
    drawImage(image, part, r.left, r.top);
}
