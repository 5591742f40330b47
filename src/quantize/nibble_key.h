#pragma once
// A compact key for colours that keep at most the top four bits of each channel (the
// posterized and masked colours, and every Uniform level): their three top nibbles tell them
// apart, so a table of 4096 entries indexes them.

#include <cstdint>

inline constexpr int nibbleKeyCount = 4096;
// The low four bits of each channel, which those colours set.
inline constexpr uint32_t nibbleLowBits = 0x0F0F0F;

// Blue's top nibble in bits 0-3, green's in 4-7, red's in 8-11.
inline int nibbleKey(uint32_t c) {
    return static_cast<int>(((c >> 4) & 15) | ((c >> 12) & 15) << 4 | ((c >> 20) & 15) << 8);
}

// The colour of a key, with the low four bits of every channel set.
inline uint32_t colourOfNibbleKey(int key) {
    const auto k = static_cast<uint32_t>(key);
    return ((k & 15) << 4) | ((k >> 4) & 15) << 12 | ((k >> 8) & 15) << 20 | nibbleLowBits;
}
