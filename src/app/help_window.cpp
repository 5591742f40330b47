#include "app/help_window.h"

#include "core/commands.h"
#include "core/registry.h"
#include "core/state.h"
#include "manual/manual.h"

HelpSettings helpSettings;

int showHelp() {
    HelpSettings& s = helpSettings;
    if (s.helpFont < 0) {
        s.helpWidth = screenWidth() / 2;
        s.helpHeight = screenHeight() / 2;
        s.helpFont = freeFontNumber();
        loadFont(s.helpFont, helpFontName, helpFontSize, fontBold);
    }
    if (isWindow(helpWindow)) {
        setWindowState(helpWindow, windowNormal);
        activateWindow(helpWindow);
        return 0;
    }
    if (!openWindow(helpWindow, 0, 0, s.helpWidth, s.helpHeight, helpTitle,
                    windowCloseBox | windowMinimizeBox | windowMaximizeBox | windowSizeable |
                        windowScreenCentered,
                    mainWindow)) {
        return 0;
    }
    s.helpTextControl = editorControl(anyControlNumber, 0, 0, s.helpWidth, s.helpHeight, true);
    setControlColour(s.helpTextControl, helpBackground);
    setControlTextColour(s.helpTextControl, helpTextColour);
    setControlFont(s.helpTextControl, s.helpFont);
    setControlText(s.helpTextControl, helpDocument);
    return 1;
}

void helpWindowEvent(const Event& event) {
    HelpSettings& s = helpSettings;
    if (event.kind == eventCloseWindow) {
        closeWindow(helpWindow);
        s.helpTextControl = -1;
    } else if (event.kind == eventSizeWindow && isControl(s.helpTextControl)) {
        int w = windowWidth(helpWindow), h = windowHeight(helpWindow);
        if (controlWidth(s.helpTextControl) != w || controlHeight(s.helpTextControl) != h) {
            resizeControl(s.helpTextControl, 0, 0, w, h);
        }
    }
}

void registerHelpWindow() {
    registerCommand(commandHelp, [](int) { showHelp(); });
    registerWindowHandler(helpWindow, helpWindowEvent);
}

void resetHelpWindow() {
    helpSettings = {};
}
