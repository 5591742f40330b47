#pragma once
// "Best quality": a palette fitted to the image rather than sampled from it.
//
// The image's colours are gathered into a weighted histogram (exact colours, merged into
// slightly coarser cells only when there are very many). Boxes of that histogram are split
// where the split removes the most squared error, then weighted k-means (Lloyd) iterations
// on the histogram move the colours to the centres of what they represent, and a few
// relocations move a colour that is hardly missed into the cluster that needs one most.
// Distances are measured in a space that adds CIELAB to R, G and B, so the result is close
// in what people see as well as in plain channel error. Every pixel then takes its exact
// nearest palette colour; the dither diffuses what is left, faded, clamped and held back
// on edges, where it would only add noise.
//
// Palette entries carry alpha: every fully transparent pixel takes one shared entry
// (0, 0, 0, 0), and partly transparent pixels are matched on premultiplied colour plus
// alpha. The result is the same whatever the number of threads.

#include <cstdint>
#include <span>
#include <vector>

#include "core/rect.h"
#include "toolkit/image.h"

// The colours of an image, counted: one bin per distinct RGBA value, or per small cell of
// values when there are very many. Fully transparent pixels are counted apart.
struct BestHistogram {
    struct Bin {
        uint64_t count = 0;
        uint64_t alphaSum = 0;        // sum of alpha (0..255) over the pixels
        uint64_t premultiplied[3]{};  // sum of alpha * red, green, blue
        void add(const Bin& other) {
            count += other.count;
            alphaSum += other.alphaSum;
            for (int c = 0; c < 3; ++c) premultiplied[c] += other.premultiplied[c];
        }
    };
    std::vector<Bin> bins;
    uint64_t transparentPixels = 0;  // pixels of alpha 0
    uint64_t pixels = 0;             // all pixels counted, transparent ones included
    // The distinct values (alpha 0 counting as one) when there are at most
    // exactValueLimit of them, else empty: then the image keeps its colours at that limit.
    std::vector<uint32_t> exactValues;
    bool merged = false;  // bins are cells of several values
};

inline constexpr size_t exactValueLimit = 256;

BestHistogram buildBestHistogram(const Image& image);

// The palette for the histogram: at most `limit` (2..256) RGBA entries, the shared
// transparent entry included when the image has fully transparent pixels.
struct BestPalette {
    std::vector<uint32_t> colours;
    // Root mean square of the channel error the palette leaves, without dither: the scale
    // the dither's limits are set from.
    double rmsError = 0;
};
BestPalette buildBestPalette(const BestHistogram& histogram, int limit);

// Maps every pixel of `image` onto its nearest palette entry (alpha included); with
// `dither`, the error is diffused as described above. `rmsError` is the palette's.
void bestRemap(Image& image, std::span<const uint32_t> palette, bool dither, double rmsError);

// The whole method on the rectangle of `image`, as an image of its own. Returns the
// entries the result uses.
std::vector<uint32_t> bestQuantize(Image& image, const Rect& rect, int limit, bool dither);

// The method with the fewest colours (LIMIT 2..256) whose result lies within
// `targetDeltaE` mean Delta E of the rectangle as it was, found by bisection over LIMIT
// (more colours never lie further off, near enough). When even 256 colours miss the
// target, the 256-colour result is kept and `met` is false.
struct BestTarget {
    int limit = 0;
    double meanDeltaE = 0;  // of the result kept
    bool met = false;
};
BestTarget bestQuantizeToTarget(Image& image, const Rect& rect, double targetDeltaE, bool dither);

// A copy that a GIF can hold, for an image of more than 256 palette entries (opaque
// colours, plus one when any pixel is fully transparent) and no partial alpha: Best
// quality at 256 entries, dithered. Alpha stays exactly as it was.
Image reducedForGif(const Image& image);
