#pragma once
// Neuquant_256 written the slow, literal way, step by step as the method is defined, to
// check the fast implementation against: every pixel read through Image::read, every
// neuron as four plain components, no shortcuts.

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>

#include "core/rect.h"
#include "toolkit/image.h"

namespace literal {

// The 4 x 4 Bayer index matrix minus 7, row = y & 3, column = x & 3.
inline constexpr int bayer[4][4] = {{-7, 1, -5, 3}, {5, -3, 7, -1}, {-4, 4, -6, 2}, {8, 0, 6, -2}};

inline uint32_t orderedDither(uint32_t c, int x, int y) {
    const int o = bayer[y & 3][x & 3];
    return rgb(std::clamp(redOf(c) + o, 0, 255), std::clamp(greenOf(c) + o, 0, 255),
               std::clamp(blueOf(c) + o, 0, 255));
}

struct NeuQuant {
    int neuron[256][4];  // red, green, blue, and a fourth that never matters
    int freq[256];
    int bias[256];
    int rate[32];
    int index[256];
    int number[256];

    // (x + 1) >> s for negative x, x >> s otherwise.
    static int q(int x, int s) { return x < 0 ? (x + 1) >> s : x >> s; }

    void init() {
        for (int i = 0; i < 256; ++i) {
            neuron[i][0] = neuron[i][1] = neuron[i][2] = 16 * i;
            neuron[i][3] = 0;
            freq[i] = 256;
            bias[i] = 0;
        }
    }

    void fillRates(int alpha, int rad) {
        for (int i = 0; i < rad; ++i) rate[i] = (alpha * ((rad * rad - i * i) * 256)) / (rad * rad);
    }

    void train(int alpha, int rad, uint32_t c) {
        const int b[3] = {16 * redOf(c), 16 * greenOf(c), 16 * blueOf(c)};
        int bestDistance = INT_MAX, bestBiased = INT_MAX, closest = 0, winner = 0;
        for (int n = 0; n < 256; ++n) {
            int distance = 0;
            for (int k = 0; k < 3; ++k) distance += std::abs(neuron[n][k] - b[k]);
            const int biased = distance - (bias[n] >> 12);
            if (distance < bestDistance) bestDistance = distance, closest = n;
            if (biased < bestBiased) bestBiased = biased, winner = n;
            const int decay = freq[n] >> 10;
            freq[n] -= decay;
            bias[n] += decay * 1024;
        }
        freq[closest] += 64;
        bias[closest] -= 65536;
        const int j = winner;
        for (int k = 0; k < 3; ++k) neuron[j][k] -= q(alpha * (neuron[j][k] - b[k]), 10);
        if (rad == 0) return;
        for (int m = 1; j + m < std::min(j + rad, 256); ++m)
            for (int k = 0; k < 3; ++k)
                neuron[j + m][k] -= q(rate[m] * (neuron[j + m][k] - b[k]), 18);
        for (int m = 1; j - m > std::max(j - rad, -1); ++m)
            for (int k = 0; k < 3; ++k)
                neuron[j - m][k] -= q(rate[m] * (neuron[j - m][k] - b[k]), 18);
    }

    void learn(const Image& image) {
        const int w = image.width, h = image.height, count = w * h;
        int samples = count / 10, delta = samples / 100;
        int alpha = 1024, radius = 2048, rad = radius >> 6;
        if (rad <= 1) rad = 0;
        fillRates(alpha, rad);
        int step;
        if (count % 499 != 0) {
            if (count > 499) {
                step = 499;
            } else {
                samples = count;
                delta = samples / 100;
                step = count > 7 ? 7 : 1;
            }
        } else if (count % 491 != 0) {
            step = 491;
        } else if (count % 487 != 0) {
            step = 487;
        } else {
            step = 503;
        }
        const int dy = step / w, dx = step - dy * w;
        int x = 0, y = 0, i = 0;
        for (int s = 0; s < samples; ++s) {
            train(alpha, rad, image.read(x, y));
            x += dx;
            if (x >= w) x -= w, y += 1;
            y += dy;
            if (y >= h) y -= h;
            if (++i == delta) {
                alpha -= alpha / 33;
                radius -= radius / 15;
                rad = radius >> 6;
                if (rad <= 1) rad = 0;
                fillRates(alpha, rad);
                i = 0;
            }
        }
    }

    void finish(uint32_t colourMap[256]) {
        for (int i = 0; i < 256; ++i) {
            for (int k = 0; k < 3; ++k) neuron[i][k] = std::min((neuron[i][k] + 8) >> 4, 255);
            number[i] = i;
            colourMap[i] = neuron[i][0] + neuron[i][1] * 256 + neuron[i][2] * 65536 + 0xFF000000u;
        }
    }

    void buildIndex() {
        int previous = 0, start = 0;
        for (int i = 0; i < 256; ++i) {
            int smallest = i;
            for (int k = i + 1; k < 256; ++k)
                if (neuron[k][1] < neuron[smallest][1]) smallest = k;
            if (smallest != i) {
                std::swap(neuron[i], neuron[smallest]);
                std::swap(number[i], number[smallest]);
            }
            const int g = neuron[i][1];
            if (g != previous) {
                index[previous] = (start + i) >> 1;
                for (int k = previous + 1; k <= g - 1; ++k) index[k] = i;
                previous = g;
                start = i;
            }
        }
        index[previous] = (start + 255) >> 1;
        for (int k = previous + 1; k <= 255; ++k) index[k] = 255;
    }

    int search(uint32_t c) const {
        const int r = redOf(c), g = greenOf(c), b = blueOf(c);
        int bestDistance = 768, best = 0;
        int up = index[g];
        if (up == 0) up = 1;
        int down = up - 1;
        auto visit = [&](int p, int& side, int closed, int move) {
            const int* n = neuron[p];
            if (std::abs(n[1] - g) >= bestDistance) {
                side = closed;
                return;
            }
            const int d = std::abs(n[0] - r) + std::abs(n[1] - g) + std::abs(n[2] - b);
            if (d < bestDistance) bestDistance = d, best = number[p];
            side += move;
        };
        while (up <= 255 || down >= 0) {
            if (up <= 255) visit(up, up, 256, 1);
            if (down >= 0) visit(down, down, -1, -1);
        }
        return best;
    }
};

// The whole method on the rectangle of `image`: train on its pixels as an image of their
// own, then rewrite them with the nearest neuron's colour.
inline void neuQuantize(Image& image, const Rect& rect, bool dither) {
    NeuQuant net;
    net.init();
    net.learn(copyRect(image, rect.left, rect.top, rect.right, rect.bottom));
    uint32_t colourMap[256];
    net.finish(colourMap);
    net.buildIndex();
    for (int y = rect.top; y <= rect.bottom; ++y) {
        for (int x = rect.left; x <= rect.right; ++x) {
            const uint32_t input =
                dither ? orderedDither(image.read(x, y), x, y) : image.read(x, y);
            image.write(x, y, colourMap[net.search(input)]);
        }
    }
}

}  // namespace literal
