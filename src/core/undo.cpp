#include "core/undo.h"

#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <exception>
#include <new>
#include <string>
#include <vector>

#include "core/registry.h"
#include "core/state.h"
#include "core/undo_store.h"
#include "toolkit/image_store.h"

int undoPosition = -1;
int undoFlags = 0;

namespace {

constexpr size_t mebibyte = size_t{1} << 20;
constexpr size_t maxDefaultBudget = size_t{4} << 30;

UndoStore history;
// One id per entry, oldest first: equal ids mean equal pixels, which is what tells
// whether the document still matches its file.
std::vector<int64_t> entryIds;
int64_t nextEntryId = 1;
int64_t savedEntryId = 0;
bool droppedNoticeShown = false;
// The most one change has added to the history: room kept free for the next one, so
// that recording it stays within the budget too.
size_t largestStep = 0;
size_t budgetOverride = 0;

void notice(const char* text) {
    services().showNotice(text);
}

size_t defaultBudget() {
    long pages = ::sysconf(_SC_PHYS_PAGES), pageSize = ::sysconf(_SC_PAGE_SIZE);
    size_t physical = pages > 0 && pageSize > 0
                          ? static_cast<size_t>(pages) * static_cast<size_t>(pageSize)
                          : 4 * maxDefaultBudget;
    return undoBudgetFor(std::getenv("PIXOVA_UNDO_MB"), physical);
}

void setFlagsFromPosition() {
    undoFlags = 0;
    if (undoPosition > 0) undoFlags |= undoPossible;
    if (undoPosition < static_cast<int>(history.count()) - 1) undoFlags |= redoPossible;
}

// Room for the document in `shape`: nothing when it already has as many pixels, else a
// new image (which may throw std::bad_alloc before anything has changed).
Image roomFor(const Image* view, const UndoStore::Shape& shape) {
    if (view && view->pixels.size() == static_cast<size_t>(shape.width) * shape.height) {
        return Image();
    }
    allocationPoint();
    return Image::unset(shape.width, shape.height, shape.depth);
}

// Copies the history's current state into the document, into `room` when it was made.
// Allocates only when the document does not exist.
void showCurrent(Image* view, Image& room) {
    const Image& state = history.current();
    if (!view) {
        std::copy(state.pixels.begin(), state.pixels.end(), room.pixels.begin());
        storeImage(viewImage, std::move(room));
        return;
    }
    if (!room.empty()) *view = std::move(room);
    std::copy(state.pixels.begin(), state.pixels.end(), view->pixels.begin());
    view->width = state.width;
    view->height = state.height;
    view->depth = state.depth;
}

void step(int direction) {
    if (history.count() == 0) return;
    Image* view = findImage(viewImage);
    const int oldW = view ? view->width : -1, oldH = view ? view->height : -1;
    try {
        Image room = roomFor(view, history.shapeAfterStep(direction));
        // The document is rewritten as the step is applied where it has the size already.
        bool shown = history.step(direction, room.empty() ? view : nullptr);
        if (!shown) showCurrent(view, room);
    } catch (const std::bad_alloc&) {
        notice(direction < 0 ? undoFailedNotice : redoFailedNotice);
        return;
    }
    undoPosition = history.position();
    setFlagsFromPosition();
    view = findImage(viewImage);
    if (view && view->width == oldW && view->height == oldH) {
        services().refreshView(viewImage, 1);
    } else {
        services().fitWindowToImage(viewImage);
    }
    updateUndoButtons();
}

// Drops the oldest entries when the history leaves no room within its budget for a
// change as large as the largest so far and for packing the first state anew (which a
// drop does beside the old packing); then down to a tenth below that, so that the next
// changes do not each pay for a drop.
void keepWithinBudget() {
    const size_t budget = undoBudgetBytes();
    const size_t room = std::min(largestStep + history.firstBytes(), budget / 3);
    if (history.bytes() + room <= budget) return;
    size_t dropped = 0;
    try {
        dropped = history.dropOldest(budget - room - budget / 10);
    } catch (const std::exception&) {
        return;  // no memory or no thread: over budget for now, and nothing was lost
    }
    if (dropped == 0) return;
    // The dropped steps were many blocks of a megabyte or so; hand the pages back to the
    // system now rather than leave them in the allocator's free lists.
    ::malloc_trim(0);
    entryIds.erase(entryIds.begin(), entryIds.begin() + static_cast<ptrdiff_t>(dropped));
    undoPosition = history.position();
    setFlagsFromPosition();
    if (!droppedNoticeShown) {
        droppedNoticeShown = true;
        notice(oldestUndoDroppedNotice);
    }
}

}  // namespace

size_t undoBudgetFor(const char* mebibytes, size_t physicalBytes) {
    if (mebibytes) {
        char* end = nullptr;
        unsigned long long mb = std::strtoull(mebibytes, &end, 10);
        const bool digitsOnly = mebibytes[0] >= '0' && mebibytes[0] <= '9' && *end == '\0';
        if (digitsOnly && mb > 0 && mb < (1ull << 40)) return static_cast<size_t>(mb) * mebibyte;
    }
    return std::min(physicalBytes / 4, maxDefaultBudget);
}

size_t undoBudgetBytes() {
    static const size_t fromEnvironment = defaultBudget();
    return budgetOverride ? budgetOverride : fromEnvironment;
}

void setUndoBudgetBytes(size_t bytes) {
    budgetOverride = bytes;
}

size_t undoHeldBytes() {
    return history.bytes();
}

void finishUndoWork() {
    history.finishBackgroundWork();
}

size_t undoEntryCount() {
    return history.count();
}

Image undoEntryImage(size_t index) {
    return index < history.count() ? history.state(index) : Image();
}

void takeSnapshot(int image) {
    Image* document = findImage(image);
    if (!document) return;
    const size_t before = history.bytes();
    try {
        history.push(*document);
    } catch (const std::bad_alloc&) {
        // The change cannot be kept, so it is taken back: the document returns to the
        // current entry. Same size needs no memory; otherwise the changed pixels go first.
        if (history.count() > 0) {
            const Image& state = history.current();
            try {
                if (document->width != state.width || document->height != state.height) {
                    document->pixels = PixelBuffer();
                    *document = state;
                } else {
                    std::copy(state.pixels.begin(), state.pixels.end(), document->pixels.begin());
                    document->depth = state.depth;
                }
            } catch (const std::bad_alloc&) {
                // Not even that: the history gives up its copy to the document and
                // starts again empty.
                *document = history.release();
                entryIds.clear();
                undoPosition = -1;
                undoFlags = 0;
            }
        }
        notice(changeNotRecordedNotice);
        updateUndoButtons();
        return;
    }
    if (history.bytes() > before) largestStep = std::max(largestStep, history.bytes() - before);
    entryIds.resize(static_cast<size_t>(history.position()));
    entryIds.push_back(nextEntryId++);
    undoPosition = history.position();
    undoFlags = undoPossible;
    keepWithinBudget();
    updateUndoButtons();
}

void clearUndo() {
    history.clear();
    entryIds.clear();
    undoPosition = -1;
}

void resetUndo() {
    Image* view = findImage(viewImage);
    if (!view) return;
    clearUndo();
    try {
        history.reset(*view);
        entryIds.push_back(nextEntryId++);
    } catch (const std::bad_alloc&) {
        // No room even for one entry: the history stays empty and undo does nothing.
    }
    undoPosition = history.position();
    undoFlags = 0;
    droppedNoticeShown = false;
    largestStep = 0;
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
    if (history.count() == 0) return;
    Image* view = findImage(viewImage);
    try {
        Image room = roomFor(view, history.firstShape());
        history.revert();
        showCurrent(view, room);
    } catch (const std::bad_alloc&) {
        notice(undoFailedNotice);
        return;
    }
    entryIds.resize(1);
    undoPosition = history.position();
    services().fitWindowToImage(viewImage);
    undoFlags = 0;
    updateUndoButtons();
}

void updateUndoButtons() {
    services().setUndoButtons((undoFlags & undoPossible) != 0, (undoFlags & redoPossible) != 0);
    // Every change of the current entry ends here.
    documentChanged();
}

int64_t currentEntryId() {
    return undoPosition >= 0 ? entryIds[static_cast<size_t>(undoPosition)] : 0;
}

void markDocumentSaved() {
    savedEntryId = undoPosition >= 0 ? entryIds[static_cast<size_t>(undoPosition)] : 0;
}

bool documentModified() {
    return undoPosition >= 0 && entryIds[static_cast<size_t>(undoPosition)] != savedEntryId;
}
