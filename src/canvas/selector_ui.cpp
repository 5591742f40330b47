#include "canvas/selector.h"
#include "core/commands.h"
#include "core/registry.h"
#include "core/state.h"
#include "toolkit/image_store.h"

SelectorState selectorState;

namespace {

constexpr int mouseMoveThrottleMs = 10;
// A press counts as on the grip within this many pixels up and left of the corner: the
// grip's size plus its outline.
constexpr int gripReach = gripSize + 1;

Image* canvasPixels() {
    return canvasBuffer(selection.canvasControl);
}

void xorOutline(int x, int y, int w, int h) {
    if (Image* c = canvasPixels()) xorBox(*c, x, y, w, h, selectionFrameColour, false);
}

void xorGrip() {
    if (Image* c = canvasPixels()) {
        xorBox(*c, selection.x2 - gripSize, selection.y2 - gripSize, gripSize, gripSize,
               selectionFrameColour, true);
    }
}

void showCanvas() {
    updateCanvas(selection.canvasControl);
}

void post(int kind, int64_t type = 0) {
    Event e;
    e.kind = kind;
    e.window = mainWindow;
    e.object = selection.canvasControl;
    e.type = type;
    postEvent(e);
}

void press(int px, int py) {
    SelectorState& d = selectorState;
    d.anchorX = px;
    d.anchorY = py;
    // One past the bound: a drag starting beyond the image still takes its last column.
    if (d.anchorX < selection.minX) d.anchorX = selection.minX;
    if (d.anchorX > selection.maxX) d.anchorX = selection.maxX + 1;
    if (d.anchorY < selection.minY) d.anchorY = selection.minY;
    if (d.anchorY > selection.maxY) d.anchorY = selection.maxY + 1;
    SelectionRecord& s = selection;
    if (s.active) {
        bool onGrip = d.gripShown == 1 && s.x2 - gripReach < d.anchorX && d.anchorX < s.x2 &&
                      s.y2 - gripReach < d.anchorY && d.anchorY < s.y2;
        bool inside = s.x1 < d.anchorX && d.anchorX < s.x2 && s.y1 < d.anchorY && d.anchorY < s.y2;
        if (onGrip) {
            d.frameX = s.x1;
            d.frameY = s.y1;
            d.dragWidth = s.x2 - s.x1 + 1;
            d.dragHeight = s.y2 - s.y1 + 1;
            d.anchorX = s.x1;
            d.anchorY = s.y1;
            d.movingSelection = 0;
        } else if (inside) {
            d.movingSelection = 1;
            d.frameX = s.x1;
            d.frameY = s.y1;
            d.dragWidth = s.x2 - s.x1 + 1;
            d.dragHeight = s.y2 - s.y1 + 1;
        } else {
            drawSelectionFrame();
            s.active = 0;
            s.x1 = s.x2 = d.anchorX;
            s.y1 = s.y2 = d.anchorY;
        }
    }
    if (!s.active) {
        s.x1 = s.x2 = d.anchorX;
        s.y1 = s.y2 = d.anchorY;
    }
}

void dragTo(int px, int py) {
    SelectorState& d = selectorState;
    delay(mouseMoveThrottleMs);
    if (d.buttonDown == 0) return;
    SelectionRecord& s = selection;
    if (s.active) {
        xorOutline(d.frameX, d.frameY, d.dragWidth, d.dragHeight);
        if (d.gripShown == 1) {
            d.gripShown = 0;
            xorGrip();
        }
    } else {
        s.active = 1;
        d.frameX = d.anchorX;
        d.frameY = d.anchorY;
        d.gripShown = 0;
    }
    px = std::clamp(px, s.minX, std::max(s.minX, s.maxX));
    py = std::clamp(py, s.minY, std::max(s.minY, s.maxY));
    d.edgeMask = 0;
    if (d.movingSelection == 0) {
        if (px == s.minX) d.edgeMask |= touchesMinX;
        if (px == s.maxX) d.edgeMask |= touchesMaxX;
        if (py == s.minY) d.edgeMask |= touchesMinY;
        if (py == s.maxY) d.edgeMask |= touchesMaxY;
        d.dragWidth = px - d.anchorX + (px > d.anchorX ? 1 : 0);
        d.dragHeight = py - d.anchorY + (py > d.anchorY ? 1 : 0);
    } else {
        // Centred on the pointer; floor division, the width may be negative.
        auto floorHalf = [](int v) { return v >= 0 ? v / 2 : -((-v + 1) / 2); };
        d.anchorX = px - floorHalf(d.dragWidth);
        d.anchorY = py - floorHalf(d.dragHeight);
        if (d.anchorX < s.minX) {
            d.anchorX = s.minX;
            d.edgeMask |= touchesMinX;
        }
        if (d.anchorY < s.minY) {
            d.anchorY = s.minY;
            d.edgeMask |= touchesMinY;
        }
        if (d.anchorX > s.maxX - d.dragWidth + 1) {
            d.anchorX = s.maxX - d.dragWidth + 1;
            d.edgeMask |= touchesMaxX;
        }
        if (d.anchorY > s.maxY - d.dragHeight + 1) {
            d.anchorY = s.maxY - d.dragHeight + 1;
            d.edgeMask |= touchesMaxY;
        }
    }
    xorOutline(d.anchorX, d.anchorY, d.dragWidth, d.dragHeight);
    d.frameX = d.anchorX;
    d.frameY = d.anchorY;
    showCanvas();
    s.x1 = d.anchorX;
    s.y1 = d.anchorY;
    s.x2 = d.anchorX + d.dragWidth - 1;
    s.y2 = d.anchorY + d.dragHeight - 1;
    post(selectionDraggedEvent, d.edgeMask);
}

// Above 100 % a drag ends between the edges of image pixels: the frame goes round the
// whole pixels it touches, as the selection's image rectangle counts them.
void snapToPixels() {
    SelectorState& d = selectorState;
    SelectionRecord& s = selection;
    const ViewTransform view = currentView();
    // At 100 % nothing moves; below it canvas pixels are whole boxes of image pixels already.
    if (!view.zoom.enlarges() || view.zoom == actualPixels) return;
    const Rect was{s.x1, s.y1, s.x2, s.y2};
    const Rect snapped = view.canvasRect(view.imageRect(was));
    if (snapped == was) return;
    xorOutline(d.frameX, d.frameY, d.dragWidth, d.dragHeight);
    s.x1 = snapped.left;
    s.y1 = snapped.top;
    s.x2 = snapped.right;
    s.y2 = snapped.bottom;
    d.frameX = d.anchorX = s.x1;
    d.frameY = d.anchorY = s.y1;
    d.dragWidth = s.x2 - s.x1 + 1;
    d.dragHeight = s.y2 - s.y1 + 1;
    xorOutline(d.frameX, d.frameY, d.dragWidth, d.dragHeight);
}

void release() {
    SelectorState& d = selectorState;
    SelectionRecord& s = selection;
    d.movingSelection = 0;
    if (s.x1 > s.x2) {
        std::swap(s.x1, s.x2);
        s.x1 += 1;
        s.x2 -= 1;
        d.anchorX += d.dragWidth;
        d.frameX = d.anchorX;
        d.dragWidth = -d.dragWidth;
    }
    if (s.y1 > s.y2) {
        std::swap(s.y1, s.y2);
        s.y1 += 1;
        s.y2 -= 1;
        d.anchorY += d.dragHeight;
        d.frameY = d.anchorY;
        d.dragHeight = -d.dragHeight;
    }
    bool click = s.x1 == s.x2 && s.y1 == s.y2;
    if (!click && s.x1 <= s.x2 && s.y1 <= s.y2) snapToPixels();
    // A drag that ends in its anchor's column or row covers no pixels: it is dropped like
    // a click rather than kept as an empty selection.
    bool empty = s.x1 > s.x2 || s.y1 > s.y2;
    if (click || empty) {
        // Erase an outline that the drag left (a one-pixel drag up and left ends here).
        if (s.active) xorOutline(d.frameX, d.frameY, d.dragWidth, d.dragHeight);
        s.active = 0;
        d.gripShown = 0;
        if (empty) {
            s.x1 = s.x2;
            s.y1 = s.y2;
        }
        showCanvas();
        post(selectionClearedEvent);
        return;
    }
    if (d.gripShown == 0) {
        xorGrip();
        d.gripShown = 1;
        showCanvas();
    }
    post(selectionDoneEvent);
}

}  // namespace

int INITIALIZE_SELECTOR(int canvasNumber, int scrollArea) {
    selectorState.scrollAreaControl = scrollArea;
    // The program has no scroll-area controls, so any number other than -1 is refused.
    bool scrollAreaError = scrollArea != -1;
    int result = 0;
    if (isControl(canvasNumber) && !scrollAreaError && isCanvas(canvasNumber)) {
        if (canvasNumber != selection.canvasControl) {
            selectorState.savedCursor = canvasCursor(canvasNumber);
            if (selectorState.savedCursor != -1) setCanvasCursor(canvasNumber, cursorCross);
            if (isControl(selection.canvasControl)) {
                unbindControlEvent(selection.canvasControl, selectorCallback);
            }
            bindControlEvent(canvasNumber, selectorCallback);
        }
        bool hadSelection = selection.active && selection.canvasControl == canvasNumber;
        if (hadSelection) drawSelectionFrame();
        selection.canvasControl = canvasNumber;
        selection.active = 0;
        selection.x1 = selection.x2 = selection.y1 = selection.y2 = 0;
        selection.minX = selection.minY = 0;
        Image* buffer = canvasBuffer(canvasNumber);
        selection.maxX = (buffer ? buffer->width : controlWidth(canvasNumber)) - 1;
        selection.maxY = (buffer ? buffer->height : controlHeight(canvasNumber)) - 1;
        selectorState.buttonDown = 0;
        result = 1;
        // The status bar and the analysis windows still describe the dropped rectangle.
        if (hadSelection) post(selectionClearedEvent);
    }
    if (scrollAreaError) {
        dialogs().messageBox("INITIALIZE_SELECTOR()",
                             "Error! Parameter is not a valid ScrollArea number.", buttonsOk);
    } else if (result == 0) {
        dialogs().messageBox("INITIALIZE_SELECTOR()",
                             "Error! Parameter is not a valid canvas number.", buttonsOk);
    }
    return result;
}

void releaseSelector() {
    if (selection.canvasControl == -1) return;
    unbindControlEvent(selection.canvasControl, selectorCallback);
    if (selection.active) clearSelection();
    if (selectorState.savedCursor != -1)
        setCanvasCursor(selection.canvasControl, selectorState.savedCursor);
    selection.canvasControl = -1;
}

void clearSelection() {
    if (!selection.active) return;
    drawSelectionFrame();
    selection.active = 0;
    selection.y1 = selection.y2;
    selection.x1 = selection.x2;
    post(selectionClearedEvent);
}

void drawSelectionFrame() {
    if (!selection.active) return;
    const SelectionRecord& s = selection;
    xorOutline(s.x1, s.y1, s.x2 - s.x1 + 1, s.y2 - s.y1 + 1);
    xorGrip();
    showCanvas();
}

int grabSelection(int image) {
    if (!selection.active) return 0;
    // The copy comes from the image's own pixels, so the frame is never part of it.
    Image* shown = findImage(canvasImage(selection.canvasControl));
    if (!shown) shown = findImage(viewImage);
    if (!shown) return 0;
    Rect r = selectionImageRect();
    if (r.empty()) return 0;
    Image part = copyRect(*shown, r.left, r.top, r.right, r.bottom);
    if (part.empty()) return 0;
    return storeImage(image, std::move(part));
}

void selectorCallback(const Event& event) {
    // The floating section has the mouse; in a split view a drag moves the divider.
    if (floatingActive || splitColumn >= 0) return;
    switch (event.type) {
        case controlLeftButtonDown:
            selectorState.buttonDown = 1;
            selectorMouse(1, event.x, event.y);
            break;
        case controlLeftButtonUp:
            selectorState.buttonDown = 0;
            selectorMouse(0, event.x, event.y);
            break;
        case controlMouseMove:
            selectorMouse(2, event.x, event.y);
            break;
        default:
            break;
    }
}

void selectorMouse(int action, int px, int py) {
    if (action == 1)
        press(px, py);
    else if (action == 0)
        release();
    else
        dragTo(px, py);
}

void nudgeSelection(int eventId) {
    SelectionRecord& s = selection;
    if (!s.active) return;
    // One image pixel at a time, at any zoom, within the image pixels the bounds show.
    const ViewTransform view = currentView();
    Rect r = selectionImageRect();
    const Rect b = view.imageRect(Rect{s.minX, s.minY, s.maxX, s.maxY});
    switch (eventId) {
        case commandLeft:
            if (r.left > b.left) {
                --r.left;
                --r.right;
            }
            break;
        case commandRight:
            if (r.right < b.right) {
                ++r.left;
                ++r.right;
            }
            break;
        case commandUp:
            if (r.top > b.top) {
                --r.top;
                --r.bottom;
            }
            break;
        case commandDown:
            if (r.bottom < b.bottom) {
                ++r.top;
                ++r.bottom;
            }
            break;
        case commandShiftLeft:
            if (r.right > r.left + 1) --r.right;
            break;
        case commandShiftRight:
            if (r.right < b.right) ++r.right;
            break;
        case commandShiftUp:
            if (r.bottom > r.top + 1) --r.bottom;
            break;
        case commandShiftDown:
            if (r.bottom < b.bottom) ++r.bottom;
            break;
        default:
            return;
    }
    if (!(r == selectionImageRect())) pinSelection(r);
    services().refreshView(services().shownImage(), 1);
}

void switchCursorMode(int mode) {
    if (mode != selectorMode) {
        releaseSelector();
        cursorMode = moverMode;
        setCanvasCursor(canvas, imageExceedsView == 1 ? cursorHand : cursorDefault);
        return;
    }
    INITIALIZE_SELECTOR(canvas, -1);
    cursorMode = selectorMode;
    if (!findImage(viewImage) || !canvasBuffer(canvas)) return;
    // The bounds are the image's extent on the canvas, pan and zoom included.
    setSelectionBounds();
}

void resetSelector() {
    selectorState = {};
}
