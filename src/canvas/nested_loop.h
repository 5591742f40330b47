#pragma once
// The event source of a nested loop (a dialog, a floating section). Such a loop takes
// every event off the queue itself and acts on its own, but the main window's size and
// state changes are not its to drop: the canvas would stay laid out for the old size and
// the maximized state would go unrecorded. They are held and queued again when the nested
// loop ends, so the main loop handles them as if they had just arrived.

#include <vector>

#include "toolkit/gui.h"

class NestedLoop {
  public:
    NestedLoop() = default;
    NestedLoop(const NestedLoop&) = delete;
    NestedLoop& operator=(const NestedLoop&) = delete;
    ~NestedLoop();

    // Waits for the next event that is not held.
    Event next();

  private:
    std::vector<Event> held_;
};
