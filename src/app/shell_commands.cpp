#include "app/shell_commands.h"

#include "app/files.h"
#include "app/main_window.h"
#include "app/view.h"
#include "canvas/selector.h"
#include "core/commands.h"
#include "core/registry.h"
#include "core/state.h"
#include "core/undo.h"
#include "toolkit/gui.h"

namespace {

void toggleCursorMode(int) {
    cursorMode ^= 1;
    switchCursorMode(cursorMode);
}

void fitWindow(int) {
    setWindowState(mainWindow, windowNormal);
    fitWindowToImage(viewImage);
}

}  // namespace

void registerShellCommands() {
    registerCommand(commandRevert, [](int) { revert(); });
    registerCommand(commandLoad, [](int) { loadImageFile(); });
    registerCommand(commandSave, [](int) { saveImageFile(); });
    registerCommand(commandUndo, [](int) { undo(); });
    registerCommand(commandRedo, [](int) { redo(); });
    registerCommand(commandQuit, [](int) { quitRequested = 1; });
    registerCommand(commandToggleCursorMode, toggleCursorMode);
    registerCommand(commandSelector, [](int) { switchCursorMode(selectorMode); });
    registerCommand(commandMover, [](int) { switchCursorMode(moverMode); });
    registerCommands({commandLeft, commandRight, commandUp, commandDown, commandShiftLeft,
                      commandShiftRight, commandShiftUp, commandShiftDown},
                     nudgeSelection);
    registerCommand(commandFitWindow, fitWindow);
    // Ctrl+arrows act only while a floating section is placed, in that section's own loop.
}
