#include "quantize/neuquant.h"

#include <algorithm>
#include <climits>
#include <cstdlib>

#include "quantize/answer_cache.h"
#include "quantize/palette_map.h"

namespace {

constexpr int netBiasShift = 4;   // colour c trains as 16 * c
constexpr int betaShift = 10;     // frequencies decay by 1/1024 per sample
constexpr int beta = 64;          // frequency gained by the closest neuron
constexpr int betaGamma = 65536;  // bias lost by the closest neuron
constexpr int gammaShift = 10;
constexpr int biasToDistanceShift = 12;
constexpr int initialFrequency = 256;  // 65536 / 256 neurons
constexpr int alphaShift = 10;
constexpr int initialAlpha = 1 << alphaShift;
constexpr int radiusBiasShift = 6;
constexpr int initialRadius = maxNeighbourRadius << radiusBiasShift;  // 2048
constexpr int radiusDecrementDivisor = 15;
constexpr int radPowerShift = 8;  // neighbour rates carry 256 * alpha
constexpr int neighbourRateShift = 18;
constexpr int learningCycles = 100;
constexpr int maxColourValue = 255;
constexpr int searchNoDistance = 768;  // above the largest distance, 765
// Sampling steps: primes, so the walk through the pixels does not line up with rows.
constexpr int prime1 = 499, prime2 = 491, prime3 = 487, prime4 = 503;
constexpr int smallImageStep = 7;

int alphaDecrementDivisor(int samplingFactor) {
    return 30 + (samplingFactor - 1) / 3;
}

int radFromRadius(int radius) {
    int rad = radius >> radiusBiasShift;
    return rad <= 1 ? 0 : rad;
}

}  // namespace

SamplingPlan samplingPlan(int64_t pixelCount, int samplingFactor) {
    const int count = static_cast<int>(pixelCount);
    SamplingPlan plan{count / samplingFactor, 0, 1};
    plan.delta = plan.samples / learningCycles;
    if (count % prime1 != 0) {
        if (count > prime1) {
            plan.step = prime1;
        } else {
            // A small image is sampled whole.
            plan.samples = count;
            plan.delta = plan.samples / learningCycles;
            plan.step = count > smallImageStep ? smallImageStep : 1;
        }
    } else if (count % prime2 != 0) {
        plan.step = prime2;
    } else if (count % prime3 != 0) {
        plan.step = prime3;
    } else {
        plan.step = prime4;
    }
    return plan;
}

void Network::init() {
    for (int i = 0; i < networkSize; ++i) {
        red[i] = green[i] = blue[i] = i << netBiasShift;
        winFrequency[i] = initialFrequency;
        neuronBias[i] = 0;
        number[i] = i;
    }
}

void Network::fillNeighbourRates(int alpha, int rad) {
    const int radSquared = rad * rad;
    for (int i = 0; i < rad; ++i) {
        neighbourRate[i] = (alpha * ((radSquared - i * i) << radPowerShift)) / radSquared;
    }
}

void Network::contestPlain(int br, int bg, int bb, int& closest, int& winner) {
    int bestDistance = INT_MAX, bestBiased = INT_MAX;
    closest = winner = 0;
    for (int n = 0; n < networkSize; ++n) {
        int distance = std::abs(red[n] - br) + std::abs(green[n] - bg) + std::abs(blue[n] - bb);
        int biased = distance - (neuronBias[n] >> biasToDistanceShift);
        if (distance < bestDistance) {
            bestDistance = distance;
            closest = n;
        }
        if (biased < bestBiased) {
            bestBiased = biased;
            winner = n;
        }
        int decay = winFrequency[n] >> betaShift;
        winFrequency[n] -= decay;
        neuronBias[n] += decay << gammaShift;
    }
}

void Network::contest(int br, int bg, int bb, int& closest, int& winner) {
    // Same contest without branches, so the compiler can run it several neurons at a time:
    // the neuron number rides in the low byte of each key, so the smallest key is the
    // smallest distance with the lowest number on ties. Distances stay below 12,241 and
    // the bias term within about +-17,000, far from overflowing a shifted int.
    int bestDistanceKey = INT_MAX, bestBiasedKey = INT_MAX;
    for (int n = 0; n < networkSize; ++n) {
        int distance = std::abs(red[n] - br) + std::abs(green[n] - bg) + std::abs(blue[n] - bb);
        int biased = distance - (neuronBias[n] >> biasToDistanceShift);
        bestDistanceKey = std::min(bestDistanceKey, distance * networkSize + n);
        bestBiasedKey = std::min(bestBiasedKey, biased * networkSize + n);
        int decay = winFrequency[n] >> betaShift;
        winFrequency[n] -= decay;
        neuronBias[n] += decay << gammaShift;
    }
    closest = static_cast<int>(static_cast<unsigned>(bestDistanceKey) & (networkSize - 1));
    winner = static_cast<int>(static_cast<unsigned>(bestBiasedKey) & (networkSize - 1));
}

void Network::trainSample(int alpha, int rad, uint32_t c) {
    const int br = redOf(c) << netBiasShift;
    const int bg = greenOf(c) << netBiasShift;
    const int bb = blueOf(c) << netBiasShift;
    int closest, winner;
    contest(br, bg, bb, closest, winner);
    winFrequency[closest] += beta;
    neuronBias[closest] -= betaGamma;

    // The winner by biased distance moves towards the sample.
    const int j = winner;
    red[j] -= networkShift(alpha * (red[j] - br), alphaShift);
    green[j] -= networkShift(alpha * (green[j] - bg), alphaShift);
    blue[j] -= networkShift(alpha * (blue[j] - bb), alphaShift);
    if (rad == 0) return;
    auto moveNeighbour = [&](int k, int rate) {
        red[k] -= networkShift(rate * (red[k] - br), neighbourRateShift);
        green[k] -= networkShift(rate * (green[k] - bg), neighbourRateShift);
        blue[k] -= networkShift(rate * (blue[k] - bb), neighbourRateShift);
    };
    const int hi = std::min(j + rad, networkSize);
    for (int m = 1; j + m < hi; ++m) moveNeighbour(j + m, neighbourRate[m]);
    const int lo = std::max(j - rad, -1);
    for (int m = 1; j - m > lo; ++m) moveNeighbour(j - m, neighbourRate[m]);
}

void Network::learn(const Image& image, int samplingFactor) {
    if (image.empty()) return;
    const int w = image.width, h = image.height;
    const SamplingPlan plan = samplingPlan(static_cast<int64_t>(w) * h, samplingFactor);
    const int alphaDivisor = alphaDecrementDivisor(samplingFactor);
    int alpha = initialAlpha;
    int radius = initialRadius;
    int rad = radFromRadius(radius);
    fillNeighbourRates(alpha, rad);
    const int dy = plan.step / w;
    const int dx = plan.step - dy * w;
    int x = 0, y = 0, i = 0;
    for (int s = 0; s < plan.samples; ++s) {
        trainSample(alpha, rad, image.read(x, y));
        // Position p in row-major order becomes (p + step) mod count.
        x += dx;
        if (x >= w) {
            x -= w;
            ++y;
        }
        y += dy;
        if (y >= h) y -= h;
        if (++i == plan.delta) {
            alpha -= alpha / alphaDivisor;
            radius -= radius / radiusDecrementDivisor;
            rad = radFromRadius(radius);
            fillNeighbourRates(alpha, rad);
            i = 0;
        }
    }
}

void Network::finish(std::array<uint32_t, networkSize>& colourMap) {
    auto round = [](int v) {
        return std::min((v + (1 << (netBiasShift - 1))) >> netBiasShift, maxColourValue);
    };
    for (int i = 0; i < networkSize; ++i) {
        red[i] = round(red[i]);
        green[i] = round(green[i]);
        blue[i] = round(blue[i]);
        number[i] = i;
        colourMap[i] = rgb(red[i], green[i], blue[i]) | alphaMask;
    }
}

void Network::buildIndex() {
    int previous = 0, start = 0;
    for (int i = 0; i < networkSize; ++i) {
        int smallest = i;
        for (int k = i + 1; k < networkSize; ++k) {
            if (green[k] < green[smallest]) smallest = k;
        }
        if (smallest != i) {
            std::swap(red[i], red[smallest]);
            std::swap(green[i], green[smallest]);
            std::swap(blue[i], blue[smallest]);
            std::swap(number[i], number[smallest]);
        }
        const int g = green[i];
        if (g != previous) {
            index[previous] = (start + i) >> 1;
            for (int k = previous + 1; k < g; ++k) index[k] = i;
            previous = g;
            start = i;
        }
    }
    index[previous] = (start + networkSize - 1) >> 1;
    for (int k = previous + 1; k < networkSize; ++k) index[k] = networkSize - 1;
}

int Network::search(uint32_t c) const {
    const int r = redOf(c), g = greenOf(c), b = blueOf(c);
    int bestDistance = searchNoDistance;
    int best = 0;
    int up = index[g];
    if (up == 0) up = 1;
    int down = up - 1;
    // Neurons are sorted by green, so a side stops once the green difference alone is no
    // better than the best distance found.
    while (up < networkSize || down >= 0) {
        if (up < networkSize) {
            int dg = std::abs(green[up] - g);
            if (dg >= bestDistance) {
                up = networkSize;
            } else {
                int d = dg + std::abs(red[up] - r) + std::abs(blue[up] - b);
                if (d < bestDistance) {
                    bestDistance = d;
                    best = number[up];
                }
                ++up;
            }
        }
        if (down >= 0) {
            int dg = std::abs(green[down] - g);
            if (dg >= bestDistance) {
                down = -1;
            } else {
                int d = dg + std::abs(red[down] - r) + std::abs(blue[down] - b);
                if (d < bestDistance) {
                    bestDistance = d;
                    best = number[down];
                }
                --down;
            }
        }
    }
    return best;
}

void neuQuantize(Image& image, const Rect& rect, bool dither) {
    const Rect r = clipToImage(rect, image);
    if (r.empty()) return;
    Network net;
    net.init();
    if (coversWholeImage(r, image)) {
        net.learn(image);
    } else {
        net.learn(copyRect(image, r.left, r.top, r.right, r.bottom));
    }
    std::array<uint32_t, networkSize> colourMap{};
    net.finish(colourMap);
    net.buildIndex();
    AnswerCache nearest([&](uint32_t c) { return colourMap[net.search(c)] & colourMask; });
    for (int y = r.top; y <= r.bottom; ++y) {
        uint32_t* row = image.row(y);
        for (int x = r.left; x <= r.right; ++x) {
            uint32_t input = row[x] & colourMask;
            if (dither) input = orderedDitherColour(input, x, y);
            row[x] = (row[x] & alphaMask) | nearest(input);
        }
    }
}
