#include "toolkit/placement.h"

#include <algorithm>

ScreenRect outerRect(const ScreenRect& inner, const FrameMargins& frame) {
    return {inner.x - frame.left, inner.y - frame.top, inner.width + frame.left + frame.right,
            inner.height + frame.top + frame.bottom};
}

ScreenPoint centredOn(const ScreenRect& over, int innerWidth, int innerHeight,
                      const FrameMargins& frame) {
    const int outerWidth = innerWidth + frame.left + frame.right;
    const int outerHeight = innerHeight + frame.top + frame.bottom;
    return {over.x + (over.width - outerWidth) / 2, over.y + (over.height - outerHeight) / 2};
}

ScreenPoint insideDesktop(const ScreenRect& outer, const ScreenRect& desktop) {
    // The far edge first, so that the near one, where the title bar is, has the last word.
    int x = std::min(outer.x, desktop.x + desktop.width - outer.width);
    int y = std::min(outer.y, desktop.y + desktop.height - outer.height);
    return {std::max(x, desktop.x), std::max(y, desktop.y)};
}
