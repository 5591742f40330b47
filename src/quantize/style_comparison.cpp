#include "quantize/style_comparison.h"

#include <algorithm>
#include <chrono>

#include "quantize/error_figure.h"
#include "quantize/palette_map.h"
#include "quantize/palettes.h"
#include "quantize/quantize.h"
#include "toolkit/codecs/codec.h"

namespace {

// Where a PNG file keeps its colour type, and the type of a palette image.
constexpr size_t pngColourTypeOffset = 25;
constexpr uint8_t pngPaletteType = 3;

// The LIMIT of `style` for about `colours` colours.
int limitFor(int style, int colours) {
    const StyleInfo& info = styleInfo(style);
    if (!info.usesLimit) return 0;
    if (style != styleUniform) return clampStyleLimit(style, colours);
    int levels = info.minLimit;
    while (levels < info.maxLimit && (levels + 1) * (levels + 1) * (levels + 1) <= colours) {
        ++levels;
    }
    return levels;
}

}  // namespace

StyleComparison compareStyle(const Image& image, const Rect& rect, int style, int limit,
                             bool dither, Image* result) {
    const Rect r = clipToImage(rect, image);
    StyleComparison row;
    row.style = style;
    row.dither = dither;
    row.limit = limit;
    Image quantized = image;
    const auto start = std::chrono::steady_clock::now();
    // The palette it returns is the caller's to keep or not; nothing global changes.
    runQuantizeStyle(quantized, r, style, row.limit, dither);
    row.milliseconds =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    const ErrorFigure figure = measureError(image, quantized, r);
    row.colours = figure.colours;
    row.psnr = figure.psnr;
    row.meanDeltaE = figure.meanDeltaE;
    const EncodeResult png = encodePng(quantized);
    row.pngBytes = static_cast<int64_t>(png.bytes.size());
    row.indexed = png.ok() && png.bytes.size() > pngColourTypeOffset &&
                  png.bytes[pngColourTypeOffset] == pngPaletteType;
    if (result) *result = std::move(quantized);
    return row;
}

std::vector<StyleComparison> compareStyles(const Image& image, const Rect& rect, int colours) {
    std::vector<StyleComparison> rows;
    const Rect r = clipToImage(rect, image);
    if (image.empty() || r.empty()) return rows;
    for (int style = 0; style < styleCount; ++style) {
        for (bool dither : {false, true}) {
            rows.push_back(compareStyle(image, r, style, limitFor(style, colours), dither));
        }
    }
    std::stable_sort(rows.begin(), rows.end(),
                     [](const StyleComparison& a, const StyleComparison& b) {
                         if (a.meanDeltaE != b.meanDeltaE) return a.meanDeltaE < b.meanDeltaE;
                         return a.psnr > b.psnr;
                     });
    return rows;
}
