#include "toolkit/image.h"

#include <algorithm>

Image::Image(int w, int h, int d, uint32_t fill) : width(w), height(h), depth(d) {
    if (w <= 0 || h <= 0) {
        width = height = 0;
        return;
    }
    if (depth != 32) {
        depth = 24;
        fill |= alphaMask;
    }
    pixels.assign(static_cast<size_t>(w) * h, fill);
}

Image Image::unset(int w, int h, int d) {
    Image image;
    if (w <= 0 || h <= 0) return image;
    image.width = w;
    image.height = h;
    image.depth = d == 32 ? 32 : 24;
    image.pixels.resize(static_cast<size_t>(w) * h);
    return image;
}

Image copyRect(const Image& src, int left, int top, int right, int bottom) {
    left = std::max(left, 0);
    top = std::max(top, 0);
    right = std::min(right, src.width - 1);
    bottom = std::min(bottom, src.height - 1);
    if (right < left || bottom < top) return Image();
    Image out = Image::unset(right - left + 1, bottom - top + 1, src.depth);
    for (int y = top; y <= bottom; ++y) {
        const uint32_t* from = src.row(y) + left;
        std::copy(from, from + out.width, out.row(y - top));
    }
    return out;
}

void drawImage(Image& dst, const Image& src, int x, int y) {
    int x0 = std::max(x, 0), y0 = std::max(y, 0);
    int x1 = std::min(x + src.width, dst.width), y1 = std::min(y + src.height, dst.height);
    if (x1 <= x0 || y1 <= y0) return;
    for (int yy = y0; yy < y1; ++yy) {
        const uint32_t* from = src.row(yy - y) + (x0 - x);
        std::copy(from, from + (x1 - x0), dst.row(yy) + x0);
    }
}

void drawImageBlended(Image& dst, const Image& src, int x, int y) {
    int x0 = std::max(x, 0), y0 = std::max(y, 0);
    int x1 = std::min(x + src.width, dst.width), y1 = std::min(y + src.height, dst.height);
    for (int yy = y0; yy < y1; ++yy) {
        const uint32_t* from = src.row(yy - y) + (x0 - x);
        uint32_t* to = dst.row(yy) + x0;
        for (int i = 0; i < x1 - x0; ++i) to[i] = blendOver(from[i], to[i]);
    }
}

void drawImageOnBackground(Image& target, const Image& src, int x, int y, uint32_t background) {
    const int x0 = std::clamp(x, 0, target.width), x1 = std::clamp(x + src.width, x0, target.width);
    const int y0 = std::clamp(y, 0, target.height);
    const int y1 = std::clamp(y + src.height, y0, target.height);
    for (int yy = 0; yy < target.height; ++yy) {
        uint32_t* row = target.row(yy);
        if (yy < y0 || yy >= y1 || x0 == x1) {
            std::fill(row, row + target.width, background);
            continue;
        }
        std::fill(row, row + x0, background);
        std::fill(row + x1, row + target.width, background);
        const uint32_t* from = src.row(yy - y) + (x0 - x);
        if (src.depth != 32) {
            // Opaque whatever the fourth byte says: the colour replaces the background.
            const uint32_t keep = background & alphaMask;
            for (int i = 0; i < x1 - x0; ++i) row[x0 + i] = keep | (from[i] & colourMask);
        } else {
            for (int i = 0; i < x1 - x0; ++i) row[x0 + i] = blendOver(from[i], background);
        }
    }
}

void fillBox(Image& target, int x, int y, int w, int h, uint32_t colour) {
    int x0 = std::max(x, 0), y0 = std::max(y, 0);
    int x1 = std::min(x + w, target.width), y1 = std::min(y + h, target.height);
    if (x1 <= x0 || y1 <= y0) return;
    for (int yy = y0; yy < y1; ++yy) std::fill(target.row(yy) + x0, target.row(yy) + x1, colour);
}

namespace {

void xorSpan(Image& target, int x0, int x1, int y, uint32_t colour) {
    if (y < 0 || y >= target.height) return;
    x0 = std::max(x0, 0);
    x1 = std::min(x1, target.width - 1);
    uint32_t* row = target.row(y);
    for (int x = x0; x <= x1; ++x) row[x] ^= colour;
}

}  // namespace

void xorBox(Image& target, int x, int y, int w, int h, uint32_t colour, bool filled) {
    if (w < 0) {
        x += w;
        w = -w;
    }
    if (h < 0) {
        y += h;
        h = -h;
    }
    if (w == 0 || h == 0) return;
    colour &= colourMask;
    int right = x + w - 1, bottom = y + h - 1;
    if (filled) {
        for (int yy = y; yy <= bottom; ++yy) xorSpan(target, x, right, yy, colour);
        return;
    }
    xorSpan(target, x, right, y, colour);
    if (bottom != y) xorSpan(target, x, right, bottom, colour);
    // Side columns without the corners, which the spans above already changed.
    for (int yy = y + 1; yy < bottom; ++yy) {
        if (yy < 0 || yy >= target.height) continue;
        if (x >= 0 && x < target.width) target.at(x, yy) ^= colour;
        if (right != x && right >= 0 && right < target.width) target.at(right, yy) ^= colour;
    }
}
