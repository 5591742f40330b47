#pragma once
// The floating section: an image taken from the clipboard that hovers over the picture,
// follows the mouse, moves with the arrow keys, turns and reverses with Ctrl+arrows, and
// is placed with a click or Return (one undo step) or discarded with Esc. While it floats,
// its own event loop runs and every other command waits.
//
// Anything that wants the user to place an image puts it on the clipboard and calls
// pasteFloatingSection(), as "paste floating section" does.

#include <string>

// Canvas position of the section's top-left corner (where its top-left pixel is drawn).
extern int floatX;
extern int floatY;

// Sizes read when the section starts (the section's own again after each turn).
struct FloatingSection {
    int width = 0;  // of workImage, the section
    int height = 0;
    int halfWidth = 0;  // the pointer holds the section at (floatX + halfWidth, ...)
    int halfHeight = 0;
    int canvasWidth = 0;
    int canvasHeight = 0;
    int imageWidth = 0;  // of viewImage
    int imageHeight = 0;
    int offsetX = 0;  // (canvas - drawn image) / 2: the image origin is (panX + offsetX, ...)
    int offsetY = 0;
    // The image pixel under the section's top-left pixel: where it lands when placed. The
    // canvas position follows from it through the view, at any zoom.
    int imageX = 0;
    int imageY = 0;
};
extern FloatingSection floatingSection;

// Takes the clipboard's image as a floating section and returns once it has been placed or
// discarded. Does nothing when the clipboard holds no image, or while a tool window is open
// (some of them preview in workImage, which the section occupies).
void pasteFloatingSection();

// Status field 1 while the section floats: its corners in canvas coordinates.
std::string floatingStatusText();

void resetFloatingSection();
void registerFloatingSection();
