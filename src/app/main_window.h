#pragma once
// The main window: menu bar, pop-up menu, tool bar, status bar, shortcuts, canvas and the
// start-up splash picture.

#include <string>
#include <vector>

#include "toolkit/image.h"

inline constexpr int mainStatusBar = 1;
inline constexpr int mainMenuBar = 2;
inline constexpr int mainToolBar = 3;
inline constexpr int mainPopupMenu = 0;
inline constexpr int defaultFont = 0;
inline constexpr int splashFont = 1;

// Tool-bar icon images.
inline constexpr int redoIcon = 11;
inline constexpr int paletteIcon = 12;
inline constexpr int histogramIcon = 13;
inline constexpr int selectorIcon = 14;
inline constexpr int moverIcon = 15;
inline constexpr int undoIcon = 16;

inline constexpr const char* mainWindowTitle = "Pixova_ImageEditor 2.0 | 01/12/2016";
inline constexpr uint32_t mainWindowColour = 0xdabfa5;
// Field 0 names the file and fits its text; field 1 describes the selection (or a tool's
// figures) and takes the rest of the width, so its long text is never cut off.
inline constexpr int fileStatusField = 0;
inline constexpr int selectionStatusField = 1;
// The window opens at this inner size, which is also the smallest view and the splash.
inline constexpr int initialViewWidth = 800;
inline constexpr int initialViewHeight = 450;
inline constexpr int splashWidth = initialViewWidth;
inline constexpr int splashHeight = initialViewHeight;

// Builds the main window; 0 when it cannot be opened.
int openMainWindow();

// The splash picture's background, drawn on an opaque black w x h image.
void drawSplashBackground(Image& image);

// Where the splash lines go: the top of the first line for a text height `th`, and the
// left edge of a line `lineWidth` wide on a picture `width` wide.
int splashFirstLineTop(int height, int th);
int splashLineLeft(int width, int lineWidth);
extern const std::vector<std::string> splashLines;

// The main window's keys. A shown key is named after a tab at the end of the menu captions
// of its command.
struct ShortcutEntry {
    const char* keys;
    int command;
    bool shown = false;
};
extern const std::vector<ShortcutEntry> mainShortcuts;
