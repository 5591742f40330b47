#include "core/undo.h"

#include "core/state.h"
#include "toolkit/image_store.h"

std::vector<int> undoList;
int undoPosition = -1;
int undoFlags = 0;
UndoHooks undoHooks;

namespace {

int copyOfView() {
    return copyImage(viewImage, anyImageNumber);
}

void setFlagsFromPosition() {
    undoFlags &= ~(undoPossible | redoPossible);
    if (undoPosition > 0) undoFlags |= undoPossible;
    if (undoPosition < static_cast<int>(undoList.size()) - 1) undoFlags |= redoPossible;
}

void step(int direction) {
    if (undoList.empty()) return;
    Image* view = findImage(viewImage);
    int oldW = view ? view->width : -1, oldH = view ? view->height : -1;
    int last = static_cast<int>(undoList.size()) - 1;
    undoPosition = std::max(0, std::min(last, undoPosition + direction));
    copyImage(undoList[undoPosition], viewImage);
    setFlagsFromPosition();
    view = findImage(viewImage);
    if (view && view->width == oldW && view->height == oldH) {
        if (undoHooks.refreshView) undoHooks.refreshView(viewImage, 1);
    } else if (undoHooks.fitWindowToImage) {
        undoHooks.fitWindowToImage(viewImage);
    }
    updateUndoButtons();
}

}  // namespace

void takeSnapshot(int image) {
    int copy = copyImage(image, anyImageNumber);
    if (copy == 0) return;
    int last = static_cast<int>(undoList.size()) - 1;
    if (undoPosition == last) {
        undoList.push_back(copy);
        undoPosition = last + 1;
    } else {
        ++undoPosition;
        freeImage(undoList[undoPosition]);
        undoList[undoPosition] = copy;
        for (size_t i = undoPosition + 1; i < undoList.size(); ++i) freeImage(undoList[i]);
        undoList.resize(undoPosition + 1);
    }
    undoFlags = (undoFlags & 12) | undoPossible;
    updateUndoButtons();
}

void clearUndo() {
    for (int n : undoList) freeImage(n);
    undoList.clear();
    undoPosition = -1;
}

void resetUndo() {
    if (!imageExists(viewImage)) return;
    clearUndo();
    undoList.push_back(copyOfView());
    undoPosition = 0;
    undoFlags = 0;
    updateUndoButtons();
}

void undo() {
    step(-1);
}

void redo() {
    step(1);
}

void revert() {
    if (undoList.empty()) return;
    copyImage(undoList.front(), viewImage);
    clearUndo();
    if (undoHooks.fitWindowToImage) undoHooks.fitWindowToImage(viewImage);
    takeSnapshot(viewImage);
    undoFlags &= 12;
    updateUndoButtons();
}

void updateUndoButtons() {
    if (undoHooks.setButtons) {
        undoHooks.setButtons((undoFlags & undoPossible) != 0, (undoFlags & redoPossible) != 0);
    }
}
