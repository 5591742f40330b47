#pragma once
// The program's shared state: numbered images and windows, the selection record, the
// cursor mode and the view placement. Which tool window is open is the registry's
// (core/registry.h).

#include <cstdint>
#include <string>

#include "core/rect.h"
#include "core/view_transform.h"
#include "toolkit/image_metadata.h"

// ---- Numbered images ----
inline constexpr int viewImage = 4;         // the document
inline constexpr int histogramImage = 5;    // histogram graph
inline constexpr int workImage = 6;         // scratch and previews
inline constexpr int toolImage = 7;         // quantize preview, brightness base
inline constexpr int selectionImage = 8;    // the selected area, for analysis
inline constexpr int paletteImage = 9;      // the palette tool's picture
inline constexpr int paletteBackdrop = 10;  // the texture under its cells
inline constexpr int swatchImage1 = 17;
inline constexpr int swatchImage2 = 18;
inline constexpr int sectionImage = 19;

// ---- Window numbers ----
inline constexpr int mainWindow = 0;
inline constexpr int histogramWindow = 1;
inline constexpr int paletteWindow = 2;
inline constexpr int quantizeWindow = 3;
inline constexpr int resizeCanvasWindow = 4;
inline constexpr int newImageWindow = 5;
inline constexpr int addTextWindow = 6;
inline constexpr int helpWindow = 7;
inline constexpr int twoColorsWindow = 8;
inline constexpr int brightnessWindow = 9;
inline constexpr int resizeImageWindow = 10;
inline constexpr int copyNoticeWindow = 11;    // the short "copied to clipboard." notice
inline constexpr int compareSheetWindow = 12;  // the Quantize window's sheet of every style

inline constexpr int canvas = 0;  // the main window's canvas control

// ---- Selection record (canvas coordinates, inclusive) ----
struct SelectionRecord {
    int canvasControl = -1;
    int active = 0;
    int x1 = 0;
    int x2 = 0;
    int y1 = 0;
    int y2 = 0;
    int minX = 0;  // extent of the drawn image on the canvas
    int maxX = 0;
    int minY = 0;
    int maxY = 0;
};
extern SelectionRecord selection;

// ---- Modes and flags ----
inline constexpr int selectorMode = 0;
inline constexpr int moverMode = 1;
extern int cursorMode;
extern int quitRequested;
extern int histogramShown;
extern int paletteShown;

// 1 while a pasted section floats over the canvas waiting to be placed.
extern int floatingActive;

// The history entry the quantize window's preview in toolImage was made from. A preview
// of an earlier state of the document (before a load, a rotation or an undo made while
// the window was open) is neither shown nor applied.
extern int64_t quantizePreviewEntry;
// No entry has this number (entries count from 1; an empty history reads 0).
inline constexpr int64_t noQuantizePreview = -1;

// ---- The document's name ----
extern std::string currentFilePath;  // its file part is shown in the status bar
extern std::string baseName;         // default name offered by Save
// What the loaded file said beside its pixels (resolution, EXIF), written back by Save;
// a new image and a pasted one have none.
extern ImageMetadata documentMetadata;
inline constexpr const char* newImageName = "NewImage";

// ---- View placement ----
inline constexpr uint32_t canvasBackground = 0x404040;  // around the image on the canvas
extern int panX;
extern int panY;
extern int scrollX;
extern int scrollY;
extern int imageExceedsView;
// How large the view shows the document, and the canvas size in canvas pixels (device
// pixels: at 100 % one image pixel is one pixel of the screen), as the layout left them.
extern Zoom viewZoom;
extern int viewCanvasWidth;
extern int viewCanvasHeight;
// The mapping between canvas points and image pixels as the view stands.
ViewTransform currentView();
// The selection bounds (minX .. maxY) become the drawn image's extent on the canvas.
void setSelectionBounds();

// While a tool window's "Split" box is checked, the canvas shows the document left of this
// image column and the preview from it on; -1 without a split.
extern int splitColumn;

// The selection's image rectangle as it was last set in image pixels (by a zoom, a nudge),
// kept while the view and the canvas rectangle are still the ones it was shown with: below
// 100 % a canvas pixel stands for several image pixels, and the canvas rectangle alone would
// lose them.
struct SelectionPin {
    bool set = false;
    Rect canvas;
    Rect image;
    ViewTransform view;
};
extern SelectionPin selectionPin;
// Puts the selection on the image rectangle `r`: its canvas rectangle through the view,
// and `r` itself remembered.
void pinSelection(const Rect& r);

// The selection's rectangle in image pixels (no clipping), through the view.
Rect selectionImageRect();

// The rectangle an operation on `image` works on: the selection's image rectangle when a
// selection is active, else the whole image.
Rect operationRect(const Image& image);

// Puts every value above back to its start-up state.
void resetCoreState();
