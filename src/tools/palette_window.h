#pragma once
// The palette tool: the distinct colours of the image (or the selection) as a grid of
// cells. Clicking a cell recolours every pixel of that colour after confirmation; its
// right-click menu exports the palette to a file or maps the image onto a palette file.

#include <cstdint>
#include <vector>

#include "core/state.h"
#include "toolkit/gui.h"

inline constexpr const char* keepColourQuestion = "Do you wish to keep this color?";

// Items of the palette tool's pop-up menu (events of the palette window).
inline constexpr int paletteExportItem = 1;
inline constexpr int paletteImportItem = 2;
inline constexpr int paletteImportDitherItem = 3;

inline constexpr const char* paletteFileFilters =
    "GIMP palette|*.gpl|JASC palette|*.pal|Adobe color table|*.act";
inline constexpr const char* paletteOpenFilters =
    "palette files|*.gpl;*.pal;*.act|GIMP palette|*.gpl|JASC palette|*.pal|"
    "Adobe color table|*.act|all files|*.*";

// The open window's image control (-1 while closed) and the colours it shows.
extern int paletteImageControl;
extern std::vector<uint32_t> shownPalette;
// Remembered for the program's life.
struct PaletteSettings {
    int paletteExportFilter = 0;  // the export dialog's filter: GIMP palette at first
};
extern PaletteSettings paletteSettings;

// Opens the window if needed and draws the colours; pixel counts in the cells' tooltips
// are taken from `countedImage`, the image the colours came from.
void showPalette(const std::vector<uint32_t>& colours, int countedImage = viewImage);
void paletteWindowEvent(const Event& event);
// A single left click at (event.x, event.y) of the picture: pick a new colour for the one
// under it and recolour the whole document, then keep or restore.
void editPaletteColour(const Event& event);
void registerPaletteWindow();
void resetPaletteWindow();
