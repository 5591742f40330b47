#pragma once
// The New image dialog: a blank image of a chosen size and colour. Modal: it runs its own
// event loop until closed.

#include <cstdint>

inline constexpr const char* newImageTitle = "New image";

// Offered and last entered, kept for the run (typed values persist even after Cancel).
struct NewImageSettings {
    int newWidth = 768;
    int newHeight = 512;
    uint32_t newBackColor = 0xffffff;
};
extern NewImageSettings newImageSettings;

// The dialog's controls and swatch image while it is open (-1 and 0 otherwise).
struct NewImageControls {
    int widthField = -1;
    int heightField = -1;
    int swatch = -1;
    int swatchImage = 0;
    int ok = -1;
    int cancel = -1;
};
extern NewImageControls newImageControls;

// Its bit in anyToolWindowOpen() while it is open.
inline constexpr int newImageOpenFlag = 64;

void newImageDialog();
// Makes `viewImage` a w x h 24-bit image of `colour` named "NewImage", fitted, with a fresh
// history (w and h already clamped).
void startNewDocument(int w, int h, uint32_t colour);

void registerNewImageDialog();
void resetNewImageDialog();
