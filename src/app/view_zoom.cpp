// Zoom and scrolling of the view, and the divider of a split view. The mapping itself is
// core/view_transform; this keeps the view's globals, the selection and the canvas in step
// with it.

#include <algorithm>

#include "app/main_window.h"
#include "app/view.h"
#include "canvas/selector.h"
#include "core/commands.h"
#include "core/registry.h"
#include "core/state.h"
#include "toolkit/image_store.h"

int fitLargeImages = 0;

namespace {

// Pixels a wheel notch scrolls, and the angle of one notch.
constexpr int wheelScrollStep = 60;
constexpr int wheelNotch = 120;

// Ctrl+wheel: how much of a notch has turned so far (touch pads send small steps).
int wheelZoomRest = 0;
// A left drag on a split view's canvas is under way.
bool splitDragging = false;

// Draws the shown image again for the view as it stands, without the analysis windows:
// the pixels have not changed.
void redrawView() {
    placeView();
    const int shown = services().shownImage();
    if (Image* image = findImage(shown)) {
        paintCanvas(*image);
        setCanvasImage(canvas, shown);
        setStatusBarText(mainStatusBar, fileStatusField,
                         fileStatusText(currentFilePath, image->width, image->height));
    }
    drawSelectionFrame();
    statusSelectionField();
}

// Applies a new view: the selection keeps its image pixels and is shown where they now are.
void applyView(const ViewTransform& view) {
    const bool selected = selection.active == 1;
    const Rect kept = selected ? selectionImageRect() : Rect{};
    moverDrag.dragging = 0;
    viewZoom = view.zoom;
    panX = view.panX;
    panY = view.panY;
    if (selected) pinSelection(kept);
    redrawView();
}

bool imageLargerThanView() {
    const ViewTransform view = currentView();
    return view.imageW > view.canvasW || view.imageH > view.canvasH;
}

}  // namespace

void zoomView(const Zoom& zoom, int px, int py) {
    if (!findImage(viewImage) || !canvasBuffer(canvas)) return;
    applyView(zoomedAbout(currentView(), zoom, px, py));
}

void panView(int dx, int dy) {
    if (!findImage(viewImage) || !canvasBuffer(canvas)) return;
    const ViewTransform before = currentView();
    const ViewTransform after = pannedBy(before, dx, dy);
    if (after.panX == before.panX && after.panY == before.panY) return;
    applyView(after);
}

void zoomIn() {
    zoomView(zoomStep(viewZoom, 1), viewCanvasWidth / 2, viewCanvasHeight / 2);
}

void zoomOut() {
    zoomView(zoomStep(viewZoom, -1), viewCanvasWidth / 2, viewCanvasHeight / 2);
}

void fitToWindow() {
    const Image* image = findImage(viewImage);
    if (!image || !canvasBuffer(canvas)) return;
    if (imageLargerThanView()) fitLargeImages = 1;
    ViewTransform view = currentView();
    view.zoom = fitZoom(image->width, image->height, view.canvasW, view.canvasH);
    view.panX = view.panY = 0;
    applyView(view);
}

void showActualPixels() {
    if (!findImage(viewImage)) return;
    if (imageLargerThanView()) fitLargeImages = 0;
    zoomView(actualPixels, viewCanvasWidth / 2, viewCanvasHeight / 2);
}

void wheelOnCanvas(const Event& event) {
    if (event.modifiers & modifierCtrl) {
        wheelZoomRest += event.delta;
        while (std::abs(wheelZoomRest) >= wheelNotch) {
            const int direction = wheelZoomRest > 0 ? 1 : -1;
            wheelZoomRest -= direction * wheelNotch;
            zoomView(zoomStep(viewZoom, direction), event.x, event.y);
        }
        return;
    }
    const int step = event.delta * wheelScrollStep / wheelNotch;
    if (event.wheelHorizontal || (event.modifiers & modifierShift)) {
        panView(step, 0);
    } else {
        panView(0, step);
    }
}

void zoomForNewDocument() {
    viewZoom = actualPixels;
    panX = panY = 0;
    selectionPin = SelectionPin{};
    const Image* image = findImage(viewImage);
    if (!image || !fitLargeImages) return;
    // Compared with the largest view the window can give it.
    const double scale = canvasScale(canvas);
    const int roomW = static_cast<int>(std::max(maxViewWidth, minViewWidth) * scale);
    const int roomH = static_cast<int>(std::max(maxViewHeight, minViewHeight) * scale);
    if (image->width > roomW || image->height > roomH) {
        viewZoom = fitZoom(image->width, image->height, roomW, roomH);
    }
}

void splitDrag(const Event& event) {
    if (event.type == controlLeftButtonDown) splitDragging = true;
    const bool wasDragging = splitDragging;
    if (event.type == controlLeftButtonUp) splitDragging = false;
    if (!wasDragging || (event.type != controlLeftButtonDown && event.type != controlMouseMove &&
                         event.type != controlLeftButtonUp)) {
        return;
    }
    const Image* image = findImage(viewImage);
    if (!image) return;
    const ViewTransform view = currentView();
    // The divider goes to the left edge of the image column under the pointer.
    const int column = std::clamp(view.firstImageX(event.x), 0, image->width);
    if (column == splitColumn) return;
    splitColumn = column;
    if (Image* shown = findImage(services().shownImage())) paintCanvas(*shown);
    drawSelectionFrame();
}

void registerZoomCommands() {
    registerCommand(commandZoomIn, [](int) { zoomIn(); });
    registerCommand(commandZoomOut, [](int) { zoomOut(); });
    registerCommand(commandFitToWindow, [](int) { fitToWindow(); });
    registerCommand(commandActualPixels, [](int) { showActualPixels(); });
}

void resetZoomState() {
    wheelZoomRest = 0;
    splitDragging = false;
    fitLargeImages = 0;
}
