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
// The bits of undoFlags that belong to others and that every update keeps.
inline constexpr int otherUndoFlags = 12;

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

// Marks the current entry as the state last written to (or read from) a file.
void markDocumentSaved();
// True when the document differs from the state last loaded or saved: another entry is
// current, or the history was started anew without a load or save.
bool documentModified();
