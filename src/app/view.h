#pragma once
// The image view: the document drawn unscaled and centred on the canvas, dragged in mover
// mode, the window fitted around it, and the two status-bar fields.

#include "core/registry.h"
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

void refreshView(int image, int keepSelection);
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

// The view's services for the layers below: refresh, fit, analysis, undo buttons, notices.
ViewServices& viewServices();
