#pragma once
// The six tool-bar icons, 16 x 16 PNG pictures held in the program.

extern const unsigned char redoIconPng[];
extern const unsigned redoIconPngSize;
extern const unsigned char paletteIconPng[];
extern const unsigned paletteIconPngSize;
extern const unsigned char histogramIconPng[];
extern const unsigned histogramIconPngSize;
extern const unsigned char selectorIconPng[];
extern const unsigned selectorIconPngSize;
extern const unsigned char moverIconPng[];
extern const unsigned moverIconPngSize;
extern const unsigned char undoIconPng[];
extern const unsigned undoIconPngSize;
