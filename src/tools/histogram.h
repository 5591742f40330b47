#pragma once
// The histogram of an image's red, green and blue, and the pictures and texts the histogram
// window shows for it: the overlaid bar graph, the strip with the average dots, the title
// and the ratio label.

#include <array>
#include <cstdint>
#include <string>

#include "toolkit/image.h"

inline constexpr int histogramGraphWidth = 256;
inline constexpr int histogramGraphHeight = 128;
inline constexpr int histogramBaseLine = histogramGraphHeight - 1;
// The strip above the graph that carries the average dots: as wide as the graph plus its
// left margin, so a dot at average + margin stands above its line.
inline constexpr int histogramGraphMargin = 10;
inline constexpr int histogramStripWidth = histogramGraphWidth + histogramGraphMargin;
inline constexpr int histogramStripHeight = 10;
inline constexpr int histogramDotRadius = 3;

// Channel colours of the bars, lines and dots.
inline constexpr uint32_t histogramRed = 0x0000FF;
inline constexpr uint32_t histogramGreen = 0x00FF00;
inline constexpr uint32_t histogramBlue = 0xFF0000;

// "ExEx" leaves the five lowest and highest values of every channel out of the maxima
// (not out of the counts or averages), so a large black or white area no longer flattens
// the rest of the graph.
inline constexpr int excludedExtremes = 5;

struct HistogramData {
    std::array<int64_t, 256> redCount{};
    std::array<int64_t, 256> greenCount{};
    std::array<int64_t, 256> blueCount{};
    int64_t maxRed = 0;
    int64_t maxGreen = 0;
    int64_t maxBlue = 0;
    int64_t avgRed = 0;
    int64_t avgGreen = 0;
    int64_t avgBlue = 0;
};

// The window's five check boxes.
struct HistogramOptions {
    bool red = true;
    bool green = true;
    bool blue = true;
    bool excludeExtremes = true;  // "ExEx"
    bool averageLines = true;     // "AVG"
};

// Counts every pixel of the image (alpha ignored); the averages round down. The maxima are
// taken over the scale range: 0..255, or 5..250 with `excludeExtremes`. An empty image
// counts nothing and averages 0.
HistogramData computeHistogram(const Image& image, bool excludeExtremes);

// What the window shows for one image.
struct HistogramView {
    Image graph;             // histogramGraphWidth x histogramGraphHeight, 24-bit
    Image strip;             // histogramStripWidth x histogramStripHeight, 24-bit
    uint32_t averageColour;  // the averages of the checked channels; the window's colour
    uint32_t labelTextColour;
    std::string labelText;  // "RGB Ratio = (0.333, 0.333, 0.333)"
    std::string title;      // "Histogram | RGB Average = (127, 127, 127)"
    HistogramData data;     // averages of unchecked channels set to 0
};

HistogramView renderHistogram(const Image& image, const HistogramOptions& options);

// The row a bar of `count` reaches on a graph scaled to `maximum` (0 = only the base line
// is drawn); rows above the top edge are cut to 0.
int histogramBarTop(int64_t count, int64_t maximum);
