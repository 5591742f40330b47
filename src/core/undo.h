#pragma once
// Undo history: full copies of the document, one after each completed change.

#include <vector>

// Numbers of the images held by the history, oldest first.
extern std::vector<int> undoList;
// Index of the current entry; -1 while the list is empty.
extern int undoPosition;
// Bit 0: undo possible, bit 1: redo possible; updates keep the other bits.
extern int undoFlags;
inline constexpr int undoPossible = 1;
inline constexpr int redoPossible = 2;

// What the history needs from the view and the tool bar.
struct UndoHooks {
    void (*refreshView)(int image, int keepSelection) = nullptr;
    void (*fitWindowToImage)(int image) = nullptr;
    void (*setButtons)(bool undoEnabled, bool redoEnabled) = nullptr;
};
extern UndoHooks undoHooks;

// Records `image` (the document) as the new current entry, dropping the redo branch.
void takeSnapshot(int image);
// Starts a new history holding only the current document.
void resetUndo();
void undo();
void redo();
// Back to the first entry, which becomes the only one.
void revert();
void updateUndoButtons();
// Frees every entry (shutdown and tests).
void clearUndo();
