#include <algorithm>

#include "canvas/floating.h"
#include "canvas/geometry.h"
#include "canvas/geometry_commands.h"
#include "canvas/nested_loop.h"
#include "canvas/selector.h"
#include "core/commands.h"
#include "core/operation.h"
#include "core/registry.h"
#include "core/state.h"
#include "toolkit/image_store.h"

int floatX = 0;
int floatY = 0;
FloatingSection floatingSection;

namespace {

constexpr const char* placeKey = "Return";
constexpr int escapeKey = 27;

enum class Ending { None, Place, Discard };

// The view while the section floats: its loop lets nothing zoom or scroll it.
ViewTransform floatView;

void readSectionSize() {
    FloatingSection& f = floatingSection;
    Image* section = findImage(workImage);
    f.width = section ? section->width : 0;
    f.height = section ? section->height : 0;
    f.halfWidth = f.width / 2;
    f.halfHeight = f.height / 2;
}

// Puts the section's top-left pixel on image pixel (x, y).
void moveTo(int x, int y) {
    FloatingSection& f = floatingSection;
    f.imageX = x;
    f.imageY = y;
    floatX = floatView.canvasX(x);
    floatY = floatView.canvasY(y);
}

// The picture, the section over it, and the section's corners in the status bar.
void redraw() {
    const FloatingSection& f = floatingSection;
    if (Image* buffer = canvasBuffer(canvas)) {
        ViewDraw how;
        how.background = canvasBackground | alphaMask;
        if (Image* view = findImage(viewImage)) {
            drawThroughView(*buffer, *view, floatView, how);
        } else {
            fillBox(*buffer, 0, 0, buffer->width, buffer->height, how.background);
        }
        if (Image* section = findImage(workImage)) {
            how.blended = true;
            how.sourceX = f.imageX;
            how.sourceY = f.imageY;
            drawThroughView(*buffer, *section, floatView, how);
        }
        updateCanvas(canvas);
    }
    services().setSelectionStatus(floatingStatusText());
}

// Keeps [position, position + size) within [lo, hi + 1), the far edge first.
int clampToExtent(int position, int size, int lo, int hi) {
    if (position + size > hi + 1) position = hi - size + 1;
    if (position < lo) position = lo;
    return position;
}

// The pointer holds the section's centre; the section stays over the area of the image
// the canvas shows.
void followPointer(int x, int y) {
    const FloatingSection& f = floatingSection;
    const Rect shown = floatView.imageRect(floatView.extent());
    const int loX = std::max(shown.left, 0), hiX = std::min(shown.right, f.imageWidth - 1);
    const int loY = std::max(shown.top, 0), hiY = std::min(shown.bottom, f.imageHeight - 1);
    moveTo(clampToExtent(floatView.imageX(x) - f.halfWidth, f.width, loX, hiX),
           clampToExtent(floatView.imageY(y) - f.halfHeight, f.height, loY, hiY));
    redraw();
}

// A quarter turn about the section's centre. The next mouse move clamps it again.
void turn(int clockwise) {
    FloatingSection& f = floatingSection;
    int oldHalfWidth = f.halfWidth, oldHalfHeight = f.halfHeight;
    if (!rotateQuarter(workImage, clockwise)) return;
    readSectionSize();
    moveTo(f.imageX + oldHalfWidth - f.halfWidth, f.imageY + oldHalfHeight - f.halfHeight);
    redraw();
}

// The arrow keys move it an image pixel and may push it past the image, up to the
// canvas's edges.
void nudge(int command) {
    const FloatingSection& f = floatingSection;
    int x = f.imageX, y = f.imageY;
    switch (command) {
        case commandLeft:
            if (floatView.canvasX(x - 1) >= 0) --x;
            break;
        case commandRight:
            if (floatView.canvasX(x + 1 + f.width) <= f.canvasWidth) ++x;
            break;
        case commandUp:
            if (floatView.canvasY(y - 1) >= 0) --y;
            break;
        case commandDown:
            if (floatView.canvasY(y + 1 + f.height) <= f.canvasHeight) ++y;
            break;
        default:
            return;
    }
    moveTo(x, y);
    redraw();
}

Ending keyCommand(int command) {
    switch (command) {
        case commandPlaceSection:
            return Ending::Place;
        case commandLeft:
        case commandRight:
        case commandUp:
        case commandDown:
            nudge(command);
            break;
        case commandCtrlRight:
            turn(1);
            break;
        case commandCtrlLeft:
            turn(0);
            break;
        case commandCtrlUp:
            mirrorImage(workImage);
            redraw();
            break;
        case commandCtrlDown:
            flipImage(workImage);
            redraw();
            break;
        default:
            break;  // every other command waits until the section is placed
    }
    return Ending::None;
}

Ending handle(const Event& e) {
    if (e.window != mainWindow) return Ending::None;
    switch (e.kind) {
        case eventCloseWindow:
            quitRequested = 1;
            return Ending::Discard;
        case eventMenu:
            return keyCommand(e.object);
        case eventControl:
            if (e.object != canvas) return Ending::None;
            if (e.type == controlMouseMove) followPointer(e.x, e.y);
            if (e.type == controlLeftButtonUp) return Ending::Place;
            if (e.type == controlKeyDown && e.key == escapeKey) return Ending::Discard;
            return Ending::None;
        default:
            return Ending::None;
    }
}

// Takes the clipboard's image as the section and shows it; false when there is none.
bool start() {
    Image* view = findImage(viewImage);
    Image* buffer = canvasBuffer(canvas);
    if (!view || !buffer) return false;
    addKeyboardShortcut(mainWindow, placeKey, commandPlaceSection);
    Image section = clipboardImage();
    if (section.empty()) {
        removeKeyboardShortcut(mainWindow, placeKey);
        return false;
    }
    if (selection.active) {
        clearSelection();
        services().setSelectionStatus("");
    }
    FloatingSection& f = floatingSection;
    floatView = currentView();
    f.canvasWidth = buffer->width;
    f.canvasHeight = buffer->height;
    f.imageWidth = view->width;
    f.imageHeight = view->height;
    f.offsetX = (f.canvasWidth - floatView.drawnW()) / 2;
    f.offsetY = (f.canvasHeight - floatView.drawnH()) / 2;
    // Never scaled: a section larger than the picture keeps its top-left part.
    bool cut = section.width > f.imageWidth || section.height > f.imageHeight;
    if (cut) {
        section = copyRect(section, 0, 0, std::min(section.width, f.imageWidth) - 1,
                           std::min(section.height, f.imageHeight) - 1);
    }
    storeImage(workImage, std::move(section));
    readSectionSize();
    if (cut && f.width == f.imageWidth && f.height == f.imageHeight) {
        // It covers the whole picture: placed at once, through the loop like a click.
        moveTo(0, 0);
        Event up{.kind = eventControl,
                 .window = mainWindow,
                 .object = canvas,
                 .type = controlLeftButtonUp,
                 .x = floatX,
                 .y = floatY};
        postEvent(up);
    } else {
        // Centred on the picture's middle.
        moveTo(floatView.imageX(panX + f.canvasWidth / 2) - f.halfWidth,
               floatView.imageY(panY + f.canvasHeight / 2) - f.halfHeight);
    }
    redraw();
    setCanvasCursor(canvas, cursorArrows);
    setActiveControl(canvas);  // Esc reaches the canvas
    floatingActive = 1;
    return true;
}

void place() {
    OperationFrame frame;
    frame.wholeImage = true;
    frame.snapshot = FrameSnapshot::AfterRefresh;
    frame.refresh = FrameRefresh::None;
    runOperation(frame, [](Image& view, const Rect&) {
        const Image* section = findImage(workImage);
        if (!section) return false;
        const FloatingSection& f = floatingSection;
        placeSection(view, *section, f.imageX, f.imageY);
        return true;
    });
    services().refreshAnalysis();
}

void finish() {
    floatingActive = 0;
    freeImage(workImage);
    removeKeyboardShortcut(mainWindow, placeKey);
    // Placed or discarded, the section's corners are no longer news.
    services().setSelectionStatus("");
    if (imageExceedsView == 1 && cursorMode != selectorMode) {
        setCanvasCursor(canvas, cursorHand);
    } else if (cursorMode == selectorMode) {
        setCanvasCursor(canvas, cursorCross);
    } else {
        setCanvasCursor(canvas, cursorDefault);
    }
    services().refreshView(viewImage, 0);
}

}  // namespace

void pasteFloatingSection() {
    // workImage is the preview of some tool windows; they keep it while they are open.
    if (anyToolWindowOpen()) return;
    if (!start()) return;
    NestedLoop loop;
    try {
        Ending ending = Ending::None;
        while (ending == Ending::None) ending = handle(loop.next());
        if (ending == Ending::Place) place();
    } catch (...) {
        finish();  // the program must not stay in floating mode
        throw;
    }
    finish();
}

std::string floatingStatusText() {
    const FloatingSection& f = floatingSection;
    // The last canvas pixels the section covers, at any zoom.
    const int right = floatView.canvasX(f.imageX + f.width) - 1;
    const int bottom = floatView.canvasY(f.imageY + f.height) - 1;
    return "xLeft = " + std::to_string(floatX) + " | yTop = " + std::to_string(floatY) +
           " | xRight = " + std::to_string(right) + " | yBottom = " + std::to_string(bottom);
}

void resetFloatingSection() {
    floatX = floatY = 0;
    floatingSection = FloatingSection{};
    floatView = ViewTransform{};
}

void registerFloatingSection() {
    resetFloatingSection();
    registerCommand(commandPasteFloating, [](int) { pasteFloatingSection(); });
}
