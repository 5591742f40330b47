#include "tools/histogram_window.h"

#include "core/registry.h"
#include "core/state.h"
#include "toolkit/image_store.h"

HistogramControls histogramControls;

namespace {

// Over the top-left of the canvas, clear of its edge.
constexpr int canvasInset = 2;

constexpr int graphX = 10;
constexpr int graphY = 10;
constexpr int boxX = 275;
constexpr int boxY = 10;
constexpr int boxW = 65;
constexpr int boxH = 158;
constexpr int labelY = 143;
constexpr int labelH = 30;

struct CheckBoxPlace {
    int HistogramControls::*control;
    int y, w;
    const char* caption;
    const char* tip;
};
// In the box, each 25 high at x = 5.
constexpr CheckBoxPlace checkBoxes[] = {
    {&HistogramControls::red, 5, 55, "RED", nullptr},
    {&HistogramControls::green, 35, 55, "GRN", nullptr},
    {&HistogramControls::blue, 65, 55, "BLU", nullptr},
    {&HistogramControls::excludeExtremes, 95, 60, "ExEx", "Exclude Extremes"},
    {&HistogramControls::averageLines, 125, 60, "AVG", "Show RGB average lines"},
};
constexpr int checkBoxX = 5;
constexpr int checkBoxH = 25;

int stripImage = -1;  // the strip with the average dots, under a free number

bool openHistogramWindow() {
    HistogramControls& c = histogramControls;
    const int x = controlScreenX(canvas) + canvasInset;
    const int y = controlScreenY(canvas) + canvasInset;
    // The main window keeps the keyboard: the histogram only reports.
    if (!openWindow(histogramWindow, x, y, histogramWindowWidth, histogramWindowHeight,
                    histogramInitialTitle, windowCloseBox | windowNoActivate, mainWindow)) {
        return false;
    }
    if (!imageExists(histogramImage)) {
        createImage(histogramImage, histogramGraphWidth, histogramGraphHeight, 24, opaqueBlack);
    }
    stripImage =
        createImage(anyImageNumber, histogramStripWidth, histogramStripHeight, 24, opaqueBlack);
    c.strip = imageControl(anyControlNumber, 0, 0, histogramStripWidth, histogramStripHeight,
                           stripImage, false);
    c.graph = imageControl(anyControlNumber, graphX, graphY, histogramGraphWidth,
                           histogramGraphHeight, histogramImage, false);
    c.box = boxControl(anyControlNumber, boxX, boxY, boxW, boxH, false);
    for (const CheckBoxPlace& place : checkBoxes) {
        int n = checkBoxControl(anyControlNumber, boxX + checkBoxX, boxY + place.y, place.w,
                                checkBoxH, place.caption);
        c.*place.control = n;
        setControlState(n, 1);
        if (place.tip) setControlToolTip(n, place.tip);
    }
    c.ratioLabel = textControl(anyControlNumber, graphX, labelY, histogramGraphWidth, labelH,
                               "RGB ratio:", true);
    return true;
}

void closeHistogramWindow() {
    freeImage(histogramImage);
    if (stripImage > 0) freeImage(stripImage);
    stripImage = -1;
    closeWindow(histogramWindow);
    histogramControls = HistogramControls{};
}

HistogramOptions optionsFromControls() {
    const HistogramControls& c = histogramControls;
    HistogramOptions o;
    o.red = controlState(c.red) != 0;
    o.green = controlState(c.green) != 0;
    o.blue = controlState(c.blue) != 0;
    o.excludeExtremes = controlState(c.excludeExtremes) != 0;
    o.averageLines = controlState(c.averageLines) != 0;
    return o;
}

bool isCheckBox(int control) {
    for (const CheckBoxPlace& place : checkBoxes) {
        if (histogramControls.*place.control == control) return true;
    }
    return false;
}

}  // namespace

int showHistogram(int image) {
    if (image < 0 || histogramShown != 1) {
        if (isWindow(histogramWindow)) {
            closeHistogramWindow();
            histogramShown = 0;
            services().showAnalysisToggles();
        }
        return 1;
    }
    services().showAnalysisToggles();
    if (!isWindow(histogramWindow) && !openHistogramWindow()) return 0;
    const Image* source = findImage(image);
    if (!source) return 0;

    HistogramView view = renderHistogram(*source, optionsFromControls());
    const HistogramControls& c = histogramControls;
    storeImage(histogramImage, std::move(view.graph));
    storeImage(stripImage, std::move(view.strip));
    setImageControlImage(c.graph, histogramImage);
    setImageControlImage(c.strip, stripImage);
    setControlColour(c.ratioLabel, view.averageColour);
    setControlTextColour(c.ratioLabel, view.labelTextColour);
    setControlText(c.ratioLabel, view.labelText);
    setWindowTitle(histogramWindow, view.title);
    setWindowColour(histogramWindow, view.averageColour);
    return 1;
}

void histogramWindowEvent(const Event& event) {
    if (event.kind == eventCloseWindow) {
        showHistogram(-1);
    } else if (event.kind == eventControl && isCheckBox(event.object)) {
        services().refreshHistogram();
    }
}

void registerHistogramWindow() {
    registerWindowHandler(histogramWindow, histogramWindowEvent);
}
