#include "canvas/resize_window.h"

#include <algorithm>

#include "canvas/geometry.h"
#include "canvas/geometry_commands.h"
#include "canvas/nested_loop.h"
#include "core/commands.h"
#include "core/operation.h"
#include "core/registry.h"
#include "core/state.h"
#include "toolkit/gui.h"
#include "toolkit/image_store.h"

ResizeSettings resizeSettings;
ResizeDialog resizeDialog;

namespace {

// Return posts this to the dialog's window, as a click of OK would.
constexpr const char* okKey = "Return";
constexpr int okShortcut = 1;

constexpr int64_t largestFieldValue = 1'000'000'000;

constexpr int swatchWidth = 70;
constexpr int swatchHeight = 40;

// The two dialogs share their fields, labels, box and buttons; these are what differ.
struct SizeDialogLayout {
    int window;
    const char* title;
    int width;
    int height;
    int openFlag;
    int keepAspectWidth;
    int okX;
    int buttonsY;
    int cancelX;
};
constexpr SizeDialogLayout resizeImageLayout{
    resizeImageWindow, "resize image", 165, 130, resizeImageOpenFlag, 145, 95, 100, 10};
constexpr SizeDialogLayout resizeCanvasLayout{
    resizeCanvasWindow, "resize canvas", 240, 165, resizeCanvasOpenFlag, 125, 170, 130, 100};

bool openDialog(const SizeDialogLayout& layout) {
    if (anyToolWindowOpen()) return false;
    Image* view = findImage(viewImage);
    if (!view) return false;
    if (!openWindow(layout.window, 0, 0, layout.width, layout.height, layout.title,
                    windowCloseBox | windowParentCentered | windowModal, mainWindow)) {
        return false;
    }
    setWindowColour(layout.window, resizeDialogColour);
    setToolWindowOpen(layout.window, true);
    ResizeDialog& d = resizeDialog;
    d = ResizeDialog{};
    d.window = layout.window;
    d.imageWidth = view->width;
    d.imageHeight = view->height;
    d.ratio = aspectRatio(view->width, view->height);
    d.widthField =
        stringControl(anyControlNumber, 10, 10, 60, 25, std::to_string(d.imageWidth), true);
    d.heightField =
        stringControl(anyControlNumber, 10, 40, 60, 25, std::to_string(d.imageHeight), true);
    setControlColour(textControl(anyControlNumber, 75, 15, 50, 25, "width"), resizeDialogColour);
    setControlColour(textControl(anyControlNumber, 75, 40, 50, 25, "Height"), resizeDialogColour);
    d.keepAspect =
        checkBoxControl(anyControlNumber, 10, 70, layout.keepAspectWidth, 25, "keep aspect ratio");
    setControlState(d.keepAspect, 1);
    d.okButton = buttonControl(anyControlNumber, layout.okX, layout.buttonsY, 60, 25, "OK");
    d.cancelButton =
        buttonControl(anyControlNumber, layout.cancelX, layout.buttonsY, 60, 25, "Cancel");
    addKeyboardShortcut(layout.window, okKey, okShortcut);
    return true;
}

void showSwatch() {
    ResizeDialog& d = resizeDialog;
    if (Image* swatch = findImage(d.swatchImage)) {
        fillBox(*swatch, 0, 0, swatch->width, swatch->height,
                resizeSettings.resizeCanvasColour | alphaMask);
    }
    setImageControlImage(d.swatch, d.swatchImage);
}

void pickBackground() {
    int64_t chosen = dialogs().colourPicker(resizeSettings.resizeCanvasColour);
    if (chosen < 0) return;  // cancelled
    resizeSettings.resizeCanvasColour = static_cast<uint32_t>(chosen) & colourMask;
    showSwatch();
}

// Only the user's edits reach here: setting a field from code posts nothing.
void coupleFields(int edited) {
    ResizeDialog& d = resizeDialog;
    if (controlState(d.keepAspect) == 0) return;
    int64_t value = fieldValue(controlText(edited));
    if (edited == d.widthField) {
        setControlText(d.heightField, std::to_string(heightForWidth(value, d.ratio)));
    } else {
        setControlText(d.widthField, std::to_string(widthForHeight(value, d.ratio)));
    }
}

int chosenPosition() {
    const ResizeDialog& d = resizeDialog;
    for (int i = 0; i < lastAnchor; ++i) {
        if (controlState(d.positions[i]) != 0) return i + firstAnchor;
    }
    return centreAnchor;
}

void apply() {
    const ResizeDialog& d = resizeDialog;
    int64_t typedWidth = fieldValue(controlText(d.widthField));
    int64_t typedHeight = fieldValue(controlText(d.heightField));
    if (d.window == resizeImageWindow) {
        const ResizeSize size = resizeImageSize(
            typedWidth, typedHeight, controlState(d.keepAspect) != 0, d.imageWidth, d.imageHeight);
        // The size the picture has already: nothing to do, and no step to undo.
        if (size == ResizeSize{d.imageWidth, d.imageHeight}) return;
        runOperation(resizingFrame(viewImage), [size](Image& image, const Rect&) {
            image = resampleMitchell(image, size.width, size.height);
            return true;
        });
        return;
    }
    int position = chosenPosition();
    uint32_t background = resizeSettings.resizeCanvasColour;
    runOperation(resizingFrame(viewImage), [=](Image& image, const Rect&) {
        int w = clampCanvasSide(typedWidth, image.width);
        int h = clampCanvasSide(typedHeight, image.height);
        image = extendCanvas(image, w, h, position, background);
        return true;
    });
}

void closeDialog() {
    ResizeDialog& d = resizeDialog;
    removeKeyboardShortcut(d.window, okKey);
    setToolWindowOpen(d.window, false);
    closeWindow(d.window);
    if (d.swatchImage >= 0) freeImage(d.swatchImage);
    resizeDialog = ResizeDialog{};
}

enum class Outcome { Open, Ok, Cancel };

Outcome dialogEvent(const Event& e) {
    ResizeDialog& d = resizeDialog;
    if (e.window == mainWindow && e.kind == eventCloseWindow) {
        quitRequested = 1;
        return Outcome::Cancel;
    }
    if (e.window != d.window) return Outcome::Open;  // other windows wait
    if (e.kind == eventCloseWindow) return Outcome::Cancel;
    if (e.kind == eventMenu && e.object == okShortcut) return Outcome::Ok;
    if (e.kind != eventControl || e.type != controlChange) return Outcome::Open;
    if (e.object == d.okButton) return Outcome::Ok;
    if (e.object == d.cancelButton) return Outcome::Cancel;
    if (e.object == d.widthField || e.object == d.heightField) coupleFields(e.object);
    if (e.object == d.swatch && d.swatch >= 0) pickBackground();
    return Outcome::Open;
}

}  // namespace

int64_t fieldValue(const std::string& text) {
    int64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') break;
        value = std::min(value * 10 + (c - '0'), largestFieldValue);
    }
    return value;
}

bool openResizeImageDialog() {
    return openDialog(resizeImageLayout);
}

bool openResizeCanvasDialog() {
    if (!openDialog(resizeCanvasLayout)) return false;
    ResizeDialog& d = resizeDialog;
    // The labels keep clear of the frame below the one and of the window's edge below the
    // other.
    d.positionLabel = textControl(anyControlNumber, 150, 5, 80, 20, "position");
    setControlColour(d.positionLabel, resizeDialogColour);
    // The frame holds the nine buttons: 20 x 20 each, 25 apart, 5 in from its corner.
    constexpr int gridX = 150, gridY = 28;
    d.grid = frameControl(anyControlNumber, gridX, gridY, 80, 85, "");
    for (int i = 0; i < lastAnchor; ++i) {
        d.positions[i] = optionControl(anyControlNumber, gridX + 5 + 25 * (i % 3),
                                       gridY + 5 + 25 * (i / 3), 20, 20, "");
    }
    setControlState(d.positions[centreAnchor - 1], 1);
    d.swatchImage = createImage(anyImageNumber, swatchWidth, swatchHeight, 32,
                                resizeSettings.resizeCanvasColour | alphaMask);
    d.swatch =
        imageControl(anyControlNumber, 10, 100, swatchWidth, swatchHeight, d.swatchImage, false);
    d.backgroundLabel = textControl(anyControlNumber, 10, 142, 90, 20, "background");
    setControlColour(d.backgroundLabel, resizeDialogColour);
    return true;
}

void runResizeDialog() {
    if (resizeDialog.window < 0) return;
    NestedLoop loop;
    Outcome outcome = Outcome::Open;
    try {
        while (outcome == Outcome::Open) outcome = dialogEvent(loop.next());
        if (outcome == Outcome::Ok) apply();
    } catch (...) {
        closeDialog();  // the open flag must not outlive the window
        throw;
    }
    closeDialog();
}

void resizeImageDialog() {
    if (openResizeImageDialog()) runResizeDialog();
}

void resizeCanvasDialog() {
    if (openResizeCanvasDialog()) runResizeDialog();
}

void registerResizeDialogs() {
    resizeSettings = {};
    resizeDialog = ResizeDialog{};
    registerCommand(commandResizeImage, [](int) { resizeImageDialog(); });
    registerCommand(commandResizeCanvas, [](int) { resizeCanvasDialog(); });
    registerToolWindow(resizeImageWindow, resizeImageLayout.openFlag);
    registerToolWindow(resizeCanvasWindow, resizeCanvasLayout.openFlag);
}
