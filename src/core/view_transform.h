#pragma once
// The one mapping between canvas points and image pixels, at any zoom, and the drawing of
// the image through it. The view, the selection, the floating section and the status bar
// all go through these functions, so a click, a frame and a drawn pixel always agree.
//
// At 100 % and above a canvas pixel shows the image pixel under its centre (nearest
// neighbour; zooms above 100 % are whole factors, so every image pixel is an even block).
// Below 100 % a canvas pixel shows the mean of the image pixels whose centres fall inside
// it: the image is cut into boxes that neither overlap nor leave gaps.

#include <cstdint>
#include <limits>
#include <string>

#include "core/rect.h"

// `num` canvas pixels for `den` image pixels.
struct Zoom {
    int64_t num = 1;
    int64_t den = 1;
    bool operator==(const Zoom& other) const { return num * other.den == other.num * den; }
    bool enlarges() const { return num >= den; }  // 100 % and above: nearest neighbour
    double factor() const { return static_cast<double>(num) / static_cast<double>(den); }
};

inline constexpr Zoom actualPixels{1, 1};
inline constexpr Zoom smallestZoom{1, 16};
inline constexpr Zoom largestZoom{32, 1};

// True when `a` shows the image smaller than `b`.
bool zoomBelow(const Zoom& a, const Zoom& b);
// The next step of the zoom ladder above (direction > 0) or below the current zoom, which
// may lie between steps (after a fit); the ends of the ladder stay where they are.
Zoom zoomStep(const Zoom& current, int direction);
// The largest zoom that shows the whole image on the canvas: any fraction below 100 %
// (never below the smallest step), whole factors above it (never above the largest).
Zoom fitZoom(int imageW, int imageH, int canvasW, int canvasH);
// "25%", "800%", "33.3%".
std::string zoomText(const Zoom& zoom);

struct ViewTransform {
    int canvasW = 0;
    int canvasH = 0;
    int imageW = 0;
    int imageH = 0;
    Zoom zoom;
    int panX = 0;  // offset of the drawn image from its centred place, in canvas pixels
    int panY = 0;

    // Size of the drawn image in canvas pixels (at least 1 for a non-empty image).
    int drawnW() const;
    int drawnH() const;
    // Canvas position of the image's top-left corner: centred, then panned.
    int originX() const { return panX + (canvasW - drawnW()) / 2; }
    int originY() const { return panY + (canvasH - drawnH()) / 2; }

    // The image pixel under the centre of canvas pixel (cx, cy); not clipped to the image.
    int imageX(int cx) const;
    int imageY(int cy) const;
    // The image pixels canvas column cx shows: [firstImageX, endImageX). One pixel at
    // 100 % and above, a box of pixels below.
    int firstImageX(int cx) const;
    int endImageX(int cx) const;
    int firstImageY(int cy) const;
    int endImageY(int cy) const;
    // The first canvas column that shows image column ix (ix = image width gives the column
    // just past the image).
    int canvasX(int ix) const;
    int canvasY(int iy) const;

    // The image pixels an inclusive canvas rectangle shows (not clipped).
    Rect imageRect(const Rect& canvas) const;
    // The inclusive canvas rectangle that shows an image rectangle. At 100 % and above the
    // two conversions undo each other; below, a canvas pixel stands for several image
    // pixels and this one gives the canvas pixels holding the rectangle's edges.
    Rect canvasRect(const Rect& image) const;
    // The canvas pixels the image covers, clipped to the canvas (empty when off it).
    Rect extent() const;
};

// The same view with the zoom changed so that the image point under canvas point (px, py)
// stays under it, and the pan kept within limits.
ViewTransform zoomedAbout(const ViewTransform& view, const Zoom& zoom, int px, int py);
// The same view moved by (dx, dy) canvas pixels, within limits.
ViewTransform pannedBy(const ViewTransform& view, int dx, int dy);
// The pan limited as a mover drag limits it: an image larger than the canvas covers it, a
// smaller one stays inside it.
ViewTransform panLimited(const ViewTransform& view);

// Draws `source` as `view` shows it. The source's top-left pixel lies on image pixel
// (sourceX, sourceY): (0, 0) for the picture itself, elsewhere for a floating section.
// Only the canvas columns [clipLeft, clipRight) are touched. Opaque: canvas pixels off the
// source become `background` and the source's alpha is blended onto it. Blended: the source
// is drawn over what the canvas holds and pixels off it are left alone.
struct ViewDraw {
    int sourceX = 0;
    int sourceY = 0;
    int clipLeft = 0;
    int clipRight = std::numeric_limits<int>::max();
    bool blended = false;
    uint32_t background = 0xFF000000;
    // The pixels as sampled, alpha and all, neither blended nor on the background.
    bool raw = false;
};
void drawThroughView(Image& canvas, const Image& source, const ViewTransform& view,
                     const ViewDraw& how);

// The rectangle `part` of `image` drawn to fit maxW x maxH as the view draws it below
// 100 % (never enlarged): what a thumbnail of the visible part shows. Keeps the depth.
Image thumbnailOf(const Image& image, const Rect& part, int maxW, int maxH);
