#pragma once
// The largest single block taken through operator new while a probe lives.

#include <cstddef>

class AllocationProbe {
  public:
    AllocationProbe();
    ~AllocationProbe();
    AllocationProbe(const AllocationProbe&) = delete;
    AllocationProbe& operator=(const AllocationProbe&) = delete;
    size_t largestBlock() const;
};
