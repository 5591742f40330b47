#pragma once
// The "resize image" and "resize canvas" dialogs: a width and a height field coupled by
// "keep aspect ratio", OK (or Return) and Cancel; the canvas dialog adds the nine anchor
// positions and the background swatch. Each runs its own event loop until it is closed.

#include <array>
#include <cstdint>
#include <string>

inline constexpr uint32_t resizeDialogColour = 0xDABFA5;

// Kept between uses of the dialogs.
struct ResizeSettings {
    uint32_t resizeCanvasColour = 0;  // the background of "resize canvas", black at first
};
extern ResizeSettings resizeSettings;

// The open dialog: its window and the free control numbers it took.
struct ResizeDialog {
    int window = -1;  // resizeImageWindow or resizeCanvasWindow; -1 when none is open
    int widthField = -1;
    int heightField = -1;
    int keepAspect = -1;
    int okButton = -1;
    int cancelButton = -1;
    std::array<int, 9> positions{};  // the anchors "1" to "9" (canvas dialog)
    int positionLabel = -1;          // "position", above the frame that holds them
    int grid = -1;                   // that frame
    int backgroundLabel = -1;        // "background", below the swatch
    int swatch = -1;                 // image control showing the background
    int swatchImage = -1;            // its image
    int imageWidth = 0;              // of viewImage when the dialog opened
    int imageHeight = 0;
    float ratio = 1.0f;  // height / width
};
extern ResizeDialog resizeDialog;

// Their bits in anyToolWindowOpen() while they are open.
inline constexpr int resizeCanvasOpenFlag = 16;
inline constexpr int resizeImageOpenFlag = 32;

// The commands: open the dialog and return once it is closed (nothing while a tool window
// is open).
void resizeImageDialog();
void resizeCanvasDialog();

// The two halves of each command: opening (false when refused) and the dialog's own loop,
// which applies OK and closes the window.
bool openResizeImageDialog();
bool openResizeCanvasDialog();
void runResizeDialog();

// The decimal number in a field, 0 when empty; very long numbers are held at a bound far
// above any size.
int64_t fieldValue(const std::string& text);

void registerResizeDialogs();
