#pragma once
// The histogram window: the red, green and blue histogram of the image the view hands over,
// with the channel and scale check boxes, the average lines and the RGB ratio.

#include "toolkit/gui.h"
#include "tools/histogram.h"

inline constexpr const char* histogramInitialTitle = "Histogram";
inline constexpr int histogramWindowWidth = 350;
// The graph with room for the ratio label below it.
inline constexpr int histogramWindowHeight = histogramGraphHeight + 50;

// Control numbers of the open window (-1 while it is closed).
struct HistogramControls {
    int graph = -1;
    int strip = -1;
    int box = -1;
    int red = -1;
    int green = -1;
    int blue = -1;
    int excludeExtremes = -1;
    int averageLines = -1;
    int ratioLabel = -1;
};
extern HistogramControls histogramControls;

// With histogramShown = 1 and an image number of 0 or more: opens the window if needed and
// draws the histogram of that image; 0 when the image does not exist (the window keeps its
// drawing), else 1. With -1, or histogramShown not 1: closes the window; returns 1.
int showHistogram(int image);
void histogramWindowEvent(const Event& event);
void registerHistogramWindow();
