// Replaces the global operator new of the codec test program so that a test can see the
// largest block asked for while a probe is live, touched or not (an image made but left
// unset costs no resident memory, yet is still a huge allocation).

#include "allocation_probe.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<int> probes{0};
std::atomic<size_t> largest{0};
}  // namespace

void* operator new(size_t size) {
    if (probes.load(std::memory_order_relaxed) > 0) {
        size_t seen = largest.load(std::memory_order_relaxed);
        while (size > seen && !largest.compare_exchange_weak(seen, size)) {
        }
    }
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}

void operator delete(void* p) noexcept {
    std::free(p);
}

void operator delete(void* p, size_t) noexcept {
    std::free(p);
}

AllocationProbe::AllocationProbe() {
    largest = 0;
    ++probes;
}

AllocationProbe::~AllocationProbe() {
    --probes;
}

size_t AllocationProbe::largestBlock() const {
    return largest.load();
}
