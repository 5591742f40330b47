#include "app/operations.h"

#include "adjust/colour_ops.h"
#include "app/view.h"
#include "core/state.h"
#include "core/undo.h"
#include "toolkit/image_store.h"

bool runInPlaceOperation(int image, const std::function<void(Image&, const Rect&)>& work) {
    Image* target = findImage(image);
    if (!target) return false;
    Rect rect = clipToImage(operationRect(*target), *target);
    if (!rect.empty()) work(*target, rect);
    takeSnapshot(image);
    paletteRefresh();
    return true;
}

void grayScale(int image) { runInPlaceOperation(image, grayScalePixels); }

void negative(int image) { runInPlaceOperation(image, negativePixels); }
