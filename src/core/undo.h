#pragma once
// Undo history: the document after each completed change, kept compactly (see
// core/undo_store.h) within a memory budget.

#include <cstddef>
#include <cstdint>

#include "toolkit/image.h"

// Index of the current entry; -1 while the history is empty.
extern int undoPosition;
// Bit 0 (undoPossible): undo possible, bit 1 (redoPossible): redo possible; no other bit.
extern int undoFlags;
inline constexpr int undoPossible = 1;
inline constexpr int redoPossible = 2;

// Shown once per history, the first time old entries make room for new ones.
inline constexpr const char* oldestUndoDroppedNotice =
    "Oldest undo steps dropped to stay within memory";
// When memory runs out, the operation does not happen and one of these says so.
inline constexpr const char* changeNotRecordedNotice =
    "Not enough memory to keep this change for undo: it was taken back";
inline constexpr const char* undoFailedNotice = "Not enough memory to undo";
inline constexpr const char* redoFailedNotice = "Not enough memory to redo";

// Records `image` (the document) as the new current entry, dropping the redo branch.
// When memory runs out, the document is put back as the current entry holds it.
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

// Names the document's current state: it changes with every change, undo, redo and load,
// so a tool window can tell whether its preview was made from the document as it stands.
int64_t currentEntryId();

// Marks the current entry as the state last written to (or read from) a file.
void markDocumentSaved();
// True when the document differs from the state last loaded or saved: another entry is
// current, or the history was started anew without a load or save.
bool documentModified();

// Entries held, and a copy of one of them (slow far from the current one; for tests).
size_t undoEntryCount();
Image undoEntryImage(size_t index);

// The memory the history may hold: PIXOVA_UNDO_MB mebibytes when that is set to a
// positive whole number, else a quarter of physical memory, at most 4 GiB. The oldest
// entries go when a change would pass it; the current one always stays.
size_t undoBudgetBytes();
// The budget for a PIXOVA_UNDO_MB value (null when unset) and the physical memory.
size_t undoBudgetFor(const char* mebibytes, size_t physicalBytes);
// Replaces the budget (0: back to the one above); for tests and benchmarks.
void setUndoBudgetBytes(size_t bytes);
// Memory the history holds now.
size_t undoHeldBytes();
// Waits for the history's work on its own thread (packing the first state after a load).
void finishUndoWork();
