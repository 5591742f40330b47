#pragma once
// Neuquant_256: a one-dimensional self-organising map of 256 neurons trained on a sample
// of the pixels, then used as the palette (nearest neuron by Manhattan distance).

#include <array>
#include <cstdint>

#include "core/rect.h"
#include "toolkit/image.h"

inline constexpr int networkSize = 256;
inline constexpr int neuquantSamplingFactor = 10;
inline constexpr int maxNeighbourRadius = 32;

// Signed division by 2^s used by every network update: like an arithmetic shift, but a
// negative x is first moved one toward zero (q(-1000, 10) = -1, q(-2047, 10) = -2).
constexpr int networkShift(int x, int s) {
    return x < 0 ? (x + 1) >> s : x >> s;
}

// How the training walks the pixels: `samples` pixels, `step` apart in row-major order,
// with alpha and radius decaying every `delta` samples (never when delta is 0).
struct SamplingPlan {
    int samples;
    int delta;
    int step;
};
SamplingPlan samplingPlan(int64_t pixelCount, int samplingFactor = neuquantSamplingFactor);

struct Network {
    // Neuron colours; in training units (colour * 16) until finish(), then 0..255.
    std::array<int, networkSize> red{}, green{}, blue{};
    std::array<int, networkSize> winFrequency{};
    std::array<int, networkSize> neuronBias{};
    std::array<int, maxNeighbourRadius> neighbourRate{};
    // After finish(): each neuron's number before sorting by green.
    std::array<int, networkSize> number{};
    // For each green value, the position where a search starts.
    std::array<int, networkSize> index{};

    // Grey ramp, equal frequencies, no bias.
    void init();
    // Trains on the whole image.
    void learn(const Image& image, int samplingFactor = neuquantSamplingFactor);
    // One training step towards colour c.
    void trainSample(int alpha, int rad, uint32_t c);
    // Rounds the neurons to 0..255 and fills the colour map (entry i = neuron i's colour,
    // alpha 0xFF).
    void finish(std::array<uint32_t, networkSize>& colourMap);
    // Sorts the neurons by green and fills the index.
    void buildIndex();
    // Number of the neuron nearest to c.
    int search(uint32_t c) const;

    // The winner and closest neuron of one contest (exposed so the fast path can be
    // checked against the plain one); updates frequencies and biases as training does.
    void contest(int br, int bg, int bb, int& closest, int& winner);
    void contestPlain(int br, int bg, int bb, int& closest, int& winner);

    // Learning rates of the neighbours at distance 0..rad - 1 for this alpha; training
    // refills them whenever alpha and the radius decay.
    void fillNeighbourRates(int alpha, int rad);
};

// Trains a network on the rectangle's pixels (only those) and rewrites the rectangle with
// the nearest neuron colours; with dither the ordered 4 x 4 pattern is added to the
// search input (never to the training samples). Alpha is kept.
void neuQuantize(Image& image, const Rect& rect, bool dither);
