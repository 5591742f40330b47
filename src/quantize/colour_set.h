#pragma once
// A set of 24-bit colours as one bit per colour (2 MiB): constant-time membership for any
// colour, allocated per use.

#include <cstddef>
#include <cstdint>
#include <memory>

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

  private:
    std::unique_ptr<uint8_t[]> bits_;  // value-initialised: all clear
};
