#pragma once
// The image view: the document drawn unscaled and centred on the canvas, dragged in mover
// mode, the window fitted around it, and the two status-bar fields.

#include "core/registry.h"
#include "core/view_transform.h"
#include "toolkit/gui.h"

// Window geometry, measured when the main window is built.
extern int minViewWidth;
extern int minViewHeight;
extern int desktopX;  // top-left corner of the usable desktop area
extern int desktopY;
extern int desktopWidth;
extern int desktopHeight;
extern int frameExtraWidth;
extern int frameExtraHeight;
extern int maxViewWidth;
extern int maxViewHeight;
extern int toolBarHeight;

struct MoverDrag {
    int dragging = 0;
    int lastX = 0;
    int lastY = 0;
    int canvasW = 0;
    int canvasH = 0;
    int imageW = 0;
    int imageH = 0;
    int loX = 0;
    int hiX = 0;
    int loY = 0;
    int hiY = 0;
};
extern MoverDrag moverDrag;

// The command being dispatched (-1 outside dispatch); the histogram and palette refreshes
// close their windows only when it is their own command.
extern int currentCommand;

// 1 while the window was last fitted to the image before its frame was known.
extern int fitAwaitsFrame;

// The canvas's divider in a split view.
inline constexpr uint32_t splitDividerColour = 0xFFFFFF;

void refreshView(int image, int keepSelection);
// Draws `shown` on the canvas through the view (beside the document in a split view).
void paintCanvas(const Image& shown);
// Canvas column of a split view's divider.
int splitDividerX();
// A left drag on the canvas of a split view moves its divider, and does nothing else.
void splitDrag(const Event& event);
// Selection bounds, imageExceedsView, scrollX/Y and the cursor for the view as it stands.
void placeView();
void layoutView();
void fitWindowToImage(int image);
// frameExtraWidth/Height (outer minus inner size) and the largest view that fits the desktop.
void measureWindowFrame();
// The window manager framed the main window: a fit made without the frame is made again.
void windowFramed();
void statusSelectionField();
void histogramRefresh();
void paletteRefresh();
// Collects the colours of `image` (or of the selection) for the palette tool and, without a
// selection, makes them the current palette. Returns the image the colours came from, -1
// when there is none.
int extractPaletteOf(int image);
// The histogram and palette toggles and check marks follow histogramShown and paletteShown.
void showAnalysisToggles();
// The histogram and palette commands and windows.
void registerAnalysisCommands();
void canvasHandler(const Event& event);
// The text of status field 0 for an image of w x h shown under `path`.
std::string fileStatusText(const std::string& path, int w, int h);
// The text of status field 1 for the current selection ("" without one).
std::string selectionStatusText();
// scrollX or scrollY for an image of `imageSize` on a canvas of `canvasSize`.
int scrollFor(int imageSize, int canvasSize, int pan);
// The image the analysis windows show: the selection, a tool window's preview, or the
// document.
int analysisSource();
void resetView();

// ---- Zoom ----
// Zooms to `zoom` keeping the image point under canvas point (px, py) where it is; the
// selection stays on its image pixels.
void zoomView(const Zoom& zoom, int px, int py);
// Moves the view by (dx, dy) canvas pixels within its limits.
void panView(int dx, int dy);
void zoomIn();
void zoomOut();
void fitToWindow();
void showActualPixels();
// Ctrl+wheel zooms about the pointer; the wheel alone scrolls (Shift: sideways).
void wheelOnCanvas(const Event& event);
// A new document (load, new image, paste as new) opens at 100 %, or fitted when it is
// larger than the view and the user last chose Fit to Window for such an image.
void zoomForNewDocument();
// 1 when Fit to Window was last chosen for an image larger than the view (remembered).
extern int fitLargeImages;
void registerZoomCommands();
void resetZoomState();

// The view's services for the layers below: refresh, fit, analysis, undo buttons, notices.
ViewServices& viewServices();
