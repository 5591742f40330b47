#include "quantize/error_figure.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <limits>
#include <map>
#include <mutex>
#include <vector>

#include "quantize/colour_set.h"

namespace {

// sRGB (IEC 61966-2-1) to XYZ, each row divided by the D65 white's component, so white
// gives 1, 1, 1 and every colour of the gamut lies in 0..1.
constexpr double whiteX = 0.95047, whiteZ = 1.08883;
constexpr double toXyz[3][3] = {
    {0.4124564 / whiteX, 0.3575761 / whiteX, 0.1804375 / whiteX},
    {0.2126729, 0.7151522, 0.0721750},
    {0.0193339 / whiteZ, 0.1191920 / whiteZ, 0.9503041 / whiteZ},
};

// CIELAB's companding: the cube root, with a straight line near black.
constexpr double labEpsilon = 216.0 / 24389.0;
constexpr double labKappa = 24389.0 / 27.0;

double labF(double t) {
    return t > labEpsilon ? std::cbrt(t) : (labKappa * t + 16.0) / 116.0;
}

double srgbToLinear(int v) {
    const double c = v / 255.0;
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

// A photograph has millions of pixels but only 256 channel values, and labF is smooth: two
// small tables replace every pow() and cube root. labF is read between table points by
// straight lines, close enough that Delta E moves by well under 0.01.
constexpr int fSteps = 8192;

struct LabTables {
    std::array<float, 256> linear[3][3];  // [XYZ row][channel] -> that channel's share
    std::array<float, fSteps + 2> f;

    LabTables() {
        for (int v = 0; v < 256; ++v) {
            const double lin = srgbToLinear(v);
            for (int row = 0; row < 3; ++row) {
                for (int ch = 0; ch < 3; ++ch) {
                    linear[row][ch][v] = static_cast<float>(toXyz[row][ch] * lin);
                }
            }
        }
        for (int i = 0; i <= fSteps + 1; ++i) f[i] = static_cast<float>(labF(double(i) / fSteps));
    }

    float companded(float t) const {
        float s = t * fSteps;
        if (s < 0) s = 0;
        if (s > fSteps) s = fSteps;
        const int i = static_cast<int>(s);
        return f[i] + (s - static_cast<float>(i)) * (f[i + 1] - f[i]);
    }

    // labF of X, Y and Z for one colour.
    void fOf(uint32_t c, float out[3]) const {
        const int r = redOf(c), g = greenOf(c), b = blueOf(c);
        for (int row = 0; row < 3; ++row) {
            out[row] = companded(linear[row][0][r] + linear[row][1][g] + linear[row][2][b]);
        }
    }
};

const LabTables& labTables() {
    static const LabTables tables;
    return tables;
}

// Remembers the companded X, Y, Z of recent colours. A preview holds few colours and a
// photograph repeats its own a lot, so most pixels skip the arithmetic.
class LabCache {
  public:
    explicit LabCache(int bits) : bits_(bits), slots_(size_t{1} << bits) {}

    const float* operator()(const LabTables& lab, uint32_t colour) {
        Slot& slot = slots_[(colour * 2654435761u) >> (32 - bits_)];
        if (slot.tag != (colour | filled)) {
            slot.tag = colour | filled;
            lab.fOf(colour, slot.f);
        }
        return slot.f;
    }

  private:
    static constexpr uint32_t filled = 0x01000000;  // marks a used slot, black included
    struct Slot {
        uint32_t tag = 0;
        float f[3] = {0, 0, 0};
    };
    int bits_;
    std::vector<Slot> slots_;
};

constexpr int sourceCacheBits = 16;
constexpr int resultCacheBits = 12;

}  // namespace

LabColour labOf(uint32_t colour) {
    double xyz[3];
    const double lin[3] = {srgbToLinear(redOf(colour)), srgbToLinear(greenOf(colour)),
                           srgbToLinear(blueOf(colour))};
    for (int row = 0; row < 3; ++row) {
        xyz[row] = toXyz[row][0] * lin[0] + toXyz[row][1] * lin[1] + toXyz[row][2] * lin[2];
    }
    const double fx = labF(xyz[0]), fy = labF(xyz[1]), fz = labF(xyz[2]);
    return LabColour{116.0 * fy - 16.0, 500.0 * (fx - fy), 200.0 * (fy - fz)};
}

ErrorFigure measureError(const Image& source, const Image& result, const Rect& rect) {
    ErrorFigure figure;
    if (source.width != result.width || source.height != result.height) return figure;
    const Rect r = clipToImage(rect, result);
    if (r.empty()) return figure;
    const LabTables& lab = labTables();
    // Sums per band of rows, added up in row order afterwards so the figure does not
    // depend on which thread finished first.
    struct BandSums {
        uint64_t squares = 0;
        double delta = 0;
    };
    std::map<int, BandSums> bands;
    std::mutex bandsMutex;
    // The count of the result's colours rides along in the same pass over the pixels.
    figure.colours =
        countDistinctColours(r.height(), r.width(), [&](int y0, int y1, ColourBitSet& seen) {
            LabCache sourceLab(sourceCacheBits), resultLab(resultCacheBits);
            BandSums sums;
            for (int y = r.top + y0; y < r.top + y1; ++y) {
                const uint32_t* a = source.row(y);
                const uint32_t* b = result.row(y);
                uint64_t rowSquares = 0;
                double rowDelta = 0;
                for (int x = r.left; x <= r.right; ++x) {
                    const uint32_t p = a[x] & colourMask, q = b[x] & colourMask;
                    seen.insert(q);
                    if (p == q) continue;
                    const int dr = redOf(p) - redOf(q), dg = greenOf(p) - greenOf(q),
                              db = blueOf(p) - blueOf(q);
                    rowSquares += static_cast<uint64_t>(dr * dr + dg * dg + db * db);
                    const float* fp = sourceLab(lab, p);
                    const float* fq = resultLab(lab, q);
                    const float dx = fp[0] - fq[0], dy = fp[1] - fq[1], dz = fp[2] - fq[2];
                    const float dl = 116.0f * dy, da = 500.0f * (dx - dy), dbb = 200.0f * (dy - dz);
                    rowDelta += std::sqrt(dl * dl + da * da + dbb * dbb);
                }
                sums.squares += rowSquares;
                sums.delta += rowDelta;
            }
            const std::lock_guard<std::mutex> lock(bandsMutex);
            bands[y0] = sums;
        });
    uint64_t squares = 0;
    double deltaSum = 0;
    for (const auto& [y0, sums] : bands) {
        squares += sums.squares;
        deltaSum += sums.delta;
    }
    figure.pixels = int64_t{r.width()} * r.height();
    const double n = static_cast<double>(figure.pixels);
    figure.meanSquaredError = static_cast<double>(squares) / (3.0 * n);
    figure.psnr = squares == 0 ? std::numeric_limits<double>::infinity()
                               : 10.0 * std::log10(255.0 * 255.0 / figure.meanSquaredError);
    figure.meanDeltaE = deltaSum / n;
    return figure;
}

ErrorFigure measureError(const Image& source, const Image& result) {
    return measureError(source, result, wholeImage(result));
}

std::string errorFigureText(const ErrorFigure& figure) {
    const int64_t colours = figure.colours;
    char text[128];
    const char* noun = colours == 1 ? "color" : "colors";
    if (figure.pixels == 0) {
        std::snprintf(text, sizeof text, "%lld %s", static_cast<long long>(colours), noun);
    } else if (figure.exact()) {
        std::snprintf(text, sizeof text, "%lld %s | PSNR exact | mean dE %.1f",
                      static_cast<long long>(colours), noun, figure.meanDeltaE);
    } else {
        std::snprintf(text, sizeof text, "%lld %s | PSNR %.1f dB | mean dE %.1f",
                      static_cast<long long>(colours), noun, figure.psnr, figure.meanDeltaE);
    }
    return text;
}
