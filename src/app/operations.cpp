#include "app/operations.h"

#include <string>

#include "adjust/blur.h"
#include "adjust/colour_ops.h"
#include "adjust/effects.h"
#include "canvas/selector.h"
#include "core/commands.h"
#include "core/registry.h"
#include "core/state.h"
#include "quantize/palettes.h"
#include "toolkit/gui.h"
#include "toolkit/image_store.h"

namespace {

OperationFrame onImage(OperationFrame frame, int image) {
    frame.image = image;
    return frame;
}

}  // namespace

void grayScale(int image) {
    runOperation(onImage(neverRefusedFrame, image), grayScalePixels);
}

void negative(int image) {
    runOperation(onImage(neverRefusedFrame, image), negativePixels);
}

int gaussianBlur(int image) {
    bool done = runOperation(onImage(effectFrame, image), [](Image& target, const Rect& rect) {
        blurRect(target, rect);
        return true;
    });
    return done ? 1 : 0;
}

void applyEffectCommand(int commandId) {
    // With a selection the passes see only the rectangle, as an image of its own.
    runOperation(effectFrame, [commandId](Image& target, const Rect& rect) {
        return applyEffect(target, rect, commandId);
    });
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

void registerOperations() {
    registerCommand(commandGrayScale, [](int) { grayScale(viewImage); });
    registerCommand(commandNegative, [](int) { negative(viewImage); });
    registerCommand(commandGaussianBlur, [](int) { gaussianBlur(viewImage); });
    for (const EffectRecipe& recipe : effectRecipes()) {
        registerCommand(recipe.commandId, applyEffectCommand);
    }
    registerCommand(commandCountColours, [](int) { showUniqueColours(); });
}
