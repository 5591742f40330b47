#include "core/packed_pixels.h"

#include <zstd.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <atomic>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <new>
#include <stdexcept>
#include <thread>

namespace {

// Fast and good enough: the planes of a difference are mostly small numbers.
constexpr int compressionLevel = 1;
// Rows of the sample on which packDifference chooses its mode.
constexpr int sampleBands = 8;
constexpr int sampleRowsPerBand = 8;

std::atomic<int> failCountdown{0};
thread_local bool allocationsUncounted = false;

// Byte-wise arithmetic on four bytes at once.
inline uint32_t addBytes(uint32_t a, uint32_t b) {
    return ((a & 0x7F7F7F7Fu) + (b & 0x7F7F7F7Fu)) ^ ((a ^ b) & 0x80808080u);
}
inline uint32_t subBytes(uint32_t a, uint32_t b) {
    return ((a | 0x80808080u) - (b & 0x7F7F7F7Fu)) ^ ((a ^ ~b) & 0x80808080u);
}

struct CContext {
    void operator()(ZSTD_CCtx* c) const { ZSTD_freeCCtx(c); }
};
struct DContext {
    void operator()(ZSTD_DCtx* d) const { ZSTD_freeDCtx(d); }
};
using CompressContext = std::unique_ptr<ZSTD_CCtx, CContext>;
using DecompressContext = std::unique_ptr<ZSTD_DCtx, DContext>;

CompressContext makeCompressContext() {
    allocationPoint();
    CompressContext c(ZSTD_createCCtx());
    if (!c) throw std::bad_alloc();
    return c;
}

DecompressContext makeDecompressContext() {
    allocationPoint();
    DecompressContext d(ZSTD_createDCtx());
    if (!d) throw std::bad_alloc();
    return d;
}

std::vector<uint8_t> buffer(size_t size) {
    allocationPoint();
    return std::vector<uint8_t>(size);
}

// Rows [first, last] of the rectangle's band `index` (bands on the image-row grid).
struct BandRows {
    int first;
    int last;
    int count() const { return last - first + 1; }
};

int bandCount(const Rect& r) {
    return r.empty() ? 0 : r.bottom / packBandRows - r.top / packBandRows + 1;
}

BandRows bandRows(const Rect& r, int index) {
    int grid = r.top / packBandRows + index;
    return BandRows{std::max(r.top, grid * packBandRows),
                    std::min(r.bottom, grid * packBandRows + packBandRows - 1)};
}

// Runs work(band, worker) for every band on a few threads. The first exception thrown by
// any call is rethrown here once all threads have stopped.
template <typename Work>
void forEachBand(int bands, int workers, Work&& work) {
    std::atomic<int> next{0};
    std::exception_ptr failure;
    std::mutex failureLock;
    auto run = [&](int worker) {
        try {
            for (int band = next++; band < bands; band = next++) work(band, worker);
        } catch (...) {
            std::lock_guard<std::mutex> lock(failureLock);
            if (!failure) failure = std::current_exception();
            next = bands;  // the others stop at their next band
        }
    };
    std::vector<std::thread> threads;
    for (int w = 1; w < workers; ++w) {
        try {
            threads.emplace_back(run, w);
        } catch (const std::system_error&) {
            break;  // fewer threads; the work still gets done
        }
    }
    run(0);
    for (std::thread& t : threads) t.join();
    if (failure) std::rethrow_exception(failure);
}

int workerCount(int bands, int threads = 0) {
    int cores = static_cast<int>(std::thread::hardware_concurrency());
    int most = std::min(cores, 4);
    if (threads > 0) most = std::min(most, threads);
    return std::clamp(most, 1, std::max(bands, 1));
}

// One pixel of fillPlanes: the change (or the pixel) minus the previous one.
inline uint32_t pixelChange(uint32_t n, uint32_t o, PackMode mode) {
    if (mode == PackMode::Xor) return n ^ o;
    if (mode == PackMode::Difference) return subBytes(n, o);
    return n;
}

// One pixel of applyPlanes.
inline uint32_t applyChange(uint32_t t, uint32_t d, PackMode mode, PackDirection direction) {
    switch (mode) {
        case PackMode::Whole:
            return d;
        case PackMode::Xor:
            return t ^ d;
        case PackMode::Difference:
            return direction == PackDirection::Forward ? addBytes(t, d) : subBytes(t, d);
    }
    return t;
}

#if defined(__SSE2__)
inline __m128i changeOf(__m128i n, __m128i o, PackMode mode) {
    if (mode == PackMode::Xor) return _mm_xor_si128(n, o);
    if (mode == PackMode::Difference) return _mm_sub_epi8(n, o);
    return n;
}

inline __m128i applyOf(__m128i t, __m128i d, PackMode mode, PackDirection direction) {
    if (mode == PackMode::Whole) return d;
    if (mode == PackMode::Xor) return _mm_xor_si128(t, d);
    return direction == PackDirection::Forward ? _mm_add_epi8(t, d) : _mm_sub_epi8(t, d);
}

// Running byte sums of `v` plus the running sum so far (broadcast in `carry`); `carry`
// becomes the last sum, broadcast.
inline __m128i prefixBytes(__m128i v, __m128i& carry) {
    v = _mm_add_epi8(v, _mm_slli_si128(v, 1));
    v = _mm_add_epi8(v, _mm_slli_si128(v, 2));
    v = _mm_add_epi8(v, _mm_slli_si128(v, 4));
    v = _mm_add_epi8(v, _mm_slli_si128(v, 8));
    v = _mm_add_epi8(v, carry);
    __m128i last = _mm_unpackhi_epi8(v, v);
    last = _mm_unpackhi_epi16(last, last);
    carry = _mm_shuffle_epi32(last, 0xFF);
    return v;
}
#endif

// Writes rows of `after` (against `before`, or alone for Whole) into four planes of
// width * rowCount bytes each, every byte minus the one on its left.
void fillPlanes(const Image& after, const Image* before, const Rect& r, int firstRow, int rowCount,
                PackMode mode, uint8_t* raw) {
    const size_t width = static_cast<size_t>(r.width());
    const size_t plane = width * rowCount;
    uint8_t* p0 = raw;
    uint8_t* p1 = raw + plane;
    uint8_t* p2 = raw + 2 * plane;
    uint8_t* p3 = raw + 3 * plane;
    size_t k = 0;
    for (int y = firstRow; y < firstRow + rowCount; ++y) {
        const uint32_t* n = after.row(y) + r.left;
        const uint32_t* o = before ? before->row(y) + r.left : n;
        uint32_t previous = 0;
        size_t x = 0;
#if defined(__SSE2__)
        __m128i last = _mm_setzero_si128();  // the previous pixel's change, in lane 3
        for (; x + 16 <= width; x += 16, k += 16) {
            __m128i f[4];
            for (int i = 0; i < 4; ++i) {
                __m128i nv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(n + x + 4 * i));
                __m128i ov = _mm_loadu_si128(reinterpret_cast<const __m128i*>(o + x + 4 * i));
                __m128i d = changeOf(nv, ov, mode);
                __m128i shifted = _mm_or_si128(_mm_slli_si128(d, 4), _mm_srli_si128(last, 12));
                f[i] = _mm_sub_epi8(d, shifted);
                last = d;
            }
            // Four vectors of four pixels into four planes of sixteen bytes.
            __m128i t0 = _mm_unpacklo_epi8(f[0], f[1]), t1 = _mm_unpackhi_epi8(f[0], f[1]);
            __m128i t2 = _mm_unpacklo_epi8(f[2], f[3]), t3 = _mm_unpackhi_epi8(f[2], f[3]);
            __m128i u0 = _mm_unpacklo_epi8(t0, t1), u1 = _mm_unpackhi_epi8(t0, t1);
            __m128i u2 = _mm_unpacklo_epi8(t2, t3), u3 = _mm_unpackhi_epi8(t2, t3);
            __m128i v0 = _mm_unpacklo_epi8(u0, u1), v1 = _mm_unpackhi_epi8(u0, u1);
            __m128i w0 = _mm_unpacklo_epi8(u2, u3), w1 = _mm_unpackhi_epi8(u2, u3);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(p0 + k), _mm_unpacklo_epi64(v0, w0));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(p1 + k), _mm_unpackhi_epi64(v0, w0));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(p2 + k), _mm_unpacklo_epi64(v1, w1));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(p3 + k), _mm_unpackhi_epi64(v1, w1));
        }
        if (x > 0) previous = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(last, 12)));
#endif
        for (; x < width; ++x, ++k) {
            uint32_t d = pixelChange(n[x], o[x], mode);
            uint32_t f = subBytes(d, previous);
            previous = d;
            p0[k] = static_cast<uint8_t>(f);
            p1[k] = static_cast<uint8_t>(f >> 8);
            p2[k] = static_cast<uint8_t>(f >> 16);
            p3[k] = static_cast<uint8_t>(f >> 24);
        }
    }
}

// Undoes fillPlanes onto `rowCount` rows of `stride` pixels starting at `target`
// (already offset to the rectangle's left column).
void applyPlanes(const uint8_t* raw, size_t width, int rowCount, uint32_t* target, size_t stride,
                 PackMode mode, PackDirection direction) {
    const size_t plane = width * rowCount;
    const uint8_t* p0 = raw;
    const uint8_t* p1 = raw + plane;
    const uint8_t* p2 = raw + 2 * plane;
    const uint8_t* p3 = raw + 3 * plane;
    size_t k = 0;
    for (int r = 0; r < rowCount; ++r, target += stride) {
        uint32_t previous = 0;
        size_t x = 0;
#if defined(__SSE2__)
        __m128i c0 = _mm_setzero_si128(), c1 = c0, c2 = c0, c3 = c0;
        for (; x + 16 <= width; x += 16, k += 16) {
            __m128i d0 = prefixBytes(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p0 + k)), c0);
            __m128i d1 = prefixBytes(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p1 + k)), c1);
            __m128i d2 = prefixBytes(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p2 + k)), c2);
            __m128i d3 = prefixBytes(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p3 + k)), c3);
            __m128i lo01 = _mm_unpacklo_epi8(d0, d1), hi01 = _mm_unpackhi_epi8(d0, d1);
            __m128i lo23 = _mm_unpacklo_epi8(d2, d3), hi23 = _mm_unpackhi_epi8(d2, d3);
            __m128i px[4] = {_mm_unpacklo_epi16(lo01, lo23), _mm_unpackhi_epi16(lo01, lo23),
                             _mm_unpacklo_epi16(hi01, hi23), _mm_unpackhi_epi16(hi01, hi23)};
            for (int i = 0; i < 4; ++i) {
                auto* at = reinterpret_cast<__m128i*>(target + x + 4 * i);
                _mm_storeu_si128(at, applyOf(_mm_loadu_si128(at), px[i], mode, direction));
            }
        }
        if (x > 0) {
            previous = static_cast<uint32_t>(_mm_cvtsi128_si32(c0) & 255) |
                       static_cast<uint32_t>(_mm_cvtsi128_si32(c1) & 255) << 8 |
                       static_cast<uint32_t>(_mm_cvtsi128_si32(c2) & 255) << 16 |
                       static_cast<uint32_t>(_mm_cvtsi128_si32(c3) & 255) << 24;
        }
#endif
        for (; x < width; ++x, ++k) {
            uint32_t f = p0[k] | static_cast<uint32_t>(p1[k]) << 8 |
                         static_cast<uint32_t>(p2[k]) << 16 | static_cast<uint32_t>(p3[k]) << 24;
            uint32_t d = addBytes(f, previous);
            previous = d;
            target[x] = applyChange(target[x], d, mode, direction);
        }
    }
}

std::vector<uint8_t> compressBand(ZSTD_CCtx* context, const std::vector<uint8_t>& raw,
                                  size_t rawSize, std::vector<uint8_t>& scratch) {
    size_t n = ZSTD_compressCCtx(context, scratch.data(), scratch.size(), raw.data(), rawSize,
                                 compressionLevel);
    if (ZSTD_isError(n)) throw std::bad_alloc();  // only a workspace allocation can fail
    allocationPoint();
    return std::vector<uint8_t>(scratch.begin(), scratch.begin() + static_cast<ptrdiff_t>(n));
}

// Per-thread buffers for one packing.
struct PackWorker {
    CompressContext context;
    std::vector<uint8_t> raw;
    std::vector<uint8_t> out;
};

PackedPixels pack(const Image& after, const Image* before, const Rect& rect, PackMode mode,
                  int threads = 0) {
    PackedPixels packed;
    packed.mode = mode;
    packed.rect = rect;
    if (rect.empty()) return packed;
    const int bands = bandCount(rect);
    const size_t rawSize = size_t{4} * rect.width() * packBandRows;
    std::vector<PackWorker> workers(static_cast<size_t>(workerCount(bands, threads)));
    for (PackWorker& w : workers) {
        w.context = makeCompressContext();
        w.raw = buffer(rawSize);
        w.out = buffer(ZSTD_compressBound(rawSize));
    }
    allocationPoint();
    packed.bands.resize(static_cast<size_t>(bands));
    forEachBand(bands, static_cast<int>(workers.size()), [&](int band, int worker) {
        PackWorker& w = workers[static_cast<size_t>(worker)];
        BandRows rows = bandRows(rect, band);
        fillPlanes(after, before, rect, rows.first, rows.count(), mode, w.raw.data());
        packed.bands[static_cast<size_t>(band)] =
            compressBand(w.context.get(), w.raw, size_t{4} * rect.width() * rows.count(), w.out);
    });
    return packed;
}

// Compressed size of a sample of the rectangle's rows packed in `mode`.
size_t sampleSize(const Image& before, const Image& after, const Rect& rect, PackMode mode,
                  ZSTD_CCtx* context, std::vector<uint8_t>& raw, std::vector<uint8_t>& out) {
    const int height = rect.height();
    const int rowsEach = std::min(sampleRowsPerBand, height);
    const size_t bandBytes = size_t{4} * rect.width() * rowsEach;
    size_t total = 0;
    for (int i = 0; i < sampleBands; ++i) {
        int first = rect.top + static_cast<int>(int64_t{height - rowsEach} * i / sampleBands);
        fillPlanes(after, &before, rect, first, rowsEach, mode, raw.data());
        size_t n = ZSTD_compressCCtx(context, out.data(), out.size(), raw.data(), bandBytes,
                                     compressionLevel);
        if (ZSTD_isError(n)) throw std::bad_alloc();
        total += n;
        if (height <= rowsEach) break;
    }
    return total;
}

// One band's worth of decompressed planes into `raw`.
void decompressBand(ZSTD_DCtx* context, const std::vector<uint8_t>& band, uint8_t* raw,
                    size_t rawSize) {
    size_t n = ZSTD_decompressDCtx(context, raw, rawSize, band.data(), band.size());
    if (ZSTD_isError(n) || n != rawSize) throw std::logic_error("damaged undo data");
}

}  // namespace

size_t PackedPixels::bytes() const {
    size_t total = sizeof(PackedPixels) + bands.capacity() * sizeof(bands[0]);
    for (const auto& b : bands) total += b.capacity();
    return total;
}

void failAllocationAfter(int count) {
    failCountdown = count;
}

void allocationPoint() {
    if (allocationsUncounted) return;
    if (failCountdown.load(std::memory_order_relaxed) <= 0) return;
    if (failCountdown.fetch_sub(1) == 1) throw std::bad_alloc();
}

UncountedAllocations::UncountedAllocations() : was_(allocationsUncounted) {
    allocationsUncounted = true;
}

UncountedAllocations::~UncountedAllocations() {
    allocationsUncounted = was_;
}

PackedPixels packWhole(const Image& after, const Rect& rect, int threads) {
    return pack(after, nullptr, clipToImage(rect, after), PackMode::Whole, threads);
}

PackedPixels packDifference(const Image& before, const Image& after, const Rect& rect) {
    Rect r = clipToImage(rect, after);
    if (r.empty()) return pack(after, &before, r, PackMode::Xor);
    // Xor suits changes that flip bits (negative and most effects), Difference those that
    // move values a little (gray, blur); a sample decides.
    const size_t sampleBytes = size_t{4} * r.width() * sampleRowsPerBand;
    CompressContext context = makeCompressContext();
    std::vector<uint8_t> raw = buffer(sampleBytes);
    std::vector<uint8_t> out = buffer(ZSTD_compressBound(sampleBytes));
    size_t xorSize = sampleSize(before, after, r, PackMode::Xor, context.get(), raw, out);
    size_t differenceSize =
        sampleSize(before, after, r, PackMode::Difference, context.get(), raw, out);
    context.reset();
    raw = {};
    out = {};
    return pack(after, &before, r, differenceSize < xorSize ? PackMode::Difference : PackMode::Xor);
}

void unpackInto(const PackedPixels& packed, Image& target, PackDirection direction, Image* mirror) {
    const Rect& r = packed.rect;
    if (r.empty() && !mirror) return;
    // With a mirror, the work runs over every band of the image, so that each band is
    // copied while it is still in the cache; else over the packed bands only.
    const int firstGrid = r.empty() ? 0 : r.top / packBandRows;
    const int packedBands = static_cast<int>(packed.bands.size());
    const int bands = mirror ? (target.height + packBandRows - 1) / packBandRows : packedBands;
    const size_t rawSize = r.empty() ? 0 : size_t{4} * r.width() * packBandRows;
    struct Worker {
        DecompressContext context;
        std::vector<uint8_t> raw;
    };
    std::vector<Worker> workers(static_cast<size_t>(workerCount(bands)));
    for (Worker& w : workers) {
        if (rawSize == 0) continue;
        w.context = makeDecompressContext();
        w.raw = buffer(rawSize);
    }
    // Nothing below allocates.
    forEachBand(bands, static_cast<int>(workers.size()), [&](int band, int worker) {
        Worker& w = workers[static_cast<size_t>(worker)];
        const int index = mirror ? band - firstGrid : band;
        if (!r.empty() && index >= 0 && index < packedBands) {
            BandRows rows = bandRows(r, index);
            const size_t width = static_cast<size_t>(r.width());
            decompressBand(w.context.get(), packed.bands[static_cast<size_t>(index)], w.raw.data(),
                           size_t{4} * width * rows.count());
            applyPlanes(w.raw.data(), width, rows.count(), target.row(rows.first) + r.left,
                        static_cast<size_t>(target.width), packed.mode, direction);
        }
        if (mirror) {
            const int top = band * packBandRows;
            const int bottom = std::min(target.height, top + packBandRows);
            std::memcpy(mirror->row(top), target.row(top),
                        sizeof(uint32_t) * static_cast<size_t>(target.width) * (bottom - top));
        }
    });
    if (mirror) mirror->depth = target.depth;
}

void unpackRows(const PackedPixels& packed, uint32_t* rows, int width, int top, int count,
                PackDirection direction) {
    const Rect& r = packed.rect;
    if (r.empty() || count <= 0) return;
    DecompressContext context;
    std::vector<uint8_t> raw;
    for (int band = 0; band < static_cast<int>(packed.bands.size()); ++band) {
        BandRows b = bandRows(r, band);
        if (b.last < top || b.first >= top + count) continue;
        if (b.first < top || b.last >= top + count) {
            throw std::logic_error("undo bands do not line up");
        }
        if (!context) {
            context = makeDecompressContext();
            raw = buffer(size_t{4} * r.width() * packBandRows);
        }
        const size_t w = static_cast<size_t>(r.width());
        decompressBand(context.get(), packed.bands[static_cast<size_t>(band)], raw.data(),
                       size_t{4} * w * b.count());
        applyPlanes(raw.data(), w, b.count(),
                    rows + static_cast<size_t>(b.first - top) * width + r.left,
                    static_cast<size_t>(width), packed.mode, direction);
    }
}

Rect differingRect(const Image& a, const Image& b) {
    Rect out{a.width, a.height, -1, -1};
    const size_t rowBytes = sizeof(uint32_t) * static_cast<size_t>(a.width);
    for (int y = 0; y < a.height; ++y) {
        const uint32_t* p = a.row(y);
        const uint32_t* q = b.row(y);
        if (std::memcmp(p, q, rowBytes) == 0) continue;
        int first = 0;
        while (p[first] == q[first]) ++first;
        int last = a.width - 1;
        while (p[last] == q[last]) --last;
        out.left = std::min(out.left, first);
        out.right = std::max(out.right, last);
        out.top = std::min(out.top, y);
        out.bottom = y;
    }
    if (out.right < 0) return Rect{};
    return out;
}
