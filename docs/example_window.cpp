// A complete tool window: its button swaps red and blue in the document, or in the
// selection when there is one. One file, one register function.

#include <cstdint>

#include "core/operation.h"
#include "core/registry.h"
#include "core/state.h"
#include "toolkit/gui.h"

namespace example {

constexpr int swapWindow = 20;       // a window number no other window uses
constexpr int swapWindowFlag = 256;  // its bit in anyToolWindowOpen(), free as well
constexpr const char* swapTitle = "Swap";

// Control numbers are program-wide: take free ones and remember them.
int swapButton = -1;
int closeButton = -1;

// The algorithm is pure: an image, a rectangle, nothing else.
void swapRedAndBlue(Image& image, const Rect& rect) {
    for (int y = rect.top; y <= rect.bottom; ++y) {
        uint32_t* row = image.row(y);
        for (int x = rect.left; x <= rect.right; ++x) {
            uint32_t p = row[x];
            row[x] = (p & 0xFF00FF00u) | (p & 0xFFu) << 16 | ((p >> 16) & 0xFFu);
        }
    }
}

void closeSwapWindow() {
    closeWindow(swapWindow);
    setToolWindowOpen(swapWindow, false);
    swapButton = closeButton = -1;
}

void swapWindowEvent(const Event& event) {
    if (event.kind == eventCloseWindow) {
        closeSwapWindow();
    } else if (event.kind == eventControl && event.object == closeButton) {
        closeSwapWindow();
    } else if (event.kind == eventControl && event.object == swapButton) {
        // The frame records the undo step and refreshes the view keeping the selection.
        runOperation(OperationFrame{.refuseWhileFloating = true}, swapRedAndBlue);
    }
}

void openSwapWindow(int /*command*/) {
    if (anyToolWindowOpen() || isWindow(swapWindow)) return;
    if (!openWindow(swapWindow, 0, 0, 200, 70, swapTitle, windowCloseBox | windowParentCentered,
                    mainWindow)) {
        return;
    }
    setToolWindowOpen(swapWindow, true);  // no other tool window opens meanwhile
    swapButton = buttonControl(anyControlNumber, 10, 10, 180, 25, "Swap red and blue");
    closeButton = buttonControl(anyControlNumber, 10, 40, 180, 25, "Close");
}

// The only thing the program calls, once at start-up.
void registerSwapWindow(int command) {
    registerCommand(command, openSwapWindow);
    registerWindowHandler(swapWindow, swapWindowEvent);
    registerToolWindow(swapWindow, swapWindowFlag);
}

}  // namespace example
