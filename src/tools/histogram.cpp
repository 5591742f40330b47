#include "tools/histogram.h"

#include <cmath>
#include <cstdio>

namespace {

constexpr uint32_t white = 0xFFFFFF;
constexpr uint32_t black = 0x000000;
// Below this lightness (2r + 4g + b, divided by 7) the label's text is white.
constexpr int lightLabelLevel = 128;

void xorBar(Image& graph, int x, int top, uint32_t colour) {
    for (int y = top; y <= histogramBaseLine; ++y) graph.at(x, y) ^= colour & colourMask;
}

void verticalLine(Image& graph, int x, uint32_t colour) {
    if (x < 0 || x >= graph.width) return;
    for (int y = 0; y < graph.height; ++y) graph.write(x, y, colour);
}

void filledCircle(Image& image, int cx, int cy, int radius, uint32_t colour) {
    for (int y = cy - radius; y <= cy + radius; ++y) {
        for (int x = cx - radius; x <= cx + radius; ++x) {
            int dx = x - cx, dy = y - cy;
            if (dx * dx + dy * dy <= radius * radius && image.contains(x, y)) {
                image.write(x, y, colour);
            }
        }
    }
}

std::string ratioText(float part) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", static_cast<double>(part));
    return text;
}

}  // namespace

HistogramData computeHistogram(const Image& image, bool excludeExtremes) {
    HistogramData d;
    int64_t sumRed = 0, sumGreen = 0, sumBlue = 0;
    for (uint32_t p : image.pixels) {
        int r = redOf(p), g = greenOf(p), b = blueOf(p);
        ++d.redCount[r];
        ++d.greenCount[g];
        ++d.blueCount[b];
        sumRed += r;
        sumGreen += g;
        sumBlue += b;
    }
    const int64_t pixels = static_cast<int64_t>(image.pixels.size());
    if (pixels > 0) {
        d.avgRed = sumRed / pixels;
        d.avgGreen = sumGreen / pixels;
        d.avgBlue = sumBlue / pixels;
    }
    const int first = excludeExtremes ? excludedExtremes : 0;
    const int last = excludeExtremes ? 255 - excludedExtremes : 255;
    for (int v = first; v <= last; ++v) {
        d.maxRed = std::max(d.maxRed, d.redCount[v]);
        d.maxGreen = std::max(d.maxGreen, d.greenCount[v]);
        d.maxBlue = std::max(d.maxBlue, d.blueCount[v]);
    }
    return d;
}

int histogramBarTop(int64_t count, int64_t maximum) {
    if (maximum <= 0) return histogramBaseLine;
    // The scale and the bar height are single-precision values.
    const float scale = 128.0f / static_cast<float>(maximum);
    const float top = static_cast<float>(histogramBaseLine) - static_cast<float>(count) * scale;
    if (top <= 0.0f) return 0;
    return static_cast<int>(std::nearbyint(top));
}

HistogramView renderHistogram(const Image& image, const HistogramOptions& options) {
    HistogramView view;
    HistogramData& d = view.data;
    d = computeHistogram(image, options.excludeExtremes);

    struct Channel {
        bool checked;
        uint32_t colour;
        const std::array<int64_t, 256>& counts;
        int64_t maximum;
        int64_t& average;
        int shift;
    };
    Channel channels[3] = {
        {options.red, histogramRed, d.redCount, d.maxRed, d.avgRed, 0},
        {options.green, histogramGreen, d.greenCount, d.maxGreen, d.avgGreen, 8},
        {options.blue, histogramBlue, d.blueCount, d.maxBlue, d.avgBlue, 16},
    };

    uint32_t average =
        rgb(static_cast<int>(d.avgRed), static_cast<int>(d.avgGreen), static_cast<int>(d.avgBlue));
    int64_t maximum = 0;
    for (const Channel& c : channels) {
        if (c.checked) {
            maximum = std::max(maximum, c.maximum);
        } else {
            average &= ~(uint32_t{255} << c.shift);
        }
    }

    view.graph = Image(histogramGraphWidth, histogramGraphHeight, 24, opaqueBlack);
    for (int x = 0; x < histogramGraphWidth; ++x) {
        for (const Channel& c : channels) {
            // An unchecked channel draws in colour 0, which leaves the graph as it is.
            if (c.checked) xorBar(view.graph, x, histogramBarTop(c.counts[x], maximum), c.colour);
        }
    }

    int64_t ratioSum = 0;
    for (Channel& c : channels) {
        if (c.checked) {
            ratioSum += c.average;
            if (options.averageLines)
                verticalLine(view.graph, static_cast<int>(c.average), c.colour);
        } else {
            c.average = 0;
        }
    }
    if (ratioSum == 0) ratioSum = 1;

    view.averageColour = average;
    const int lightness = (2 * redOf(average) + 4 * greenOf(average) + blueOf(average)) / 7;
    view.labelTextColour = lightness < lightLabelLevel ? white : black;
    auto ratio = [ratioSum](int64_t part) {
        return ratioText(static_cast<float>(part) / static_cast<float>(ratioSum));
    };
    view.labelText = "RGB Ratio = (" + ratio(d.avgRed) + ", " + ratio(d.avgGreen) + ", " +
                     ratio(d.avgBlue) + ")";
    view.title = "Histogram | RGB Average = (" + std::to_string(d.avgRed) + ", " +
                 std::to_string(d.avgGreen) + ", " + std::to_string(d.avgBlue) + ")";

    view.strip = Image(histogramStripWidth, histogramStripHeight, 24, average | alphaMask);
    if (options.averageLines) {
        for (const Channel& c : channels) {
            if (!c.checked) continue;
            filledCircle(view.strip, static_cast<int>(c.average) + histogramGraphMargin,
                         histogramStripHeight / 2, histogramDotRadius, c.colour);
        }
    }
    return view;
}
