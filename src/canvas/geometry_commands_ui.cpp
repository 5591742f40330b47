#include "canvas/geometry.h"
#include "canvas/geometry_commands.h"
#include "canvas/selector.h"
#include "core/commands.h"
#include "core/operation.h"
#include "core/registry.h"
#include "core/state.h"
#include "toolkit/image_store.h"

// Size-changing work: the step is recorded first, so that a change the history cannot keep
// is taken back before the window is fitted to it.
OperationFrame resizingFrame(int image) {
    OperationFrame frame;
    frame.image = image;
    frame.wholeImage = true;
    frame.snapshot = FrameSnapshot::BeforeRefresh;
    frame.refresh = FrameRefresh::FitWindow;
    return frame;
}

int rotateQuarter(int image, int clockwise) {
    // The document's turns are undo steps of their own; a floating section's are not.
    OperationFrame frame = resizingFrame(image);
    frame.followsFloating = true;
    bool done = runOperation(frame, [clockwise](Image& target, const Rect&) {
        return rotateQuarterPixels(target, clockwise != 0);
    });
    return done ? 1 : 0;
}

void rotateHalf(int image) {
    OperationFrame frame;
    frame.image = image;
    runOperation(frame, rotateHalfPixels);
}

void flipImage(int image) {
    runOperation(OperationFrame{.image = image, .followsFloating = true}, flipPixels);
}

void mirrorImage(int image) {
    runOperation(OperationFrame{.image = image, .followsFloating = true}, mirrorPixels);
}

int cropToSelection(int image) {
    if (!selection.active) return 0;
    Image* target = findImage(image);
    if (!target) return 0;
    Rect rect = clipToImage(selectionImageRect(), *target);
    if (rect.empty()) return 0;
    bool done = runOperation(resizingFrame(image), [rect](Image& pixels, const Rect&) {
        pixels = copyRect(pixels, rect.left, rect.top, rect.right, rect.bottom);
        releaseSelector();
        cursorMode = moverMode;
        return true;
    });
    return done ? 1 : 0;
}

void registerGeometryCommands() {
    registerCommand(commandRotateRight, [](int) { rotateQuarter(viewImage, 1); });
    registerCommand(commandRotateLeft, [](int) { rotateQuarter(viewImage, 0); });
    registerCommand(commandRotate180, [](int) { rotateHalf(viewImage); });
    registerCommand(commandFlip, [](int) { flipImage(viewImage); });
    registerCommand(commandMirror, [](int) { mirrorImage(viewImage); });
    registerCommand(commandCrop, [](int) { cropToSelection(viewImage); });
}
