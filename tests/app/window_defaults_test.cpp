// What every window remembers between openings starts, at each start of the program, at the
// values the manual and the window descriptions give. The expected values are written out
// here as numbers and texts; none is read from the code.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "adjust/brightness_window.h"
#include "app/new_image_window.h"
#include "app/startup.h"
#include "canvas/add_text_window.h"
#include "canvas/resize_window.h"
#include "canvas/selector.h"
#include "quantize/quantize_window.h"
#include "quantize/styles.h"
#include "quantize/two_colors_window.h"
#include "support/test_images.h"
#include "toolkit/gui.h"
#include "tools/palette_window.h"

namespace {

// A long session leaves every setting away from its starting value.
void useEveryWindow() {
    newImageSettings = {.newWidth = 1, .newHeight = 2, .newBackColor = 3};
    AddTextSettings& text = addTextSettings;
    text.textString = "typed";
    text.textFontName = "Courier";
    text.textFontSize = 31;
    text.textFontFlags = 3;
    text.textFontStyle = "BoldItalic";
    text.textFrontColor = 0x123456;
    text.textBackColor = 0x654321;
    text.textTransparent = 1;
    text.styleTable = {{"Bold", 1}};
    TwoColorsSettings& two = twoColorsSettings;
    two.twoColor1 = 0xff0000;
    two.twoColor2 = 0x00ff00;
    two.twoColorsDither = 2;
    two.lastThreshold = 7;
    two.redrawPending = 0;
    two.twoColorsCloseRequested = 1;
    resizeSettings.resizeCanvasColour = 0x0000ff;
    QuantizeSettings& q = quantizeSettings;
    q.savedStyle = styleBest;
    q.savedDither = 1;
    q.limitMemory.fill(99);
    q.quantizeOffsetX = -4;
    q.quantizeOffsetY = -5;
    q.placementPending = 0;
    brightnessWindowState.activeSlider = 14;
    brightnessWindowState.shownBrightness = 20;
    brightnessWindowState.shownContrast = -30;
    brightnessWindowState.applied = 1;
    brightnessWindowSettings.amount = 40;
    brightnessWindowSettings.limitOption = LimitOption::Wrap;
    brightnessWindowSettings.ratioMode = false;
    brightnessWindowSettings.proportional = false;
    brightnessWindowSettings.enableGreen = false;
    paletteSettings.paletteExportFilter = 2;
    SelectorState& sel = selectorState;
    sel.buttonDown = 1;
    sel.savedCursor = 3;
    sel.scrollAreaControl = 4;
    sel.anchorX = sel.anchorY = 5;
    sel.dragWidth = sel.dragHeight = -6;
    sel.frameX = sel.frameY = 7;
    sel.gripShown = sel.movingSelection = 1;
    sel.edgeMask = 15;
}

struct Number {
    const char* name;
    int64_t start;
    int64_t documented;
};

struct Text {
    const char* name;
    std::string start;
    const char* documented;
};

class WindowDefaults : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("HOME", makeTempDir().c_str(), 1);
        useEveryWindow();
        initialiseGlobals();
    }
};

TEST_F(WindowDefaults, EveryRememberedNumberStartsAtItsDocumentedValue) {
    const NewImageSettings& n = newImageSettings;
    const AddTextSettings& t = addTextSettings;
    const TwoColorsSettings& two = twoColorsSettings;
    const QuantizeSettings& q = quantizeSettings;
    const BrightnessWindowState& bs = brightnessWindowState;
    const BrightnessSettings& b = brightnessWindowSettings;
    const SelectorState& sel = selectorState;
    const Number rows[] = {
        // New image
        {"newWidth", n.newWidth, 768},
        {"newHeight", n.newHeight, 512},
        {"newBackColor", n.newBackColor, 0xFFFFFF},
        // Add text
        {"textFontSize", t.textFontSize, 10},
        {"textFontFlags", t.textFontFlags, 0},
        {"textFrontColor", t.textFrontColor, 0x000000},
        {"textBackColor", t.textBackColor, 0xFFFFFF},
        {"textTransparent", t.textTransparent, 0},
        {"styleTable rows before the first use", static_cast<int64_t>(t.styleTable.size()), 0},
        // Two Colors
        {"twoColor1", two.twoColor1, 0x000000},
        {"twoColor2", two.twoColor2, 0xFFFFFF},
        {"twoColorsDither", two.twoColorsDither, 0},
        {"lastThreshold", two.lastThreshold, 129},
        {"redrawPending", two.redrawPending, 1},
        {"twoColorsCloseRequested", two.twoColorsCloseRequested, 0},
        // Resize canvas
        {"resizeCanvasColour", resizeSettings.resizeCanvasColour, 0x000000},
        // Quantize Colors: LIMIT 3 levels for Uniform, 32 colours for Popularity and
        // Adaptive, 256 for Best quality; the styles without a LIMIT keep 0.
        {"savedStyle", q.savedStyle, 0},
        {"savedDither", q.savedDither, 0},
        {"limitMemory Uniform", q.limitMemory[0], 3},
        {"limitMemory Popularity", q.limitMemory[1], 32},
        {"limitMemory Adaptive", q.limitMemory[2], 32},
        {"limitMemory CGA (16)", q.limitMemory[3], 0},
        {"limitMemory Neuquant_256", q.limitMemory[7], 0},
        {"limitMemory Ocean_128", q.limitMemory[14], 0},
        {"limitMemory Best quality", q.limitMemory[15], 256},
        {"quantizeOffsetX", q.quantizeOffsetX, 185},
        {"quantizeOffsetY", q.quantizeOffsetY, 205},
        {"placementPending", q.placementPending, 1},
        // Bright/Contrast: the window state is zero at program start; "hold ratio" and
        // "ratio" selected, "proportional", "Red", "Green" and "Blue" ticked.
        {"activeSlider", bs.activeSlider, 0},
        {"shownBrightness", bs.shownBrightness, 0},
        {"shownContrast", bs.shownContrast, 0},
        {"brightnessDue", bs.brightnessDue, 0},
        {"contrastDue", bs.contrastDue, 0},
        {"closeRequested", bs.closeRequested, 0},
        {"applied", bs.applied, 0},
        {"brightness amount", b.amount, 0},
        {"hold ratio", b.limitOption == LimitOption::HoldRatio, 1},
        {"ratio mode", b.ratioMode, 1},
        {"proportional", b.proportional, 1},
        {"Red", b.enableRed, 1},
        {"Green", b.enableGreen, 1},
        {"Blue", b.enableBlue, 1},
        // Palette tool: the export dialog offers the GIMP palette first.
        {"paletteExportFilter", paletteSettings.paletteExportFilter, 0},
        // Selection rectangle: nothing saved, no scroll area, no drag under way.
        {"buttonDown", sel.buttonDown, 0},
        {"savedCursor", sel.savedCursor, -1},
        {"scrollAreaControl", sel.scrollAreaControl, -1},
        {"anchorX", sel.anchorX, 0},
        {"anchorY", sel.anchorY, 0},
        {"dragWidth", sel.dragWidth, 0},
        {"dragHeight", sel.dragHeight, 0},
        {"frameX", sel.frameX, 0},
        {"frameY", sel.frameY, 0},
        {"gripShown", sel.gripShown, 0},
        {"movingSelection", sel.movingSelection, 0},
        {"edgeMask", sel.edgeMask, 0},
    };
    for (const Number& row : rows) EXPECT_EQ(row.start, row.documented) << row.name;
}

TEST_F(WindowDefaults, EveryRememberedTextStartsAtItsDocumentedValue) {
    const AddTextSettings& t = addTextSettings;
    const Text rows[] = {
        {"textString", t.textString, "Enter text here."},
        {"textFontName", t.textFontName, "Arial"},
        {"textFontStyle", t.textFontStyle, "Normal"},
    };
    for (const Text& row : rows) EXPECT_EQ(row.start, row.documented) << row.name;
}

}  // namespace
