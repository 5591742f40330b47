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

// The module's own state besides the selection record.
struct SelectorState {
    int buttonDown = 0;          // 1 between a left press and its release on the canvas
    int savedCursor = -1;        // the canvas cursor before the selector came (-1: none)
    int scrollAreaControl = -1;  // as given to INITIALIZE_SELECTOR; only checked
    // The fixed corner of a rectangle being made or resized; the top-left corner of one
    // being moved.
    int anchorX = 0;
    int anchorY = 0;
    // The outline drawn during a drag; the size is negative left of or above the anchor.
    int dragWidth = 0;
    int dragHeight = 0;
    int frameX = 0;
    int frameY = 0;
    int gripShown = 0;        // 1 while the grip square is drawn
    int movingSelection = 0;  // 1 while the drag moves the whole rectangle
    int edgeMask = 0;         // the touches* bits of the last drag step
};
extern SelectorState selectorState;

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
