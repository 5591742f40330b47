#pragma once
// The "Quantize Colors" tool window: STYLE, LIMIT and Dither, a preview on the canvas with
// its colour count and its distance from the source, Source to compare, Apply to keep it.

#include <array>
#include <cstdint>

#include "quantize/styles.h"
#include "toolkit/gui.h"

// LIMIT of each style that takes one at start-up, from the style table; 0 for the others.
std::array<int, styleCount> startingLimits();

// Remembered while the program runs, across openings of the window.
struct QuantizeSettings {
    int savedStyle = styleUniform;
    int savedDither = 0;
    // LIMIT of each style that takes one, by style: Uniform (levels per channel), Popularity,
    // Adaptive and Best quality (colours); 0 for the others.
    std::array<int, styleCount> limitMemory = startingLimits();
    // The window's outer top-left corner relative to the main window's inner top-left
    // corner (below the tool bar).
    int quantizeOffsetX = 185;
    int quantizeOffsetY = 205;
    // 1 until the open window has been placed and shown.
    int placementPending = 1;
};
extern QuantizeSettings quantizeSettings;

// Controls of the open window (-1 while it is closed).
struct QuantizeControls {
    int styleList = -1;
    int limitSpin = -1;
    int ditherBox = -1;
    int colourCountText = -1;
    int testButton = -1;
    int sourceButton = -1;
    int applyButton = -1;
    int exitButton = -1;
    int splitBox = -1;
    int compareButton = -1;
};
extern QuantizeControls quantizeControls;

// Window 3's Return shortcut.
inline constexpr int quantizeReturnEvent = 16;

// Opens the window (nothing while another tool window is open).
void openQuantizeWindow(int command);
void quantizeWindowEvent(const Event& event);

// Its bit in anyToolWindowOpen() while it is open.
inline constexpr int quantizeOpenFlag = 2;

// Binds the Quantize command and window 3, and puts the remembered settings back to their
// start-up values.
void registerQuantizeWindow();
