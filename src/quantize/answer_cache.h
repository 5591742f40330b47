#pragma once
// Remembers recent answers of a pure per-colour function (a nearest-colour search).
// Photographs repeat colours a lot, and a remembered answer is the function's own result,
// so the output is the same with or without the cache.

#include <cstddef>
#include <cstdint>
#include <vector>

template <typename Function>
class AnswerCache {
  public:
    explicit AnswerCache(Function function)
        : function_(function), slots_(size_t{1} << cacheBits, 0) {}

    // `colour` must be a 24-bit value.
    uint32_t operator()(uint32_t colour) {
        // The tag bit marks a filled slot (colour 0 included).
        const uint64_t tag = static_cast<uint64_t>(colour | tagBit) << 32;
        uint64_t& slot = slots_[(colour * hashMultiplier) >> (32 - cacheBits)];
        if ((slot & tagMask) == tag) return static_cast<uint32_t>(slot);
        const uint32_t result = function_(colour);
        slot = tag | result;
        return result;
    }

  private:
    static constexpr int cacheBits = 18;  // 2 MiB of slots
    static constexpr uint32_t hashMultiplier = 2654435761u;
    static constexpr uint32_t tagBit = 0x01000000;
    static constexpr uint64_t tagMask = 0xFFFFFFFF00000000u;
    Function function_;
    std::vector<uint64_t> slots_;
};
