#include "adjust/brightness.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "toolkit/parallel.h"

namespace {

constexpr int channelMax = 255;
constexpr int channelCount = 256;
// Largest weighted level, 2r + 4g + b of white.
constexpr int maxWeightedLevel = 7 * channelMax;
// Ratio mode scales by (M + a) / M; a floor on M keeps a nearly black pixel from jumping.
constexpr int ratioModeMinimumMax = 16;
constexpr int contrastDarkPivot = 127;
constexpr int contrastBrightPivot = 128;
constexpr double contrastScale = 100.0;

// Nearest integer, halves to the even neighbour: what std::nearbyint gives under the default
// rounding mode, without a library call per component. Adding 1.5 * 2^52 leaves no fraction
// bits, so the addition itself rounds; exact for |v| < 2^51, far beyond any value here.
constexpr double roundingBias = 6755399441055744.0;
inline int64_t roundEven(double v) {
    // Relies on strict floating-point semantics (no -ffast-math).
    return static_cast<int64_t>((v + roundingBias) - roundingBias);
}

using Float4 = float __attribute__((vector_size(16)));

inline int weightedLevel(int r, int g, int b) {
    return 2 * r + 4 * g + b;
}

// Settings with the amount brought into range, the enables as an array.
struct Prepared {
    int amount;
    LimitOption limit;
    bool ratioMode;
    bool proportional;
    bool enabled[3];
};

Prepared prepare(const BrightnessSettings& s) {
    return Prepared{std::clamp(s.amount, minBrightnessAmount, maxBrightnessAmount),
                    s.limitOption,
                    s.ratioMode,
                    s.proportional,
                    {s.enableRed, s.enableGreen, s.enableBlue}};
}

// n / m truncated towards zero, for 16 <= m <= 255 and |n| <= 765 * 383 (< 2^20), by a
// multiplication with ceil(2^32 / m): the excess over n / m stays below |n| / 2^32 < 1 / m,
// too little to reach the next integer.
struct Reciprocals {
    uint64_t of[channelCount] = {};
    constexpr Reciprocals() {
        for (uint64_t m = 1; m < channelCount; ++m) of[m] = ((uint64_t{1} << 32) + m - 1) / m;
    }
};
constexpr Reciprocals reciprocals;
constexpr int reciprocalShift = 32;

inline int divideByLargest(int n, int m) {
    auto q = static_cast<int>((static_cast<uint64_t>(std::abs(n)) * reciprocals.of[m]) >>
                              reciprocalShift);
    return n < 0 ? -q : q;
}

// Moves the enabled components by `a`: the same step for each in equal mode, or scaled so
// the pixel's sum follows its largest component in ratio mode.
inline void changeComponents(int c[3], int a, int sum, int largest, const Prepared& p) {
    if (!p.ratioMode) {
        for (int i = 0; i < 3; ++i) {
            if (p.enabled[i]) c[i] += a;
        }
        return;
    }
    if (sum == 0) {
        // A black pixel has no shares to scale.
        for (int i = 0; i < 3; ++i) {
            if (p.enabled[i]) c[i] = 0;
        }
        return;
    }
    int m = std::max(largest, ratioModeMinimumMax);
    int newSum = divideByLargest(sum * (m + a), m);
    // The three single-precision shares in one vector division.
    Float4 shares =
        Float4{static_cast<float>(c[0]), static_cast<float>(c[1]), static_cast<float>(c[2]), 0.0f} /
        static_cast<float>(sum);
    for (int i = 0; i < 3; ++i) {
        if (p.enabled[i])
            c[i] = static_cast<int>(roundEven(static_cast<double>(newSum) * shares[i]));
    }
}

// round(a * weight / 1785) in integers. The divisor is odd, so the exact quotient never ends
// in one half and rounding to the nearest needs no tie rule.
inline int scaleByLevel(int a, int weight) {
    int n = a * weight;
    int q = (2 * std::abs(n) + maxWeightedLevel) / (2 * maxWeightedLevel);
    return n < 0 ? -q : q;
}

// A positive step shrinks as the pixel gets lighter, a negative one as it gets darker.
inline int proportionalBrighten(int a, int level) {
    return scaleByLevel(a, maxWeightedLevel - level);
}
inline int proportionalDarken(int a, int level) {
    return scaleByLevel(a, level);
}

inline uint32_t compose(const int c[3]) {
    return rgb(c[0], c[1], c[2]);
}

inline uint32_t brighten(uint32_t colour, const Prepared& p) {
    int r = redOf(colour), g = greenOf(colour), b = blueOf(colour);
    int c[3] = {r, g, b};
    int a = p.amount;
    int level = weightedLevel(r, g, b);
    int sum = r + g + b;
    int largest = std::max({r, g, b});
    int smallest = std::min({r, g, b});

    if (p.limit == LimitOption::Wrap) {
        if (p.proportional)
            a = a > 0 ? proportionalBrighten(a, level) : proportionalDarken(a, level);
        changeComponents(c, a, sum, largest, p);
        for (int& v : c) {
            if (v < 0) v += channelCount;
            if (v > channelMax) v -= channelCount;
        }
        return compose(c);
    }
    if (a > 0) {
        if (p.proportional) a = proportionalBrighten(a, level);
        if (p.limit == LimitOption::HoldRatio && largest + a > channelMax) a = channelMax - largest;
    } else if (a < 0) {
        if (p.proportional) a = proportionalDarken(a, level);
        if (p.limit == LimitOption::HoldRatio && smallest + a < 0) a = -smallest;
    } else {
        return colour;
    }
    changeComponents(c, a, sum, largest, p);
    // Hold ratio keeps every component in range by construction; clamp needs the limit.
    if (p.limit == LimitOption::Clamp) {
        for (int& v : c) v = std::min(std::max(v, 0), channelMax);
    }
    return compose(c);
}

inline uint8_t contrastComponent(int v, float k) {
    double result;
    if (v < contrastBrightPivot) {
        result = v - static_cast<double>(k) * (contrastDarkPivot - v);
    } else {
        result = v + static_cast<double>(k) * (v - contrastBrightPivot);
    }
    // Within the amount's range only one end can be passed; clamp both for safety.
    return static_cast<uint8_t>(std::clamp<int64_t>(roundEven(result), 0, channelMax));
}

inline float contrastFactor(int amount) {
    return static_cast<float>(std::clamp(amount, minContrastAmount, maxContrastAmount) /
                              contrastScale);
}

inline uint32_t contrast(uint32_t colour, float k) {
    return rgb(contrastComponent(redOf(colour), k), contrastComponent(greenOf(colour), k),
               contrastComponent(blueOf(colour), k));
}

// Replaces the colour of every pixel of the clipped rectangle by `f(colour)`, keeping alpha.
// Pixels are independent, so rows are shared out among the threads.
template <typename F>
void transformRect(Image& image, const Rect& rect, F&& f) {
    Rect r = clipToImage(rect, image);
    if (r.empty()) return;
    parallelRows(r.top, r.bottom, r.width(), [&](int y0, int y1) {
        for (int y = y0; y < y1; ++y) {
            uint32_t* row = image.row(y);
            for (int x = r.left; x <= r.right; ++x) {
                uint32_t p = row[x];
                row[x] = (p & alphaMask) | f(p & colourMask);
            }
        }
    });
}

}  // namespace

uint32_t brightnessPixel(uint32_t colour, const BrightnessSettings& settings) {
    return brighten(colour & colourMask, prepare(settings));
}

uint32_t contrastPixel(uint32_t colour, int amount) {
    return contrast(colour & colourMask, contrastFactor(amount));
}

void applyBrightness(Image& image, const Rect& rect, const BrightnessSettings& settings) {
    Prepared p = prepare(settings);
    transformRect(image, rect, [&p](uint32_t c) { return brighten(c, p); });
}

void applyContrast(Image& image, const Rect& rect, int amount) {
    float k = contrastFactor(amount);
    transformRect(image, rect, [k](uint32_t c) { return contrast(c, k); });
}
