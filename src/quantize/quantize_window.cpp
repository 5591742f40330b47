#include "quantize/quantize_window.h"

#include <algorithm>
#include <cctype>
#include <string>

#include "core/commands.h"
#include "core/operation.h"
#include "core/registry.h"
#include "core/split_view.h"
#include "core/state.h"
#include "core/undo.h"
#include "quantize/compare_sheet_window.h"
#include "quantize/error_figure.h"
#include "quantize/palettes.h"
#include "quantize/quantize.h"
#include "toolkit/image_store.h"

QuantizeSettings quantizeSettings;
QuantizeControls quantizeControls;

namespace {

constexpr const char* quantizeTitle = "Quantize Colors";
constexpr int quantizeWidth = 160;
constexpr int quantizeHeight = 275;
constexpr uint32_t quantizeColour = 0xCECE9D;  // red 157, green 206, blue 206
constexpr int minLimit = 2;
constexpr int maxTypedLimit = 256;
constexpr const char* previewNotice = "Preview: ";
constexpr const char* changedNotice = "The image changed after Test: press Test again";

struct Box {
    int x, y, w, h;
};
constexpr Box styleFrameBox{5, 5, 145, 55};
constexpr Box styleListBox{10, 25, 135, 30};
constexpr Box limitFrameBox{5, 65, 70, 50};
constexpr Box limitSpinBox{10, 85, 60, 25};
constexpr Box ditherBoxBox{85, 85, 65, 26};
constexpr Box countFrameBox{5, 120, 145, 40};
constexpr Box countTextBox{15, 135, 125, 20};
constexpr Box testButtonBox{5, 170, 70, 30};
constexpr Box sourceButtonBox{80, 170, 70, 30};
constexpr Box applyButtonBox{5, 210, 70, 30};
constexpr Box exitButtonBox{80, 210, 70, 30};
constexpr Box splitBoxBox{8, 245, 65, 26};
constexpr Box compareButtonBox{80, 243, 70, 28};

// The styles whose LIMIT the window remembers: those that take one.
bool remembersLimit(int style) {
    return style >= 0 && style < styleCount && styleInfo(style).usesLimit;
}

// True while the status bar shows the figures of the preview on the canvas.
bool figureShown = false;
// A preview's count and figures are still to be worked out.
bool figuresPending = false;
constexpr int figuresTimer = 1;

void clearFigure() {
    if (!figureShown) return;
    figureShown = false;
    services().showNotice("");
}

int selectedStyle() {
    return controlState(quantizeControls.styleList);
}

// True from a Test until a setting changes, Source or Apply: the preview shows the settings
// on display. It can be applied while the document is in the state it was made from.
bool previewCurrent = false;

void disableApply() {
    previewCurrent = false;
    disableControl(quantizeControls.applyButton, true);
}

// The integer a text starts with, as a number field reads it: "300" is 300, "12ab" is 12,
// anything without digits is 0.
int64_t leadingInteger(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    int64_t value = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        value = std::min<int64_t>(value * 10 + (text[i] - '0'), int64_t{1} << 40);
    }
    return negative ? -value : value;
}

// Rectangle of the preview the count and the figures describe: the selection, or all.
Rect previewArea(const Image& image) {
    return clipToImage(operationRect(image), image);
}

void styleChanged() {
    const QuantizeControls& c = quantizeControls;
    const int s = selectedStyle();
    const int v = static_cast<int>(controlItemData(c.styleList, s));
    const StyleInfo& info = styleInfo(s);
    if (info.usesLimit) {
        disableControl(c.limitSpin, false);
        // The maximum is set first for a wider range, last for Uniform's narrower one, so
        // the value is never clipped by the range of the style before.
        if (s != styleUniform) setControlAttribute(c.limitSpin, attributeMaximum, info.maxLimit);
        setControlState(c.limitSpin, v);
        setControlText(c.limitSpin, std::to_string(styleLimitDisplay(s, v)));
        if (s == styleUniform) setControlAttribute(c.limitSpin, attributeMaximum, info.maxLimit);
    } else {
        setControlText(c.limitSpin, std::to_string(info.paletteSize));
        disableControl(c.limitSpin, true);
    }
    disableApply();
}

void limitChanged(const Event& event) {
    const QuantizeControls& c = quantizeControls;
    const int s = selectedStyle();
    if (event.type == controlUp || event.type == controlDown) {
        const int v = controlState(c.limitSpin);
        setControlText(c.limitSpin, std::to_string(styleLimitDisplay(s, v)));
        setControlItemData(c.styleList, s, v);
    } else if (s == styleUniform) {
        // Uniform's field shows colours, not the level count: typing is undone.
        setControlText(c.limitSpin,
                       std::to_string(styleLimitDisplay(s, controlState(c.limitSpin))));
    } else {
        const int64_t t = leadingInteger(controlText(c.limitSpin));
        if (t > maxTypedLimit) setControlText(c.limitSpin, std::to_string(maxTypedLimit));
        if (t < 1) setControlText(c.limitSpin, std::to_string(minLimit));
        setControlState(c.limitSpin, static_cast<int>(std::clamp<int64_t>(t, 0, maxTypedLimit)));
        setControlItemData(c.styleList, s, controlState(c.limitSpin));
    }
    disableApply();
}

// Copies the document into toolImage and runs the selected style on it; false when there
// is no document.
bool runQuantization() {
    const QuantizeControls& c = quantizeControls;
    const int s = selectedStyle();
    if (styleInfo(s).usesLimit && s != styleUniform) {
        // A value typed out of range shows what will be used.
        setControlText(c.limitSpin, std::to_string(controlState(c.limitSpin)));
    }
    const Image* view = findImage(viewImage);
    if (!view) return false;
    // Reuses the previous preview's memory when the size is the same.
    Image* tool = findImage(toolImage);
    if (tool) {
        *tool = *view;
    } else {
        storeImage(toolImage, *view);
        tool = findImage(toolImage);
    }
    if (auto palette = runQuantizeStyle(*tool, previewArea(*tool), s, controlState(c.limitSpin),
                                        controlState(c.ditherBox) != 0)) {
        currentPalette = std::move(*palette);
    }
    return true;
}

void showCount(const Image& image) {
    setControlText(quantizeControls.colourCountText,
                   std::to_string(countUniqueColours(image, previewArea(image))));
}

void previewQuantization() {
    // Until the new preview is complete, toolImage is no preview of anything: a Test that
    // runs out of memory half-way must leave nothing to show or apply.
    quantizePreviewEntry = noQuantizePreview;
    disableApply();
    if (!runQuantization()) return;
    // The view refresh also feeds the histogram and the palette tool from the preview (or
    // its selected area).
    quantizePreviewEntry = currentEntryId();
    services().refreshView(toolImage, 1);
    disableControl(quantizeControls.applyButton, false);
    previewCurrent = true;
    // The count and the figures follow once the preview has been painted, so that it shows
    // at once.
    figuresPending = true;
    startWindowTimer(quantizeWindow, figuresTimer, 0);
}

// COLOR COUNT and the status figures of the preview (or of its selected area).
void showPreviewFigures() {
    if (!figuresPending) return;
    figuresPending = false;
    const Image* preview = findImage(toolImage);
    const Image* view = findImage(viewImage);
    // Nothing to describe when the preview is gone or the document changed meanwhile.
    if (!preview || !view || currentEntryId() != quantizePreviewEntry) return;
    const ErrorFigure figure = measureError(*view, *preview, previewArea(*preview));
    setControlText(quantizeControls.colourCountText, std::to_string(figure.colours));
    services().showNotice(previewNotice + errorFigureText(figure));
    figureShown = true;
}

void showSourceImage() {
    disableApply();
    clearFigure();
    // Nothing can be applied until the next Test, so the preview goes: the canvas, a mover
    // drag and the analysis windows all show the document now.
    freeImage(toolImage);
    services().refreshView(viewImage, 1);
    if (const Image* view = findImage(viewImage)) showCount(*view);
}

// True while Apply writes the preview into the document: that change is the preview's own.
bool applying = false;

// The document changed (Negative, undo, a load): a preview of another state, its count and
// its figures describe what is not on the canvas, and Apply must not look as if it would
// keep it. Back in the preview's state (a redo), the preview holds again.
void documentChangedUnderPreview() {
    if (!toolWindowOpen(quantizeWindow) || applying || !isWindow(quantizeWindow)) return;
    const QuantizeControls& c = quantizeControls;
    if (previewCurrent && currentEntryId() == quantizePreviewEntry && imageExists(toolImage)) {
        if (controlEnabled(c.applyButton)) return;
        disableControl(c.applyButton, false);
        figuresPending = true;
        startWindowTimer(quantizeWindow, figuresTimer, 0);
        return;
    }
    disableControl(c.applyButton, true);
    clearFigure();
    figuresPending = false;
    if (const Image* view = findImage(viewImage)) showCount(*view);
}

void applyQuantization() {
    if (!imageExists(toolImage)) return;
    if (currentEntryId() != quantizePreviewEntry) {
        // Undo, a load or another command changed the document after the Test: the
        // preview would replace it with a reduction of something else.
        disableApply();
        figureShown = true;
        services().showNotice(changedNotice);
        return;
    }
    clearFigure();
    const OperationFrame frame{.wholeImage = true, .snapshot = FrameSnapshot::AfterRefresh};
    struct Applying {
        Applying() { applying = true; }
        ~Applying() { applying = false; }
    } scope;
    runOperation(frame, [](Image& view, const Rect&) {
        view = *findImage(toolImage);
        return true;
    });
    disableApply();
}

// Moves the window's outer frame to (x, y), or as near as keeps it inside the desktop, so
// it can always be reached.
void moveInsideDesktop(int x, int y) {
    const int w = std::max(windowWidth(quantizeWindow, false), quantizeWidth);
    const int h = std::max(windowHeight(quantizeWindow, false), quantizeHeight);
    x = std::clamp(x, screenX(), std::max(screenX(), screenX() + screenWidth() - w));
    y = std::clamp(y, screenY(), std::max(screenY(), screenY() + screenHeight() - h));
    resizeWindow(quantizeWindow, x, y, quantizeWidth, quantizeHeight);
}

void placeWindow() {
    QuantizeSettings& q = quantizeSettings;
    q.placementPending = 0;
    const int x = windowX(mainWindow, true) + q.quantizeOffsetX;
    const int y = windowY(mainWindow, true) + q.quantizeOffsetY + services().toolBarHeight();
    moveInsideDesktop(x, y);
    showWindow(quantizeWindow, true);
    // The frame is measured only once the window is shown.
    moveInsideDesktop(x, y);

    const QuantizeControls& c = quantizeControls;
    setControlState(c.styleList, q.savedStyle);
    for (int s = 0; s < styleCount; ++s) {
        if (remembersLimit(s)) setControlItemData(c.styleList, s, q.limitMemory[s]);
    }
    setControlState(c.ditherBox, q.savedDither);
    styleChanged();
}

void closeQuantizeWindow() {
    QuantizeSettings& q = quantizeSettings;
    closeCompareSheet();  // it belongs to this window
    setToolWindowOpen(quantizeWindow, false);
    setSplitView(false, false);
    previewCurrent = false;
    freeImage(toolImage);
    clearFigure();
    services().refreshView(viewImage, 1);
    // A window closed before it was placed has no offset of its own to remember.
    if (!q.placementPending) {
        q.quantizeOffsetX = windowX(quantizeWindow, false) - windowX(mainWindow, true);
        q.quantizeOffsetY =
            windowY(quantizeWindow, false) - windowY(mainWindow, true) - services().toolBarHeight();
    }
    q.placementPending = 1;
    figuresPending = false;
    closeWindow(quantizeWindow);
    quantizeControls = QuantizeControls{};
}

void controlEvent(const Event& event) {
    QuantizeSettings& q = quantizeSettings;
    const QuantizeControls& c = quantizeControls;
    const int n = event.object;
    if (n == c.exitButton) {
        postEvent(eventCloseWindow, quantizeWindow);
    } else if (n == c.testButton) {
        previewQuantization();
    } else if (n == c.sourceButton) {
        showSourceImage();
    } else if (n == c.applyButton) {
        applyQuantization();
    } else if (n == c.styleList) {
        styleChanged();
        q.savedStyle = selectedStyle();
    } else if (n == c.compareButton) {
        openCompareSheet();
    } else if (n == c.splitBox) {
        setSplitView(controlState(c.splitBox) != 0);
    } else if (n == c.ditherBox) {
        disableApply();
        q.savedDither = controlState(c.ditherBox);
    } else if (n == c.limitSpin) {
        limitChanged(event);
        if (remembersLimit(q.savedStyle)) {
            q.limitMemory[q.savedStyle] = controlState(c.limitSpin);
            setControlItemData(c.styleList, q.savedStyle, q.limitMemory[q.savedStyle]);
        }
    }
}

// The canvas shows the preview only while it is of the document as it stands.
int quantizePreview(bool /*forAnalysis*/) {
    return imageExists(toolImage) && quantizePreviewEntry == currentEntryId() ? toolImage : -1;
}

}  // namespace

std::array<int, styleCount> startingLimits() {
    std::array<int, styleCount> limits{};
    for (int s = 0; s < styleCount; ++s) {
        if (remembersLimit(s)) limits[s] = styleInfo(s).defaultLimit;
    }
    return limits;
}

void openQuantizeWindow(int /*command*/) {
    if (anyToolWindowOpen() || isWindow(quantizeWindow)) return;
    if (!openWindow(quantizeWindow, 0, 0, quantizeWidth, quantizeHeight, quantizeTitle,
                    windowCloseBox | windowInvisible | windowParentCentered, mainWindow)) {
        return;
    }
    setWindowColour(quantizeWindow, quantizeColour);
    addKeyboardShortcut(quantizeWindow, "Return", quantizeReturnEvent);
    setToolWindowOpen(quantizeWindow, true);

    QuantizeControls& c = quantizeControls;
    auto place = [](int (*make)(int, int, int, int, int), const Box& b) {
        return make(anyControlNumber, b.x, b.y, b.w, b.h);
    };
    frameControl(anyControlNumber, styleFrameBox.x, styleFrameBox.y, styleFrameBox.w,
                 styleFrameBox.h, "STYLE");
    c.styleList = place(comboBoxControl, styleListBox);
    for (const StyleInfo& style : quantizeStyles()) addControlItem(c.styleList, style.caption);
    c.ditherBox = checkBoxControl(anyControlNumber, ditherBoxBox.x, ditherBoxBox.y, ditherBoxBox.w,
                                  ditherBoxBox.h, "Dither");
    c.splitBox = checkBoxControl(anyControlNumber, splitBoxBox.x, splitBoxBox.y, splitBoxBox.w,
                                 splitBoxBox.h, splitCaption);
    setControlToolTip(c.splitBox, splitToolTip);
    c.compareButton = buttonControl(anyControlNumber, compareButtonBox.x, compareButtonBox.y,
                                    compareButtonBox.w, compareButtonBox.h, "Compare...");
    setControlToolTip(c.compareButton, "Every style side by side");
    struct ButtonSpec {
        int* control;
        const Box& box;
        const char* caption;
        const char* tip;
    };
    const ButtonSpec buttons[] = {
        {&c.testButton, testButtonBox, "Test", "Preview quantization"},
        {&c.sourceButton, sourceButtonBox, "Source", "Show source image"},
        {&c.applyButton, applyButtonBox, "Apply", "Update source image"},
        {&c.exitButton, exitButtonBox, "Exit", nullptr},
    };
    for (const ButtonSpec& b : buttons) {
        *b.control = buttonControl(anyControlNumber, b.box.x, b.box.y, b.box.w, b.box.h, b.caption);
        if (b.tip) setControlToolTip(*b.control, b.tip);
    }
    disableApply();
    frameControl(anyControlNumber, countFrameBox.x, countFrameBox.y, countFrameBox.w,
                 countFrameBox.h, "COLOR COUNT");
    const Image* view = findImage(viewImage);
    // The count of the whole document, even when a selection exists.
    c.colourCountText =
        textControl(anyControlNumber, countTextBox.x, countTextBox.y, countTextBox.w,
                    countTextBox.h, std::to_string(view ? countUniqueColours(*view) : 0), true);
    setControlColour(c.colourCountText, quantizeColour);
    frameControl(anyControlNumber, limitFrameBox.x, limitFrameBox.y, limitFrameBox.w,
                 limitFrameBox.h, "LIMIT");
    c.limitSpin = spinControl(anyControlNumber, limitSpinBox.x, limitSpinBox.y, limitSpinBox.w,
                              limitSpinBox.h, minLimit, maxTypedLimit);

    // Placed and shown once the window is up.
    postEvent(eventActivateWindow, quantizeWindow);
    copyImage(viewImage, toolImage);
}

void quantizeWindowEvent(const Event& event) {
    if (!isWindow(quantizeWindow)) return;
    // Whatever comes next acts on a preview whose numbers are shown.
    if (event.kind != eventCloseWindow) showPreviewFigures();
    switch (event.kind) {
        case eventActivateWindow:
            if (quantizeSettings.placementPending) placeWindow();
            break;
        case eventCloseWindow:
            closeQuantizeWindow();
            break;
        case eventMenu:
            // Return after typing a LIMIT previews at once.
            if (event.object == quantizeReturnEvent &&
                activeControl() == quantizeControls.limitSpin) {
                postEvent(eventControl, quantizeWindow, quantizeControls.testButton, controlChange);
            }
            break;
        case eventControl:
            controlEvent(event);
            break;
        default:
            break;
    }
}

void registerQuantizeWindow() {
    quantizeSettings = {};
    quantizeControls = QuantizeControls{};
    figureShown = false;
    figuresPending = false;
    applying = false;
    previewCurrent = false;
    registerCommand(commandQuantize, openQuantizeWindow);
    registerWindowHandler(quantizeWindow, quantizeWindowEvent);
    registerToolWindow(quantizeWindow, quantizeOpenFlag, quantizePreview);
    registerDocumentListener(documentChangedUnderPreview);
}
