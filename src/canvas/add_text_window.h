#pragma once
// "add text": a window where the user types lines of text and chooses font, size, style,
// colours and a transparent background. OK renders the text into an image, puts it on the
// clipboard and lets it float over the picture like a pasted section.

#include <cstdint>
#include <map>
#include <string>

#include "toolkit/image.h"

inline constexpr const char* addTextTitle = "Add text";

// Settings kept for the run (not saved in the preferences).
struct AddTextSettings {
    std::string textString = "Enter text here.";  // updated only by OK
    std::string textFontName = "Arial";
    int textFontSize = 10;
    int textFontFlags = 0;
    std::string textFontStyle = "Normal";  // the style as the window shows it
    uint32_t textFrontColor = 0;
    uint32_t textBackColor = 0xffffff;
    int textTransparent = 0;
    int textFont = -1;  // -1 until the first use
    int frontSwatch = 0;
    int backSwatch = 0;
    // Style name to font flag, filled on first use; rows with flag 0 never match a style.
    std::map<std::string, int> styleTable;
};
extern AddTextSettings addTextSettings;

// The style field's text for `flags`: "Normal" for none, else the names of every style
// table row sharing a bit with them, joined without a separator.
std::string styleNameFor(int flags);

// The text rendered as the window does on OK: lines split at line breaks, an empty line
// drawn as one space; with a 5-pixel border of `back` (24-bit), or without border on a
// fully transparent 32-bit image when `transparent`.
Image renderTextImage(const std::string& text, int font, uint32_t front, uint32_t back,
                      bool transparent);

// Its bit in anyToolWindowOpen() while it is open.
inline constexpr int addTextOpenFlag = 128;

// Returns after the window is closed and, after OK, after the text has been placed or
// discarded.
void addTextDialog();

// The window's controls while it is open (-1 otherwise).
struct AddTextControls {
    int cancel = -1;
    int ok = -1;
    int transparent = -1;
    int editor = -1;
    int fontField = -1;
    int sizeField = -1;
    int styleField = -1;
    int frontSwatchControl = -1;
    int backSwatchControl = -1;
};
extern AddTextControls addTextControls;

void registerAddTextWindow();
// Every setting back to its start-up value.
void resetAddText();
