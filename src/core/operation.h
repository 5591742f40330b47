#pragma once
// The frame of every edit of the document: which image and rectangle it works on, when it
// is refused, when its undo step is recorded, and how the view follows. Each command
// states its options once; the frame does the rest in the same order every time.

#include <functional>

#include "core/rect.h"
#include "core/state.h"

enum class FrameSnapshot {
    BeforeRefresh,  // record the step, refresh the palette tool, then the view
    AfterRefresh,   // refresh the view first, then record the step
    None,           // changes that are not steps of their own (a floating section's turns)
};

enum class FrameRefresh {
    KeepSelection,  // same size: redraw keeping the selection
    FitWindow,      // the size may have changed: fit the window, which drops the selection
    DropSelection,  // redraw and drop the selection
    None,           // the caller redraws
};

struct OperationFrame {
    int image = viewImage;
    bool wholeImage = false;  // ignore the selection (quarter turns)
    bool refuseWhileToolOpen = false;
    bool refuseWhileFloating = false;
    // Work that also turns a floating section: while one floats it records no step and
    // leaves the view to the section's loop, which draws it.
    bool followsFloating = false;
    FrameSnapshot snapshot = FrameSnapshot::BeforeRefresh;
    FrameRefresh refresh = FrameRefresh::KeepSelection;
};

// Returns false when the pixels were left alone: nothing recorded, nothing redrawn.
using OperationWork = std::function<bool(Image& image, const Rect& rect)>;

// Runs `work` on the frame's image and rectangle (clipped to the image; an empty one skips
// the work but still records the step). Returns false, changing nothing, when the image is
// missing, the frame refuses, or the work declines.
bool runOperation(const OperationFrame& frame, const OperationWork& work);

// The same for work that always changes the pixels.
bool runOperation(const OperationFrame& frame, void (*work)(Image& image, const Rect& rect));
