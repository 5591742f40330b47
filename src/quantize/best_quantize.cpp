#include "quantize/best_quantize.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <numeric>

#include "quantize/adaptive_quantize.h"
#include "quantize/cielab.h"
#include "quantize/error_figure.h"
#include "toolkit/parallel.h"

namespace {

// ---- The colour space distances are measured in ----
//
// A point has eight coordinates: red, green and blue (0..255), CIELAB's L*, a* and b*, all
// six scaled by alpha / 255 (premultiplied, so a faint pixel's colour matters as little
// as it shows), then alpha itself, and a zero that makes eight floats for the vector unit.
// The squared distance between two points is the squared channel error plus the squared
// Delta E, weighted, plus the squared alpha error. Channel error alone would favour PSNR at
// the cost of how the colours look; Lab alone the reverse. The weight is where, on
// photographs, neither figure gives up more than the other gains.

constexpr int coordinates = 8;
constexpr float labWeight = 0.7f;    // of Delta E beside the channels (0.49 squared)
constexpr float alphaWeight = 1.0f;  // of alpha beside one channel

struct alignas(32) Point {
    float v[coordinates] = {};
};

// Four lanes at a time, added up in one fixed order, so that the sum is the same whatever
// the compiler makes of it.
typedef float Lanes __attribute__((vector_size(16)));

typedef int IntLanes __attribute__((vector_size(16)));

// A pixel value's channels as lanes: red, green, blue, alpha.
inline Lanes lanesOf(uint32_t c) {
    return Lanes{static_cast<float>(c & 255), static_cast<float>((c >> 8) & 255),
                 static_cast<float>((c >> 16) & 255), static_cast<float>(c >> 24)};
}

inline float distanceSquared(const Point& a, const Point& b) {
    Lanes a0, a1, b0, b1;
    std::memcpy(&a0, a.v, sizeof a0);
    std::memcpy(&a1, a.v + 4, sizeof a1);
    std::memcpy(&b0, b.v, sizeof b0);
    std::memcpy(&b1, b.v + 4, sizeof b1);
    const Lanes d0 = a0 - b0, d1 = a1 - b1;
    const Lanes s = d0 * d0 + d1 * d1;
    return (s[0] + s[2]) + (s[1] + s[3]);
}

constexpr int companderSteps = 8192;

// Tables for the conversion: a channel value's share of X, Y and Z (read between table
// points for the fractional values of centres) and CIELAB's cube root, read by straight
// lines between 8193 points.
struct SpaceTables {
    float share[3][3][257];  // [XYZ row][channel][value], one spare point past 255
    float compander[companderSteps + 2];

    SpaceTables() {
        for (int v = 0; v <= 256; ++v) {
            const double linear = cielab::linearOf(std::min(v, 255));
            for (int row = 0; row < 3; ++row) {
                for (int ch = 0; ch < 3; ++ch) {
                    share[row][ch][v] = static_cast<float>(cielab::toXyz[row][ch] * linear);
                }
            }
        }
        for (int i = 0; i <= companderSteps + 1; ++i) {
            const double t = static_cast<double>(i) / companderSteps;
            compander[i] = static_cast<float>(cielab::compand(t));
        }
    }

    float companded(float t) const {
        float s = std::clamp(t * companderSteps, 0.0f, static_cast<float>(companderSteps));
        const int i = static_cast<int>(s);
        return compander[i] + (s - static_cast<float>(i)) * (compander[i + 1] - compander[i]);
    }

    // The point of a colour whose channels may have fractions (a centre's mean).
    Point point(float red, float green, float blue, float alpha) const {
        const float channel[3] = {red, green, blue};
        float xyz[3] = {0, 0, 0};
        for (int ch = 0; ch < 3; ++ch) {
            const float c = std::clamp(channel[ch], 0.0f, 255.0f);
            const int i = static_cast<int>(c);
            const float f = c - static_cast<float>(i);
            for (int row = 0; row < 3; ++row) {
                const float* s = share[row][ch];
                xyz[row] += s[i] + f * (s[i + 1] - s[i]);
            }
        }
        return finish(channel, xyz, alpha);
    }

    // The same for whole channel values, as pixels have.
    Point point(uint32_t value) const {
        const int r = redOf(value), g = greenOf(value), b = blueOf(value);
        const float channel[3] = {static_cast<float>(r), static_cast<float>(g),
                                  static_cast<float>(b)};
        float xyz[3];
        for (int row = 0; row < 3; ++row) {
            xyz[row] = share[row][0][r] + share[row][1][g] + share[row][2][b];
        }
        return finish(channel, xyz, static_cast<float>(alphaOf(value)));
    }

  private:
    Point finish(const float channel[3], const float xyz[3], float alpha) const {
        const float fx = companded(xyz[0]), fy = companded(xyz[1]), fz = companded(xyz[2]);
        const float s = alpha / 255.0f;
        Point p;
        p.v[0] = s * channel[0];
        p.v[1] = s * channel[1];
        p.v[2] = s * channel[2];
        p.v[3] = s * labWeight * (116.0f * fy - 16.0f);
        p.v[4] = s * labWeight * (500.0f * (fx - fy));
        p.v[5] = s * labWeight * (200.0f * (fy - fz));
        p.v[6] = alphaWeight * alpha;
        return p;
    }
};

const SpaceTables& spaceTables() {
    static const SpaceTables tables;
    return tables;
}

// ---- Exact nearest search ----
//
// Each entry keeps the others sorted by their distance from it. A search starts from a
// guess g (the answer for the previous pixel, or the centre a bin had before): with q the
// colour sought, an entry j can be nearer than the best found so far only if
// d(g, j) <= d(q, g) + best, by the triangle inequality, so the walk down g's list stops at
// the first entry beyond that. Ties go to the lower index, so the answer does not depend
// on the guess.

class PaletteSearch {
  public:
    explicit PaletteSearch(std::vector<Point> points) : points_(std::move(points)) {
        size_ = static_cast<int>(points_.size());
        length_ = std::min(size_ - 1, maxListLength);
        lists_.resize(static_cast<size_t>(size_) * std::max(length_, 0));
        // Each distance once, for both entries.
        std::vector<float> between(static_cast<size_t>(size_) * size_, 0.0f);
        for (int j = 0; j < size_; ++j) {
            for (int i = j + 1; i < size_; ++i) {
                const float d = std::sqrt(distanceSquared(points_[j], points_[i]));
                between[static_cast<size_t>(j) * size_ + i] = d;
                between[static_cast<size_t>(i) * size_ + j] = d;
            }
        }
        std::vector<Neighbour> all;
        for (int j = 0; j < size_; ++j) {
            all.clear();
            for (int i = 0; i < size_; ++i) {
                if (i != j) all.push_back({between[static_cast<size_t>(j) * size_ + i], i});
            }
            const auto nearer = [](const Neighbour& a, const Neighbour& b) {
                return a.distance < b.distance || (a.distance == b.distance && a.index < b.index);
            };
            std::nth_element(all.begin(), all.begin() + length_, all.end(), nearer);
            std::sort(all.begin(), all.begin() + length_, nearer);
            std::copy(all.begin(), all.begin() + length_,
                      lists_.begin() + static_cast<ptrdiff_t>(j) * length_);
        }
    }

    int size() const { return size_; }

    // A bound with room for the rounding of the float distances.
    static float reach(float bound) { return bound * 1.0001f + 1e-3f; }
    const Point& point(int i) const { return points_[static_cast<size_t>(i)]; }

    // The nearest entry to q; `bestSquared` receives the squared distance.
    int nearest(const Point& q, int guess, float* bestSquared = nullptr) const {
        const float dg2 = distanceSquared(q, points_[guess]);
        const float dg = std::sqrt(dg2);
        int best = guess;
        float best2 = dg2, bestDistance = dg;
        const Neighbour* list = lists_.data() + static_cast<ptrdiff_t>(guess) * length_;
        int i = 0;
        for (; i < length_; ++i) {
            if (list[i].distance > reach(bestDistance + dg)) break;
            const int j = list[i].index;
            const float d2 = distanceSquared(q, points_[j]);
            if (d2 < best2 || (d2 == best2 && j < best)) {
                best = j;
                best2 = d2;
                bestDistance = std::sqrt(d2);
            }
        }
        if (i == length_ && length_ < size_ - 1) best = scan(q, best, best2);
        if (bestSquared) *bestSquared = best2;
        return best;
    }

    // The nearest and the second nearest distances (squared) to q.
    int nearestTwo(const Point& q, int guess, float& first, float& second) const {
        const float dg2 = distanceSquared(q, points_[guess]);
        const float dg = std::sqrt(dg2);
        int best = guess;
        first = dg2;
        second = std::numeric_limits<float>::infinity();
        float secondDistance = second;
        const Neighbour* list = lists_.data() + static_cast<ptrdiff_t>(guess) * length_;
        int i = 0;
        for (; i < length_; ++i) {
            if (list[i].distance > reach(secondDistance + dg)) break;
            const int j = list[i].index;
            const float d2 = distanceSquared(q, points_[j]);
            if (d2 < first || (d2 == first && j < best)) {
                second = first;
                first = d2;
                best = j;
            } else if (d2 < second) {
                second = d2;
            }
            secondDistance = std::sqrt(second);
        }
        if (i == length_ && length_ < size_ - 1) {
            first = second = std::numeric_limits<float>::infinity();
            for (int j = 0; j < size_; ++j) {
                const float d2 = distanceSquared(q, points_[j]);
                if (d2 < first) {
                    second = first;
                    first = d2;
                    best = j;
                } else if (d2 < second) {
                    second = d2;
                }
            }
        }
        return best;
    }

  private:
    struct Neighbour {
        float distance;
        int index;
    };
    // Lists stop here; a search that runs off the end of one looks at every entry.
    static constexpr int maxListLength = 64;

    int scan(const Point& q, int best, float& best2) const {
        for (int j = 0; j < size_; ++j) {
            const float d2 = distanceSquared(q, points_[j]);
            if (d2 < best2 || (d2 == best2 && j < best)) {
                best = j;
                best2 = d2;
            }
        }
        return best;
    }

    std::vector<Point> points_;
    int size_ = 0;
    int length_ = 0;
    std::vector<Neighbour> lists_;
};

// ---- The histogram ----

struct ValueCount {
    uint32_t value;
    uint32_t count;
};

// Sorts by an unsigned 32-bit key, a byte at a time (bytes that are the same everywhere are
// skipped: alpha in an opaque image).
template <typename T, typename Key>
void radixSort(std::vector<T>& items, Key key) {
    std::vector<T> buffer(items.size());
    for (int shift = 0; shift < 32; shift += 8) {
        std::array<size_t, 256> counts{};
        for (const T& item : items) ++counts[(key(item) >> shift) & 255];
        if (std::any_of(counts.begin(), counts.end(), [&](size_t c) { return c == items.size(); }))
            continue;
        size_t sum = 0;
        for (size_t& c : counts) {
            const size_t here = c;
            c = sum;
            sum += here;
        }
        for (const T& item : items) buffer[counts[(key(item) >> shift) & 255]++] = item;
        items.swap(buffer);
    }
}

// Pixels per share of the counting; fixed, so the shares do not depend on the threads.
constexpr int64_t countingShare = int64_t{1} << 18;
// Above this many bins, neighbouring values are merged into cells: the fit costs time in
// proportion to the bins, and cells of two values per channel change the palette little.
constexpr size_t maxBins = size_t{1} << 17;

uint32_t storedValue(const Image& image, uint32_t pixel) {
    return image.depth == 32 ? pixel : (pixel | alphaMask);
}

BestHistogram::Bin binOf(uint32_t value, uint64_t count) {
    BestHistogram::Bin bin;
    const uint64_t a = static_cast<uint64_t>(alphaOf(value));
    bin.count = count;
    bin.alphaSum = a * count;
    bin.premultiplied[0] = a * static_cast<uint64_t>(redOf(value)) * count;
    bin.premultiplied[1] = a * static_cast<uint64_t>(greenOf(value)) * count;
    bin.premultiplied[2] = a * static_cast<uint64_t>(blueOf(value)) * count;
    return bin;
}

// ---- Centres ----

// What a centre stands for: the sums of its bins.
using Sums = BestHistogram::Bin;

struct Centre {
    float colour[3] = {0, 0, 0};  // red, green, blue, 0..255, not premultiplied
    float alpha = 255;
    bool fixed = false;  // the shared transparent entry stays where it is
    Point point;
};

Centre centreOf(const Sums& s) {
    Centre c;
    if (s.count == 0 || s.alphaSum == 0) return c;
    for (int ch = 0; ch < 3; ++ch) {
        c.colour[ch] = static_cast<float>(static_cast<double>(s.premultiplied[ch]) /
                                          static_cast<double>(s.alphaSum));
    }
    c.alpha = static_cast<float>(static_cast<double>(s.alphaSum) / static_cast<double>(s.count));
    c.point = spaceTables().point(c.colour[0], c.colour[1], c.colour[2], c.alpha);
    return c;
}

Centre transparentCentre() {
    Centre c;
    c.alpha = 0;
    c.fixed = true;
    return c;  // every coordinate 0
}

Point binPoint(const BestHistogram::Bin& bin) {
    Sums s;
    s.add(bin);
    return centreOf(s).point;
}

// ---- The fit ----

// Bins per share of a pass over the histogram; fixed for the same reason as above.
constexpr int binShare = 4096;
// How hard the fit works. Lloyd iterations before the relocations: at most `iterations`,
// fewer once a pass gains less than `settled` of the error; then at most `relocations`
// relocations, each followed by a few iterations. A few colours are cheap to fit and need
// it most, as each stands for much of the picture; many cost more and gain less.
struct Effort {
    int iterations;
    double settled;
    int relocations;
};
constexpr Effort fewColoursEffort{40, 2e-5, 12};
constexpr Effort manyColoursEffort{20, 5e-5, 8};
constexpr int fewColours = 64;
constexpr int relocationIterations = 3;
// Buckets along the axis a box is cut on.
constexpr int splitBuckets = 256;

class Fit {
  public:
    Fit(const BestHistogram& histogram, std::vector<Centre> fixedCentres)
        : bins_(histogram.bins), fixed_(std::move(fixedCentres)) {
        points_.resize(bins_.size());
        weights_.resize(bins_.size());
        parallelFor(static_cast<int64_t>(bins_.size()), 64, [&](int64_t b, int64_t e) {
            for (int64_t i = b; i < e; ++i) {
                points_[i] = binPoint(bins_[i]);
                weights_[i] = static_cast<double>(bins_[i].count);
            }
        });
        assignment_.assign(bins_.size(), 0);
        lower_.assign(bins_.size(), 0.0f);
    }

    // The fitted centres. A few colours are fitted twice, from boxes cut in two orders,
    // and the fit that leaves less error is kept: with so few, where the fit settles
    // depends on where it starts.
    std::vector<Centre> run(int colours) {
        double cost = 0;
        std::vector<Centre> centres = fit(colours, Cut::MostGain, cost);
        if (colours <= fewColours) {
            double other = 0;
            std::vector<Centre> second = fit(colours, Cut::MostError, other);
            if (other < cost) centres = std::move(second);
        }
        return centres;
    }

    // Root mean square channel error (premultiplied) of the bins against their nearest
    // palette entry.
    double rmsError(const std::vector<Point>& palette, uint64_t pixels) const {
        const PaletteSearch search(palette);
        const int shares = shareCount();
        std::vector<double> sums(static_cast<size_t>(shares), 0.0);
        runTasks(shares, [&](int s) {
            double sum = 0;
            int guess = 0;
            for (size_t i = shareBegin(s), e = shareEnd(s); i < e; ++i) {
                guess = search.nearest(points_[i], guess);
                const Point& p = search.point(guess);
                float d = 0;
                for (int c = 0; c < 3; ++c) {
                    const float t = points_[i].v[c] - p.v[c];
                    d += t * t;
                }
                sum += weights_[i] * d;
            }
            sums[static_cast<size_t>(s)] = sum;
        });
        const double total = std::accumulate(sums.begin(), sums.end(), 0.0);
        return pixels == 0 ? 0.0 : std::sqrt(total / (3.0 * static_cast<double>(pixels)));
    }

  private:
    // Which box is cut next: the one whose cut removes the most error, or the one with the
    // most error.
    enum class Cut { MostGain, MostError };

    std::vector<Centre> fit(int colours, Cut order, double& cost) {
        std::vector<Centre> centres = fixed_;
        splitBoxes(colours, centres, order);
        boundPoints_.clear();
        const Effort effort = colours <= fewColours ? fewColoursEffort : manyColoursEffort;
        cost = std::numeric_limits<double>::infinity();
        for (int i = 0; i < effort.iterations; ++i) {
            const double before = cost;
            cost = pass(centres, true);
            if (before - cost < effort.settled * cost) break;
        }
        cost = pass(centres, false);
        for (int r = 0; r < effort.relocations; ++r) {
            std::vector<Centre> trial = centres;
            if (!relocate(trial)) break;
            for (int i = 0; i < relocationIterations; ++i) pass(trial, true);
            const double after = pass(trial, false);
            if (after >= cost) break;
            centres = std::move(trial);
            cost = after;
        }
        return centres;
    }

    int shareCount() const { return static_cast<int>((bins_.size() + binShare - 1) / binShare); }
    size_t shareBegin(int s) const { return static_cast<size_t>(s) * binShare; }
    size_t shareEnd(int s) const { return std::min(bins_.size(), shareBegin(s + 1)); }

    static PaletteSearch searchOf(const std::vector<Centre>& centres) {
        std::vector<Point> points;
        points.reserve(centres.size());
        for (const Centre& c : centres) points.push_back(c.point);
        return PaletteSearch(std::move(points));
    }

    // Assigns every bin to its nearest centre and returns the weighted squared distance;
    // with `update`, moves every centre to the mean of its bins.
    //
    // A bin keeps a lower bound on its distance to every centre but its own. Once the
    // centres have moved, the bound less the farthest move still holds; while the bin's
    // own centre is nearer than that, nothing can have come nearer and the search is
    // skipped. The answer is the search's all the same.
    double pass(std::vector<Centre>& centres, bool update) {
        const PaletteSearch search = searchOf(centres);
        const size_t k = centres.size();
        const bool bounded = boundPoints_.size() == k;
        // The two largest moves since the bounds were made, and whose the largest is.
        float most = 0, secondMost = 0;
        size_t mover = k;
        if (bounded) {
            for (size_t j = 0; j < k; ++j) {
                const float d =
                    loosened(std::sqrt(distanceSquared(boundPoints_[j], centres[j].point)));
                if (d > most) {
                    secondMost = most;
                    most = d;
                    mover = j;
                } else if (d > secondMost) {
                    secondMost = d;
                }
            }
        }
        const int shares = shareCount();
        std::vector<double> costs(static_cast<size_t>(shares), 0.0);
        std::vector<std::vector<Sums>> sums(static_cast<size_t>(shares));
        runTasks(shares, [&](int s) {
            std::vector<Sums>& mine = sums[static_cast<size_t>(s)];
            if (update) mine.assign(k, Sums{});
            double cost = 0;
            for (size_t i = shareBegin(s), e = shareEnd(s); i < e; ++i) {
                const int a = assignment_[i];
                float d2 = 0;
                int j = a;
                bool known = false;
                if (bounded) {
                    const float others =
                        lower_[i] - (static_cast<size_t>(a) == mover ? secondMost : most);
                    d2 = distanceSquared(points_[i], search.point(a));
                    if (PaletteSearch::reach(std::sqrt(d2)) < others) {
                        lower_[i] = others;
                        known = true;
                    }
                }
                if (!known) {
                    float second = 0;
                    j = search.nearestTwo(points_[i], a, d2, second);
                    lower_[i] = std::sqrt(second);
                    assignment_[i] = j;
                }
                cost += weights_[i] * d2;
                if (update) mine[static_cast<size_t>(j)].add(bins_[i]);
            }
            costs[static_cast<size_t>(s)] = cost;
        });
        boundPoints_.resize(k);
        for (size_t j = 0; j < k; ++j) boundPoints_[j] = centres[j].point;
        if (update) {
            for (size_t j = 0; j < k; ++j) {
                if (centres[j].fixed) continue;
                Sums total;
                for (const auto& share : sums) total.add(share[j]);
                // A centre nothing came to stays put; a relocation will find it.
                if (total.count > 0) centres[j] = centreOf(total);
            }
        }
        return std::accumulate(costs.begin(), costs.end(), 0.0);
    }

    // A distance made a little larger, so that bounds built from float distances hold.
    static float loosened(float d) { return d * 1.00001f + 1e-4f; }

    // ---- Box splitting ----

    struct Moments {
        double weight = 0;
        double sum[coordinates]{};
        double squares = 0;  // of the whole vector
        void add(const Point& p, double w) {
            weight += w;
            for (int d = 0; d < coordinates; ++d) {
                sum[d] += w * p.v[d];
                squares += w * static_cast<double>(p.v[d]) * p.v[d];
            }
        }
        void add(const Moments& m) {
            weight += m.weight;
            for (int d = 0; d < coordinates; ++d) sum[d] += m.sum[d];
            squares += m.squares;
        }
        double error() const {
            if (weight <= 0) return 0;
            double e = squares;
            for (int d = 0; d < coordinates; ++d) e -= sum[d] * sum[d] / weight;
            return std::max(e, 0.0);
        }
    };

    struct Box {
        size_t begin, end;  // into order_
        double error = 0;
        // The best cut: across `axis`, below bucket `bucket` of the box's range.
        bool cuttable = false;
        int axis = 0, bucket = 0;
        float low = 0, scale = 0;
        double gain = 0;  // error removed by the cut
    };

    Moments momentsOf(size_t begin, size_t end) const {
        Moments m;
        for (size_t i = begin; i < end; ++i) m.add(points_[order_[i]], weights_[order_[i]]);
        return m;
    }

    static int bucketOfPoint(const Point& p, int axis, float lo, float scale) {
        return std::clamp(static_cast<int>((p.v[axis] - lo) * scale), 0, splitBuckets - 1);
    }

    // A box of the bins order_[begin, end), with its best cut worked out: across the
    // coordinate along which it varies most, where the two halves' squared errors add up
    // to the least.
    Box makeBox(size_t begin, size_t end) const {
        Box box{begin, end};
        const Moments all = momentsOf(begin, end);
        box.error = all.error();
        if (end - begin < 2) return box;
        float lo[coordinates], hi[coordinates];
        std::fill(lo, lo + coordinates, std::numeric_limits<float>::infinity());
        std::fill(hi, hi + coordinates, -std::numeric_limits<float>::infinity());
        std::array<double, coordinates> squares{};
        for (size_t i = begin; i < end; ++i) {
            const Point& p = points_[order_[i]];
            const double w = weights_[order_[i]];
            for (int d = 0; d < coordinates; ++d) {
                lo[d] = std::min(lo[d], p.v[d]);
                hi[d] = std::max(hi[d], p.v[d]);
                squares[d] += w * static_cast<double>(p.v[d]) * p.v[d];
            }
        }
        int axis = -1;
        double widest = 0;
        for (int d = 0; d < coordinates; ++d) {
            const double variance = squares[d] - all.sum[d] * all.sum[d] / all.weight;
            if (hi[d] > lo[d] && variance > widest) {
                widest = variance;
                axis = d;
            }
        }
        if (axis < 0) return box;
        const float scale = splitBuckets / (hi[axis] - lo[axis]);
        std::vector<Moments> buckets(splitBuckets);
        for (size_t i = begin; i < end; ++i) {
            const Point& p = points_[order_[i]];
            buckets[static_cast<size_t>(bucketOfPoint(p, axis, lo[axis], scale))].add(
                p, weights_[order_[i]]);
        }
        Moments left;
        double bestError = std::numeric_limits<double>::infinity();
        for (int b = 0; b + 1 < splitBuckets; ++b) {
            left.add(buckets[static_cast<size_t>(b)]);
            if (left.weight <= 0 || left.weight >= all.weight) continue;
            Moments right = all;
            right.weight -= left.weight;
            for (int d = 0; d < coordinates; ++d) right.sum[d] -= left.sum[d];
            right.squares -= left.squares;
            const double e = left.error() + right.error();
            if (e < bestError) {
                bestError = e;
                box.bucket = b;
                box.cuttable = true;
            }
        }
        box.axis = axis;
        box.low = lo[axis];
        box.scale = scale;
        box.gain = box.error - bestError;
        return box;
    }

    // Splits the histogram into `colours` boxes and appends their means to `centres`;
    // every bin's assignment is its box.
    void splitBoxes(int colours, std::vector<Centre>& centres, Cut order) {
        order_.resize(bins_.size());
        std::iota(order_.begin(), order_.end(), size_t{0});
        std::vector<Box> boxes{makeBox(0, order_.size())};
        while (static_cast<int>(boxes.size()) < colours) {
            int chosen = -1;
            for (int b = 0; b < static_cast<int>(boxes.size()); ++b) {
                if (!boxes[b].cuttable) continue;
                const Box& c = boxes[static_cast<size_t>(std::max(chosen, 0))];
                const bool more =
                    order == Cut::MostGain ? boxes[b].gain > c.gain : boxes[b].error > c.error;
                if (chosen < 0 || more) chosen = b;
            }
            if (chosen < 0) break;
            const Box box = boxes[static_cast<size_t>(chosen)];
            const auto middle = std::stable_partition(
                order_.begin() + static_cast<ptrdiff_t>(box.begin),
                order_.begin() + static_cast<ptrdiff_t>(box.end), [&](size_t i) {
                    return bucketOfPoint(points_[i], box.axis, box.low, box.scale) <= box.bucket;
                });
            const size_t m = static_cast<size_t>(middle - order_.begin());
            boxes[static_cast<size_t>(chosen)] = makeBox(box.begin, m);
            boxes.push_back(makeBox(m, box.end));
        }
        const int first = static_cast<int>(centres.size());
        for (size_t b = 0; b < boxes.size(); ++b) {
            Sums s;
            for (size_t i = boxes[b].begin; i < boxes[b].end; ++i) {
                s.add(bins_[order_[i]]);
                assignment_[order_[i]] = first + static_cast<int>(b);
            }
            centres.push_back(centreOf(s));
        }
    }

    // ---- Relocation ----
    //
    // Moves the centre whose bins would lose least by going to their next nearest centre
    // into the cluster whose cut in two would gain most, when the gain is the larger.

    bool relocate(std::vector<Centre>& centres) {
        const PaletteSearch search = searchOf(centres);
        const size_t k = centres.size();
        std::vector<double> loss(k, 0.0), error(k, 0.0);
        std::vector<float> nearest(bins_.size()), second(bins_.size());
        // Shares in a fixed order, then added up in that order.
        const int shares = shareCount();
        runTasks(shares, [&](int s) {
            for (size_t i = shareBegin(s), e = shareEnd(s); i < e; ++i) {
                assignment_[i] =
                    search.nearestTwo(points_[i], assignment_[i], nearest[i], second[i]);
                lower_[i] = std::sqrt(second[i]);
            }
        });
        boundPoints_.resize(k);
        for (size_t j = 0; j < k; ++j) boundPoints_[j] = centres[j].point;
        for (size_t i = 0; i < bins_.size(); ++i) {
            const size_t j = static_cast<size_t>(assignment_[i]);
            error[j] += weights_[i] * nearest[i];
            loss[j] += weights_[i] * (std::isinf(second[i]) ? nearest[i] : second[i] - nearest[i]);
        }
        // Each cluster's bins, in bin order.
        std::vector<size_t> start(k + 1, 0);
        for (int a : assignment_) ++start[static_cast<size_t>(a) + 1];
        std::partial_sum(start.begin(), start.end(), start.begin());
        std::vector<size_t> members(bins_.size());
        {
            std::vector<size_t> at(start.begin(), start.end() - 1);
            for (size_t i = 0; i < bins_.size(); ++i) members[at[assignment_[i]]++] = i;
        }
        std::vector<double> gain(k, 0.0);
        std::vector<Centre> halfA(k), halfB(k);
        runTasks(static_cast<int>(k), [&](int j) {
            if (centres[j].fixed) return;
            const std::span<const size_t> mine(members.data() + start[j], start[j + 1] - start[j]);
            double after = 0;
            if (halve(mine, halfA[j], halfB[j], after)) gain[j] = error[j] - after;
        });
        int from = -1, to = -1;
        double best = 0;
        for (size_t s = 0; s < k; ++s) {
            for (size_t r = 0; r < k; ++r) {
                if (r == s || centres[r].fixed) continue;
                const double net = gain[s] - loss[r];
                if (net > best) {
                    best = net;
                    from = static_cast<int>(r);
                    to = static_cast<int>(s);
                }
            }
        }
        if (from < 0) return false;
        centres[static_cast<size_t>(from)] = halfA[static_cast<size_t>(to)];
        centres[static_cast<size_t>(to)] = halfB[static_cast<size_t>(to)];
        return true;
    }

    // Two-means on one cluster's bins, started from a cut across its principal axis.
    bool halve(std::span<const size_t> mine, Centre& a, Centre& b, double& error) const {
        if (mine.size() < 2) return false;
        Moments m;
        for (size_t i : mine) m.add(points_[i], weights_[i]);
        double mean[coordinates];
        for (int d = 0; d < coordinates; ++d) mean[d] = m.sum[d] / m.weight;
        double cov[coordinates][coordinates] = {};
        for (size_t i : mine) {
            double x[coordinates];
            for (int d = 0; d < coordinates; ++d) x[d] = points_[i].v[d] - mean[d];
            for (int r = 0; r < coordinates; ++r) {
                for (int c = 0; c < coordinates; ++c) cov[r][c] += weights_[i] * x[r] * x[c];
            }
        }
        double axis[coordinates];
        std::fill(axis, axis + coordinates, 1.0);
        for (int step = 0; step < 12; ++step) {
            double next[coordinates] = {};
            for (int r = 0; r < coordinates; ++r) {
                for (int c = 0; c < coordinates; ++c) next[r] += cov[r][c] * axis[c];
            }
            double length = 0;
            for (double v : next) length += v * v;
            length = std::sqrt(length);
            if (length == 0) return false;
            for (int d = 0; d < coordinates; ++d) axis[d] = next[d] / length;
        }
        std::vector<char> side(mine.size());
        for (size_t n = 0; n < mine.size(); ++n) {
            double t = 0;
            for (int d = 0; d < coordinates; ++d) t += (points_[mine[n]].v[d] - mean[d]) * axis[d];
            side[n] = t > 0;
        }
        for (int step = 0; step < 6; ++step) {
            Sums sa, sb;
            for (size_t n = 0; n < mine.size(); ++n) (side[n] ? sb : sa).add(bins_[mine[n]]);
            if (sa.count == 0 || sb.count == 0) return false;
            a = centreOf(sa);
            b = centreOf(sb);
            bool moved = false;
            error = 0;
            for (size_t n = 0; n < mine.size(); ++n) {
                const Point& p = points_[mine[n]];
                const float da = distanceSquared(p, a.point), db = distanceSquared(p, b.point);
                const char s = db < da;
                moved |= s != side[n];
                side[n] = s;
                error += weights_[mine[n]] * std::min(da, db);
            }
            if (!moved) break;
        }
        return true;
    }

    const std::vector<BestHistogram::Bin>& bins_;
    std::vector<Centre> fixed_;
    std::vector<Point> points_;
    std::vector<double> weights_;
    std::vector<int> assignment_;
    // Lower bounds on each bin's distance to the centres other than its own, as they
    // stood at boundPoints_ (empty until a pass has made them).
    std::vector<float> lower_;
    std::vector<Point> boundPoints_;
    std::vector<size_t> order_;
};

uint32_t roundedColour(const Centre& c) {
    if (c.fixed) return 0;
    auto channel = [](float v) { return static_cast<int>(std::clamp(std::lround(v), 0L, 255L)); };
    // A centre of pixels that are not fully transparent is not fully transparent either.
    const int alpha = std::max(channel(c.alpha), 1);
    return rgba(channel(c.colour[0]), channel(c.colour[1]), channel(c.colour[2]), alpha);
}

// ---- Mapping ----

// Remembers the answers for recent pixel values, all 32 bits of them.
// Multiplying by an odd number is one to one on 32-bit values, so the top bits of the
// product choose the slot and the rest, kept in the slot, tell the value apart from the
// others that share it: a slot holds that rest, a mark and the entry, in 32 bits.
class ValueCache {
  public:
    ValueCache() : slots_(size_t{1} << bits, 0) {}
    // The remembered index, or -1.
    int find(uint32_t value) const {
        const uint32_t m = value * multiplier;
        const uint32_t slot = slots_[m >> (32 - bits)];
        return (slot >> 9) == (m & restMask) && (slot & filled) ? static_cast<int>(slot & 255) : -1;
    }
    void store(uint32_t value, int index) {
        const uint32_t m = value * multiplier;
        slots_[m >> (32 - bits)] = (m & restMask) << 9 | filled | static_cast<uint32_t>(index);
    }

  private:
    static constexpr int bits = 18;  // 1 MiB: photographs repeat their colours at a distance
    static constexpr uint32_t multiplier = 2654435761u;
    static constexpr uint32_t restMask = (1u << (32 - bits)) - 1;
    static constexpr uint32_t filled = 256;
    std::vector<uint32_t> slots_;
};

struct Mapper {
    std::vector<uint32_t> colours;
    PaletteSearch search;
    int transparent = -1;  // the entry fully transparent pixels take, if any

    explicit Mapper(std::span<const uint32_t> palette)
        : colours(palette.begin(), palette.end()), search(pointsOf(palette)) {
        for (size_t i = 0; i < colours.size(); ++i) {
            if (alphaOf(colours[i]) == 0) {
                transparent = static_cast<int>(i);
                break;
            }
        }
    }

    static std::vector<Point> pointsOf(std::span<const uint32_t> palette) {
        std::vector<Point> points;
        for (uint32_t c : palette) points.push_back(spaceTables().point(c));
        return points;
    }

    // The entry for a stored pixel value; `guess` is where the search starts.
    int entryFor(uint32_t value, ValueCache& cache, int guess) const {
        if (alphaOf(value) == 0 && transparent >= 0) return transparent;
        const int known = cache.find(value);
        if (known >= 0) return known;
        const int found = search.nearest(spaceTables().point(value), guess);
        cache.store(value, found);
        return found;
    }
};

// Writes entry `index` to a pixel (a 24-bit image keeps alpha 0xFF).
inline uint32_t written(const Image& image, const Mapper& map, int index) {
    const uint32_t c = map.colours[static_cast<size_t>(index)];
    return image.depth == 32 ? c : (c | alphaMask);
}

// The entry of every pixel, without dither: rows in bands shared among the threads, each
// with its own cache.
std::vector<uint8_t> nearestEntries(const Image& image, const Mapper& map) {
    std::vector<uint8_t> entries(image.pixels.size());
    parallelRows(0, image.height - 1, image.width, [&](int y0, int y1) {
        ValueCache cache;
        int guess = 0;
        for (int y = y0; y < y1; ++y) {
            const uint32_t* row = image.row(y);
            uint8_t* out = entries.data() + static_cast<size_t>(y) * image.width;
            for (int x = 0; x < image.width; ++x) {
                guess = map.entryFor(storedValue(image, row[x]), cache, guess);
                out[x] = static_cast<uint8_t>(guess);
            }
        }
    });
    return entries;
}

// Writes entry entries[i] to pixel i and marks the entries used.
void writeEntries(Image& image, const Mapper& map, const std::vector<uint8_t>& entries,
                  std::vector<char>& used) {
    for (uint8_t e : entries) used[e] = 1;
    parallelRows(0, image.height - 1, image.width, [&](int y0, int y1) {
        for (int y = y0; y < y1; ++y) {
            uint32_t* row = image.row(y);
            const uint8_t* e = entries.data() + static_cast<size_t>(y) * image.width;
            for (int x = 0; x < image.width; ++x) row[x] = written(image, map, e[x]);
        }
    });
}

void mapPlain(Image& image, const Mapper& map, std::vector<char>& used) {
    writeEntries(image, map, nearestEntries(image, map), used);
}

// ---- Dither ----
//
// Serpentine Floyd-Steinberg on the channel values, with three changes that keep it from
// adding noise where it does not help: only a share of the error is passed on (so it fades);
// what arrives at a pixel is clamped, so a run of errors cannot build up into a streak; and
// near an edge (a large step to a neighbour, relative to the palette's own error) the
// pixel takes less, because there the error is hidden and the dots would only roughen it.

constexpr float ditherShare = 0.75f;  // of the error passed on
constexpr double clampScale = 4.0;    // arriving error at most this times the rms error
constexpr double edgeScale = 6.0;     // a step this many times the rms error halves it

// How much of the arriving error each pixel takes, 0..255: less where a neighbour differs
// much in brightness or alpha. The largest difference to the eight neighbours is the
// larger of (largest - own) and (own - smallest) over the 3 x 3 block.
std::vector<uint8_t> ditherWeights(const Image& image, double rmsError) {
    const int w = image.width, h = image.height;
    std::vector<uint8_t> weights(image.pixels.size());
    const float step = static_cast<float>(edgeScale * rmsError);
    // 255 / (1 + r^2) for a difference of r steps, by difference.
    std::array<uint8_t, 256> weightOf{};
    for (int d = 0; d < 256; ++d) {
        const float r = static_cast<float>(d) / step;
        weightOf[static_cast<size_t>(d)] = static_cast<uint8_t>(255.0f / (1.0f + r * r) + 0.5f);
    }
    const bool alpha = image.depth == 32;
    const size_t n = static_cast<size_t>(w);
    parallelRows(0, h - 1, w, [&](int y0, int y1) {
        // One plane of brightness (Rec. 601 weights in 256ths) and one of alpha; for each,
        // the smallest and largest of a pixel and its left and right neighbours, per row.
        struct Plane {
            std::vector<uint8_t> value, low, high;
        };
        auto fill = [&](int y, Plane& level, Plane& opacity) {
            const uint32_t* row = image.row(y);
            for (size_t x = 0; x < n; ++x) {
                const uint32_t c = row[x];
                level.value[x] =
                    static_cast<uint8_t>((77 * redOf(c) + 150 * greenOf(c) + 29 * blueOf(c)) >> 8);
                opacity.value[x] = alpha ? static_cast<uint8_t>(alphaOf(c)) : 255;
            }
            for (Plane* p : {&level, &opacity}) {
                const uint8_t* v = p->value.data();
                p->low[0] = std::min(v[0], v[std::min<size_t>(1, n - 1)]);
                p->high[0] = std::max(v[0], v[std::min<size_t>(1, n - 1)]);
                for (size_t x = 1; x + 1 < n; ++x) {
                    p->low[x] = std::min(std::min(v[x - 1], v[x]), v[x + 1]);
                    p->high[x] = std::max(std::max(v[x - 1], v[x]), v[x + 1]);
                }
                if (n > 1) {
                    p->low[n - 1] = std::min(v[n - 2], v[n - 1]);
                    p->high[n - 1] = std::max(v[n - 2], v[n - 1]);
                }
            }
        };
        Plane level[3], opacity[3];
        for (int i = 0; i < 3; ++i) {
            for (Plane* p : {&level[i], &opacity[i]}) {
                p->value.resize(n);
                p->low.resize(n);
                p->high.resize(n);
            }
        }
        // Planes [0], [1], [2] hold the rows above, at and below y.
        fill(std::max(y0 - 1, 0), level[0], opacity[0]);
        fill(y0, level[1], opacity[1]);
        std::vector<uint8_t> most(n);
        for (int y = y0; y < y1; ++y) {
            fill(std::min(y + 1, h - 1), level[2], opacity[2]);
            for (Plane* planes : {level, opacity}) {
                const uint8_t* v = planes[1].value.data();
                const bool first = planes == level;
                for (size_t x = 0; x < n; ++x) {
                    const uint8_t low =
                        std::min(std::min(planes[0].low[x], planes[1].low[x]), planes[2].low[x]);
                    const uint8_t high =
                        std::max(std::max(planes[0].high[x], planes[1].high[x]), planes[2].high[x]);
                    const uint8_t d = std::max<uint8_t>(high - v[x], v[x] - low);
                    most[x] = first ? d : std::max(most[x], d);
                }
            }
            uint8_t* out = weights.data() + static_cast<size_t>(y) * n;
            for (size_t x = 0; x < n; ++x) out[x] = weightOf[most[x]];
            std::rotate(level, level + 1, level + 3);
            std::rotate(opacity, opacity + 1, opacity + 3);
        }
    });
    return weights;
}

// The diffusion runs in bands of rows, side by side on the threads. Each band starts a few
// rows above its first, from no error, and keeps only its own rows: by then the error
// arriving is what it would have been, so no seam shows. The bands are fixed, so the
// result does not depend on the threads.
constexpr int ditherBandRows = 512;
constexpr int ditherLeadRows = 16;

void mapDithered(Image& image, const Mapper& map, double rmsError, std::vector<char>& used) {
    const std::vector<uint8_t> weights = ditherWeights(image, rmsError);
    // Where the search for a pixel starts: its own entry without dither, which is where
    // the answer usually is or next to it.
    const std::vector<uint8_t> plain = nearestEntries(image, map);
    const float limit = static_cast<float>(clampScale * rmsError);
    const int w = image.width;
    // The channels of each entry as the four lanes red, green, blue, alpha.
    std::vector<Lanes> entryLanes(map.colours.size());
    for (size_t i = 0; i < map.colours.size(); ++i) entryLanes[i] = lanesOf(map.colours[i]);
    const Lanes low = {-limit, -limit, -limit, -limit}, high = {limit, limit, limit, limit};
    const Lanes black = {0, 0, 0, 0}, full = {255, 255, 255, 255};
    // The image is read throughout, so the entries chosen are written apart and the pixels
    // last.
    std::vector<uint8_t> chosen(image.pixels.size());
    const int bands = (image.height + ditherBandRows - 1) / ditherBandRows;
    runTasks(bands, [&](int band) {
        const int first = band * ditherBandRows;
        const int last = std::min(image.height, first + ditherBandRows);
        // Two rows of errors (red, green, blue, alpha) with a spare entry at each end. In
        // an opaque image the alpha error is always 0, as every entry is opaque too.
        std::vector<Lanes> errors(static_cast<size_t>(w + 2) * 2, Lanes{0, 0, 0, 0});
        Lanes* current = errors.data();
        Lanes* next = errors.data() + (w + 2);
        ValueCache cache;
        for (int y = std::max(0, first - ditherLeadRows); y < last; ++y) {
            const uint32_t* row = image.row(y);
            const size_t at = static_cast<size_t>(y) * w;
            const bool keep = y >= first;
            std::fill(next, next + (w + 2), Lanes{0, 0, 0, 0});
            const bool forward = (y & 1) == 0;
            const int dir = forward ? 1 : -1;
            for (int i = 0; i < w; ++i) {
                const int x = forward ? i : w - 1 - i;
                const uint32_t c = storedValue(image, row[x]);
                if (alphaOf(c) == 0 && map.transparent >= 0) {
                    // Nothing shows here: no dots, and nothing passed on.
                    if (keep) chosen[at + x] = static_cast<uint8_t>(map.transparent);
                    continue;
                }
                const float share = ditherShare * static_cast<float>(weights[at + x]) / 255.0f;
                const Lanes e = current[x + 1];
                const Lanes arriving = (e < low ? low : (e > high ? high : e)) * share;
                Lanes v = lanesOf(c) + arriving;
                v = v < black ? black : (v > full ? full : v);
                const IntLanes q = __builtin_convertvector(v + 0.5f, IntLanes);  // v is 0..255
                const uint32_t adjusted = rgba(q[0], q[1], q[2], q[3]);
                const int index =
                    adjusted == c ? plain[at + x] : map.entryFor(adjusted, cache, plain[at + x]);
                if (keep) chosen[at + x] = static_cast<uint8_t>(index);
                const Lanes err = v - entryLanes[static_cast<size_t>(index)];
                current[x + 1 + dir] += err * (7.0f / 16.0f);
                next[x + 1 - dir] += err * (3.0f / 16.0f);
                next[x + 1] += err * (5.0f / 16.0f);
                next[x + 1 + dir] += err * (1.0f / 16.0f);
            }
            std::swap(current, next);
        }
    });
    writeEntries(image, map, chosen, used);
}

std::vector<uint32_t> usedColours(const Mapper& map, const std::vector<char>& used) {
    std::vector<uint32_t> out;
    for (size_t i = 0; i < used.size(); ++i) {
        if (used[i]) out.push_back(map.colours[i]);
    }
    return out;
}

std::vector<uint32_t> remap(Image& image, std::span<const uint32_t> palette, bool dither,
                            double rmsError) {
    if (palette.empty() || image.empty()) return {};
    const Mapper map(palette);
    std::vector<char> used(map.colours.size(), 0);
    if (dither && rmsError > 0) {
        mapDithered(image, map, rmsError, used);
    } else {
        mapPlain(image, map, used);
    }
    return usedColours(map, used);
}

}  // namespace

BestHistogram buildBestHistogram(const Image& image) {
    BestHistogram h;
    const int64_t n = static_cast<int64_t>(image.pixels.size());
    h.pixels = static_cast<uint64_t>(n);
    if (n == 0) return h;
    // Each share sorts its own pixels and counts the runs; the shares' counts are then
    // sorted together and added up.
    const int shares = static_cast<int>((n + countingShare - 1) / countingShare);
    std::vector<std::vector<ValueCount>> counted(static_cast<size_t>(shares));
    std::vector<uint64_t> transparent(static_cast<size_t>(shares), 0);
    runTasks(shares, [&](int s) {
        const int64_t begin = s * countingShare, end = std::min(n, begin + countingShare);
        std::vector<uint32_t> values;
        values.reserve(static_cast<size_t>(end - begin));
        for (int64_t i = begin; i < end; ++i) {
            const uint32_t v = storedValue(image, image.pixels[static_cast<size_t>(i)]);
            if (alphaOf(v) == 0) {
                ++transparent[static_cast<size_t>(s)];
            } else {
                values.push_back(v);
            }
        }
        radixSort(values, [](uint32_t v) { return v; });
        std::vector<ValueCount>& runs = counted[static_cast<size_t>(s)];
        for (size_t i = 0; i < values.size();) {
            size_t j = i + 1;
            while (j < values.size() && values[j] == values[i]) ++j;
            runs.push_back({values[i], static_cast<uint32_t>(j - i)});
            i = j;
        }
    });
    std::vector<ValueCount> all;
    for (const auto& runs : counted) all.insert(all.end(), runs.begin(), runs.end());
    counted.clear();
    for (uint64_t t : transparent) h.transparentPixels += t;
    radixSort(all, [](const ValueCount& v) { return v.value; });
    std::vector<uint32_t> keys;
    for (size_t i = 0; i < all.size();) {
        uint64_t count = 0;
        size_t j = i;
        for (; j < all.size() && all[j].value == all[i].value; ++j) count += all[j].count;
        h.bins.push_back(binOf(all[i].value, count));
        keys.push_back(all[i].value);
        i = j;
    }
    all.clear();
    const size_t distinct = h.bins.size() + (h.transparentPixels > 0 ? 1 : 0);
    if (distinct <= exactValueLimit) {
        if (h.transparentPixels > 0) h.exactValues.push_back(0);
        h.exactValues.insert(h.exactValues.end(), keys.begin(), keys.end());
    }
    // Too many: merge values into cells of two per channel, then four, until few enough.
    // One bit of one channel at a time, the channel the eye is least sensitive to first.
    constexpr int channelOrder[4] = {2, 0, 1, 3};  // blue, red, green, alpha
    uint32_t mask = 0xFFFFFFFF;
    for (int step = 0; step < 28 && h.bins.size() > maxBins; ++step) {
        const int shift = 8 * channelOrder[step % 4];
        mask &= ~(1u << (shift + step / 4));
        std::vector<std::pair<uint32_t, uint32_t>> cells(h.bins.size());
        for (size_t i = 0; i < h.bins.size(); ++i) {
            cells[i] = {keys[i] & mask, static_cast<uint32_t>(i)};
        }
        radixSort(cells, [](const std::pair<uint32_t, uint32_t>& c) { return c.first; });
        std::vector<BestHistogram::Bin> merged;
        std::vector<uint32_t> mergedKeys;
        for (size_t i = 0; i < cells.size();) {
            BestHistogram::Bin bin;
            size_t j = i;
            for (; j < cells.size() && cells[j].first == cells[i].first; ++j) {
                bin.add(h.bins[cells[j].second]);
            }
            merged.push_back(bin);
            mergedKeys.push_back(cells[i].first);
            i = j;
        }
        h.bins.swap(merged);
        keys.swap(mergedKeys);
        h.merged = true;
    }
    return h;
}

BestPalette buildBestPalette(const BestHistogram& histogram, int limit) {
    BestPalette result;
    limit = std::clamp(limit, minPaletteLimit, maxPaletteLimit);
    std::vector<Centre> fixed;
    if (histogram.transparentPixels > 0) fixed.push_back(transparentCentre());
    const int colours = limit - static_cast<int>(fixed.size());
    std::vector<Centre> centres;
    Fit fit(histogram, fixed);
    if (histogram.bins.size() <= static_cast<size_t>(colours)) {
        centres = fixed;
        for (const BestHistogram::Bin& bin : histogram.bins) {
            Sums s;
            s.add(bin);
            centres.push_back(centreOf(s));
        }
    } else {
        centres = fit.run(colours);
    }
    std::vector<Point> points;
    for (const Centre& c : centres) {
        const uint32_t value = roundedColour(c);
        if (std::find(result.colours.begin(), result.colours.end(), value) != result.colours.end())
            continue;
        result.colours.push_back(value);
        points.push_back(spaceTables().point(value));
    }
    if (!histogram.bins.empty()) result.rmsError = fit.rmsError(points, histogram.pixels);
    return result;
}

void bestRemap(Image& image, std::span<const uint32_t> palette, bool dither, double rmsError) {
    remap(image, palette, dither, rmsError);
}

namespace {

// The method on a whole image whose histogram is known.
std::vector<uint32_t> quantizeWith(const BestHistogram& histogram, Image& image, int limit,
                                   bool dither) {
    if (!histogram.exactValues.empty() &&
        histogram.exactValues.size() <= static_cast<size_t>(limit)) {
        // Within the limit already: only the fully transparent pixels change, to the one
        // entry they share.
        return remap(image, histogram.exactValues, false, 0);
    }
    const BestPalette palette = buildBestPalette(histogram, limit);
    return remap(image, palette.colours, dither, palette.rmsError);
}

}  // namespace

std::vector<uint32_t> bestQuantize(Image& image, const Rect& rect, int limit, bool dither) {
    std::vector<uint32_t> used;
    limit = std::clamp(limit, minPaletteLimit, maxPaletteLimit);
    runOnRect(image, rect, [&](Image& part) {
        used = quantizeWith(buildBestHistogram(part), part, limit, dither);
    });
    return used;
}

BestTarget bestQuantizeToTarget(Image& image, const Rect& rect, double targetDeltaE, bool dither) {
    BestTarget target;
    runOnRect(image, rect, [&](Image& part) {
        const BestHistogram histogram = buildBestHistogram(part);
        // The result at one LIMIT and how far it lies from the original.
        auto attempt = [&](int limit, Image& result) {
            result = part;
            quantizeWith(histogram, result, limit, dither);
            return measureError(part, result).meanDeltaE;
        };
        Image kept;
        target.limit = maxPaletteLimit;
        target.meanDeltaE = attempt(maxPaletteLimit, kept);
        target.met = target.meanDeltaE <= targetDeltaE;
        // The smallest LIMIT known to meet the target is `high`; none below `low` can.
        int low = minPaletteLimit, high = maxPaletteLimit;
        Image trial;
        while (target.met && low < high) {
            const int middle = low + (high - low) / 2;
            const double deltaE = attempt(middle, trial);
            if (deltaE <= targetDeltaE) {
                high = middle;
                target.limit = middle;
                target.meanDeltaE = deltaE;
                std::swap(kept, trial);
            } else {
                low = middle + 1;
            }
        }
        part = std::move(kept);
    });
    return target;
}

Image reducedForGif(const Image& image) {
    Image reduced = image;
    bestQuantize(reduced, wholeImage(reduced), maxPaletteLimit, true);
    return reduced;
}
