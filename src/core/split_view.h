#pragma once
// Split before/after: while a tool window's "Split" box is checked, the canvas shows the
// document left of a vertical divider and the window's preview right of it. A drag on the
// canvas moves the divider and does nothing else.

inline constexpr const char* splitCaption = "Split";
inline constexpr const char* splitToolTip = "Source left of the divider, preview right of it";

// Turns the split on, its divider at the middle of the canvas, or off; then redraws the
// canvas unless `redraw` is false (a closing window redraws it itself).
void setSplitView(bool on, bool redraw = true);
