#pragma once
// Where a window goes on the desktop, counting the frame the window manager draws around
// it: centred on its owner or on the desktop, and always inside the desktop where it fits,
// its title bar in any case. Plain arithmetic, so it is tested without a desktop.

struct FrameMargins {
    int left = 0, top = 0, right = 0, bottom = 0;
};

struct ScreenRect {
    int x = 0, y = 0, width = 0, height = 0;
};

struct ScreenPoint {
    int x = 0, y = 0;
};

// The outer size of a window whose inner area is `inner`.
ScreenRect outerRect(const ScreenRect& inner, const FrameMargins& frame);

// The outer top-left corner that centres a window of `innerWidth` x `innerHeight` (inside
// `frame`) on `over`, an outer rectangle.
ScreenPoint centredOn(const ScreenRect& over, int innerWidth, int innerHeight,
                      const FrameMargins& frame);

// Moves the outer rectangle `outer` into `desktop`: a window larger than the desktop keeps
// its top-left corner, and so its title bar, on it.
ScreenPoint insideDesktop(const ScreenRect& outer, const ScreenRect& desktop);
