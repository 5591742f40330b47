#pragma once
// The commands that change the document in place. Each follows one frame: the rectangle
// from the selection, the pixel work, an undo snapshot and the analysis refresh; the
// dispatcher then refreshes the view keeping the selection.

#include <functional>

#include "core/rect.h"

// Returns false (and does nothing) when the image does not exist.
bool runInPlaceOperation(int image, const std::function<void(Image&, const Rect&)>& work);

void grayScale(int image);
void negative(int image);

// One of the fifteen effects (command 50..64) on the document or its selection; refused
// while a tool window is open.
void applyEffectCommand(int commandId);

// The Gaussian blur of the document or its selection: 1 when done, 0 when refused.
int gaussianBlur(int image);

// The "Unique colors" message: the distinct colours of the document or its selection.
void showUniqueColours();
