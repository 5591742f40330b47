#include "core/undo_store.h"

#include <algorithm>
#include <new>
#include <system_error>
#include <utility>

namespace {

Image copyOf(const Image& image) {
    allocationPoint();
    return image;
}

}  // namespace

size_t UndoStore::Step::bytes() const {
    return sizeof(Step) + change.bytes() + before.bytes() + after.bytes();
}

UndoStore::~UndoStore() {
    finishBackgroundWork();
}

void UndoStore::finishBackgroundWork() const {
    if (firstThread_.joinable()) firstThread_.join();
}

void UndoStore::startFirstPacking() {
    if (!first_.empty() || anchor_.empty() || states_ != 1 || firstThread_.joinable() ||
        firstMadeOk_) {
        return;
    }
    firstMade_ = PackedPixels();
    firstMadeOk_ = false;
    try {
        firstThread_ = std::thread([this] {
            UncountedAllocations uncounted;
            try {
                // One thread, so that the other core stays with the picture on screen.
                firstMade_ = packWhole(anchor_, wholeImage(anchor_), 1);
                firstMadeOk_ = true;
            } catch (const std::bad_alloc&) {
                firstMade_ = PackedPixels();  // push tries again when it needs it
            }
        });
    } catch (...) {
        // No thread (none could start, or no memory for one): push packs the first state
        // when it needs it. Nothing else may fail here, as the store has already changed.
    }
}

void UndoStore::dropFirstPacking() {
    finishBackgroundWork();
    firstMade_ = PackedPixels();
    firstMadeOk_ = false;
}

size_t UndoStore::firstBytes() const {
    finishBackgroundWork();
    return first_.bytes() + (firstMadeOk_ ? firstMade_.bytes() : 0);
}

size_t UndoStore::bytes() const {
    finishBackgroundWork();
    size_t total = anchor_.pixels.capacity() * sizeof(uint32_t) + first_.bytes() +
                   (firstMadeOk_ ? firstMade_.bytes() : 0);
    for (const Step& s : steps_) total += s.bytes();
    return total;
}

Image UndoStore::unpackWhole(const PackedPixels& packed, int width, int height, int depth) {
    allocationPoint();
    Image image = Image::unset(width, height, depth);
    unpackInto(packed, image, PackDirection::Forward);
    return image;
}

void UndoStore::apply(const Step& step, Image& image, PackDirection direction, Image* mirror) {
    if (!step.resized) {
        unpackInto(step.change, image, direction, mirror);
        return;
    }
    if (direction == PackDirection::Forward) {
        image = unpackWhole(step.after, step.afterWidth, step.afterHeight, step.afterDepth);
    } else {
        image = unpackWhole(step.before, step.beforeWidth, step.beforeHeight, step.beforeDepth);
    }
}

void UndoStore::clear() {
    dropFirstPacking();
    anchor_ = Image();
    first_ = PackedPixels();
    steps_ = std::vector<Step>();
    states_ = 0;
    position_ = -1;
}

Image UndoStore::release() {
    finishBackgroundWork();
    Image current = std::move(anchor_);
    clear();
    return current;
}

void UndoStore::reset(const Image& state) {
    finishBackgroundWork();
    Image copy = copyOf(state);
    clear();
    anchor_ = std::move(copy);
    states_ = 1;
    position_ = 0;
    startFirstPacking();
}

void UndoStore::push(const Image& state) {
    if (states_ == 0) {
        reset(state);
        return;
    }
    finishBackgroundWork();
    // Everything that takes memory comes first; the store changes only after.
    Step step;
    Image resizedAnchor;
    const bool sameShape = state.width == anchor_.width && state.height == anchor_.height &&
                           state.depth == anchor_.depth;
    Rect changed;
    if (sameShape) {
        changed = differingRect(anchor_, state);
        step.change = packDifference(anchor_, state, changed);
    } else {
        step.resized = true;
        step.before = packWhole(anchor_, wholeImage(anchor_));
        step.after = packWhole(state, wholeImage(state));
        step.beforeWidth = anchor_.width;
        step.beforeHeight = anchor_.height;
        step.beforeDepth = anchor_.depth;
        step.afterWidth = state.width;
        step.afterHeight = state.height;
        step.afterDepth = state.depth;
        // The anchor's own buffer takes the new state when it is big enough (a quarter
        // turn keeps the pixel count), so no second image is held meanwhile.
        if (anchor_.pixels.capacity() < state.pixels.size()) resizedAnchor = copyOf(state);
    }
    // Revert needs the first state once the current one moves on from it.
    PackedPixels first;
    const bool needFirst = position_ == 0 && first_.empty() && !anchor_.empty();
    if (needFirst && !firstMadeOk_) first = packWhole(anchor_, wholeImage(anchor_));
    if (steps_.capacity() < static_cast<size_t>(position_) + 1) {
        allocationPoint();
        steps_.reserve(static_cast<size_t>(position_) + 1);
    }

    steps_.resize(static_cast<size_t>(position_));
    steps_.push_back(std::move(step));
    if (needFirst) {
        first_ = std::move(firstMadeOk_ ? firstMade_ : first);
        firstWidth_ = anchor_.width;
        firstHeight_ = anchor_.height;
        firstDepth_ = anchor_.depth;
    }
    if (sameShape) {
        for (int y = changed.top; y <= changed.bottom && !changed.empty(); ++y) {
            std::copy(state.row(y) + changed.left, state.row(y) + changed.right + 1,
                      anchor_.row(y) + changed.left);
        }
    } else if (!resizedAnchor.empty()) {
        anchor_ = std::move(resizedAnchor);
    } else {
        anchor_.pixels.assign(state.pixels.begin(), state.pixels.end());  // within capacity
        anchor_.width = state.width;
        anchor_.height = state.height;
        anchor_.depth = state.depth;
    }
    ++position_;
    states_ = static_cast<size_t>(position_) + 1;
    firstMade_ = PackedPixels();
    firstMadeOk_ = false;
}

namespace {

void setShape(Image& image, const UndoStore::Shape& shape) {
    image.width = shape.width;
    image.height = shape.height;
    image.depth = shape.depth;
}

}  // namespace

bool UndoStore::step(int direction, Image* mirror) {
    finishBackgroundWork();
    const int target = position_ + direction;
    if (states_ == 0 || target < 0 || target >= static_cast<int>(states_) || direction == 0) {
        return false;
    }
    const bool forward = direction > 0;
    const Step& s = steps_[static_cast<size_t>(forward ? position_ : target)];
    bool mirrored = false;
    if (!s.resized) {
        mirrored = mirror && mirror->width == anchor_.width && mirror->height == anchor_.height;
        unpackInto(s.change, anchor_, forward ? PackDirection::Forward : PackDirection::Backward,
                   mirrored ? mirror : nullptr);
    } else {
        const Shape next = shapeAfterStep(direction);
        const size_t count = static_cast<size_t>(next.width) * next.height;
        if (anchor_.pixels.size() == count) {
            // The same number of pixels (a quarter turn): the buffers take the other
            // state as they are, with no second image made.
            const Shape was = shapeOf(anchor_);
            mirrored = mirror && mirror->pixels.size() == count;
            const Shape mirrorWas = mirrored ? shapeOf(*mirror) : Shape{};
            setShape(anchor_, next);
            if (mirrored) setShape(*mirror, next);
            try {
                unpackInto(forward ? s.after : s.before, anchor_, PackDirection::Forward,
                           mirrored ? mirror : nullptr);
            } catch (...) {
                setShape(anchor_, was);
                if (mirrored) setShape(*mirror, mirrorWas);
                throw;
            }
        } else {
            apply(s, anchor_, forward ? PackDirection::Forward : PackDirection::Backward);
        }
    }
    position_ = target;
    return mirrored;
}

void UndoStore::revert() {
    finishBackgroundWork();
    if (states_ == 0) return;
    if (position_ != 0) {
        Image first = unpackWhole(first_, firstWidth_, firstHeight_, firstDepth_);
        anchor_ = std::move(first);
    }
    // The first state's packing is the packing of the state now current: kept for the
    // next change instead of being made again.
    if (!first_.empty()) {
        firstMade_ = std::move(first_);
        firstMadeOk_ = true;
    }
    first_ = PackedPixels();
    steps_ = std::vector<Step>();
    states_ = 1;
    position_ = 0;
    startFirstPacking();
}

size_t UndoStore::dropOldest(size_t target) {
    finishBackgroundWork();
    if (bytes() <= target || position_ <= 0) return 0;
    // How many of the oldest states must go, counting the first state's packing as if it
    // kept its size.
    size_t drop = 0;
    size_t projected = bytes();
    while (projected > target && drop < static_cast<size_t>(position_)) {
        projected -= steps_[drop].bytes();
        ++drop;
    }
    // The new first state, band by band: from the last resized step among those dropped
    // (its state after), else from the first state, with the later steps applied.
    size_t base = 0;
    const PackedPixels* start = &first_;
    int width = firstWidth_, height = firstHeight_, depth = firstDepth_;
    for (size_t i = 0; i < drop; ++i) {
        if (steps_[i].resized) {
            base = i + 1;
            start = &steps_[i].after;
            width = steps_[i].afterWidth;
            height = steps_[i].afterHeight;
            depth = steps_[i].afterDepth;
        }
    }
    PackedPixels first;
    if (states_ - drop > 1) {
        first.mode = PackMode::Whole;
        first.rect = Rect{0, 0, width - 1, height - 1};
        allocationPoint();
        first.bands.resize(static_cast<size_t>(height - 1) / packBandRows + 1);
        for (int top = 0, band = 0; top < height; top += packBandRows, ++band) {
            const int rows = std::min(packBandRows, height - top);
            allocationPoint();
            Image part = Image::unset(width, rows, depth);
            unpackRows(*start, part.pixels.data(), width, top, rows, PackDirection::Forward);
            for (size_t i = base; i < drop; ++i) {
                unpackRows(steps_[i].change, part.pixels.data(), width, top, rows,
                           PackDirection::Forward);
            }
            PackedPixels packed = packWhole(part, wholeImage(part));
            first.bands[static_cast<size_t>(band)] = std::move(packed.bands.front());
        }
    }
    steps_.erase(steps_.begin(), steps_.begin() + static_cast<ptrdiff_t>(drop));
    // With only the current state left, the anchor holds it.
    first_ = std::move(first);
    firstWidth_ = width;
    firstHeight_ = height;
    firstDepth_ = depth;
    position_ -= static_cast<int>(drop);
    states_ -= drop;
    return drop;
}

Image UndoStore::state(size_t index) const {
    finishBackgroundWork();
    Image image = copyOf(anchor_);
    for (int p = position_; p > static_cast<int>(index); --p) {
        apply(steps_[static_cast<size_t>(p - 1)], image, PackDirection::Backward);
    }
    for (int p = position_; p < static_cast<int>(index); ++p) {
        apply(steps_[static_cast<size_t>(p)], image, PackDirection::Forward);
    }
    return image;
}

UndoStore::Shape UndoStore::shapeAfterStep(int direction) const {
    const int target = position_ + direction;
    if (states_ == 0 || target < 0 || target >= static_cast<int>(states_) || direction == 0) {
        return shapeOf(anchor_);
    }
    const Step& s = steps_[static_cast<size_t>(direction < 0 ? target : position_)];
    if (!s.resized) return shapeOf(anchor_);
    return direction < 0 ? Shape{s.beforeWidth, s.beforeHeight, s.beforeDepth}
                         : Shape{s.afterWidth, s.afterHeight, s.afterDepth};
}

UndoStore::Shape UndoStore::firstShape() const {
    if (position_ <= 0) return shapeOf(anchor_);
    return Shape{firstWidth_, firstHeight_, firstDepth_};
}
