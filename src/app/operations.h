#pragma once
// The frame every in-place operation on a numbered image follows: the rectangle from the
// selection, the pixel work, an undo snapshot and the palette refresh. The caller then
// refreshes the view keeping the selection.

#include <functional>

#include "core/rect.h"

// Returns false (and does nothing) when the image does not exist.
bool runInPlaceOperation(int image, const std::function<void(Image&, const Rect&)>& work);

void grayScale(int image);
void negative(int image);
