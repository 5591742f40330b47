#pragma once
// Compressed pixels for the undo history. A rectangle of an image is kept either whole
// (its pixels) or as its difference from another state of the same size; unchanged pixels
// then cost almost nothing. Rows are cut into bands on a fixed grid of image rows, each
// band compressed on its own (zstd), so that bands are coded in parallel, need only small
// buffers, and line up between any two packings of one image size.
//
// The bytes of each band are split into four planes (red, green, blue, alpha) and each
// plane is stored as the difference from its left neighbour, which turns smooth pictures
// and smooth changes into runs of small numbers.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/rect.h"
#include "toolkit/image.h"

// Image rows per band; bands start at multiples of this.
inline constexpr int packBandRows = 64;

// How a packing relates to the state it was taken against.
enum class PackMode : uint8_t {
    Whole,       // the pixels themselves
    Xor,         // new xor old: one packing serves both directions
    Difference,  // new - old, byte by byte: old + d is new, new - d is old
};

struct PackedPixels {
    Rect rect;  // inclusive, in image pixels; empty when nothing is kept
    PackMode mode = PackMode::Whole;
    // One compressed band per grid band that meets the rectangle, top to bottom.
    std::vector<std::vector<uint8_t>> bands;

    size_t bytes() const;
    bool empty() const { return rect.empty(); }
};

// Which way a difference is applied.
enum class PackDirection { Forward, Backward };

// Throws std::bad_alloc when memory runs out; the target images are then unchanged.
//
// `after` whole (the rectangle of it), on at most `threads` threads (0: a few, as the
// machine allows).
PackedPixels packWhole(const Image& after, const Rect& rect, int threads = 0);
// The rectangle of `after` against the same pixels of `before` (same size), in the mode
// that compresses best on a sample of rows.
PackedPixels packDifference(const Image& before, const Image& after, const Rect& rect);

// Applies a packing to `target` (the size it was taken on): Whole writes the pixels, Xor
// and Difference take `target` from one state to the other. With a `mirror` of the same
// size, every row of `target` is also copied there as the work goes. Every buffer is
// taken before any pixel changes, so a failure (std::bad_alloc) leaves both as they were.
void unpackInto(const PackedPixels& packed, Image& target, PackDirection direction,
                Image* mirror = nullptr);

// Applies `packed` to rows [top, top + count) of `rows` only: the band-wise form of
// unpackInto for callers that walk an image band by band. `rows` holds image rows
// top..top+count-1 with `width` pixels each.
void unpackRows(const PackedPixels& packed, uint32_t* rows, int width, int top, int count,
                PackDirection direction);

// The smallest rectangle holding every pixel where two same-sized images differ (empty
// when they are equal).
Rect differingRect(const Image& a, const Image& b);

// For tests of failure handling: the allocation at the given count from now (1 = the next
// one) throws std::bad_alloc, once; 0 turns it off. Counts every buffer this module and
// the undo history take.
void failAllocationAfter(int count);
// Called before each such allocation.
void allocationPoint();
// While one of these lives, allocations on its thread are not counted: work on a thread of
// its own must not take the failure a test arranged for the calls it makes.
class UncountedAllocations {
  public:
    UncountedAllocations();
    ~UncountedAllocations();
    UncountedAllocations(const UncountedAllocations&) = delete;
    UncountedAllocations& operator=(const UncountedAllocations&) = delete;

  private:
    bool was_;
};
