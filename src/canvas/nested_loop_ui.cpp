#include "canvas/nested_loop.h"
#include "core/state.h"

namespace {

bool heldForMainLoop(const Event& e) {
    if (e.window != mainWindow) return false;
    return e.kind == eventSizeWindow || e.kind == eventFrameWindow ||
           e.kind == eventMinimizeWindow || e.kind == eventMaximizeWindow ||
           e.kind == eventRestoreWindow;
}

}  // namespace

NestedLoop::~NestedLoop() {
    for (const Event& e : held_) postEvent(e);
}

Event NestedLoop::next() {
    for (;;) {
        Event e = waitWindowEvent();
        if (!heldForMainLoop(e)) return e;
        // One size change says all that several would.
        if (e.kind == eventSizeWindow) {
            bool seen = false;
            for (const Event& h : held_) seen = seen || h.kind == eventSizeWindow;
            if (seen) continue;
        }
        held_.push_back(e);
    }
}
