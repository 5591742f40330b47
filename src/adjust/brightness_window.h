#pragma once
// The brightness and contrast window: two sliders whose previews appear on the canvas once
// a slider has rested for a moment, "Apply" to keep them, "Reset" to throw them away.
// The base of every preview is toolImage; the preview is workImage; the document changes
// only when the window closes after "Apply", as one undo step.

#include <cstdint>

#include "adjust/brightness.h"
#include "toolkit/gui.h"

inline constexpr const char* brightnessWindowTitle = "Adjust brightness & contrast";
inline constexpr int brightnessWindowWidth = 400;
inline constexpr int brightnessWindowHeight = 312;
inline constexpr uint32_t brightnessWindowColour = 0xCECE9D;  // RGB(157, 206, 206)
// A preview waits until its slider has rested this long.
inline constexpr int64_t previewDelayMs = 300;
// The window's timer that wakes it when a waiting preview is due, so the preview appears
// without the user doing anything more.
inline constexpr int previewTimer = 1;
// Slider positions meaning "no change"; the amounts are position - centre.
inline constexpr int brightnessCentre = 128;
inline constexpr int contrastCentre = 100;

struct BrightnessControls {
    int brightnessFrame = -1;
    int brightnessSlider = -1;
    int holdRatio = -1;
    int clamp = -1;
    int wrap = -1;
    int equal = -1;
    int ratio = -1;
    int proportional = -1;
    int red = -1;
    int green = -1;
    int blue = -1;
    int contrastFrame = -1;
    int contrastSlider = -1;
    int reset = -1;
    int refresh = -1;  // "Rfsh Brt"
    int apply = -1;
    int exit = -1;
    int split = -1;
};
extern BrightnessControls brightnessControls;

// The window's state, for the program's life.
struct BrightnessWindowState {
    int activeSlider = 0;  // the slider of the last slider event
    int shownBrightness = 0;
    int shownContrast = 0;
    int brightnessDue = 0;
    int contrastDue = 0;
    int64_t brightnessDeadline = 0;
    int64_t contrastDeadline = 0;
    int closeRequested = 0;
    int applied = 0;
};
extern BrightnessWindowState brightnessWindowState;
// The options and channels, remembered across openings.
extern BrightnessSettings brightnessWindowSettings;

// Its bit in anyToolWindowOpen() while it is open.
inline constexpr int brightnessOpenFlag = 4;

// 1 when the window opened; 0 while another tool window is open.
int openBrightnessWindow();
void brightnessWindowEvent(const Event& event);
void registerBrightnessWindow(int command);
void resetBrightnessWindow();
