#include "adjust/brightness_window.h"

#include <algorithm>
#include <cstdint>
#include <string>

#include "core/operation.h"
#include "core/registry.h"
#include "core/split_view.h"
#include "core/state.h"
#include "core/undo.h"
#include "toolkit/image_store.h"

BrightnessControls brightnessControls;
BrightnessWindowState brightnessWindowState;
BrightnessSettings brightnessWindowSettings;

namespace {

constexpr uint32_t boxLabelColour = 0xC0C0C0;  // RGB(192, 192, 192)
constexpr int brightnessSliderMax = 256;
constexpr int contrastSliderMax = 200;

int brightnessAmount() {
    return controlState(brightnessControls.brightnessSlider) - brightnessCentre;
}

int contrastAmount() {
    return controlState(brightnessControls.contrastSlider) - contrastCentre;
}

std::string brightnessCaption(int amount) {
    return "Brightness = " + std::to_string(amount);
}

std::string contrastCaption(int amount) {
    return "Contrast = " + std::to_string(amount);
}

// Controls inside a box are placed relative to its corner.
struct Box {
    int x, y;
};

int boxLabel(Box box, int x, int y, int w, int h, const char* caption) {
    int n = textControl(anyControlNumber, box.x + x, box.y + y, w, h, caption, true);
    setControlColour(n, boxLabelColour);
    return n;
}

// An option (`option`) or a check box in a box, with its tip and state.
int boxChoice(bool option, Box box, int x, int y, int w, int h, const char* caption,
              const char* tip, bool on) {
    auto make = option ? optionControl : checkBoxControl;
    int n = make(anyControlNumber, box.x + x, box.y + y, w, h, caption);
    if (tip) setControlToolTip(n, tip);
    setControlState(n, on ? 1 : 0);
    return n;
}

int boxOption(Box box, int x, int y, int w, int h, const char* caption, const char* tip,
              bool selected) {
    return boxChoice(true, box, x, y, w, h, caption, tip, selected);
}

int boxCheck(Box box, int x, int y, int w, int h, const char* caption, const char* tip,
             bool checked) {
    return boxChoice(false, box, x, y, w, h, caption, tip, checked);
}

int button(int x, const char* caption, const char* tip, bool enabled) {
    constexpr int y = 250, w = 80, h = 25;
    int n = buttonControl(anyControlNumber, x, y, w, h, caption);
    setControlToolTip(n, tip);
    disableControl(n, !enabled);
    return n;
}

void buildControls() {
    BrightnessControls& c = brightnessControls;
    const BrightnessSettings& s = brightnessWindowSettings;
    c.brightnessFrame = frameControl(anyControlNumber, 10, 10, 380, 170, brightnessCaption(0));
    c.brightnessSlider = trackBarControl(anyControlNumber, 20, 30, 360, 20, 0, brightnessSliderMax);
    setControlToolTip(c.brightnessSlider, " adjust brightness");
    setControlState(c.brightnessSlider, brightnessCentre);

    const Box limits{130, 60};
    boxControl(anyControlNumber, limits.x, limits.y, 110, 110, true);
    boxLabel(limits, 10, 10, 90, 20, "at limits");
    c.holdRatio = boxOption(limits, 10, 40, 90, 20, "hold ratio", " hold ratio at limits",
                            s.limitOption == LimitOption::HoldRatio);
    c.clamp = boxOption(limits, 10, 60, 80, 20, "clamp", " clamp at limits",
                        s.limitOption == LimitOption::Clamp);
    c.wrap = boxOption(limits, 10, 80, 80, 20, "wrap", " wrap at limits",
                       s.limitOption == LimitOption::Wrap);

    const Box mode{250, 60};
    boxControl(anyControlNumber, mode.x, mode.y, 130, 110, true);
    boxLabel(mode, 10, 10, 110, 20, "mode");
    c.equal = boxOption(mode, 10, 80, 80, 20, "equal", " adjust RGB values equally", !s.ratioMode);
    c.ratio = boxOption(mode, 10, 60, 80, 20, "ratio", " adjust RGB values as ratios", s.ratioMode);
    c.proportional = boxCheck(mode, 10, 40, 110, 20, "proportional",
                              " apply proportional brightness", s.proportional);

    const Box activate{20, 60};
    boxControl(anyControlNumber, activate.x, activate.y, 100, 110, true);
    boxLabel(activate, 10, 10, 80, 20, "activate");
    c.red = boxCheck(activate, 10, 40, 80, 20, "Red", nullptr, s.enableRed);
    c.green = boxCheck(activate, 10, 60, 80, 20, "Green", nullptr, s.enableGreen);
    c.blue = boxCheck(activate, 10, 80, 80, 20, "Blue", nullptr, s.enableBlue);

    c.contrastFrame = frameControl(anyControlNumber, 10, 190, 380, 50, contrastCaption(0));
    c.contrastSlider = trackBarControl(anyControlNumber, 20, 210, 360, 20, 0, contrastSliderMax);
    setControlToolTip(c.contrastSlider, " adjust contrast");
    setControlState(c.contrastSlider, contrastCentre);

    c.reset = button(10, "Reset", " undo changes and continue editing", true);
    c.refresh = button(110, "Rfsh Brt", " refresh brightness", false);
    c.apply = button(210, "Apply", " apply changes and continue editing", false);
    c.exit = button(310, "Exit", " close this window", true);
    c.split = checkBoxControl(anyControlNumber, 12, 283, 80, 24, splitCaption);
    setControlToolTip(c.split, splitToolTip);
}

// The options and channels as the controls show them.
BrightnessSettings settingsFromControls() {
    const BrightnessControls& c = brightnessControls;
    BrightnessSettings s;
    s.amount = brightnessAmount();
    s.limitOption = controlState(c.wrap)        ? LimitOption::Wrap
                    : controlState(c.holdRatio) ? LimitOption::HoldRatio
                                                : LimitOption::Clamp;
    s.ratioMode = controlState(c.ratio) != 0;
    s.proportional = controlState(c.proportional) != 0;
    s.enableRed = controlState(c.red) != 0;
    s.enableGreen = controlState(c.green) != 0;
    s.enableBlue = controlState(c.blue) != 0;
    return s;
}

bool isOptionControl(int n) {
    const BrightnessControls& c = brightnessControls;
    for (int option :
         {c.holdRatio, c.clamp, c.wrap, c.equal, c.ratio, c.proportional, c.red, c.green, c.blue}) {
        if (n == option) return true;
    }
    return false;
}

// A preview starts again from the base: workImage = toolImage, then the transform on the
// operation rectangle, then the canvas shows it.
template <typename Transform>
void runPreview(Transform transform) {
    disableControl(brightnessControls.refresh, true);
    disableControl(brightnessControls.apply, false);
    if (copyImage(toolImage, workImage) == 0) return;
    Image& preview = *findImage(workImage);
    Rect rect = clipToImage(operationRect(preview), preview);
    if (!rect.empty()) transform(preview, rect);
    services().refreshView(workImage, 1);
}

void adjustBrightness() {
    BrightnessSettings settings = settingsFromControls();
    runPreview(
        [&settings](Image& image, const Rect& rect) { applyBrightness(image, rect, settings); });
}

void adjustContrast(int amount) {
    runPreview([amount](Image& image, const Rect& rect) { applyContrast(image, rect, amount); });
}

void centreBrightness() {
    setControlState(brightnessControls.brightnessSlider, brightnessCentre);
    setControlText(brightnessControls.brightnessFrame, brightnessCaption(0));
    brightnessWindowState.shownBrightness = 0;
}

void centreContrast() {
    setControlState(brightnessControls.contrastSlider, contrastCentre);
    setControlText(brightnessControls.contrastFrame, contrastCaption(0));
    brightnessWindowState.shownContrast = 0;
}

// A slider event. The first event of the other slider makes the current preview the new
// base and recentres the slider that made it; every event then shows the amount and waits
// for the slider to rest.
void sliderMoved(int slider) {
    BrightnessWindowState& st = brightnessWindowState;
    const bool brightness = slider == brightnessControls.brightnessSlider;
    if (slider != st.activeSlider) {
        st.activeSlider = slider;
        copyImage(workImage, toolImage);
        if (brightness) {
            centreContrast();
        } else {
            centreBrightness();
        }
    }
    // The switching event schedules its own preview too: a single step of the other slider
    // (a click on its track, an arrow key) would otherwise show a position the caption and
    // the preview never follow.
    if (brightness) {
        setControlText(brightnessControls.brightnessFrame, brightnessCaption(brightnessAmount()));
        st.brightnessDeadline = elapsedMilliseconds() + previewDelayMs;
        st.brightnessDue = 1;
    } else {
        setControlText(brightnessControls.contrastFrame, contrastCaption(contrastAmount()));
        st.contrastDeadline = elapsedMilliseconds() + previewDelayMs;
        st.contrastDue = 1;
    }
}

void reset() {
    centreBrightness();
    centreContrast();
    copyImage(viewImage, toolImage);
    // The preview goes too, so neither the canvas nor a later Apply can bring it back.
    copyImage(viewImage, workImage);
    disableControl(brightnessControls.apply, true);
    // The analysis windows show the document while it is redrawn.
    setToolWindowOpen(brightnessWindow, false);
    services().refreshView(viewImage, 1);
    setToolWindowOpen(brightnessWindow, true);
    brightnessWindowState.applied = 0;
}

void apply() {
    copyImage(workImage, toolImage);
    centreBrightness();
    centreContrast();
    brightnessWindowState.applied = 1;
    disableControl(brightnessControls.apply, true);
}

void controlEvent(const Event& event) {
    const BrightnessControls& c = brightnessControls;
    BrightnessWindowState& st = brightnessWindowState;
    const int n = event.object;
    if (n == c.brightnessSlider || n == c.contrastSlider) {
        sliderMoved(n);
    } else if (n == c.reset) {
        reset();
    } else if (n == c.refresh) {
        // Makes the shown amount stale, so the due step recomputes with the new options.
        st.brightnessDue = 1;
        st.shownBrightness += 1;
    } else if (n == c.apply) {
        apply();
    } else if (n == c.exit) {
        st.closeRequested = 1;
    } else if (n == c.split) {
        setSplitView(controlState(c.split) != 0);
    } else if (isOptionControl(n)) {
        brightnessWindowSettings = settingsFromControls();
        if (st.shownBrightness != 0) disableControl(c.refresh, false);
    }
}

void closeBrightnessWindow() {
    BrightnessWindowState& st = brightnessWindowState;
    brightnessWindowSettings = settingsFromControls();
    if (st.applied) {
        st.applied = 0;
        // What Apply kept becomes one undo step; the view is redrawn below, once the window
        // no longer previews.
        runOperation(OperationFrame{.wholeImage = true,
                                    .snapshot = FrameSnapshot::AfterRefresh,
                                    .refresh = FrameRefresh::None},
                     [](Image& view, const Rect&) {
                         const Image* kept = findImage(toolImage);
                         if (!kept) return false;
                         view = *kept;
                         return true;
                     });
    }
    setToolWindowOpen(brightnessWindow, false);
    setSplitView(false, false);
    services().refreshView(viewImage, 1);
    freeImage(workImage);
    freeImage(toolImage);
    closeWindow(brightnessWindow);
    brightnessControls = BrightnessControls{};
}

// Runs after every event of the window: previews whose slider has rested, then closing.
void dueWork() {
    BrightnessWindowState& st = brightnessWindowState;
    if (st.brightnessDue && elapsedMilliseconds() > st.brightnessDeadline) {
        st.brightnessDue = 0;
        int amount = brightnessAmount();
        if (amount != st.shownBrightness) {
            st.shownBrightness = amount;
            adjustBrightness();
        }
    }
    if (st.contrastDue && elapsedMilliseconds() > st.contrastDeadline) {
        st.contrastDue = 0;
        int amount = contrastAmount();
        if (amount != st.shownContrast) {
            st.shownContrast = amount;
            adjustContrast(amount);
        }
    }
    if (st.closeRequested) {
        st.closeRequested = 0;
        closeBrightnessWindow();
        return;
    }
    // Due work is checked on the window's events only; the timer supplies one once the
    // earliest waiting preview is due.
    if (st.brightnessDue || st.contrastDue) {
        int64_t next = INT64_MAX;
        if (st.brightnessDue) next = std::min(next, st.brightnessDeadline);
        if (st.contrastDue) next = std::min(next, st.contrastDeadline);
        const int64_t wait = std::max<int64_t>(next - elapsedMilliseconds() + 1, 1);
        startWindowTimer(brightnessWindow, previewTimer, static_cast<int>(wait));
    } else {
        stopWindowTimer(brightnessWindow, previewTimer);
    }
}

}  // namespace

int openBrightnessWindow() {
    if (anyToolWindowOpen() || floatingActive || isWindow(brightnessWindow)) return 0;
    if (!imageExists(viewImage)) return 0;
    if (!openWindow(brightnessWindow, 0, 0, brightnessWindowWidth, brightnessWindowHeight,
                    brightnessWindowTitle, windowCloseBox | windowParentCentered, mainWindow)) {
        return 0;
    }
    setWindowColour(brightnessWindow, brightnessWindowColour);
    buildControls();
    copyImage(viewImage, toolImage);
    copyImage(viewImage, workImage);
    BrightnessWindowState& st = brightnessWindowState;
    st.shownBrightness = st.shownContrast = 0;
    st.brightnessDue = st.contrastDue = 0;
    st.closeRequested = st.applied = 0;
    setToolWindowOpen(brightnessWindow, true);
    return 1;
}

void brightnessWindowEvent(const Event& event) {
    // Events queued before the window closed find nothing to do.
    if (!isWindow(brightnessWindow)) return;
    if (event.kind == eventCloseWindow) {
        brightnessWindowState.closeRequested = 1;
    } else if (event.kind == eventControl) {
        controlEvent(event);
    }
    dueWork();
}

void registerBrightnessWindow(int command) {
    registerCommand(command, [](int) { openBrightnessWindow(); });
    registerWindowHandler(brightnessWindow, brightnessWindowEvent);
    registerToolWindow(brightnessWindow, brightnessOpenFlag,
                       [](bool) { return imageExists(workImage) ? workImage : -1; });
}

void resetBrightnessWindow() {
    brightnessControls = BrightnessControls{};
    brightnessWindowState = BrightnessWindowState{};
    brightnessWindowSettings = BrightnessSettings{};
}
