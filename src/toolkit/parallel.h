#pragma once
// A small pool of worker threads for work whose result does not depend on the order it is
// done in: rows of a per-pixel operation, columns of a filter, files of a batch. The calling
// thread takes part, so one thread means plain sequential work and no pool at all.
//
// Work started from inside pool work is shared out too, to whichever threads are idle, and
// several threads may use the pool at once; nesting never waits for itself.

#include <cstdint>
#include <functional>
#include <vector>

// The number of threads a codec library may start for work begun here: all of them, or
// one inside pool work (a batch already runs several files at once).
int codecThreadCount();

// Below this many pixels (or units of similar cost) a share is not worth a thread.
inline constexpr int64_t defaultMinWorkPerTask = 1 << 16;

// Threads work is spread over: the PIXOVA_THREADS environment variable when it holds a
// positive number, else the machine's cores.
int threadCount();

// Overrides the thread count (0 goes back to the default) and the smallest share worth a
// thread of its own. For tests and benchmarks; not to be called while work runs.
void configureThreads(int threads, int64_t minWorkPerTask = defaultMinWorkPerTask);

// Runs task(0) .. task(count - 1), each exactly once, spread over the pool, and returns when
// all have finished. Tasks are handed out in index order as threads come free. The first
// exception a task throws is rethrown here after the others have finished.
void runTasks(int count, const std::function<void(int)>& task);

struct WorkRange {
    int64_t begin;
    int64_t end;  // exclusive
};

// [0, count) cut into contiguous ranges, at most one per thread and none smaller than the
// minimum share, given what one item costs (in pixels). At least one range when count > 0.
std::vector<WorkRange> splitWork(int64_t count, int64_t costPerItem);

// Runs body(begin, end) over the ranges of splitWork(count, costPerItem) in parallel.
template <typename Body>
void parallelFor(int64_t count, int64_t costPerItem, Body&& body) {
    const std::vector<WorkRange> ranges = splitWork(count, costPerItem);
    if (ranges.size() == 1) {
        body(ranges[0].begin, ranges[0].end);
        return;
    }
    runTasks(static_cast<int>(ranges.size()), [&](int i) {
        const WorkRange& r = ranges[static_cast<size_t>(i)];
        body(r.begin, r.end);
    });
}

// Runs body(y0, y1) over the rows top..bottom (inclusive; y1 exclusive) in parallel, each
// row costing `width` pixels.
template <typename Body>
void parallelRows(int top, int bottom, int width, Body&& body) {
    if (bottom < top) return;
    parallelFor(int64_t{bottom} - top + 1, width, [&](int64_t begin, int64_t end) {
        body(static_cast<int>(top + begin), static_cast<int>(top + end));
    });
}
