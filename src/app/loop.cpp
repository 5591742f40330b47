#include "app/loop.h"

#include <map>
#include <new>

#include "app/commands.h"
#include "app/files.h"
#include "app/main_window.h"
#include "app/operations.h"
#include "app/startup.h"
#include "app/view.h"
#include "canvas/selector.h"
#include "core/state.h"
#include "core/undo.h"

namespace {

std::map<int, WindowHandler>& windowHandlers() {
    static std::map<int, WindowHandler> handlers;
    return handlers;
}

std::map<int, CommandHandler>& commandHandlers() {
    static std::map<int, CommandHandler> handlers;
    return handlers;
}

// The tool-bar toggles press themselves when clicked; they show their window's flag.
void syncAnalysisToggles() {
    setToolBarButtonState(mainToolBar, commandHistogramToggle, histogramShown == 1);
    setToolBarButtonState(mainToolBar, commandPaletteToggle, paletteShown == 1);
}

}  // namespace

void registerWindowHandler(int window, WindowHandler handler) {
    windowHandlers()[window] = handler;
}

void registerCommand(int id, CommandHandler handler) {
    commandHandlers()[id] = handler;
}

int loopStep() {
    for (;;) {
        Event event = waitWindowEvent();
        routeEvent(event);
        if (quitRequested == 1) break;
    }
    if (dialogs().messageBox("End Program", "Are you sure?", buttonsYesNo) == answerYes) return 0;
    quitRequested = 0;
    return 1;
}

void routeEvent(const Event& event) {
    try {
        if (event.window == mainWindow) {
            mainWindowEvent(event);
            return;
        }
        auto it = windowHandlers().find(event.window);
        if (it != windowHandlers().end()) it->second(event);
    } catch (const std::bad_alloc&) {
        // Snapshots keep whole copies of the document; running out of memory must not end
        // the program and lose the work.
        dialogs().messageBox("Not enough memory",
                             "There is not enough memory to finish this operation.", buttonsOk);
    }
}

void mainWindowEvent(const Event& event) {
    switch (event.kind) {
        case eventCloseWindow:
            quitRequested = 1;
            break;
        case eventSizeWindow:
            layoutView();
            break;
        case eventMinimizeWindow:
            windowState = windowMinimized;
            break;
        case eventMaximizeWindow:
            windowState = windowMaximized;
            break;
        case eventRestoreWindow:
            windowState = windowNormal;
            break;
        case eventRightClick:
            displayPopupMenu(mainPopupMenu, mainWindow, canvas, event.x, event.y);
            break;
        case selectionDraggedEvent:
            statusSelectionField();
            break;
        case selectionDoneEvent:
        case selectionClearedEvent:
            statusSelectionField();
            histogramRefresh();
            paletteRefresh();
            break;
        case eventMenu:
            dispatchCommand(event.object);
            break;
        default:
            break;
    }
}

void dispatchCommand(int id) {
    int previous = currentCommand;
    currentCommand = id;
    switch (id) {
        case commandRevert:
            revert();
            break;
        case commandNegative:
            negative(viewImage);
            refreshView(viewImage, 1);
            break;
        case commandGrayScale:
            grayScale(viewImage);
            refreshView(viewImage, 1);
            break;
        case commandLoad:
            loadImageFile();
            break;
        case commandSave:
            saveImageFile();
            break;
        case commandToggleCursorMode:
            cursorMode ^= 1;
            switchCursorMode(cursorMode);
            break;
        case commandLeft:
        case commandRight:
        case commandUp:
        case commandDown:
        case commandShiftLeft:
        case commandShiftRight:
        case commandShiftUp:
        case commandShiftDown:
            nudgeSelection(id);
            break;
        case commandQuit:
            quitRequested = 1;
            break;
        case commandUndo:
            undo();
            break;
        case commandRedo:
            redo();
            break;
        case commandSelector:
            switchCursorMode(selectorMode);
            break;
        case commandMover:
            switchCursorMode(moverMode);
            break;
        case commandFitWindow:
            setWindowState(mainWindow, windowNormal);
            fitWindowToImage(viewImage);
            break;
        case commandGaussianBlur:
            if (gaussianBlur(viewImage) == 1) refreshView(viewImage, 1);
            break;
        case commandCountColours:
            showUniqueColours();
            break;
        case commandScramble:
        case commandUnscramble:
        case commandPencil:
        case commandNoise:
        case commandEdgeDetect:
        case commandXFactor:
        case commandScratch:
        case commandGlowie:
        case commandSpacy:
        case commandPhantom:
        case commandBlush:
        case commandSpectrum:
        case commandDemon:
        case commandFaded:
        case commandArtist:
            applyEffectCommand(id);
            break;
        case commandCtrlRight:
        case commandCtrlLeft:
        case commandCtrlUp:
        case commandCtrlDown:
            // Only a floating section being placed reacts to these.
            break;
        default: {
            auto it = commandHandlers().find(id);
            if (it != commandHandlers().end()) it->second();
            break;
        }
    }
    syncAnalysisToggles();
    currentCommand = previous;
}
