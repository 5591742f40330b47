#include "canvas/geometry.h"

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

namespace {

// ---- Turns ----

// The quarter turn of a square too large to make: each pixel read straight from its place
// in the source. The same result as the square's cycles.
Image rotateQuarterDirect(const Image& source, bool clockwise) {
    const int w = source.width, h = source.height;
    Image out = Image::unset(h, w, source.depth);
    for (int y = 0; y < w; ++y) {
        uint32_t* row = out.row(y);
        for (int x = 0; x < h; ++x) {
            row[x] = clockwise ? source.at(y, h - 1 - x) : source.at(w - 1 - y, x);
        }
    }
    return out;
}

// Colours change places; each position keeps its alpha.
inline void exchangeColour(uint32_t& a, uint32_t& b) {
    uint32_t pa = a, pb = b;
    a = (pa & alphaMask) | (pb & colourMask);
    b = (pb & alphaMask) | (pa & colourMask);
}

// ---- Mitchell-Netravali resampling ----

constexpr double mitchellB = 1.0 / 3.0;
constexpr double mitchellC = 1.0 / 3.0;
constexpr double mitchellSupport = 2.0;

double mitchell(double x) {
    constexpr double b = mitchellB, c = mitchellC;
    x = std::fabs(x);
    if (x < 1.0) {
        return ((12 - 9 * b - 6 * c) * x * x * x + (-18 + 12 * b + 6 * c) * x * x + (6 - 2 * b)) /
               6;
    }
    if (x < 2.0) {
        return ((-b - 6 * c) * x * x * x + (6 * b + 30 * c) * x * x + (-12 * b - 48 * c) * x +
                (8 * b + 24 * c)) /
               6;
    }
    return 0.0;
}

// The weights of one axis: output position i reads source positions first[i] ..
// first[i] + taps - 1 with weights[i * taps ...]. Trailing weights past a position's own
// reach are 0, so every position has the same number of taps.
struct AxisWeights {
    int taps = 0;
    std::vector<int> first;
    std::vector<float> weights;
};

AxisWeights axisWeights(int from, int to) {
    const double scale = static_cast<double>(from) / to;
    const double widen = std::max(scale, 1.0);  // shrinking widens the kernel
    const double support = mitchellSupport * widen;
    std::vector<int> first(to), count(to);
    std::vector<double> raw;
    std::vector<size_t> start(to);
    int taps = 1;
    for (int i = 0; i < to; ++i) {
        // Centres of pixels lie at index + 0.5 on both axes.
        double centre = (i + 0.5) * scale;
        int lo = std::max(0, static_cast<int>(std::floor(centre - support)));
        int hi = std::min(from - 1, static_cast<int>(std::ceil(centre + support)));
        std::vector<double> w;
        double sum = 0.0;
        for (int j = lo; j <= hi; ++j) {
            double v = mitchell((j + 0.5 - centre) / widen);
            w.push_back(v);
            sum += v;
        }
        // Taps outside the kernel's reach are dropped from both ends.
        size_t a = 0, b = w.size();
        while (a < b && w[a] == 0.0) ++a;
        while (b > a && w[b - 1] == 0.0) --b;
        first[i] = lo + static_cast<int>(a);
        count[i] = static_cast<int>(b - a);
        start[i] = raw.size();
        for (size_t k = a; k < b; ++k) raw.push_back(w[k] / sum);
        taps = std::max(taps, count[i]);
    }
    AxisWeights out;
    out.taps = taps;
    out.first = std::move(first);
    out.weights.assign(static_cast<size_t>(to) * taps, 0.0f);
    for (int i = 0; i < to; ++i) {
        for (int k = 0; k < count[i]; ++k) {
            out.weights[static_cast<size_t>(i) * taps + k] = static_cast<float>(raw[start[i] + k]);
        }
        // Keep every position's taps inside the source: a position near the end reads
        // earlier pixels with weight 0 instead of pixels past the end.
        if (out.first[i] + taps > from) {
            int shift = out.first[i] + taps - from;
            float* w = &out.weights[static_cast<size_t>(i) * taps];
            std::move_backward(w, w + count[i], w + count[i] + shift);
            std::fill(w, w + shift, 0.0f);
            out.first[i] -= shift;
        }
    }
    return out;
}

// Nearest integer with halves up, kept to 0..255.
inline uint8_t toChannel(float v) {
    v = std::min(std::max(v, 0.0f), 255.0f);
    return static_cast<uint8_t>(v + 0.5f);
}

const uint8_t* bytesOf(const Image& image, int y) {
    return reinterpret_cast<const uint8_t*>(image.row(y));
}
uint8_t* bytesOf(Image& image, int y) {
    return reinterpret_cast<uint8_t*>(image.row(y));
}

void convertRow(const uint8_t* __restrict from, float* __restrict to, size_t n) {
    for (size_t i = 0; i < n; ++i) to[i] = from[i];
}

// Source rows converted to floats once each, held while output rows still read them.
// Output rows read ever later source rows, so `taps` slots suffice.
class RowCache {
  public:
    RowCache(const Image& source, int taps)
        : source_(source),
          length_(static_cast<size_t>(source.width) * 4),
          rows_(static_cast<size_t>(taps) * length_),
          held_(taps, -1) {}

    const float* row(int y) {
        size_t slot = static_cast<size_t>(y) % held_.size();
        float* out = rows_.data() + slot * length_;
        if (held_[slot] != y) {
            convertRow(bytesOf(source_, y), out, length_);
            held_[slot] = y;
        }
        return out;
    }

  private:
    const Image& source_;
    size_t length_;
    std::vector<float> rows_;
    std::vector<int> held_;
};

// Columns stay, rows are resampled: every channel of every column in one sweep per tap.
Image resampleRows(const Image& source, int h) {
    const int w = source.width;
    AxisWeights axis = axisWeights(source.height, h);
    Image out = Image::unset(w, h, source.depth);
    RowCache cache(source, axis.taps);
    const size_t n = static_cast<size_t>(w) * 4;
    std::vector<float> sum(n);
    for (int y = 0; y < h; ++y) {
        std::fill(sum.begin(), sum.end(), 0.0f);
        const float* weights = &axis.weights[static_cast<size_t>(y) * axis.taps];
        for (int k = 0; k < axis.taps; ++k) {
            float wk = weights[k];
            if (wk == 0.0f) continue;
            const float* __restrict from = cache.row(axis.first[y] + k);
            float* __restrict to = sum.data();
            for (size_t i = 0; i < n; ++i) to[i] += wk * from[i];
        }
        uint8_t* row = bytesOf(out, y);
        for (size_t i = 0; i < n; ++i) row[i] = toChannel(sum[i]);
    }
    return out;
}

// Four channels as one vector, so each tap is one multiply and one add.
typedef float Channels __attribute__((vector_size(16)));

// Rows stay, columns are resampled: the four channels of a pixel together.
Image resampleColumns(const Image& source, int w) {
    const int h = source.height;
    AxisWeights axis = axisWeights(source.width, w);
    Image out = Image::unset(w, h, source.depth);
    std::vector<Channels> line(static_cast<size_t>(source.width));
    for (int y = 0; y < h; ++y) {
        const uint8_t* from = bytesOf(source, y);
        for (size_t x = 0; x < line.size(); ++x) {
            line[x] =
                Channels{static_cast<float>(from[4 * x]), static_cast<float>(from[4 * x + 1]),
                         static_cast<float>(from[4 * x + 2]), static_cast<float>(from[4 * x + 3])};
        }
        uint8_t* row = bytesOf(out, y);
        for (int x = 0; x < w; ++x) {
            const float* weights = &axis.weights[static_cast<size_t>(x) * axis.taps];
            const Channels* pixel = &line[static_cast<size_t>(axis.first[x])];
            Channels sum = {0, 0, 0, 0};
            for (int k = 0; k < axis.taps; ++k) sum += weights[k] * pixel[k];
            for (int ch = 0; ch < 4; ++ch) row[4 * x + ch] = toChannel(sum[ch]);
        }
    }
    return out;
}

}  // namespace

bool rotateQuarterPixels(Image& image, bool clockwise) {
    if (image.empty()) return false;
    if (image.depth != 24 && image.depth != 32) return false;
    const int w = image.width, h = image.height;
    const int s = std::max(w, h);
    if (!imageSizeAllowed(s, s)) {
        image = rotateQuarterDirect(image, clockwise);
        return true;
    }
    // The picture is turned inside a square, where every pixel lies on a cycle of four
    // places, then the turned part is cut out.
    Image square = Image::unset(s, s, image.depth);
    drawImage(square, image, 0, 0);
    // The rest of the square is cut away again, but every pixel the cycles move is set.
    fillBox(square, w, 0, s - w, s, 0);
    fillBox(square, 0, h, w, s - h, 0);
    const int m = s - 1;
    const int lastJ = s % 2 == 0 ? s / 2 - 1 : (s - 1) / 2;
    auto p = [&square](int x, int y) -> uint32_t& { return square.at(x, y); };
    // The cycles are taken in tiles, so the four places of each stay in the cache.
    constexpr int tile = 64;
    const int lastI = s / 2 - 1;
    for (int i0 = 0; i0 <= lastI; i0 += tile) {
        for (int j0 = 0; j0 <= lastJ; j0 += tile) {
            const int iEnd = std::min(lastI, i0 + tile - 1), jEnd = std::min(lastJ, j0 + tile - 1);
            for (int i = i0; i <= iEnd; ++i) {
                for (int j = j0; j <= jEnd; ++j) {
                    uint32_t t = p(j, i);
                    if (clockwise) {
                        p(j, i) = p(i, m - j);
                        p(i, m - j) = p(m - j, m - i);
                        p(m - j, m - i) = p(m - i, j);
                        p(m - i, j) = t;
                    } else {
                        p(j, i) = p(m - i, j);
                        p(m - i, j) = p(m - j, m - i);
                        p(m - j, m - i) = p(i, m - j);
                        p(i, m - j) = t;
                    }
                }
            }
        }
    }
    // The turned picture is h wide and w high.
    if (clockwise) {
        image = copyRect(square, s - h, 0, s - 1, w - 1);
    } else {
        image = copyRect(square, 0, s - w, h - 1, s - 1);
    }
    return true;
}

void rotateHalfPixels(Image& image, const Rect& rect) {
    const int left = rect.left, right = rect.right, top = rect.top, bottom = rect.bottom;
    const int yMid = top + (bottom - top + 1) / 2 - 1;
    for (int y = top; y <= yMid; ++y) {
        uint32_t* upper = image.row(y);
        uint32_t* lower = image.row(bottom - y + top);
        for (int x = left; x <= right; ++x) exchangeColour(upper[x], lower[right - x + left]);
    }
    if ((bottom - top + 1) % 2 == 1) {
        uint32_t* middle = image.row(yMid + 1);
        for (int x = left; x <= left + (right - left) / 2; ++x) {
            exchangeColour(middle[x], middle[right - x + left]);
        }
    }
}

void flipPixels(Image& image, const Rect& rect) {
    const int yMid = rect.top + rect.height() / 2 - 1;
    for (int y = rect.top; y <= yMid; ++y) {
        uint32_t* upper = image.row(y) + rect.left;
        std::swap_ranges(upper, upper + rect.width(),
                         image.row(rect.bottom - y + rect.top) + rect.left);
    }
}

void mirrorPixels(Image& image, const Rect& rect) {
    for (int y = rect.top; y <= rect.bottom; ++y) {
        uint32_t* row = image.row(y);
        std::reverse(row + rect.left, row + rect.right + 1);
    }
}

void placeSection(Image& target, const Image& section, int x, int y) {
    const int x0 = std::max(x, 0), y0 = std::max(y, 0);
    const int x1 = std::min(x + section.width, target.width);
    const int y1 = std::min(y + section.height, target.height);
    for (int ty = y0; ty < y1; ++ty) {
        const uint32_t* from = section.row(ty - y);
        uint32_t* to = target.row(ty);
        for (int tx = x0; tx < x1; ++tx) {
            const uint32_t s = from[tx - x];
            const uint32_t sa = static_cast<uint32_t>(alphaOf(s));
            if (sa == 0) continue;
            if (sa == 255) {
                to[tx] = s;
                continue;
            }
            // Straight-alpha "over": both weights scaled by 255 so the sums stay whole.
            const uint32_t d = to[tx];
            const uint32_t da = static_cast<uint32_t>(alphaOf(d));
            const uint32_t sw = sa * 255, dw = da * (255 - sa), total = sw + dw;
            auto mix = [&](int sc, int dc) {
                return static_cast<int>(
                    (static_cast<uint32_t>(sc) * sw + static_cast<uint32_t>(dc) * dw + total / 2) /
                    total);
            };
            to[tx] = rgba(mix(redOf(s), redOf(d)), mix(greenOf(s), greenOf(d)),
                          mix(blueOf(s), blueOf(d)), static_cast<int>((total + 127) / 255));
        }
    }
}

int clampResizeSide(int64_t side) {
    side = std::max<int64_t>(side, smallestSide);
    return static_cast<int>(std::min<int64_t>(side, largestSide));
}

namespace {

// `side` * to / from, to the nearest integer (halves up); all three positive.
int64_t scaledSide(int64_t side, int64_t to, int64_t from) {
    return (side * to + from / 2) / from;
}

bool resizeSideFits(int64_t side) {
    return side >= smallestSide && side <= largestSide;
}

}  // namespace

ResizeSize resizeImageSize(int64_t typedWidth, int64_t typedHeight, bool keepAspect, int currentW,
                           int currentH) {
    if (typedWidth == currentW && typedHeight == currentH) return {currentW, currentH};
    int64_t w = typedWidth, h = typedHeight;
    if (keepAspect && w > 0 && h > 0) {
        // Typed values are at most 10^9, so the products stay far inside 64 bits.
        const int64_t longer = std::max(w, h), shorter = std::min(w, h);
        if (longer > largestSide) {
            w = scaledSide(w, largestSide, longer);
            h = scaledSide(h, largestSide, longer);
        } else if (shorter < smallestSide) {
            w = scaledSide(w, smallestSide, shorter);
            h = scaledSide(h, smallestSide, shorter);
        }
        // Sides too far apart for one factor to bring both into range: each on its own.
        if (!resizeSideFits(w) || !resizeSideFits(h)) w = typedWidth, h = typedHeight;
    }
    return {clampResizeSide(w), clampResizeSide(h)};
}

int clampCanvasSide(int64_t side, int current) {
    // The upper bound first, so that the lower one, the current side, has the last word.
    side = std::min<int64_t>(side, largestSide);
    return static_cast<int>(std::max<int64_t>(side, current));
}

float aspectRatio(int width, int height) {
    if (width <= 0) return 1.0f;
    return static_cast<float>(height) / static_cast<float>(width);
}

int64_t heightForWidth(int64_t width, float ratio) {
    float h = static_cast<float>(width) * ratio;
    return std::max<int64_t>(0, static_cast<int64_t>(std::nearbyint(h)));
}

int64_t widthForHeight(int64_t height, float ratio) {
    if (ratio <= 0.0f) return 0;
    float w = static_cast<float>(height) / ratio;
    return std::max<int64_t>(0, static_cast<int64_t>(std::nearbyint(w)));
}

Image resampleMitchell(const Image& source, int w, int h) {
    if (source.empty() || w < 1 || h < 1) return Image();
    if (h == source.height) return w == source.width ? source : resampleColumns(source, w);
    if (w == source.width) return resampleRows(source, h);
    // The column pass costs the most per pixel: it runs on the fewer rows.
    if (h > source.height) return resampleRows(resampleColumns(source, w), h);
    return resampleColumns(resampleRows(source, h), w);
}

AnchorOffset anchorOffset(int position, int oldW, int oldH, int newW, int newH) {
    position = std::clamp(position, firstAnchor, lastAnchor);
    int column = (position - 1) % 3, row = (position - 1) / 3;
    auto part = [](int place, int spare) {
        return place == 0 ? 0 : place == 1 ? spare / 2 : spare;
    };
    return AnchorOffset{part(column, newW - oldW), part(row, newH - oldH)};
}

Image extendCanvas(const Image& source, int newW, int newH, int position, uint32_t background) {
    Image out(newW, newH, 32, (background & colourMask) | alphaMask);
    AnchorOffset at = anchorOffset(position, source.width, source.height, newW, newH);
    drawImage(out, source, at.x, at.y);
    return out;
}
