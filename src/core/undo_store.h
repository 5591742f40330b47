#pragma once
// The states of the undo history, kept compactly. The current state is held whole (the
// "anchor"); each step between neighbouring states is kept as the packed difference of
// the rectangle it changed, or, where the size changed, as both states packed whole; the
// first state is packed whole as well, for revert. Moving one step applies one packing
// to the anchor.
//
// The first state is packed on a thread of its own as soon as it is the only state (after
// a reset or a revert), so that the first change after loading
// a photograph does not wait for it. That thread only reads the anchor; every member that
// changes the anchor or reads the packing waits for it first.
//
// Every operation either completes or, when memory runs out (std::bad_alloc), leaves the
// store exactly as it was.

#include <cstddef>
#include <cstdint>
#include <thread>
#include <vector>

#include "core/packed_pixels.h"
#include "toolkit/image.h"

class UndoStore {
  public:
    UndoStore() = default;
    ~UndoStore();
    UndoStore(const UndoStore&) = delete;
    UndoStore& operator=(const UndoStore&) = delete;

    size_t count() const { return states_; }
    // Index of the current state; -1 when empty.
    int position() const { return position_; }
    // The current state, whole.
    const Image& current() const { return anchor_; }
    // Memory held: the anchor, the first state (also while it is the only one, once its
    // packing is made) and every step.
    size_t bytes() const;
    // The first state's share of it, which dropOldest packs anew beside the old one.
    size_t firstBytes() const;
    // Waits until the first state's packing, if one is under way, has finished.
    void finishBackgroundWork() const;

    // Starts anew with one state.
    void reset(const Image& state);
    // Makes `state` the state after the current one, dropping any later states.
    void push(const Image& state);
    // Moves to the previous (-1) or next (+1) state. Given a `mirror` of the current
    // state's size, copies the new state into it while moving when the step keeps the
    // size, and says so; otherwise the caller copies current() itself.
    bool step(int direction, Image* mirror = nullptr);
    // Back to the first state, which becomes the only one.
    void revert();
    void clear();
    // Hands over the current state without copying it and leaves the store empty.
    Image release();

    // Drops the oldest states, never the current one, until bytes() <= `target`;
    // returns how many went. The first state kept becomes the new first state.
    size_t dropOldest(size_t target);

    // A copy of any state (slow for states far from the current one; for tests).
    Image state(size_t index) const;

    struct Shape {
        int width = 0;
        int height = 0;
        int depth = 24;
        bool operator==(const Shape&) const = default;
    };
    static Shape shapeOf(const Image& image) { return {image.width, image.height, image.depth}; }
    // The shape of the state one step away (-1 or +1; the current one at either end), and
    // of the first state: what a caller must have room for before moving there.
    Shape shapeAfterStep(int direction) const;
    Shape firstShape() const;

  private:
    struct Step {
        bool resized = false;
        PackedPixels change;  // same size: the difference, before to after
        PackedPixels before;  // resized: both states whole
        PackedPixels after;
        int beforeWidth = 0, beforeHeight = 0, beforeDepth = 24;
        int afterWidth = 0, afterHeight = 0, afterDepth = 24;
        size_t bytes() const;
    };

    // A state rebuilt from a whole packing.
    static Image unpackWhole(const PackedPixels& packed, int width, int height, int depth);
    // The state next to `from` in `direction`, given `from`'s pixels (same-size steps
    // change `image` in place; resized ones replace it).
    static void apply(const Step& step, Image& image, PackDirection direction,
                      Image* mirror = nullptr);

    // Starts packing the anchor as the first state on its own thread, when it is the
    // only state and has no packing yet; without a thread, push packs it itself.
    void startFirstPacking();
    // Joins that thread and drops what it made (before the anchor changes otherwise).
    void dropFirstPacking();

    Image anchor_;
    PackedPixels first_;  // the first state whole, once there is more than one
    // The packing of the first state made on its own thread, with whether it succeeded;
    // read only once the thread has been joined.
    mutable std::thread firstThread_;
    PackedPixels firstMade_;
    bool firstMadeOk_ = false;
    int firstWidth_ = 0, firstHeight_ = 0, firstDepth_ = 24;
    std::vector<Step> steps_;  // steps_[i] leads from state i to state i + 1
    size_t states_ = 0;
    int position_ = -1;
};
