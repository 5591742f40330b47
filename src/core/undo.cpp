#include "core/undo.h"

#include "core/registry.h"
#include "core/state.h"
#include "toolkit/image_store.h"

std::vector<int> undoList;
int undoPosition = -1;
int undoFlags = 0;

namespace {

// One id per entry, parallel to undoList: equal ids mean equal pixels, which is what
// tells whether the document still matches its file.
std::vector<int64_t> entryIds;
int64_t nextEntryId = 1;
int64_t savedEntryId = 0;

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
        services().refreshView(viewImage, 1);
    } else {
        services().fitWindowToImage(viewImage);
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
        entryIds.push_back(nextEntryId++);
        undoPosition = last + 1;
    } else {
        ++undoPosition;
        freeImage(undoList[undoPosition]);
        undoList[undoPosition] = copy;
        entryIds[undoPosition] = nextEntryId++;
        for (size_t i = undoPosition + 1; i < undoList.size(); ++i) freeImage(undoList[i]);
        undoList.resize(undoPosition + 1);
        entryIds.resize(undoPosition + 1);
    }
    undoFlags = (undoFlags & otherUndoFlags) | undoPossible;
    updateUndoButtons();
}

void clearUndo() {
    for (int n : undoList) freeImage(n);
    undoList.clear();
    entryIds.clear();
    undoPosition = -1;
}

void resetUndo() {
    if (!imageExists(viewImage)) return;
    clearUndo();
    undoList.push_back(copyOfView());
    entryIds.push_back(nextEntryId++);
    undoPosition = 0;
    undoFlags = 0;
    markDocumentSaved();
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
    int64_t firstId = entryIds.front();
    clearUndo();
    services().fitWindowToImage(viewImage);
    takeSnapshot(viewImage);
    // The one entry left holds the first entry's pixels.
    if (!entryIds.empty()) entryIds.front() = firstId;
    undoFlags &= otherUndoFlags;
    updateUndoButtons();
}

void updateUndoButtons() {
    services().setUndoButtons((undoFlags & undoPossible) != 0, (undoFlags & redoPossible) != 0);
}

void markDocumentSaved() {
    savedEntryId = undoPosition >= 0 ? entryIds[undoPosition] : 0;
}

bool documentModified() {
    return undoPosition >= 0 && entryIds[undoPosition] != savedEntryId;
}
