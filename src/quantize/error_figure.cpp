#include "quantize/error_figure.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <limits>
#include <map>
#include <mutex>
#include <vector>

#include "quantize/cielab.h"
#include "quantize/colour_set.h"
#include "toolkit/parallel.h"

namespace {

using cielab::toXyz;

double labF(double t) {
    return cielab::compand(t);
}

double srgbToLinear(int v) {
    return cielab::linearOf(v);
}

// A photograph has millions of pixels but only 256 channel values, and labF is smooth: two
// small tables replace every pow() and cube root. labF is read between table points by
// straight lines, close enough that Delta E moves by well under 0.01.
constexpr int fSteps = 8192;

struct LabTables {
    std::array<float, 256> linear[3][3];  // [XYZ row][channel] -> that channel's share
    std::array<float, 256> light;         // a channel value in linear light
    std::array<float, fSteps + 2> f;

    LabTables() {
        for (int v = 0; v < 256; ++v) {
            const double lin = srgbToLinear(v);
            light[v] = static_cast<float>(lin);
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

// Rows per share of the whole-image figures below: fixed, so that what each share adds
// up, and the order the shares are added in, do not depend on the threads.
constexpr int bandRows = 64;

// Runs band(y0, y1) over fixed bands of rows on the threads and adds the results up in
// band order.
template <typename Band>
double sumOverBands(int height, int width, Band&& band) {
    const int bands = (height + bandRows - 1) / bandRows;
    std::vector<double> sums(static_cast<size_t>(bands), 0.0);
    parallelFor(bands, int64_t{bandRows} * width, [&](int64_t b0, int64_t b1) {
        for (int64_t b = b0; b < b1; ++b) {
            const int y0 = static_cast<int>(b) * bandRows;
            sums[static_cast<size_t>(b)] = band(y0, std::min(height, y0 + bandRows));
        }
    });
    double total = 0;
    for (double v : sums) total += v;
    return total;
}

// The Gaussian of sigma 1 pixel, to three pixels each side, summing to 1.
struct Gaussian {
    static constexpr int radius = 3;
    float taps[2 * radius + 1];
    Gaussian() {
        float sum = 0;
        for (int i = -radius; i <= radius; ++i) {
            sum += taps[i + radius] = static_cast<float>(std::exp(-0.5 * i * i));
        }
        for (float& t : taps) t /= sum;
    }
};

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

double blurredDeltaE(const Image& source, const Image& result) {
    if (source.width != result.width || source.height != result.height || result.empty()) {
        return 0;
    }
    const LabTables& lab = labTables();
    const Gaussian gauss;
    constexpr int r = Gaussian::radius;
    const int w = result.width, h = result.height;
    const double total = sumOverBands(h, w, [&](int y0, int y1) {
        // Rows y0 - 3 .. y1 + 2 (the edge rows repeated beyond the image) blurred across,
        // in linear light, for both images; then each output row blurred down from them.
        const int first = y0 - r, rows = y1 - y0 + 2 * r;
        std::vector<float> across[2];
        const Image* images[2] = {&source, &result};
        for (int k = 0; k < 2; ++k) {
            across[k].resize(static_cast<size_t>(rows) * w * 3);
            std::vector<float> line(static_cast<size_t>(w) * 3);
            for (int i = 0; i < rows; ++i) {
                const uint32_t* row = images[k]->row(std::clamp(first + i, 0, h - 1));
                for (int x = 0; x < w; ++x) {
                    for (int c = 0; c < 3; ++c)
                        line[x * 3 + c] = lab.light[(row[x] >> (8 * c)) & 255];
                }
                float* out = across[k].data() + static_cast<size_t>(i) * w * 3;
                for (int x = 0; x < w; ++x) {
                    float sum[3] = {0, 0, 0};
                    for (int t = -r; t <= r; ++t) {
                        const float* p = line.data() + std::clamp(x + t, 0, w - 1) * 3;
                        for (int c = 0; c < 3; ++c) sum[c] += gauss.taps[t + r] * p[c];
                    }
                    for (int c = 0; c < 3; ++c) out[x * 3 + c] = sum[c];
                }
            }
        }
        double band = 0;
        for (int y = y0; y < y1; ++y) {
            const int centre = y - first;
            for (int x = 0; x < w; ++x) {
                float labs[2][3];
                for (int k = 0; k < 2; ++k) {
                    float light[3] = {0, 0, 0};
                    for (int t = -r; t <= r; ++t) {
                        const float* p =
                            across[k].data() + (static_cast<size_t>(centre + t) * w + x) * 3;
                        for (int c = 0; c < 3; ++c) light[c] += gauss.taps[t + r] * p[c];
                    }
                    float f[3];
                    for (int row = 0; row < 3; ++row) {
                        f[row] = lab.companded(static_cast<float>(toXyz[row][0] * light[0] +
                                                                  toXyz[row][1] * light[1] +
                                                                  toXyz[row][2] * light[2]));
                    }
                    labs[k][0] = 116.0f * f[1];
                    labs[k][1] = 500.0f * (f[0] - f[1]);
                    labs[k][2] = 200.0f * (f[1] - f[2]);
                }
                const float dl = labs[0][0] - labs[1][0], da = labs[0][1] - labs[1][1],
                            db = labs[0][2] - labs[1][2];
                band += std::sqrt(dl * dl + da * da + db * db);
            }
        }
        return band;
    });
    return total / (static_cast<double>(w) * h);
}

double premultipliedPsnr(const Image& source, const Image& result) {
    if (source.width != result.width || source.height != result.height || result.empty()) {
        return 0;
    }
    const int w = result.width;
    const double squares = sumOverBands(result.height, w, [&](int y0, int y1) {
        double band = 0;
        for (int y = y0; y < y1; ++y) {
            const uint32_t* a = source.row(y);
            const uint32_t* b = result.row(y);
            for (int x = 0; x < w; ++x) {
                const uint32_t p = source.depth == 32 ? a[x] : (a[x] | alphaMask);
                const uint32_t q = result.depth == 32 ? b[x] : (b[x] | alphaMask);
                const double ap = alphaOf(p) / 255.0, aq = alphaOf(q) / 255.0;
                for (int c = 0; c < 3; ++c) {
                    const double d = ((p >> (8 * c)) & 255) * ap - ((q >> (8 * c)) & 255) * aq;
                    band += d * d;
                }
                const double d = alphaOf(p) - alphaOf(q);
                band += d * d;
            }
        }
        return band;
    });
    if (squares == 0) return std::numeric_limits<double>::infinity();
    const double mse = squares / (4.0 * static_cast<double>(w) * result.height);
    return 10.0 * std::log10(255.0 * 255.0 / mse);
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
