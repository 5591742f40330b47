#include "quantize/neuquant.h"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <utility>

#include "quantize/neuquant_literal.h"
#include "support/test_images.h"

namespace {

TEST(NetworkShift, RoundsNegativeValuesOneTowardZeroFirst) {
    EXPECT_EQ(networkShift(-1000, 10), -1);
    EXPECT_EQ(networkShift(-2047, 10), -2);
    EXPECT_EQ(networkShift(-1, 10), 0);
    EXPECT_EQ(networkShift(-1024, 10), -1);
    EXPECT_EQ(networkShift(-1025, 10), -1);
    EXPECT_EQ(networkShift(-2049, 10), -2);
    EXPECT_EQ(networkShift(1023, 10), 0);
    EXPECT_EQ(networkShift(2048, 10), 2);
}

TEST(SamplingPlan, StepsAndCounts) {
    auto check = [](int64_t count, int samples, int delta, int step) {
        SamplingPlan plan = samplingPlan(count);
        EXPECT_EQ(plan.samples, samples) << count;
        EXPECT_EQ(plan.delta, delta) << count;
        EXPECT_EQ(plan.step, step) << count;
    };
    check(1000, 100, 1, 499);
    check(999, 99, 0, 499);
    check(500, 50, 0, 499);
    check(498, 498, 4, 7);  // small images are sampled whole
    check(99, 99, 0, 7);
    check(8, 8, 0, 7);
    check(7, 7, 0, 1);
    check(1, 1, 0, 1);
    check(499, 49, 0, 491);
    check(499 * 2, 99, 0, 491);
    check(499 * 3000, 149700, 1497, 491);
    check(499 * 491, 24500, 245, 487);
    check(int64_t{499} * 491 * 487, 11931938, 119319, 503);
}

TEST(Network, FirstSampleMovesWinnerAndNeighbours) {
    Network net;
    net.init();
    EXPECT_EQ(net.green[7], 112);
    EXPECT_EQ(net.winFrequency[7], 256);
    net.fillNeighbourRates(1024, 32);
    EXPECT_EQ(net.neighbourRate[1], 1023 * 256);
    net.trainSample(1024, 32, rgb(10, 20, 30));
    // Neuron 20 is nearest to (160, 320, 480) in training units and moves onto it.
    EXPECT_EQ(net.red[20], 160);
    EXPECT_EQ(net.green[20], 320);
    EXPECT_EQ(net.blue[20], 480);
    EXPECT_EQ(net.winFrequency[20], 256 + 64);
    EXPECT_EQ(net.neuronBias[20], -65536);
    EXPECT_EQ(net.winFrequency[19], 256);
    EXPECT_EQ(net.neuronBias[19], 0);
    // Neighbours move by rate * difference / 2^18, negative terms rounded down.
    EXPECT_EQ(net.red[21], 161);
    EXPECT_EQ(net.green[21], 321);
    EXPECT_EQ(net.blue[21], 480);
    EXPECT_EQ(net.red[19], 161);
    EXPECT_EQ(net.green[19], 320);
    EXPECT_EQ(net.blue[19], 480);
    EXPECT_EQ(net.red[51], 776);  // the last neighbour above
    EXPECT_EQ(net.red[52], 832);  // outside the radius
    EXPECT_EQ(net.red[0], 98);    // the lowest neuron is within reach below
    EXPECT_EQ(net.green[0], 195);
    EXPECT_EQ(net.blue[0], 293);
}

TEST(Network, BiasedWinnerMovesWhileClosestGainsFrequency) {
    Network net;
    net.init();
    net.fillNeighbourRates(1024, 32);
    net.trainSample(1024, 32, rgb(10, 20, 30));
    // Neuron 20 is now exact but biased by 16; neurons 18 and 19 are 1 away unbiased, and
    // the lower one wins the tie.
    EXPECT_EQ(net.red[18], 161);
    EXPECT_EQ(net.green[18], 320);
    EXPECT_EQ(net.blue[18], 480);
    net.trainSample(1024, 0, rgb(10, 20, 30));
    EXPECT_EQ(net.red[18], 160);
    EXPECT_EQ(net.winFrequency[20], 256 + 128);
    EXPECT_EQ(net.neuronBias[20], -131072);
    EXPECT_EQ(net.red[19], 161);  // rad 0: no neighbour moves
}

TEST(Network, FastContestMatchesPlainContest) {
    std::mt19937 rng(8);
    for (int round = 0; round < 50; ++round) {
        Network a;
        for (int n = 0; n < networkSize; ++n) {
            a.red[n] = static_cast<int>(rng() % 4081);
            a.green[n] = static_cast<int>(rng() % 4081);
            a.blue[n] = static_cast<int>(rng() % 4081);
            a.winFrequency[n] = static_cast<int>(rng() % 66000);
            a.neuronBias[n] = static_cast<int>(rng() % 68000000) - 67000000;
        }
        // Duplicates force ties.
        a.red[200] = a.red[100], a.green[200] = a.green[100], a.blue[200] = a.blue[100];
        a.neuronBias[200] = a.neuronBias[100];
        Network b = a;
        int br = a.red[100], bg = a.green[100], bb = a.blue[100];
        if (round % 2) br = bg = bb = static_cast<int>(rng() % 4081);
        int closestA, winnerA, closestB, winnerB;
        a.contest(br, bg, bb, closestA, winnerA);
        b.contestPlain(br, bg, bb, closestB, winnerB);
        EXPECT_EQ(closestA, closestB);
        EXPECT_EQ(winnerA, winnerB);
        EXPECT_EQ(a.winFrequency, b.winFrequency);
        EXPECT_EQ(a.neuronBias, b.neuronBias);
    }
}

TEST(Network, IndexAndSearchStartAfterSorting) {
    Network net;
    for (int n = 0; n < networkSize; ++n) {
        net.red[n] = 0, net.green[n] = 100, net.blue[n] = 0, net.number[n] = n;
    }
    net.red[5] = 50, net.green[5] = 50;
    net.buildIndex();
    EXPECT_EQ(net.number[0], 5);
    EXPECT_EQ(net.number[5], 0);
    EXPECT_EQ(net.index[0], 0);
    EXPECT_EQ(net.index[49], 0);
    EXPECT_EQ(net.index[50], 0);
    EXPECT_EQ(net.index[51], 1);
    EXPECT_EQ(net.index[99], 1);
    EXPECT_EQ(net.index[100], 128);
    EXPECT_EQ(net.index[101], 255);
    // (0, 40, 0) is 60 away from both (50, 50, 0) and (0, 100, 0): index 0 starts the up
    // side at position 1, which is visited first and wins.
    EXPECT_EQ(net.search(rgb(0, 40, 0)), 1);
    EXPECT_EQ(net.search(rgb(50, 50, 0)), 5);
    EXPECT_EQ(net.search(rgb(0, 255, 0)), 255);  // the top of the index
}

// Whether training on the two images left the networks in the same state.
bool sameTraining(const Network& a, const Network& b) {
    return a.red == b.red && a.green == b.green && a.blue == b.blue &&
           a.winFrequency == b.winFrequency && a.neuronBias == b.neuronBias;
}

TEST(NetworkLearn, SamplesTheWalkedPixelsOnly) {
    // Up to 499 pixels the walk takes `count` steps of 7 pixels in row-major order. 13 x 6
    // (78 pixels) thus visits every pixel once. 13 x 7 (91 = 7 * 13) only revisits the
    // positions that are multiples of 7, one per column: (0, 0), (7, 0), (1, 1), ...; a
    // walk that forgot to carry into the next row would stay in row 0 instead.
    for (int h : {6, 7}) {
        const Image image = randomImage(13, h, static_cast<uint32_t>(h));
        Network base;
        base.init();
        base.learn(image);
        for (int p = 0; p < 13 * h; ++p) {
            Image changed = image;
            changed.pixels[p] ^= 0x808080;
            Network net;
            net.init();
            net.learn(changed);
            const bool sampled = h == 6 || p % 7 == 0;
            EXPECT_EQ(!sameTraining(net, base), sampled) << "13 x " << h << " pixel " << p;
        }
    }
}

TEST(NeuQuantize, EqualsTheLiteralMethod) {
    // 81 and 498 pixels are sampled whole with step 7 (only 498 decays, every 4 samples);
    // 499 x 2 walks with step 491 across the row end; 41 x 31 takes 127 samples of step
    // 499 and decays after every one.
    const std::pair<int, int> sizes[] = {{9, 9}, {83, 6}, {499, 2}, {41, 31}};
    uint32_t seed = 40;
    for (auto [w, h] : sizes) {
        const Image original = randomImage(w, h, seed++);
        for (bool dither : {false, true}) {
            Image fast = original, slow = original;
            neuQuantize(fast, wholeImage(fast), dither);
            literal::neuQuantize(slow, wholeImage(slow), dither);
            EXPECT_EQ(firstDifference(fast, slow), "") << w << " x " << h << " dither " << dither;
        }
    }
    // A 41 x 31 selection trains on its own pixels; the dither pattern stays anchored at
    // the image's corner.
    const Image original = randomImage(50, 40, seed);
    const Rect rect{5, 3, 45, 33};
    for (bool dither : {false, true}) {
        Image fast = original, slow = original;
        neuQuantize(fast, rect, dither);
        literal::neuQuantize(slow, rect, dither);
        EXPECT_EQ(firstDifference(fast, slow), "") << "selection, dither " << dither;
    }
}

TEST(NeuQuantize, OneColourImage) {
    // Under 100 pixels alpha stays at 1024, so every winner lands exactly on the colour.
    Image small(9, 9, 32, rgba(37, 201, 90, 0x11));
    neuQuantize(small, wholeImage(small), false);
    EXPECT_EQ(small, Image(9, 9, 32, rgba(37, 201, 90, 0x11)));
    Image large(100, 50, 24, rgb(37, 201, 90) | alphaMask);
    neuQuantize(large, wholeImage(large), false);
    std::set<uint32_t> got(large.pixels.begin(), large.pixels.end());
    ASSERT_EQ(got.size(), 1u);
    uint32_t c = *got.begin();
    EXPECT_NEAR(redOf(c), 37, 1);
    EXPECT_NEAR(greenOf(c), 201, 1);
    EXPECT_NEAR(blueOf(c), 90, 1);
    EXPECT_EQ(alphaOf(c), 255);
}

TEST(NeuQuantize, AtMost256ColoursAndAlphaIsKept) {
    for (bool dither : {false, true}) {
        Image image = randomImage(64, 48, dither ? 2 : 3);
        const Image before = image;
        neuQuantize(image, wholeImage(image), dither);
        std::set<uint32_t> got;
        for (size_t i = 0; i < image.pixels.size(); ++i) {
            EXPECT_EQ(image.pixels[i] & alphaMask, before.pixels[i] & alphaMask);
            got.insert(image.pixels[i] & colourMask);
        }
        EXPECT_LE(got.size(), 256u);
        EXPECT_GT(got.size(), 100u);  // a trained network spreads over the colours
    }
}

TEST(NeuQuantize, SelectionTrainsAndRewritesOnlyItsPixels) {
    Image image = randomImage(40, 30, 21);
    // The selection is a smooth gradient, unlike the noise around it.
    const Rect rect{8, 4, 35, 23};
    for (int y = rect.top; y <= rect.bottom; ++y) {
        for (int x = rect.left; x <= rect.right; ++x) {
            image.at(x, y) = (image.at(x, y) & alphaMask) | rgb(x * 6, y * 9, 120);
        }
    }
    for (bool dither : {false, true}) {
        Image whole = image;
        neuQuantize(whole, rect, dither);
        // The same pixels as an image of their own, at an offset that keeps the dither
        // pattern's phase.
        Image part = copyRect(image, rect.left, rect.top, rect.right, rect.bottom);
        neuQuantize(part, wholeImage(part), dither);
        for (int y = 0; y < image.height; ++y) {
            for (int x = 0; x < image.width; ++x) {
                bool inside =
                    x >= rect.left && x <= rect.right && y >= rect.top && y <= rect.bottom;
                uint32_t want = inside ? part.at(x - rect.left, y - rect.top) : image.at(x, y);
                ASSERT_EQ(whole.at(x, y), want) << x << "," << y << " dither " << dither;
            }
        }
    }
}

TEST(NeuQuantize, MapsEveryPixelToItsNearestNeuron) {
    // Few distinct colours, many repeats: remembered answers must equal fresh searches.
    Image image = randomImage(50, 40, 17);
    std::mt19937 rng(3);
    for (uint32_t& p : image.pixels) p = (p & alphaMask) | (rng() % 37) * 0x030507u;
    Network net;
    net.init();
    net.learn(image);
    std::array<uint32_t, networkSize> colourMap{};
    net.finish(colourMap);
    net.buildIndex();
    Image mapped = image;
    neuQuantize(mapped, wholeImage(mapped), false);
    for (size_t i = 0; i < image.pixels.size(); ++i) {
        uint32_t want = colourMap[net.search(image.pixels[i] & colourMask)] & colourMask;
        ASSERT_EQ(mapped.pixels[i], (image.pixels[i] & alphaMask) | want) << i;
    }
}

}  // namespace
