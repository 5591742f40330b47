#pragma once
// A set of 24-bit colours as one bit per colour (2 MiB): constant-time membership for any
// colour, allocated per use.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "toolkit/parallel.h"

class ColourBitSet {
  public:
    static constexpr size_t byteCount = size_t{1} << 21;  // 2^24 bits

    ColourBitSet() : bits_(std::make_unique<uint8_t[]>(byteCount)) {}

    // Sets the colour's bit; true when it was clear (the colour is new).
    bool insert(uint32_t colour) {
        uint8_t& byte = bits_[colour >> 3];
        uint8_t bit = static_cast<uint8_t>(1u << (colour & 7));
        bool fresh = (byte & bit) == 0;
        byte |= bit;
        return fresh;
    }
    bool contains(uint32_t colour) const { return (bits_[colour >> 3] >> (colour & 7)) & 1; }

    // Adds every colour of `other`.
    void merge(const ColourBitSet& other) {
        for (size_t i = 0; i < byteCount; i += sizeof(uint64_t)) {
            uint64_t a, b;
            std::memcpy(&a, &bits_[i], sizeof a);
            std::memcpy(&b, &other.bits_[i], sizeof b);
            a |= b;
            std::memcpy(&bits_[i], &a, sizeof a);
        }
    }

    // Number of colours held.
    int64_t size() const {
        int64_t n = 0;
        for (size_t i = 0; i < byteCount; i += sizeof(uint64_t)) {
            uint64_t word;
            std::memcpy(&word, &bits_[i], sizeof word);
            n += std::popcount(word);
        }
        return n;
    }

  private:
    std::unique_ptr<uint8_t[]> bits_;  // value-initialised: all clear
};

// Number of distinct colours that insertRows(y0, y1, set) puts into a set for the rows
// [0, rows) (each row costing `rowCost` pixels). Rows are shared out among the threads,
// each filling a set of its own; the sets are merged at the end.
template <typename InsertRows>
int64_t countDistinctColours(int rows, int rowCost, InsertRows&& insertRows) {
    const std::vector<WorkRange> ranges = splitWork(rows, rowCost);
    if (ranges.empty()) return 0;
    std::vector<ColourBitSet> sets(ranges.size());
    runTasks(static_cast<int>(ranges.size()), [&](int i) {
        const WorkRange& r = ranges[static_cast<size_t>(i)];
        insertRows(static_cast<int>(r.begin), static_cast<int>(r.end),
                   sets[static_cast<size_t>(i)]);
    });
    for (size_t i = 1; i < sets.size(); ++i) sets[0].merge(sets[i]);
    return sets[0].size();
}
