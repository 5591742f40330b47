#include "core/view_transform.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numeric>
#include <vector>

#include "toolkit/parallel.h"

namespace {

// Whole-number division rounding down or up, for any sign of the numerator (d > 0).
int64_t floorDiv(int64_t n, int64_t d) {
    return n >= 0 ? n / d : -((-n + d - 1) / d);
}
int64_t ceilDiv(int64_t n, int64_t d) {
    return n >= 0 ? (n + d - 1) / d : -(-n / d);
}

// A canvas-sized value never leaves int; the pixel loops clip before using it.
int narrow(int64_t v) {
    return static_cast<int>(std::clamp<int64_t>(v, std::numeric_limits<int>::min() / 2,
                                                std::numeric_limits<int>::max() / 2));
}

// The zoom ladder: whole factors above 100 % keep pixel edges hard and even.
constexpr Zoom zoomLadder[] = {{1, 16}, {1, 12}, {1, 8},  {1, 6},  {1, 4},  {1, 3},
                               {1, 2},  {2, 3},  {1, 1},  {2, 1},  {3, 1},  {4, 1},
                               {6, 1},  {8, 1},  {12, 1}, {16, 1}, {24, 1}, {32, 1}};

// Along one axis: drawn size, image pixel under a canvas offset, and back.
struct Axis {
    Zoom z;
    int64_t drawn(int64_t size) const {
        if (size <= 0) return 0;
        // Canvas pixels holding the centre of at least one image pixel.
        if (z.enlarges()) return std::max<int64_t>(1, ceilDiv(2 * size * z.num - z.den, 2 * z.den));
        return floorDiv((2 * size - 1) * z.num, 2 * z.den) + 1;
    }
    // d = canvas position minus origin.
    int64_t first(int64_t d) const {
        if (z.enlarges()) return floorDiv((2 * d + 1) * z.den, 2 * z.num);
        return ceilDiv(2 * d * z.den - z.num, 2 * z.num);
    }
    int64_t end(int64_t d) const { return z.enlarges() ? first(d) + 1 : first(d + 1); }
    int64_t centre(int64_t d) const { return floorDiv((2 * d + 1) * z.den, 2 * z.num); }
    // The first canvas offset showing image pixel i.
    int64_t canvasOf(int64_t i) const {
        if (z.enlarges()) return ceilDiv(2 * i * z.num - z.den, 2 * z.den);
        return floorDiv((2 * i + 1) * z.num, 2 * z.den);
    }
};

}  // namespace

bool zoomBelow(const Zoom& a, const Zoom& b) {
    return a.num * b.den < b.num * a.den;
}

Zoom zoomStep(const Zoom& current, int direction) {
    if (direction > 0) {
        for (const Zoom& z : zoomLadder) {
            if (zoomBelow(current, z)) return z;
        }
        return largestZoom;
    }
    for (auto it = std::rbegin(zoomLadder); it != std::rend(zoomLadder); ++it) {
        if (zoomBelow(*it, current)) return *it;
    }
    return smallestZoom;
}

Zoom fitZoom(int imageW, int imageH, int canvasW, int canvasH) {
    if (imageW <= 0 || imageH <= 0 || canvasW <= 0 || canvasH <= 0) return actualPixels;
    if (imageW <= canvasW && imageH <= canvasH) {
        int64_t factor = std::min(canvasW / imageW, canvasH / imageH);
        return Zoom{std::clamp<int64_t>(factor, 1, largestZoom.num), 1};
    }
    // The tighter axis decides: its drawn size is then exactly the canvas's.
    Zoom z = int64_t{canvasW} * imageH <= int64_t{canvasH} * imageW ? Zoom{canvasW, imageW}
                                                                    : Zoom{canvasH, imageH};
    int64_t g = std::gcd(z.num, z.den);
    z = Zoom{z.num / g, z.den / g};
    return zoomBelow(z, smallestZoom) ? smallestZoom : z;
}

std::string zoomText(const Zoom& zoom) {
    int64_t tenths = (zoom.num * 1000 + zoom.den / 2) / zoom.den;
    char text[32];
    if (tenths % 10 == 0) {
        std::snprintf(text, sizeof text, "%lld%%", static_cast<long long>(tenths / 10));
    } else {
        std::snprintf(text, sizeof text, "%lld.%lld%%", static_cast<long long>(tenths / 10),
                      static_cast<long long>(tenths % 10));
    }
    return text;
}

int ViewTransform::drawnW() const {
    return narrow(Axis{zoom}.drawn(imageW));
}
int ViewTransform::drawnH() const {
    return narrow(Axis{zoom}.drawn(imageH));
}
int ViewTransform::imageX(int cx) const {
    return narrow(Axis{zoom}.centre(int64_t{cx} - originX()));
}
int ViewTransform::imageY(int cy) const {
    return narrow(Axis{zoom}.centre(int64_t{cy} - originY()));
}
int ViewTransform::firstImageX(int cx) const {
    return narrow(Axis{zoom}.first(int64_t{cx} - originX()));
}
int ViewTransform::endImageX(int cx) const {
    return narrow(Axis{zoom}.end(int64_t{cx} - originX()));
}
int ViewTransform::firstImageY(int cy) const {
    return narrow(Axis{zoom}.first(int64_t{cy} - originY()));
}
int ViewTransform::endImageY(int cy) const {
    return narrow(Axis{zoom}.end(int64_t{cy} - originY()));
}
int ViewTransform::canvasX(int ix) const {
    return narrow(originX() + Axis{zoom}.canvasOf(ix));
}
int ViewTransform::canvasY(int iy) const {
    return narrow(originY() + Axis{zoom}.canvasOf(iy));
}

Rect ViewTransform::imageRect(const Rect& c) const {
    return Rect{firstImageX(c.left), firstImageY(c.top), endImageX(c.right) - 1,
                endImageY(c.bottom) - 1};
}

Rect ViewTransform::canvasRect(const Rect& r) const {
    if (zoom.enlarges()) {
        return Rect{canvasX(r.left), canvasY(r.top), canvasX(r.right + 1) - 1,
                    canvasY(r.bottom + 1) - 1};
    }
    // Each edge pixel's centre lies in exactly one canvas pixel.
    return Rect{canvasX(r.left), canvasY(r.top), canvasX(r.right), canvasY(r.bottom)};
}

Rect ViewTransform::extent() const {
    int x0 = originX(), y0 = originY();
    return Rect{std::max(x0, 0), std::max(y0, 0), std::min(x0 + drawnW(), canvasW) - 1,
                std::min(y0 + drawnH(), canvasH) - 1};
}

ViewTransform panLimited(const ViewTransform& view) {
    ViewTransform t = view;
    auto limit = [](int& pan, int canvasSize, int drawnSize) {
        int offset = (canvasSize - drawnSize) / 2;
        int corner = std::clamp(pan + offset, std::min(0, canvasSize - drawnSize),
                                std::max(0, canvasSize - drawnSize));
        pan = corner - offset;
    };
    limit(t.panX, t.canvasW, t.drawnW());
    limit(t.panY, t.canvasH, t.drawnH());
    return t;
}

ViewTransform zoomedAbout(const ViewTransform& view, const Zoom& zoom, int px, int py) {
    ViewTransform t = view;
    t.zoom = zoom;
    // The image point under the pointer's centre, in image pixels, stays there.
    auto keep = [](int pointer, int oldOrigin, const Zoom& from, const Zoom& to) {
        double u = (pointer + 0.5 - oldOrigin) / from.factor();
        return static_cast<int>(std::lround(pointer + 0.5 - u * to.factor()));
    };
    int ox = keep(px, view.originX(), view.zoom, zoom);
    int oy = keep(py, view.originY(), view.zoom, zoom);
    t.panX = ox - (t.canvasW - t.drawnW()) / 2;
    t.panY = oy - (t.canvasH - t.drawnH()) / 2;
    return panLimited(t);
}

ViewTransform pannedBy(const ViewTransform& view, int dx, int dy) {
    ViewTransform t = view;
    t.panX += dx;
    t.panY += dy;
    return panLimited(t);
}

namespace {

// Source columns (or rows) one canvas column shows, clipped to the source.
struct Span {
    int begin;
    int end;
};

std::vector<Span> spans(const Axis& axis, int origin, int from, int to, int shift, int size) {
    std::vector<Span> out(static_cast<size_t>(std::max(0, to - from)));
    for (int c = from; c < to; ++c) {
        int64_t d = int64_t{c} - origin;
        int64_t b = std::clamp<int64_t>(axis.first(d) - shift, 0, size);
        int64_t e = std::clamp<int64_t>(axis.end(d) - shift, 0, size);
        out[static_cast<size_t>(c - from)] = Span{static_cast<int>(b), static_cast<int>(e)};
    }
    return out;
}

}  // namespace

void drawThroughView(Image& canvas, const Image& source, const ViewTransform& view,
                     const ViewDraw& how) {
    const int left = std::max(how.clipLeft, 0), right = std::min(how.clipRight, canvas.width);
    if (right <= left || canvas.height <= 0) return;
    if (view.zoom == actualPixels && !how.blended && !how.raw && left == 0 &&
        right == canvas.width && how.sourceX == 0 && how.sourceY == 0) {
        drawImageOnBackground(canvas, source, view.originX(), view.originY(), how.background);
        return;
    }
    const Axis axis{view.zoom};
    const std::vector<Span> cols =
        spans(axis, view.originX(), left, right, how.sourceX, source.width);
    const std::vector<Span> rows =
        spans(axis, view.originY(), 0, canvas.height, how.sourceY, source.height);
    const bool opaque = source.depth != 32;
    const uint32_t background = how.background;
    const int width = right - left;
    // The cost of a row is the source pixels it reads.
    const int64_t boxSide = view.zoom.enlarges() ? 1 : ceilDiv(view.zoom.den, view.zoom.num) + 1;
    const int perRow = static_cast<int>(std::min<int64_t>(width * boxSide * boxSide, 1 << 30));
    parallelRows(0, canvas.height - 1, perRow, [&](int y0, int y1) {
        std::vector<uint32_t> sums;
        for (int y = y0; y < y1; ++y) {
            uint32_t* out = canvas.row(y) + left;
            const Span rs = rows[static_cast<size_t>(y)];
            if (rs.begin >= rs.end) {
                if (!how.blended) std::fill(out, out + width, background);
                continue;
            }
            if (view.zoom.enlarges()) {
                const uint32_t* from = source.row(rs.begin);
                for (int i = 0; i < width; ++i) {
                    const Span cs = cols[static_cast<size_t>(i)];
                    if (cs.begin >= cs.end) {
                        if (!how.blended) out[i] = background;
                        continue;
                    }
                    uint32_t p = from[cs.begin];
                    if (opaque) p |= alphaMask;
                    out[i] = how.raw ? p : blendOver(p, how.blended ? out[i] : background);
                }
                continue;
            }
            // Below 100 %: the mean of each box, colours weighted by alpha.
            sums.assign(static_cast<size_t>(width) * 4, 0);
            for (int sy = rs.begin; sy < rs.end; ++sy) {
                const uint32_t* from = source.row(sy);
                for (int i = 0; i < width; ++i) {
                    const Span cs = cols[static_cast<size_t>(i)];
                    uint32_t r = 0, g = 0, b = 0, a = 0;
                    if (opaque) {
                        // Red and blue side by side in one word: a box row holds at most
                        // 17 pixels, so neither half overflows into the other.
                        uint32_t rb = 0;
                        for (int sx = cs.begin; sx < cs.end; ++sx) {
                            const uint32_t p = from[sx];
                            rb += p & 0x00FF00FFu;
                            g += (p >> 8) & 255;
                        }
                        r = rb & 0xFFFFu;
                        b = rb >> 16;
                        a = static_cast<uint32_t>(std::max(0, cs.end - cs.begin));
                    } else {
                        for (int sx = cs.begin; sx < cs.end; ++sx) {
                            const uint32_t p = from[sx];
                            const uint32_t w = p >> 24;
                            r += (p & 255) * w;
                            g += ((p >> 8) & 255) * w;
                            b += ((p >> 16) & 255) * w;
                            a += w;
                        }
                    }
                    uint32_t* s = &sums[static_cast<size_t>(i) * 4];
                    s[0] += r;
                    s[1] += g;
                    s[2] += b;
                    s[3] += a;
                }
            }
            const int boxRows = rs.end - rs.begin;
            for (int i = 0; i < width; ++i) {
                const Span cs = cols[static_cast<size_t>(i)];
                const uint32_t count = static_cast<uint32_t>(boxRows) *
                                       static_cast<uint32_t>(std::max(0, cs.end - cs.begin));
                const uint32_t* s = &sums[static_cast<size_t>(i) * 4];
                if (count == 0 || s[3] == 0) {
                    if (!how.blended) out[i] = background;
                    continue;
                }
                const uint32_t w = s[3];
                uint32_t alpha = opaque ? 255 : (w + count / 2) / count;
                uint32_t p =
                    rgba(static_cast<int>((s[0] + w / 2) / w), static_cast<int>((s[1] + w / 2) / w),
                         static_cast<int>((s[2] + w / 2) / w), static_cast<int>(alpha));
                out[i] = how.raw ? p : blendOver(p, how.blended ? out[i] : background);
            }
        }
    });
}

Image thumbnailOf(const Image& image, const Rect& part, int maxW, int maxH) {
    const Rect r = clipToImage(part, image);
    if (r.empty() || maxW <= 0 || maxH <= 0) return Image();
    ViewTransform t;
    t.imageW = r.width();
    t.imageH = r.height();
    t.zoom = fitZoom(t.imageW, t.imageH, maxW, maxH);
    if (!zoomBelow(t.zoom, actualPixels)) t.zoom = actualPixels;
    t.canvasW = t.drawnW();
    t.canvasH = t.drawnH();
    Image out = Image::unset(t.canvasW, t.canvasH, image.depth);
    ViewDraw how;
    how.sourceX = -r.left;  // the rectangle's top-left pixel is the thumbnail's
    how.sourceY = -r.top;
    how.raw = true;      // the box means with their alpha
    how.background = 0;  // a wholly transparent box stays transparent
    drawThroughView(out, image, t, how);
    return out;
}
