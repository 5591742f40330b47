#pragma once
// The Rotate menu, crop, and the turns of a floating section: the pixel work of
// canvas/geometry.h run through the operation frame on a numbered image.

#include "core/operation.h"

// Turns `image` a quarter clockwise (1) or counter-clockwise (0), ignoring any selection.
// The document then gets one undo step and the window is fitted to it; a floating
// section's image (`workImage`) gets neither. 1 when done, 0 when nothing was done.
int rotateQuarter(int image, int clockwise);
// Half turn of the selection (or the whole image); colours only.
void rotateHalf(int image);
// Top-bottom and left-right reversal of the selection (or the whole image); no undo step
// while a section floats.
void flipImage(int image);
void mirrorImage(int image);
// Replaces `image` by the selected rectangle and returns to mover mode: 1 when cropped,
// 0 when there was no selection or no image.
int cropToSelection(int image);

// The frame of work that may change the image's size: the whole image, the undo step, then
// the window fitted to the result.
OperationFrame resizingFrame(int image);

void registerGeometryCommands();
