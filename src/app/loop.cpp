#include "app/loop.h"

#include <new>

#include "adjust/brightness_window.h"
#include "app/clipboard_commands.h"
#include "app/files.h"
#include "app/help_window.h"
#include "app/main_window.h"
#include "app/new_image_window.h"
#include "app/operations.h"
#include "app/preferences.h"
#include "app/recent_files.h"
#include "app/shell_commands.h"
#include "app/view.h"
#include "canvas/add_text_window.h"
#include "canvas/floating.h"
#include "canvas/geometry_commands.h"
#include "canvas/resize_window.h"
#include "canvas/selector.h"
#include "core/commands.h"
#include "core/registry.h"
#include "core/state.h"
#include "core/undo.h"
#include "quantize/compare_sheet_window.h"
#include "quantize/quantize_window.h"
#include "quantize/two_colors_window.h"
#include "tools/histogram_window.h"
#include "tools/palette_window.h"

namespace {

// The tool-bar toggles press themselves when clicked; they show their window's flag.
void syncAnalysisToggles() {
    setToolBarButtonState(mainToolBar, commandHistogramToggle, histogramShown == 1);
    setToolBarButtonState(mainToolBar, commandPaletteToggle, paletteShown == 1);
}

}  // namespace

void registerProgram() {
    setServices(&viewServices());
    registerShellCommands();
    registerZoomCommands();
    registerRecentFiles();
    registerOperations();
    registerHelpWindow();
    registerNewImageDialog();
    registerClipboardCommands();
    registerAddTextWindow();
    registerGeometryCommands();
    registerFloatingSection();
    registerResizeDialogs();
    registerQuantizeWindow();
    registerCompareSheet();
    registerTwoColorsWindow();
    registerAnalysisCommands();
    registerHistogramWindow();
    registerPaletteWindow();
    registerBrightnessWindow(commandBrightness);
}

int loopStep() {
    for (;;) {
        Event event = waitWindowEvent();
        routeEvent(event);
        if (quitRequested == 1) break;
    }
    const char* question = documentModified() ? quitQuestionUnsaved : quitQuestion;
    if (dialogs().messageBox(quitTitle, question, buttonsYesNo) == answerYes) return 0;
    quitRequested = 0;
    return 1;
}

void routeEvent(const Event& event) {
    try {
        if (event.window == mainWindow) {
            mainWindowEvent(event);
        } else {
            routeWindowEvent(event);
        }
    } catch (const std::bad_alloc&) {
        // Running out of memory must not end the program and lose the work.
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
        case eventFrameWindow:
            windowFramed();
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
        case eventDropFiles: {
            // Opened exactly as a load of it would be.
            std::vector<std::string> files = takeDroppedFiles();
            if (!files.empty()) openImagePath(files.front());
            break;
        }
        case eventRightClick:
            displayPopupMenu(mainPopupMenu, mainWindow, canvas, event.x, event.y);
            break;
        case selectionDraggedEvent:
            statusSelectionField();
            break;
        case selectionDoneEvent:
            statusSelectionField();
            histogramRefresh();
            paletteRefresh();
            break;
        case selectionClearedEvent:
            // Whatever the mode, the field must not describe a rectangle that is gone.
            if (!selection.active) setStatusBarText(mainStatusBar, selectionStatusField, "");
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
    runCommand(id);
    syncAnalysisToggles();
    currentCommand = previous;
}
