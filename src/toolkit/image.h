#pragma once
// The program's image: one 32-bit word per pixel, value = r | g << 8 | b << 16 | a << 24.
// On little-endian machines the bytes lie R, G, B, A in memory, so Qt can wrap the buffer
// as Format_RGBA8888 without a copy. A 24-bit image stores alpha 0xFF.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <utility>
#include <vector>

// Largest image, in pixels, that any decoder, dialog or operation will create (1 GiB of
// pixels). Decoders refuse bigger files before allocating anything.
inline constexpr int64_t maxImagePixels = int64_t{16384} * 16384;

inline constexpr uint32_t colourMask = 0x00FFFFFF;
inline constexpr uint32_t alphaMask = 0xFF000000;
inline constexpr uint32_t opaqueBlack = 0xFF000000;

inline constexpr int redOf(uint32_t c) {
    return static_cast<int>(c & 255);
}
inline constexpr int greenOf(uint32_t c) {
    return static_cast<int>((c >> 8) & 255);
}
inline constexpr int blueOf(uint32_t c) {
    return static_cast<int>((c >> 16) & 255);
}
inline constexpr int alphaOf(uint32_t c) {
    return static_cast<int>(c >> 24);
}
inline constexpr uint32_t rgb(int r, int g, int b) {
    return static_cast<uint32_t>(r) | static_cast<uint32_t>(g) << 8 |
           static_cast<uint32_t>(b) << 16;
}
inline constexpr uint32_t rgba(int r, int g, int b, int a) {
    return rgb(r, g, b) | static_cast<uint32_t>(a) << 24;
}

// `s` over `d` by the alpha of `s`, each channel rounded; `d` keeps its own alpha.
inline uint32_t blendOver(uint32_t s, uint32_t d) {
    const unsigned a = s >> 24;
    if (a == 255) return (d & alphaMask) | (s & colourMask);
    if (a == 0) return d;
    auto mix = [a](unsigned sc, unsigned dc) { return (sc * a + dc * (255 - a) + 127) / 255; };
    return (d & alphaMask) |
           rgb(mix(redOf(s), redOf(d)), mix(greenOf(s), greenOf(d)), mix(blueOf(s), blueOf(d)));
}

// True when a w x h image is within the size the program accepts.
inline constexpr bool imageSizeAllowed(int64_t w, int64_t h) {
    return w > 0 && h > 0 && w <= maxImagePixels && h <= maxImagePixels && w * h <= maxImagePixels;
}

// An allocator that leaves new elements unset where std::allocator would zero them, so a
// pixel buffer that is about to be written whole (a decoded file, an undo step coming
// back) costs no pass over the memory first. Only resize() and the count constructor are
// affected: assign(n, value), insert and copies set every element as usual.
template <typename T>
struct UnsetAllocator : std::allocator<T> {
    template <typename U>
    struct rebind {
        using other = UnsetAllocator<U>;
    };
    UnsetAllocator() = default;
    template <typename U>
    UnsetAllocator(const UnsetAllocator<U>&) noexcept {}
    template <typename U>
    void construct(U* p) noexcept {
        ::new (static_cast<void*>(p)) U;
    }
    template <typename U, typename... Args>
    void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
};

// Pixel words, in rows; resize() leaves new words unset.
using PixelBuffer = std::vector<uint32_t, UnsetAllocator<uint32_t>>;

struct Image {
    int width = 0;
    int height = 0;
    int depth = 32;  // 24 or 32
    PixelBuffer pixels;

    Image() = default;
    // A w x h image filled with `fill` (alpha forced to 0xFF for a 24-bit image).
    Image(int w, int h, int depth = 32, uint32_t fill = opaqueBlack);

    // A w x h image whose pixels are not set: for callers that write every one of them.
    // Throws std::bad_alloc like the filling constructor.
    static Image unset(int w, int h, int depth);

    bool empty() const { return width <= 0 || height <= 0; }
    size_t index(int x, int y) const { return static_cast<size_t>(y) * width + x; }
    uint32_t* row(int y) { return pixels.data() + static_cast<size_t>(y) * width; }
    const uint32_t* row(int y) const { return pixels.data() + static_cast<size_t>(y) * width; }

    // All-channels access.
    uint32_t& at(int x, int y) { return pixels[index(x, y)]; }
    uint32_t at(int x, int y) const { return pixels[index(x, y)]; }

    // Default drawing mode: reads give red, green and blue only; writes keep alpha.
    uint32_t read(int x, int y) const { return at(x, y) & colourMask; }
    void write(int x, int y, uint32_t c) {
        uint32_t& p = at(x, y);
        p = (p & alphaMask) | (c & colourMask);
    }

    bool contains(int x, int y) const { return x >= 0 && y >= 0 && x < width && y < height; }
    bool operator==(const Image&) const = default;
};

// Copies the inclusive rectangle (left, top)..(right, bottom), clipped to the image.
Image copyRect(const Image& src, int left, int top, int right, int bottom);

// Draws `src` unscaled with its top-left corner at (x, y), all four bytes replaced; parts
// outside `dst` are dropped.
void drawImage(Image& dst, const Image& src, int x, int y);

// Draws `src` at (x, y) blended by its alpha: alpha 0 leaves `dst`, 255 replaces it.
void drawImageBlended(Image& dst, const Image& src, int x, int y);

// Draws `src` blended by its alpha at (x, y) on a `target` whose every other pixel becomes
// `background`: each pixel of the target is written once, the opaque rows of a 24-bit
// image by plain copies. The same result as fillBox of the whole target followed by
// drawImageBlended, at half the memory traffic.
void drawImageOnBackground(Image& target, const Image& src, int x, int y, uint32_t background);

// Fills the box (clipped to the image), all four bytes set to `colour`.
void fillBox(Image& target, int x, int y, int w, int h, uint32_t colour);

// Exclusive-or of red, green and blue with `colour` on a 1-pixel outline (filled = false)
// or on a whole box, clipped to the image. A negative width w covers the columns
// x + w .. x - 1, likewise a negative height.
void xorBox(Image& target, int x, int y, int w, int h, uint32_t colour, bool filled);
