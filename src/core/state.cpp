#include "core/state.h"

#include "core/registry.h"
#include "toolkit/image_store.h"

SelectionRecord selection;
int cursorMode = moverMode;
int quitRequested = 0;
int histogramShown = 0;
int paletteShown = 0;
int floatingActive = 0;
std::string currentFilePath;
std::string baseName;
ImageMetadata documentMetadata;
int panX = 0;
int panY = 0;
int scrollX = 0;
int scrollY = 0;
int imageExceedsView = 0;
Zoom viewZoom = actualPixels;
int viewCanvasWidth = 0;
int viewCanvasHeight = 0;
SelectionPin selectionPin;
int splitColumn = -1;

void setSelectionBounds() {
    const Rect e = currentView().extent();
    selection.minX = e.left;
    selection.maxX = e.right;
    selection.minY = e.top;
    selection.maxY = e.bottom;
}

ViewTransform currentView() {
    ViewTransform t;
    t.canvasW = viewCanvasWidth;
    t.canvasH = viewCanvasHeight;
    if (const Image* view = findImage(viewImage)) {
        t.imageW = view->width;
        t.imageH = view->height;
    }
    t.zoom = viewZoom;
    t.panX = panX;
    t.panY = panY;
    // Before any layout the canvas is the drawn image itself: canvas and image coordinates
    // then agree at 100 %.
    if (t.canvasW <= 0) t.canvasW = t.drawnW();
    if (t.canvasH <= 0) t.canvasH = t.drawnH();
    return t;
}

namespace {

Rect selectionCanvasRect() {
    return Rect{selection.x1, selection.y1, selection.x2, selection.y2};
}

bool sameView(const ViewTransform& a, const ViewTransform& b) {
    return a.canvasW == b.canvasW && a.canvasH == b.canvasH && a.imageW == b.imageW &&
           a.imageH == b.imageH && a.zoom == b.zoom && a.panX == b.panX && a.panY == b.panY;
}

}  // namespace

void pinSelection(const Rect& r) {
    const ViewTransform view = currentView();
    Rect c = view.canvasRect(r);
    selection.x1 = c.left;
    selection.y1 = c.top;
    selection.x2 = c.right;
    selection.y2 = c.bottom;
    selectionPin = SelectionPin{true, c, r, view};
}

int64_t quantizePreviewEntry = 0;

Rect selectionImageRect() {
    const ViewTransform view = currentView();
    if (selectionPin.set && selectionPin.canvas == selectionCanvasRect() &&
        sameView(selectionPin.view, view)) {
        return selectionPin.image;
    }
    return view.imageRect(selectionCanvasRect());
}

Rect operationRect(const Image& image) {
    if (selection.active == 1) return selectionImageRect();
    return wholeImage(image);
}

void resetCoreState() {
    selection = SelectionRecord{};
    cursorMode = moverMode;
    quitRequested = histogramShown = paletteShown = 0;
    quantizePreviewEntry = 0;
    resetToolWindowsOpen();
    floatingActive = 0;
    currentFilePath.clear();
    baseName.clear();
    documentMetadata.clear();
    panX = panY = scrollX = scrollY = imageExceedsView = 0;
    viewZoom = actualPixels;
    viewCanvasWidth = viewCanvasHeight = 0;
    selectionPin = SelectionPin{};
    splitColumn = -1;
}
