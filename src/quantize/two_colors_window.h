#pragma once
// The "Two Colors" tool window: the document, or its selection, in two colours by a
// brightness threshold, previewed live on the canvas and kept by OK.

#include <cstdint>
#include <limits>

#include "quantize/two_colors.h"
#include "toolkit/gui.h"

// Kept across openings and put back to these starting values on every close.
struct TwoColorsSettings {
    uint32_t twoColor1 = twoColorsDefault1;  // below the threshold (black)
    uint32_t twoColor2 = twoColorsDefault2;  // at or above it (white)
    int twoColorsDither = 0;                 // 0 None, 1 4X4 ordered, 2 Sierra Lite
    // The threshold of the last redraw; no threshold equals this at first (the first is 128),
    // so the first event of a fresh window redraws.
    int lastThreshold = 129;
    int redrawPending = 1;  // a redraw is due
    // A slider redraw waits until the clock has passed this; long past at first.
    int64_t redrawDeadline = std::numeric_limits<int64_t>::min();
    int twoColorsCloseRequested = 0;
};
extern TwoColorsSettings twoColorsSettings;

// Milliseconds the preview waits after the slider last moved.
inline constexpr int redrawDelay = 330;

struct TwoColorsControls {
    int ditherOptions[3] = {-1, -1, -1};  // None, 4X4 ordered, Sierra Lite
    int thresholdFrame = -1;
    int thresholdSlider = -1;
    int swatch1 = -1;
    int swatch2 = -1;
    int cancelButton = -1;
    int okButton = -1;
    int splitBox = -1;
};
extern TwoColorsControls twoColorsControls;

// The id of the timer that wakes the window at the slider's deadline.
inline constexpr int redrawTimer = 1;

void openTwoColorsWindow(int command);
void twoColorsEvent(const Event& event);

// Its bit in anyToolWindowOpen() while it is open.
inline constexpr int twoColorsOpenFlag = 8;

// Binds the Two Colors command and window 8 and resets the window's state.
void registerTwoColorsWindow();
