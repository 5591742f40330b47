#pragma once
// The selection rectangle: dragged on the canvas in selector mode, drawn by exclusive-or so
// it can be shown and removed without repainting the image.

#include "toolkit/gui.h"

// Program events posted to the main window.
inline constexpr int selectionDoneEvent = 0x1002F;
inline constexpr int selectionClearedEvent = 0x10030;
inline constexpr int selectionDraggedEvent = 0x10031;

inline constexpr uint32_t selectionFrameColour = 0x888888;
inline constexpr int gripSize = 8;

// Edge bits of selectionDraggedEvent's type.
inline constexpr int touchesMinX = 1;
inline constexpr int touchesMaxX = 2;
inline constexpr int touchesMinY = 4;
inline constexpr int touchesMaxY = 8;

extern int buttonDown;
extern int savedCursor;
extern int scrollAreaControl;
extern int anchorX;
extern int anchorY;
extern int dragWidth;
extern int dragHeight;
extern int frameX;
extern int frameY;
extern int gripShown;
extern int movingSelection;
extern int edgeMask;

int INITIALIZE_SELECTOR(int canvasNumber, int scrollArea);
void releaseSelector();
void clearSelection();
void drawSelectionFrame();
// Copies the pixels under the selection of the image shown on the canvas into `image`
// (-1: a free number); returns the image's number, 0 when nothing could be copied.
int grabSelection(int image);
void selectorCallback(const Event& event);
// action: 1 press, 0 release, 2 move; (px, py) the pointer on the canvas.
void selectorMouse(int action, int px, int py);
// Arrow keys move the selection by one pixel, Shift+arrows move its right or bottom edge.
void nudgeSelection(int eventId);

// Mover (mode 1) or selector (mode 0).
void switchCursorMode(int mode);

void resetSelector();
