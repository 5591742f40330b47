#include "app/view.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "app/main_window.h"
#include "canvas/selector.h"
#include "core/commands.h"
#include "core/paths.h"
#include "core/state.h"
#include "quantize/palettes.h"
#include "toolkit/image_store.h"
#include "tools/histogram_window.h"
#include "tools/palette_window.h"

int minViewWidth = 800;
int minViewHeight = 450;
int desktopX = 0;
int desktopY = 0;
int desktopWidth = 0;
int desktopHeight = 0;
int frameExtraWidth = 0;
int frameExtraHeight = 0;
int maxViewWidth = 0;
int maxViewHeight = 0;
int toolBarHeight = 0;
MoverDrag moverDrag;
int currentCommand = -1;
int fitAwaitsFrame = 0;

namespace {

// The image the left of a split view shows: the document, beside a tool window's preview.
const Image* splitSource(const Image& shown) {
    if (splitColumn < 0) return nullptr;
    const Image* source = findImage(viewImage);
    return source && source != &shown ? source : nullptr;
}

}  // namespace

void paintCanvas(const Image& shown) {
    Image* buffer = canvasBuffer(canvas);
    if (!buffer) return;
    const ViewTransform view = currentView();
    ViewDraw how;
    how.background = canvasBackground | alphaMask;
    if (splitColumn < 0) {
        drawThroughView(*buffer, shown, view, how);
        updateCanvas(canvas);
        return;
    }
    const int divider = splitDividerX();
    ViewDraw left = how, right = how;
    left.clipRight = divider;
    right.clipLeft = divider;
    const Image* source = splitSource(shown);
    drawThroughView(*buffer, source ? *source : shown, view, left);
    drawThroughView(*buffer, shown, view, right);
    if (divider >= 0 && divider < buffer->width) {
        fillBox(*buffer, divider, 0, 1, buffer->height, splitDividerColour | alphaMask);
    }
    updateCanvas(canvas);
}

int splitDividerX() {
    const ViewTransform view = currentView();
    return std::clamp(view.canvasX(splitColumn), 0, std::max(view.canvasW, 0));
}

void measureWindowFrame() {
    // The frame is known only once the window is shown: until then it measures 0 and
    // would let a large image's window run off the desktop.
    int extraW = windowWidth(mainWindow, false) - windowWidth(mainWindow, true);
    int extraH = windowHeight(mainWindow, false) - windowHeight(mainWindow, true);
    if (extraW > 0) frameExtraWidth = extraW;
    if (extraH > 0) frameExtraHeight = extraH;
    maxViewWidth = desktopWidth - frameExtraWidth;
    maxViewHeight = desktopHeight - frameExtraHeight - menuBarHeightOf(mainMenuBar) -
                    toolBarHeight - statusBarHeightOf(mainStatusBar);
}

int scrollFor(int imageSize, int canvasSize, int pan) {
    if (imageSize > canvasSize) return (imageSize - canvasSize) / 2;
    if (imageSize < canvasSize) return pan;
    return 0;
}

std::string fileStatusText(const std::string& path, int w, int h) {
    std::string text =
        filePart(path) + "  |  (" + std::to_string(w) + " x " + std::to_string(h) + ")";
    if (!(viewZoom == actualPixels)) text += "  |  " + zoomText(viewZoom);
    return text;
}

std::string selectionStatusText() {
    if (!selection.active) return "";
    // In image pixels, whatever the zoom.
    Rect r = selectionImageRect();
    int w = r.width(), h = r.height();
    char ratio[64];
    std::snprintf(ratio, sizeof ratio, "%.5f",
                  static_cast<double>(static_cast<float>(w) / static_cast<float>(h)));
    return "Size = " + std::to_string(w) + " x " + std::to_string(h) + " | x/y ratio = " + ratio +
           " | xLeft = " + std::to_string(r.left) + " | yTop = " + std::to_string(r.top) +
           " | xRight = " + std::to_string(r.right) + " | yBottom = " + std::to_string(r.bottom);
}

void statusSelectionField() {
    if (cursorMode != selectorMode) return;
    setStatusBarText(mainStatusBar, selectionStatusField, selectionStatusText());
}

void refreshView(int image, int keepSelection) {
    if (selection.active && !keepSelection) {
        clearSelection();
        statusSelectionField();
    }
    Image* shown = findImage(image);
    if (!shown) return;
    if (canvasBuffer(canvas)) {
        paintCanvas(*shown);
        setCanvasImage(canvas, image);
    }
    statusSelectionField();
    setStatusBarText(mainStatusBar, fileStatusField,
                     fileStatusText(currentFilePath, shown->width, shown->height));
    if (keepSelection) drawSelectionFrame();
    histogramRefresh();
    paletteRefresh();
}

void placeView() {
    const ViewTransform view = currentView();
    setSelectionBounds();
    imageExceedsView = (view.drawnW() > view.canvasW || view.drawnH() > view.canvasH) ? 1 : 0;
    scrollX = scrollFor(view.drawnW(), view.canvasW, panX);
    scrollY = scrollFor(view.drawnH(), view.canvasH, panY);
    if (imageExceedsView == 1 && cursorMode == moverMode) {
        setCanvasCursor(canvas, cursorHand);
    } else if (cursorMode == selectorMode) {
        setCanvasCursor(canvas, cursorCross);
    } else {
        setCanvasCursor(canvas, cursorDefault);
    }
}

void layoutView() {
    int ww = windowWidth(mainWindow);
    int ah = windowHeight(mainWindow) - statusBarHeightOf(mainStatusBar) -
             menuBarHeightOf(mainMenuBar) - toolBarHeight;
    resizeControl(canvas, 0, toolBarHeight, ww, std::max(ah, 1));
    panX = panY = 0;
    moverDrag.dragging = 0;
    if (Image* buffer = canvasBuffer(canvas)) {
        viewCanvasWidth = buffer->width;
        viewCanvasHeight = buffer->height;
    }
    if (findImage(viewImage) && canvasBuffer(canvas)) {
        placeView();
    } else if (cursorMode == selectorMode) {
        setCanvasCursor(canvas, cursorCross);
    } else {
        setCanvasCursor(canvas, imageExceedsView == 1 ? cursorHand : cursorDefault);
    }
    refreshView(viewImage, 0);
}

void fitWindowToImage(int image) {
    if (getWindowState(mainWindow) == windowMaximized) {
        layoutView();
        return;
    }
    Image* shown = findImage(image);
    if (shown) {
        measureWindowFrame();
        // Fitted before the window manager framed the window: fitted again once it has,
        // or the frame would push the title bar off the desktop.
        fitAwaitsFrame = frameExtraWidth <= 0 && frameExtraHeight <= 0 ? 1 : 0;
        // The window holds the image as the view draws it, in the window's own units.
        ViewTransform view = currentView();
        const double scale = canvasScale(canvas);
        const int drawnW = static_cast<int>(std::ceil(view.drawnW() / scale));
        const int drawnH = static_cast<int>(std::ceil(view.drawnH() / scale));
        int w = std::max(std::min(drawnW, maxViewWidth), minViewWidth);
        int h = std::max(std::min(drawnH, maxViewHeight), minViewHeight);
        h += menuBarHeightOf(mainMenuBar) + statusBarHeightOf(mainStatusBar) + toolBarHeight;
        resizeWindow(mainWindow, desktopX + (desktopWidth - w - frameExtraWidth) / 2,
                     desktopY + (desktopHeight - h - frameExtraHeight) / 2, w, h);
    }
    layoutView();
}

int analysisSource() {
    if (selection.active) {
        if (grabSelection(selectionImage)) return selectionImage;
        return viewImage;
    }
    return previewImage(true);
}

void windowFramed() {
    if (fitAwaitsFrame) fitWindowToImage(viewImage);
}

void histogramRefresh() {
    if (histogramShown == 1) {
        showHistogram(analysisSource());
    } else if (currentCommand == commandHistogramMenu || currentCommand == commandHistogramToggle) {
        showHistogram(-1);
    }
}

void paletteRefresh() {
    if (paletteShown == 1) {
        showAnalysisToggles();
        int source = extractPaletteOf(analysisSource());
        if (source >= 0) showPalette(extractedPalette, source);
    } else if (currentCommand == commandPaletteMenu || currentCommand == commandPaletteToggle) {
        postEvent(eventCloseWindow, paletteWindow);
    }
}

int extractPaletteOf(int image) {
    int source = image;
    // The selection is grabbed afresh unless the caller just did.
    if (selection.active && image != selectionImage && grabSelection(selectionImage)) {
        source = selectionImage;
    }
    Image* pixels = findImage(source);
    if (!pixels) return -1;
    extractPalette(*pixels, selection.active == 1);
    return source;
}

void showAnalysisToggles() {
    setToolBarButtonState(mainToolBar, commandHistogramToggle, histogramShown == 1);
    setMenuItemChecked(mainMenuBar, commandHistogramMenu, histogramShown == 1);
    setToolBarButtonState(mainToolBar, commandPaletteToggle, paletteShown == 1);
    setMenuItemChecked(mainMenuBar, commandPaletteMenu, paletteShown == 1);
}

void registerAnalysisCommands() {
    // The menu item and the tool-bar button of each window share one flag.
    registerCommands({commandHistogramMenu, commandHistogramToggle}, [](int) {
        histogramShown ^= 1;
        histogramRefresh();
    });
    registerCommands({commandPaletteMenu, commandPaletteToggle}, [](int) {
        paletteShown ^= 1;
        paletteRefresh();
    });
}

void canvasHandler(const Event& event) {
    // A floating section takes the canvas's mouse for itself.
    if (event.kind != eventControl || floatingActive) return;
    if (event.type == controlWheel) {
        wheelOnCanvas(event);
        return;
    }
    if (splitColumn >= 0 && event.type != controlRightButtonUp) {
        splitDrag(event);
        return;
    }
    MoverDrag& d = moverDrag;
    switch (event.type) {
        case controlRightButtonUp: {
            Event e;
            e.kind = eventRightClick;
            e.window = mainWindow;
            e.object = canvas;
            e.x = event.x;
            e.y = event.y;
            postEvent(e);  // the loop shows the pop-up menu where the click was
            break;
        }
        case controlLeftButtonDown: {
            if (imageExceedsView != 1 || cursorMode != moverMode) break;
            if (!findImage(viewImage) || !canvasBuffer(canvas)) break;
            const ViewTransform view = currentView();
            d.dragging = 1;
            d.lastX = event.x;
            d.lastY = event.y;
            d.canvasW = view.canvasW;
            d.canvasH = view.canvasH;
            d.imageW = view.drawnW();
            d.imageH = view.drawnH();
            d.loX = std::min(0, d.canvasW - d.imageW);
            d.hiX = std::max(0, d.canvasW - d.imageW);
            d.loY = std::min(0, d.canvasH - d.imageH);
            d.hiY = std::max(0, d.canvasH - d.imageH);
            break;
        }
        case controlMouseMove: {
            if (!d.dragging) break;
            const ViewTransform moved =
                pannedBy(currentView(), event.x - d.lastX, event.y - d.lastY);
            d.lastX = event.x;
            d.lastY = event.y;
            panX = moved.panX;
            panY = moved.panY;
            if (Image* image = findImage(previewImage())) paintCanvas(*image);
            break;
        }
        case controlLeftButtonUp:
            if (!d.dragging) break;
            d.dragging = 0;
            scrollX = scrollFor(d.imageW, d.canvasW, panX);
            scrollY = scrollFor(d.imageH, d.canvasH, panY);
            break;
        default:
            break;
    }
}

void resetView() {
    moverDrag = MoverDrag{};
    resetZoomState();
    currentCommand = -1;
    toolBarHeight = 0;
    fitAwaitsFrame = 0;
}

namespace {

class AppServices : public ViewServices {
  public:
    void refreshView(int image, int keepSelection) override { ::refreshView(image, keepSelection); }
    void fitWindowToImage(int image) override { ::fitWindowToImage(image); }
    void refreshAnalysis() override {
        histogramRefresh();
        paletteRefresh();
    }
    void refreshPalette() override { paletteRefresh(); }
    void refreshHistogram() override { histogramRefresh(); }
    void showAnalysisToggles() override { ::showAnalysisToggles(); }
    void setUndoButtons(bool undoEnabled, bool redoEnabled) override {
        disableToolBarButton(mainToolBar, commandUndo, !undoEnabled);
        disableToolBarButton(mainToolBar, commandRedo, !redoEnabled);
        // Arrow keys and the space bar reach the window's shortcuts again.
        setActiveControl(canvas);
    }
    void showNotice(const std::string& text) override {
        setStatusBarText(mainStatusBar, selectionStatusField, text);
    }
    void setSelectionStatus(const std::string& text) override {
        setStatusBarText(mainStatusBar, selectionStatusField, text);
    }
    int shownImage() override { return previewImage(); }
    int toolBarHeight() override { return ::toolBarHeight; }
};

}  // namespace

ViewServices& viewServices() {
    static AppServices instance;
    return instance;
}
