#include "app/help_window.h"

#include "core/commands.h"
#include "core/registry.h"
#include "core/state.h"
#include "manual/manual.h"

int helpWidth = 0;
int helpHeight = 0;
int helpFont = -1;
int helpTextControl = -1;

int showHelp() {
    if (helpFont < 0) {
        helpWidth = screenWidth() / 2;
        helpHeight = screenHeight() / 2;
        helpFont = freeFontNumber();
        loadFont(helpFont, helpFontName, helpFontSize, fontBold);
    }
    if (isWindow(helpWindow)) {
        setWindowState(helpWindow, windowNormal);
        activateWindow(helpWindow);
        return 0;
    }
    if (!openWindow(helpWindow, 0, 0, helpWidth, helpHeight, helpTitle,
                    windowCloseBox | windowMinimizeBox | windowMaximizeBox | windowSizeable |
                        windowScreenCentered,
                    mainWindow)) {
        return 0;
    }
    helpTextControl = editorControl(anyControlNumber, 0, 0, helpWidth, helpHeight, true);
    setControlColour(helpTextControl, helpBackground);
    setControlTextColour(helpTextControl, helpTextColour);
    setControlFont(helpTextControl, helpFont);
    setControlText(helpTextControl, helpDocument);
    return 1;
}

void helpWindowEvent(const Event& event) {
    if (event.kind == eventCloseWindow) {
        closeWindow(helpWindow);
        helpTextControl = -1;
    } else if (event.kind == eventSizeWindow && isControl(helpTextControl)) {
        int w = windowWidth(helpWindow), h = windowHeight(helpWindow);
        if (controlWidth(helpTextControl) != w || controlHeight(helpTextControl) != h) {
            resizeControl(helpTextControl, 0, 0, w, h);
        }
    }
}

void registerHelpWindow() {
    registerCommand(commandHelp, [](int) { showHelp(); });
    registerWindowHandler(helpWindow, helpWindowEvent);
}

void resetHelpWindow() {
    helpWidth = helpHeight = 0;
    helpFont = -1;
    helpTextControl = -1;
}
