#include "app/operations.h"

#include <string>

#include "adjust/blur.h"
#include "adjust/colour_ops.h"
#include "adjust/effects.h"
#include "app/view.h"
#include "canvas/selector.h"
#include "core/state.h"
#include "core/undo.h"
#include "quantize/palettes.h"
#include "toolkit/gui.h"
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

void grayScale(int image) {
    runInPlaceOperation(image, grayScalePixels);
}

void negative(int image) {
    runInPlaceOperation(image, negativePixels);
}

void applyEffectCommand(int commandId) {
    if (anyToolWindowOpen()) return;
    Image* view = findImage(viewImage);
    if (!view) return;
    // With a selection the passes see only the rectangle, as an image of its own.
    Rect rect = clipToImage(operationRect(*view), *view);
    if (!rect.empty()) applyEffect(*view, rect, commandId);
    refreshView(viewImage, 1);
    takeSnapshot(viewImage);
}

int gaussianBlur(int image) {
    Image* target = findImage(image);
    if (!target || anyToolWindowOpen()) return 0;
    Rect rect = clipToImage(operationRect(*target), *target);
    if (!rect.empty()) blurRect(*target, rect);
    takeSnapshot(image);
    return 1;
}

void showUniqueColours() {
    Image* view = findImage(viewImage);
    if (!view) return;
    int64_t count = countUniqueColours(*view);
    if (selection.active && grabSelection(workImage)) {
        count = countUniqueColours(*findImage(workImage));
        freeImage(workImage);
    }
    dialogs().messageBox("Unique colors", std::to_string(count), buttonsOk);
}
