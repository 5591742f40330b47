#include "quantize/two_colors_window.h"

#include <string>

#include "core/commands.h"
#include "core/operation.h"
#include "core/registry.h"
#include "core/split_view.h"
#include "core/state.h"
#include "core/undo.h"
#include "quantize/two_colors.h"
#include "toolkit/image_store.h"

TwoColorsSettings twoColorsSettings;
TwoColorsControls twoColorsControls;

namespace {

constexpr const char* twoColorsTitle = "Two Colors";
constexpr int twoColorsWidth = 287;
constexpr int twoColorsHeight = 200;
constexpr uint32_t twoColorsColour = 0xDABFA5;  // red 165, green 191, blue 218
constexpr const char* thresholdCaption = "Threshold ";
constexpr int swatchSize = 25;

// No threshold equals this: a forced redraw must happen whatever the slider says.
constexpr int forcedRedraw = -1;

struct Box {
    int x, y, w, h;
};
constexpr Box ditherFrameBox{10, 5, 267, 50};
// "4X4 ordered" needs a few pixels more than 90 for its last letter: it takes the gap to
// "Sierra Lite", which moves along into the room left in the frame.
constexpr Box optionBoxes[3] = {{17, 20, 60, 30}, {85, 20, 100, 30}, {187, 20, 86, 30}};
constexpr const char* optionCaptions[3] = {"None", "4X4 ordered", "Sierra Lite"};
constexpr Box thresholdFrameBox{10, 60, 267, 60};
constexpr Box sliderBox{15, 85, 257, 30};
constexpr Box swatch1Box{100, 130, 25, 25};
constexpr Box swatch2Box{157, 130, 25, 25};
constexpr Box cancelBox{10, 130, 60, 30};
constexpr Box okBox{217, 130, 60, 30};
constexpr Box splitBoxBox{12, 166, 80, 26};

// The state of the document the preview was drawn from.
int64_t previewSource = 0;

void resetState() {
    twoColorsSettings = {};
}

std::string thresholdText(int slider) {
    return thresholdCaption + std::to_string(slider);
}

// The document in two colours, in workImage; false when nothing needed doing.
bool redrawPreview() {
    TwoColorsSettings& s = twoColorsSettings;
    s.redrawPending = 0;
    const int threshold = thresholdFromSlider(controlState(twoColorsControls.thresholdSlider));
    if (threshold == s.lastThreshold) return false;
    const Image* view = findImage(viewImage);
    if (!view) return false;
    s.lastThreshold = threshold;
    // Reuses the previous preview's memory.
    Image* work = findImage(workImage);
    if (work) {
        *work = *view;
    } else {
        storeImage(workImage, *view);
        work = findImage(workImage);
    }
    twoColors(*work, clipToImage(operationRect(*work), *work), threshold,
              static_cast<TwoColorsDither>(s.twoColorsDither), s.twoColor1, s.twoColor2);
    previewSource = currentEntryId();
    return true;
}

void deferredRedraw() {
    const TwoColorsSettings& s = twoColorsSettings;
    if (!s.redrawPending) return;
    const int64_t now = elapsedMilliseconds();
    if (now > s.redrawDeadline) {
        if (redrawPreview()) services().refreshView(workImage, 1);
    } else {
        // Also wakes the window when no other event comes.
        startWindowTimer(twoColorsWindow, redrawTimer,
                         static_cast<int>(s.redrawDeadline - now + 1));
    }
}

void forceRedraw() {
    twoColorsSettings.redrawPending = 1;
    twoColorsSettings.lastThreshold = forcedRedraw;
}

void pickColour(uint32_t& colour, int swatchImage, int control) {
    const int64_t chosen = dialogs().colourPicker(colour);
    if (chosen < 0) return;
    forceRedraw();
    colour = static_cast<uint32_t>(chosen) & colourMask;
    if (Image* swatch = findImage(swatchImage)) {
        fillBox(*swatch, 0, 0, swatch->width, swatch->height, colour | alphaMask);
    }
    setImageControlImage(control, swatchImage);
}

void acceptPreview() {
    // A slider moved a moment ago has not been drawn yet, or the document changed (an undo)
    // after the last redraw: what is kept is the document in the settings shown.
    if (imageExists(workImage) && currentEntryId() != previewSource) forceRedraw();
    if (twoColorsSettings.redrawPending) redrawPreview();
    if (imageExists(workImage)) {
        const OperationFrame frame{.wholeImage = true, .snapshot = FrameSnapshot::AfterRefresh};
        runOperation(frame, [](Image& view, const Rect&) {
            view = std::move(*findImage(workImage));
            freeImage(workImage);
            return true;
        });
    }
    twoColorsSettings.twoColorsCloseRequested = 1;
}

void closeTwoColorsWindow() {
    setSplitView(false, false);
    freeImage(workImage);
    freeImage(swatchImage1);
    freeImage(swatchImage2);
    closeWindow(twoColorsWindow);
    setToolWindowOpen(twoColorsWindow, false);
    resetState();
    twoColorsControls = TwoColorsControls{};
    services().refreshView(viewImage, 1);
}

void controlEvent(const Event& event) {
    TwoColorsSettings& s = twoColorsSettings;
    const TwoColorsControls& c = twoColorsControls;
    const int n = event.object;
    for (int mode = 0; mode < 3; ++mode) {
        if (n == c.ditherOptions[mode]) {
            s.twoColorsDither = mode;
            forceRedraw();
            return;
        }
    }
    if (n == c.swatch1) {
        pickColour(s.twoColor1, swatchImage1, c.swatch1);
    } else if (n == c.swatch2) {
        pickColour(s.twoColor2, swatchImage2, c.swatch2);
    } else if (n == c.splitBox) {
        setSplitView(controlState(c.splitBox) != 0);
    } else if (n == c.cancelButton) {
        s.twoColorsCloseRequested = 1;
    } else if (n == c.okButton) {
        acceptPreview();
    } else if (n == c.thresholdSlider) {
        s.redrawDeadline = elapsedMilliseconds() + redrawDelay;
        s.redrawPending = 1;
        setControlText(c.thresholdFrame, thresholdText(controlState(c.thresholdSlider)));
    }
}

}  // namespace

void openTwoColorsWindow(int /*command*/) {
    if (anyToolWindowOpen() || isWindow(twoColorsWindow) || !imageExists(viewImage)) return;
    if (!openWindow(twoColorsWindow, 0, 0, twoColorsWidth, twoColorsHeight, twoColorsTitle,
                    windowCloseBox | windowParentCentered, mainWindow)) {
        return;
    }
    setWindowColour(twoColorsWindow, twoColorsColour);
    setToolWindowOpen(twoColorsWindow, true);

    TwoColorsControls& c = twoColorsControls;
    frameControl(anyControlNumber, ditherFrameBox.x, ditherFrameBox.y, ditherFrameBox.w,
                 ditherFrameBox.h, "Dither");
    for (int mode = 0; mode < 3; ++mode) {
        const Box& b = optionBoxes[mode];
        c.ditherOptions[mode] =
            optionControl(anyControlNumber, b.x, b.y, b.w, b.h, optionCaptions[mode]);
    }
    setControlState(c.ditherOptions[0], 1);
    c.thresholdFrame = frameControl(anyControlNumber, thresholdFrameBox.x, thresholdFrameBox.y,
                                    thresholdFrameBox.w, thresholdFrameBox.h,
                                    thresholdText(twoColorsDefaultSlider));
    c.thresholdSlider = trackBarControl(anyControlNumber, sliderBox.x, sliderBox.y, sliderBox.w,
                                        sliderBox.h, 0, twoColorsSliderMax);
    setControlState(c.thresholdSlider, twoColorsDefaultSlider);
    createImage(swatchImage1, swatchSize, swatchSize, 24, twoColorsSettings.twoColor1 | alphaMask);
    createImage(swatchImage2, swatchSize, swatchSize, 24, twoColorsSettings.twoColor2 | alphaMask);
    c.swatch1 = imageControl(anyControlNumber, swatch1Box.x, swatch1Box.y, swatch1Box.w,
                             swatch1Box.h, swatchImage1, false);
    setControlToolTip(c.swatch1, "color 1");
    c.swatch2 = imageControl(anyControlNumber, swatch2Box.x, swatch2Box.y, swatch2Box.w,
                             swatch2Box.h, swatchImage2, false);
    setControlToolTip(c.swatch2, "color 2");
    c.cancelButton = buttonControl(anyControlNumber, cancelBox.x, cancelBox.y, cancelBox.w,
                                   cancelBox.h, "Cancel");
    c.okButton = buttonControl(anyControlNumber, okBox.x, okBox.y, okBox.w, okBox.h, "OK");
    c.splitBox = checkBoxControl(anyControlNumber, splitBoxBox.x, splitBoxBox.y, splitBoxBox.w,
                                 splitBoxBox.h, splitCaption);
    setControlToolTip(c.splitBox, splitToolTip);
    // The first event of the window draws the first preview; this one makes sure there is
    // one even where the desktop does not report the activation.
    postEvent(eventActivateWindow, twoColorsWindow);
}

void twoColorsEvent(const Event& event) {
    // A timer can still be queued from a window already closed.
    if (!isWindow(twoColorsWindow)) return;
    if (event.kind == eventCloseWindow) {
        twoColorsSettings.twoColorsCloseRequested = 1;
    } else if (event.kind == eventControl && event.type == controlChange) {
        controlEvent(event);
    }
    deferredRedraw();
    if (twoColorsSettings.twoColorsCloseRequested) closeTwoColorsWindow();
}

void registerTwoColorsWindow() {
    resetState();
    twoColorsControls = TwoColorsControls{};
    registerCommand(commandTwoColors, openTwoColorsWindow);
    registerWindowHandler(twoColorsWindow, twoColorsEvent);
    // Its preview is not of the document's colours, so the analysis windows leave it out.
    registerToolWindow(twoColorsWindow, twoColorsOpenFlag, [](bool forAnalysis) {
        return !forAnalysis && imageExists(workImage) ? workImage : -1;
    });
}
